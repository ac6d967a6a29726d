# SPDX-License-Identifier: GPL-3.0-or-later
# What an installation holds besides the programs: the desktop entry, icons, MIME type,
# AppStream metainfo, man pages, shell completion, the example project, the documentation, and
# the Debian package made by CPack (scripts/package.sh).
set(PELORIX_APP_ID io.github.pelorix.Pelorix)
set(PELORIX_PACKAGE_MAINTAINER "Pelorix developers <pelorix@example.org>" CACHE STRING
    "Maintainer field of the Debian package")

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog
               @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/packaging/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog)
add_custom_target(changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/demo/ DESTINATION ${CMAKE_INSTALL_DATADIR}/pelorix/examples/demo
        PATTERN out EXCLUDE)

# Man pages from the programs' own --help, with the sections --help does not have.
find_program(HELP2MAN_EXECUTABLE help2man)
set(PELORIX_MAN_PAGES)
macro(pelorix_man_page program summary commands)
  set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
  # The hand-written sections, and every subcommand's options from its own --help.
  set(include ${CMAKE_BINARY_DIR}/man/${program}.h2m)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E env LANG=C LC_ALL=C ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}>
            -DINCLUDE=${PROJECT_SOURCE_DIR}/data/man/${program}.h2m -DOUTPUT=${include}
            "-DCOMMANDS=${commands}" -P ${PROJECT_SOURCE_DIR}/cmake/ManCommands.cmake
    COMMAND ${CMAKE_COMMAND} -E env LANG=C LC_ALL=C QT_QPA_PLATFORM=offscreen
            ${HELP2MAN_EXECUTABLE} --no-info --section=1 --name=${summary}
            --include=${include} --output=${page}
            $<TARGET_FILE:${program}>
    COMMAND gzip -9nf ${page}
    DEPENDS ${program} ${PROJECT_SOURCE_DIR}/data/man/${program}.h2m
            ${PROJECT_SOURCE_DIR}/cmake/ManCommands.cmake
    COMMENT "Writing the man page of ${program}"
    VERBATIM)
  list(APPEND PELORIX_MAN_PAGES ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endmacro()
if(CMAKE_CROSSCOMPILING)
  message(STATUS "Cross-compiling: no man pages (they are made by running the programs)")
elseif(HELP2MAN_EXECUTABLE)
  pelorix_man_page(pelorix-cli "compose, render and inspect Pelorix animation projects"
                   "info,save-as,convert,frame,render")
  if(PELORIX_BUILD_GUI)
    pelorix_man_page(pelorix "compose animation frames from still images" "")
  endif()
  add_custom_target(man_pages ALL DEPENDS ${PELORIX_MAN_PAGES})
endif()

if(PELORIX_BUILD_GUI)
  install(FILES ${PROJECT_SOURCE_DIR}/data/${PELORIX_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/data/pelorix-mime.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME ${PELORIX_APP_ID}.xml)
  configure_file(${PROJECT_SOURCE_DIR}/data/${PELORIX_APP_ID}.metainfo.xml.in
                 ${CMAKE_BINARY_DIR}/${PELORIX_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/${PELORIX_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  # The icon: the SVG, and PNG renderings of it for the usual sizes.
  install(FILES ${PROJECT_SOURCE_DIR}/data/pelorix.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          RENAME ${PELORIX_APP_ID}.svg)
  find_program(RSVG_CONVERT_EXECUTABLE rsvg-convert)
  if(RSVG_CONVERT_EXECUTABLE)
    set(icons)
    foreach(size 16 22 24 32 48 64 128 256)
      set(icon ${CMAKE_BINARY_DIR}/icons/${size}x${size}/${PELORIX_APP_ID}.png)
      add_custom_command(OUTPUT ${icon}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
        COMMAND ${RSVG_CONVERT_EXECUTABLE} -w ${size} -h ${size} -o ${icon}
                ${PROJECT_SOURCE_DIR}/data/pelorix.svg
        DEPENDS ${PROJECT_SOURCE_DIR}/data/pelorix.svg)
      list(APPEND icons ${icon})
      install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(icons ALL DEPENDS ${icons})
  endif()
endif()

# The Debian package: run-time dependencies found by dpkg-shlibdeps from the binaries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelorix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${PELORIX_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compose animation frames from still images")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Pelorix stacks up to 16 layers of keyframed pictures (position, scale,
rotation, opacity, gliding placements, colour key, transparency) and
renders frames, image series, animated GIF, WebP and PNG, and videos. It
has a desktop application with a mouse-driven preview and a command-line
tool for scripted and distributed rendering.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
include(CPack)
