# SPDX-License-Identifier: GPL-3.0-or-later
# PELORIX_SANITIZE: ASan + UBSan for the whole build (tests run under it in CI).
# PELORIX_TSAN: ThreadSanitizer, used for the conversion engine tests.
if(PELORIX_SANITIZE AND PELORIX_TSAN)
  message(FATAL_ERROR "PELORIX_SANITIZE and PELORIX_TSAN cannot be combined")
endif()
if(PELORIX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(PELORIX_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
  # GCC 12's flow analysis under -fsanitize=thread sees moved std::optional<std::string>
  # members as uninitialised; the plain and ASan builds keep the warning.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
endif()
