// Linked into the game (emcc --js-library). Allegro asks WebGL for its last
// error after almost every call, and in a browser each question waits for the
// GPU process: a third of a frame's time at 1440x900 with software WebGL. So
// every answer is "no error". Most of Allegro's checks only log (its logging
// is off in this build); the ones that act on the answer, and so are given up,
// are: a texture it could not make (glGenTextures, glTexImage2D: the bitmap
// would count as made and draw nothing), a framebuffer it could not make
// (glGenFramebuffers, glBindFramebuffer) and a read of a locked bitmap
// (glReadPixels, glPixelStorei). The game makes its textures and framebuffers
// at start-up, the largest for the 720x480 world picture, and locks bitmaps
// only to write them (whose upload checks only log); WebGL refuses such small
// requests only once its context is lost, which the page sees for itself
// (webglcontextlost) and says.
mergeInto(LibraryManager.library, {
  glGetError: function() {
    return 0;
  },
});
