# Warnings are errors for the project's own targets; third-party headers come in as system
# includes and stay quiet.
add_library(pelorix_warnings INTERFACE)
target_compile_options(pelorix_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Woverloaded-virtual -Wimplicit-fallthrough -Werror
  # Float results must not depend on whether the compiler fuses a multiply and an add:
  # the SIMD and scalar compositor paths have to give the same bytes.
  -ffp-contract=off)
