# Our own targets build with every warning shown; dependencies' headers come in as SYSTEM.
# Warnings stop the build only where asked (CI and the README's test command): a user's
# build with another compiler or build type must never fail on a warning.
option(TARNWICK_WERROR "Treat warnings in our own code as errors" OFF)
add_library(tarnwick_warnings INTERFACE)
target_compile_options(tarnwick_warnings INTERFACE
  -Wall -Wextra -Wformat=2 -Wformat-security $<$<BOOL:${TARNWICK_WERROR}>:-Werror>)
