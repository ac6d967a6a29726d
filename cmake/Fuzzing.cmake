# SPDX-License-Identifier: GPL-3.0-or-later
# libFuzzer targets need clang; configure a separate build with
#   CC=clang CXX=clang++ cmake -B build-fuzz -DPELORIX_FUZZ=ON -DPELORIX_BUILD_GUI=OFF
if(PELORIX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "PELORIX_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
