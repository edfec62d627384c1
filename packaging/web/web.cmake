# The browser: the game as clodmere.js and clodmere.wasm, and the folder that is
# shipped (cmake --install into it, then zip): the page, the font, the licences.

# The menu and the game wait in blocking loops; Asyncify lets them hand control
# back to the browser (at each wait, and while a save is stored) and resume where
# they were. Only direct calls lead there (the page tells SDL not to yield at
# each flip, which it would reach through Allegro's pointers), so calls through
# pointers are left uninstrumented, which keeps the program small and fast.
target_link_options(clodmere PRIVATE
  -sASYNCIFY -sASYNCIFY_IGNORE_INDIRECT -sASYNCIFY_STACK_SIZE=65536
  -sINITIAL_MEMORY=67108864 -sALLOW_MEMORY_GROWTH
  -sENVIRONMENT=web -sEXPORTED_FUNCTIONS=_main,_malloc,_free,_check_save_file,_save_file_size
  -sEXPORTED_RUNTIME_METHODS=FS,UTF8ToString
  -sMIN_WEBGL_VERSION=1 -sMAX_WEBGL_VERSION=1 -sFULL_ES2)
# Allegro draws from vertex arrays in its own memory, which WebGL lacks:
# FULL_ES2 copies them into buffers.
set_target_properties(clodmere PROPERTIES SUFFIX .js)
set(gl_errors ${CMAKE_CURRENT_SOURCE_DIR}/packaging/web/gl_errors.js)
target_link_options(clodmere PRIVATE --js-library ${gl_errors})
set_property(TARGET clodmere APPEND PROPERTY LINK_DEPENDS ${gl_errors})

install(FILES packaging/web/index.html packaging/web/page.js packaging/web/service-worker.js
              packaging/web/manifest.webmanifest ${CMAKE_CURRENT_BINARY_DIR}/clodmere.js
              ${CMAKE_CURRENT_BINARY_DIR}/clodmere.wasm DESTINATION .)
# The app's icons, drawn from the game's tiles by make_icon, which runs on the
# build machine: build-web.sh builds it there and names it here.
set(CLODMERE_HOST_MAKE_ICON "" CACHE FILEPATH "make_icon built for the build machine; without it the page has no icons")
if(CLODMERE_HOST_MAKE_ICON)
  set(icons)
  foreach(size 192 512)
    set(icon ${CMAKE_CURRENT_BINARY_DIR}/icons/clodmere-${size}.png)
    add_custom_command(OUTPUT ${icon}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/icons
                       COMMAND ${CLODMERE_HOST_MAKE_ICON} ${size} ${icon}
                       DEPENDS ${CLODMERE_HOST_MAKE_ICON}
                       VERBATIM)
    list(APPEND icons ${icon})
  endforeach()
  add_custom_target(clodmere_web_icons ALL DEPENDS ${icons})
  install(FILES ${icons} DESTINATION icons)
endif()
install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
if(EXISTS ${CLODMERE_FONT_SOURCE})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/data/arial.ttf DESTINATION data)
endif()
# The libraries' licences, copied into the prefix from their sources by the library build.
install(DIRECTORY ${CLODMERE_WEB_PREFIX}/share/licences/ DESTINATION licences)
set(CLODMERE_FONT_LICENCE /usr/share/doc/fonts-liberation2/copyright)
if(EXISTS ${CLODMERE_FONT_LICENCE})
  install(FILES ${CLODMERE_FONT_LICENCE} DESTINATION licences RENAME Liberation-fonts.txt)
endif()
