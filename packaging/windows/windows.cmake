# Windows: where the game finds its data, the program's icon and version
# information, and the folder that is shipped (cmake --install into it, then zip).

# The data folder ships beside the program: started from anywhere (the installer's
# menu entry starts it in the player's own folder), the game finds its font there.
set_property(SOURCE app/startup.cpp APPEND PROPERTY COMPILE_DEFINITIONS CLODMERE_DATA_BESIDE_PROGRAM)

# The icon is drawn from the game's tiles by make_icon, which runs on the build
# machine: build-windows.sh builds it there and names it here.
set(CLODMERE_HOST_MAKE_ICON "" CACHE FILEPATH "make_icon built for the build machine; without it clodmere.exe has no icon")
set(CLODMERE_WINDOWS_DIR ${CMAKE_CURRENT_BINARY_DIR}/windows)
set(CLODMERE_RC_ICON "")
set(CLODMERE_ICON_FILE ${CLODMERE_WINDOWS_DIR}/clodmere.ico)
if(CLODMERE_HOST_MAKE_ICON)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(icon_images)
  # Explorer's sizes: list and title bar, desktop, large icons, extra large.
  foreach(size 16 32 48 256)
    set(image ${CLODMERE_WINDOWS_DIR}/icon-${size}.png)
    add_custom_command(OUTPUT ${image}
                       COMMAND ${CLODMERE_HOST_MAKE_ICON} ${size} ${image}
                       DEPENDS ${CLODMERE_HOST_MAKE_ICON}
                       VERBATIM)
    list(APPEND icon_images ${image})
  endforeach()
  add_custom_command(OUTPUT ${CLODMERE_ICON_FILE}
                     COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/scripts/make_ico.py ${CLODMERE_ICON_FILE}
                             ${icon_images}
                     DEPENDS ${icon_images} ${CMAKE_CURRENT_SOURCE_DIR}/scripts/make_ico.py
                     VERBATIM)
  add_custom_target(clodmere_icon DEPENDS ${CLODMERE_ICON_FILE})
  set(CLODMERE_RC_ICON "CLODMERE_ICON ICON \"${CLODMERE_ICON_FILE}\"")
endif()
configure_file(packaging/windows/clodmere.rc.in ${CLODMERE_WINDOWS_DIR}/clodmere.rc @ONLY)
target_sources(clodmere PRIVATE ${CLODMERE_WINDOWS_DIR}/clodmere.rc)
if(TARGET clodmere_icon)
  add_dependencies(clodmere clodmere_icon)
  set_property(SOURCE ${CLODMERE_WINDOWS_DIR}/clodmere.rc APPEND PROPERTY OBJECT_DEPENDS ${CLODMERE_ICON_FILE})
endif()

# The shipped folder: both programs, data/arial.ttf, the read-me and every licence.
# Texts of our own get Windows line endings, so that any editor shows them right.
configure_file(packaging/windows/README.txt ${CLODMERE_WINDOWS_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(LICENSE ${CLODMERE_WINDOWS_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
install(TARGETS clodmere RUNTIME DESTINATION .)
if(TARGET clodmere-save)
  install(TARGETS clodmere-save RUNTIME DESTINATION .)
endif()
if(EXISTS ${CLODMERE_FONT_SOURCE})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/data/arial.ttf DESTINATION data)
endif()
install(FILES ${CLODMERE_WINDOWS_DIR}/README.txt ${CLODMERE_WINDOWS_DIR}/LICENSE.txt DESTINATION .)
# The libraries' licences, copied into the prefix from their sources by the library build.
if(EXISTS ${CLODMERE_WINDOWS_PREFIX}/share/licences)
  install(DIRECTORY ${CLODMERE_WINDOWS_PREFIX}/share/licences/ DESTINATION licences)
else()
  message(WARNING "No licences in CLODMERE_WINDOWS_PREFIX (scripts/libraries.sh puts them there): "
                  "the shipped folder would lack Allegro's and FreeType's")
endif()
set(CLODMERE_FONT_LICENCE /usr/share/doc/fonts-liberation2/copyright)
if(EXISTS ${CLODMERE_FONT_LICENCE})
  install(FILES ${CLODMERE_FONT_LICENCE} DESTINATION licences RENAME Liberation-fonts.txt)
endif()
