# The project's warning list, applied through the ksnd_warnings interface target.
add_library(ksnd_warnings INTERFACE)
target_compile_options(ksnd_warnings INTERFACE
  -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wcast-align -Wunused -Woverloaded-virtual
  -Wpedantic -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
if(KSND_WERROR)
  target_compile_options(ksnd_warnings INTERFACE -Werror)
endif()
