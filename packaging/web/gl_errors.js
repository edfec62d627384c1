// Linked into the game (emcc --js-library). Allegro asks WebGL for its last
// error after almost every call, and in a browser each question waits for the
// GPU process: a third of a frame's time at 1440x900 with software WebGL.
// Nearly all of Allegro's checks only log (its logging is off in this build),
// and the game asks nothing of WebGL that it could refuse, so every answer is
// "no error".
mergeInto(LibraryManager.library, {
  glGetError: function() {
    return 0;
  },
});
