# SPDX-License-Identifier: GPL-3.0-or-later
# Warnings for the project's own targets; third-party headers come in as system includes and
# stay quiet. Warnings are errors only where asked (CI and scripts/build.sh): a distribution or
# user build with another compiler must not fail on a new warning.
option(PELORIX_WERROR "Treat warnings as errors" OFF)
set(PELORIX_WARNING_FLAGS
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Woverloaded-virtual -Wimplicit-fallthrough
  # Float results must not depend on whether the compiler fuses a multiply and an add:
  # the vector and scalar compositor paths have to give the same bytes.
  -ffp-contract=off)
if(PELORIX_WERROR)
  list(APPEND PELORIX_WARNING_FLAGS -Werror)
endif()
add_library(pelorix_warnings INTERFACE)
target_compile_options(pelorix_warnings INTERFACE ${PELORIX_WARNING_FLAGS})
# The tests' table rows name only the fields that matter; the exception comes after -Wextra,
# where every compiler honours it.
add_library(pelorix_test_warnings INTERFACE)
target_compile_options(pelorix_test_warnings INTERFACE ${PELORIX_WARNING_FLAGS}
                       -Wno-missing-field-initializers)
