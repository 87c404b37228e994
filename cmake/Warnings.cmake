# Our own targets build with every warning as an error; dependencies' headers come in as SYSTEM.
add_library(tarnwick_warnings INTERFACE)
target_compile_options(tarnwick_warnings INTERFACE
  -Wall -Wextra -Werror -Wformat=2 -Wformat-security)
