# SPDX-License-Identifier: GPL-3.0-or-later
# Warnings for the project's own targets; third-party headers come in as system includes and
# stay quiet. Warnings are errors only where asked (CI and scripts/build.sh): a distribution or
# user build with another compiler must not fail on a new warning.
option(PELORIX_WERROR "Treat warnings as errors" OFF)
add_library(pelorix_warnings INTERFACE)
target_compile_options(pelorix_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Woverloaded-virtual -Wimplicit-fallthrough
  # Float results must not depend on whether the compiler fuses a multiply and an add:
  # the vector and scalar compositor paths have to give the same bytes.
  -ffp-contract=off)
if(PELORIX_WERROR)
  target_compile_options(pelorix_warnings INTERFACE -Werror)
endif()
