# SPDX-License-Identifier: GPL-3.0-or-later
# What an installation holds besides the programs: the desktop entry, icons, MIME type,
# AppStream metainfo, man pages, shell completion, the example project, the documentation, and
# the Debian packages made by CPack (scripts/package.sh), one per install component:
#   cli    pelorix-cli: the command line, catalogues, completions, example, manual (no Qt)
#   gui    pelorix: the desktop application (depends on pelorix-cli)
#   video  pelorix-video: the video module (FFmpeg), recommended by both
#   python python3-pelorix: the Python package (depends on pelorix-cli for the catalogues)
set(PELORIX_APP_ID io.github.pelorix.Pelorix)
set(PELORIX_PACKAGE_MAINTAINER "Pelorix developers <pelorix@example.org>" CACHE STRING
    "Maintainer field of the Debian package")

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT cli)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog
               @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/packaging/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog)
add_custom_target(changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
# Every package has its own copyright file and changelog.
foreach(pair cli:pelorix-cli gui:pelorix video:pelorix-video python:python3-pelorix)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

foreach(example demo motion)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/${example}/
          DESTINATION ${CMAKE_INSTALL_DATADIR}/pelorix/examples/${example}
          COMPONENT cli PATTERN out EXCLUDE)
endforeach()

# Man pages from the programs' own --help, with the sections --help does not have.
find_program(HELP2MAN_EXECUTABLE help2man)
set(PELORIX_MAN_PAGES)
macro(pelorix_man_page program summary commands component)
  set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
  # The hand-written sections, and every subcommand's options from its own --help.
  set(include ${CMAKE_BINARY_DIR}/man/${program}.h2m)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E env LANG=C.UTF-8 LC_ALL=C.UTF-8 ${CMAKE_COMMAND}
            -DPROGRAM=${CMAKE_BINARY_DIR}/man/${program}-en
            -DINCLUDE=${PROJECT_SOURCE_DIR}/data/man/${program}.h2m -DOUTPUT=${include}
            "-DCOMMANDS=${commands}" -P ${PROJECT_SOURCE_DIR}/cmake/ManCommands.cmake
    COMMAND ${CMAKE_COMMAND} -E env LANG=C.UTF-8 LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
            ${HELP2MAN_EXECUTABLE} --no-info --locale=C.UTF-8 --section=1 --name=${summary}
            --include=${include} --output=${page}
            ${CMAKE_BINARY_DIR}/man/${program}-en
    COMMAND gzip -9nf ${page}
    DEPENDS ${program} ${PROJECT_SOURCE_DIR}/data/man/${program}.h2m
            ${PROJECT_SOURCE_DIR}/cmake/ManCommands.cmake
    COMMENT "Writing the man page of ${program}"
    VERBATIM)
  list(APPEND PELORIX_MAN_PAGES ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
  # The program in English, its help without the exit status line the page has a section for.
  set(language)
  if(NOT "${commands}" STREQUAL "")
    set(language "--lang en")
  endif()
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/man/${program}-en
    CONTENT "#!/bin/sh\n$<TARGET_FILE:${program}> ${language} \"$@\" | sed '/^Exit status:/,$d'\n"
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                     WORLD_EXECUTE)
endmacro()
if(CMAKE_CROSSCOMPILING)
  message(STATUS "Cross-compiling: no man pages (they are made by running the programs)")
elseif(HELP2MAN_EXECUTABLE)
  pelorix_man_page(pelorix-cli "compose, render and inspect Pelorix animation projects"
                   "info,save-as,convert,frame,render" cli)
  if(PELORIX_BUILD_GUI)
    pelorix_man_page(pelorix "compose animation frames from still images" "" gui)
  endif()
  add_custom_target(man_pages ALL DEPENDS ${PELORIX_MAN_PAGES})
endif()

if(PELORIX_BUILD_GUI)
  install(FILES ${PROJECT_SOURCE_DIR}/data/${PELORIX_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT gui)
  install(FILES ${PROJECT_SOURCE_DIR}/data/pelorix-mime.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME ${PELORIX_APP_ID}.xml COMPONENT gui)
  configure_file(${PROJECT_SOURCE_DIR}/data/${PELORIX_APP_ID}.metainfo.xml.in
                 ${CMAKE_BINARY_DIR}/${PELORIX_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/${PELORIX_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT gui)
  # The icon: the SVG, and PNG renderings of it for the usual sizes.
  install(FILES ${PROJECT_SOURCE_DIR}/data/pelorix.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          RENAME ${PELORIX_APP_ID}.svg COMPONENT gui)
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
      install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT gui)
    endforeach()
    add_custom_target(icons ALL DEPENDS ${icons})
  endif()
endif()

# The Debian packages: run-time dependencies found by dpkg-shlibdeps from the binaries. The
# packages always install under /usr, whatever prefix the build was configured with (the
# programs find their catalogues and module beside themselves).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelorix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${PELORIX_PACKAGE_MAINTAINER})
# Each package's description starts with its own summary line (CPack adds no other).
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli)
if(PELORIX_HAVE_VIDEO)
  list(APPEND CPACK_COMPONENTS_ALL video)
endif()
if(PELORIX_BUILD_GUI)
  list(APPEND CPACK_COMPONENTS_ALL gui)
endif()
if(PELORIX_HAVE_PYTHON)
  list(APPEND CPACK_COMPONENTS_ALL python)
endif()
set(pelorix_about
    "Pelorix stacks up to 16 layers of keyframed pictures (position, scale,
rotation, opacity, gliding placements, colour key, transparency) and
renders frames, image series, animated GIF, WebP and PNG, and videos.")
set(CPACK_DEBIAN_CLI_PACKAGE_NAME pelorix-cli)
set(CPACK_DEBIAN_CLI_DESCRIPTION "compose and render animation projects from the command line
${pelorix_about}
.
This package holds pelorix-cli, for scripted and distributed rendering
(a render node needs neither Qt nor FFmpeg unless it writes videos), the
message catalogues, the shell completion and an example project.")
set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS "pelorix-video")
set(CPACK_DEBIAN_GUI_PACKAGE_NAME pelorix)
set(CPACK_DEBIAN_GUI_DESCRIPTION "compose animation frames from still images
${pelorix_about}
.
This package holds the desktop application with its mouse-driven
preview.")
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "pelorix-cli (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_GUI_PACKAGE_RECOMMENDS "pelorix-video, fonts-noto-cjk, qt6-translations-l10n")
set(CPACK_DEBIAN_VIDEO_PACKAGE_NAME pelorix-video)
set(CPACK_DEBIAN_VIDEO_DESCRIPTION "video files for Pelorix
${pelorix_about}
.
This package holds the module that writes MP4, WebM, MOV and MKV files
through FFmpeg's libraries; Pelorix loads it when a video is written.")
set(CPACK_DEBIAN_VIDEO_PACKAGE_ENHANCES "pelorix-cli, pelorix")
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-pelorix)
set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Pelorix animation projects from Python
${pelorix_about}
.
This package holds the Python module pelorix: build, change and save
projects, compose frames into NumPy arrays and render them with the
options of pelorix-cli.")
# The compiled part serves the one Python version it was built for.
math(EXPR python_next "${Python3_VERSION_MINOR} + 1")
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
    "pelorix-cli (= ${PROJECT_VERSION}), python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}~), python3 (<< ${Python3_VERSION_MAJOR}.${python_next}), python3-numpy")
set(CPACK_DEBIAN_PYTHON_PACKAGE_RECOMMENDS "pelorix-video")
foreach(component CLI GUI VIDEO PYTHON)
  set(CPACK_DEBIAN_${component}_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_${component}_PACKAGE_SECTION graphics)
endforeach()
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
