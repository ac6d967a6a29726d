# SPDX-License-Identifier: GPL-3.0-or-later
# The catalogues of po/*.po compiled into build/locale/<lang>/LC_MESSAGES/pelorix.mo (where the
# programs in the build tree find them) and installed beside the other locales.
find_program(MSGFMT_EXECUTABLE msgfmt REQUIRED)
file(GLOB PELORIX_PO_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/po/*.po)
set(PELORIX_MO_FILES)
foreach(po ${PELORIX_PO_FILES})
  get_filename_component(language ${po} NAME_WE)
  set(mo ${CMAKE_BINARY_DIR}/locale/${language}/LC_MESSAGES/pelorix.mo)
  add_custom_command(OUTPUT ${mo}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/locale/${language}/LC_MESSAGES
    COMMAND ${MSGFMT_EXECUTABLE} --check-format --check-domain -o ${mo} ${po}
    DEPENDS ${po}
    COMMENT "Compiling the ${language} catalogue")
  list(APPEND PELORIX_MO_FILES ${mo})
  install(FILES ${mo} DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/${language}/LC_MESSAGES COMPONENT cli)
endforeach()
add_custom_target(translations ALL DEPENDS ${PELORIX_MO_FILES})
