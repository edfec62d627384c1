# Linux: the installed layout, the files the build makes for it, and the Debian package (CPack).

# Installed layout, Debian's for games: the programs in games/, their data in
# share/games/clodmere (both relative to the prefix, or absolute).
set(CLODMERE_INSTALL_GAMESDIR games CACHE STRING "Where the game and clodmere-save are installed")
set(CLODMERE_INSTALL_GAMEDATADIR ${CMAKE_INSTALL_DATADIR}/games/clodmere CACHE STRING "The game's data folder")
if(IS_ABSOLUTE ${CLODMERE_INSTALL_GAMEDATADIR})
  set(CLODMERE_FULL_DATA_DIR ${CLODMERE_INSTALL_GAMEDATADIR})
else()
  set(CLODMERE_FULL_DATA_DIR ${CMAKE_INSTALL_PREFIX}/${CLODMERE_INSTALL_GAMEDATADIR})
endif()
if(IS_ABSOLUTE ${CLODMERE_INSTALL_GAMESDIR})
  set(CLODMERE_FULL_GAMES_DIR ${CLODMERE_INSTALL_GAMESDIR})
else()
  set(CLODMERE_FULL_GAMES_DIR ${CMAKE_INSTALL_PREFIX}/${CLODMERE_INSTALL_GAMESDIR})
endif()
# An installed game finds its fallback font in the installed data folder, from any working directory.
set_property(SOURCE app/startup.cpp APPEND PROPERTY COMPILE_DEFINITIONS
             CLODMERE_INSTALLED_DATA_DIR="${CLODMERE_FULL_DATA_DIR}")

# Installed files that the build makes: manual pages and changelog compressed
# as Debian wants them (gzip -9n: no name or time stamp, so the same bytes on
# every build), the metadata, and the menu icon drawn from the game's tiles.
set(CLODMERE_PACKAGING_DIR ${CMAKE_CURRENT_BINARY_DIR}/packaging)
set(CLODMERE_APPSTREAM_ID org.example.clodmere)
set(CLODMERE_HOMEPAGE "https://clodmere.example.org" CACHE STRING "The game's home page, also where its screenshot is published")
configure_file(packaging/clodmere.6.in ${CLODMERE_PACKAGING_DIR}/clodmere.6 @ONLY)
configure_file(packaging/clodmere-save.6.in ${CLODMERE_PACKAGING_DIR}/clodmere-save.6 @ONLY)
configure_file(packaging/changelog ${CLODMERE_PACKAGING_DIR}/changelog COPYONLY)
# The menu entry runs the game through a script that names it by its installed path.
configure_file(packaging/clodmere.desktop.in ${CLODMERE_PACKAGING_DIR}/clodmere.desktop @ONLY)
configure_file(packaging/start-from-menu.in ${CLODMERE_PACKAGING_DIR}/start-from-menu @ONLY)
configure_file(packaging/${CLODMERE_APPSTREAM_ID}.metainfo.xml.in
               ${CLODMERE_PACKAGING_DIR}/${CLODMERE_APPSTREAM_ID}.metainfo.xml @ONLY)
set(CLODMERE_PACKAGING_OUTPUTS)
foreach(file clodmere.6 clodmere-save.6 changelog)
  add_custom_command(OUTPUT ${CLODMERE_PACKAGING_DIR}/${file}.gz
                     COMMAND gzip -9nkf ${file}
                     WORKING_DIRECTORY ${CLODMERE_PACKAGING_DIR}
                     DEPENDS ${CLODMERE_PACKAGING_DIR}/${file}
                     VERBATIM)
  list(APPEND CLODMERE_PACKAGING_OUTPUTS ${CLODMERE_PACKAGING_DIR}/${file}.gz)
endforeach()
set(CLODMERE_ICON_SIZES 16 32 48 64 128 256)
if(TARGET make_icon)
  foreach(size ${CLODMERE_ICON_SIZES})
    set(icon_dir ${CLODMERE_PACKAGING_DIR}/icons/${size}x${size})
    add_custom_command(OUTPUT ${icon_dir}/clodmere.png
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${icon_dir}
                       COMMAND make_icon ${size} ${icon_dir}/clodmere.png
                       DEPENDS make_icon
                       VERBATIM)
    list(APPEND CLODMERE_PACKAGING_OUTPUTS ${icon_dir}/clodmere.png)
  endforeach()
else()
  message(WARNING "liballegro-image5-dev is missing: the menu icon is not made")
endif()
add_custom_target(clodmere_packaging_files ALL DEPENDS ${CLODMERE_PACKAGING_OUTPUTS})

# What an install puts where (under the prefix): the game and clodmere-save in
# games/, the font link and the menu entry's start script in share/games/clodmere,
# the menu entry, icon, metadata, manual pages, changelog and copyright in their
# places under share/.
install(TARGETS clodmere RUNTIME DESTINATION ${CLODMERE_INSTALL_GAMESDIR})
if(TARGET clodmere-save)
  install(TARGETS clodmere-save RUNTIME DESTINATION ${CLODMERE_INSTALL_GAMESDIR})
endif()
# A stripped install (the package's) also drops the compiler's notes, as Debian's own strip step does.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    set(games_dir \"${CLODMERE_INSTALL_GAMESDIR}\")
    if(NOT IS_ABSOLUTE \"\${games_dir}\")
      set(games_dir \"\${CMAKE_INSTALL_PREFIX}/\${games_dir}\")
    endif()
    foreach(program clodmere clodmere-save)
      set(path \"\$ENV{DESTDIR}\${games_dir}/\${program}\")
      if(EXISTS \"\${path}\")
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note \"\${path}\"
                        COMMAND_ERROR_IS_FATAL ANY)
      endif()
    endforeach()
  endif()
")
if(EXISTS ${CLODMERE_FONT_SOURCE})
  # A link to the packaged font rather than a second copy of it; the package
  # depends on fonts-liberation2. Relative, so that it resolves inside an
  # unpacked package or DESTDIR as well as on the installed system.
  install(CODE "
    set(data_dir \"${CLODMERE_INSTALL_GAMEDATADIR}\")
    if(NOT IS_ABSOLUTE \"\${data_dir}\")
      set(data_dir \"\${CMAKE_INSTALL_PREFIX}/\${data_dir}\")
    endif()
    file(RELATIVE_PATH font_target \"\${data_dir}\" ${CLODMERE_FONT_SOURCE})
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${data_dir}\")
    message(STATUS \"Installing: \$ENV{DESTDIR}\${data_dir}/arial.ttf -> \${font_target}\")
    file(CREATE_LINK \"\${font_target}\" \"\$ENV{DESTDIR}\${data_dir}/arial.ttf\" SYMBOLIC)
  ")
endif()
install(FILES ${CLODMERE_PACKAGING_DIR}/clodmere.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(PROGRAMS ${CLODMERE_PACKAGING_DIR}/start-from-menu DESTINATION ${CLODMERE_INSTALL_GAMEDATADIR})
install(FILES ${CLODMERE_PACKAGING_DIR}/${CLODMERE_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
if(TARGET make_icon)
  foreach(size ${CLODMERE_ICON_SIZES})
    install(FILES ${CLODMERE_PACKAGING_DIR}/icons/${size}x${size}/clodmere.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
endif()
install(FILES ${CLODMERE_PACKAGING_DIR}/clodmere.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
if(TARGET clodmere-save)
  install(FILES ${CLODMERE_PACKAGING_DIR}/clodmere-save.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
endif()
install(FILES ${CLODMERE_PACKAGING_DIR}/changelog.gz packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# A Debian package of the installed layout: cpack -G DEB in the build folder.
# A real maintainer sets CLODMERE_MAINTAINER to their own name and address.
set(CLODMERE_MAINTAINER "Clodmere developers <developers@clodmere.example.org>"
    CACHE STRING "The package's maintainer: name <address>")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME clodmere)
set(CPACK_PACKAGE_CONTACT ${CLODMERE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small side-view block-world sandbox game")
# Lines of at most 80 columns: Debian's tools show them as they are.
set(CPACK_PACKAGE_DESCRIPTION "Walk, jump, dig and place blocks in a side-view world of 720 x 480 cells,
and save the whole game to one file. The game starts from the Games menu,
in a terminal that shows its log, and saves in ~/.local/share/clodmere;
started from a shell, it saves in the folder it was started from.
Includes clodmere-save, which checks a save file, draws its world as a
picture, and makes or finds the seed of a world to share.")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${CLODMERE_HOMEPAGE})
# Where the package installs is where the game looks for its data folder.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
# Debian ships programs without their symbols.
set(CPACK_STRIP_FILES ON)
# dpkg-shlibdeps names the libraries the programs link (the three Allegro runtime packages, libc,
# libstdc++) with the versions their symbols need; without it they are listed by hand.
find_program(CLODMERE_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(CLODMERE_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "liballegro5.2 (>= 2:5.2.0), liballegro-ttf5.2 (>= 2:5.2.0), \
liballegro-image5.2 (>= 2:5.2.0), libc6, libstdc++6, fonts-liberation2")
endif()
include(CPack)
