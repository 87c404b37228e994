# ccache, when it is installed and no compiler launcher is chosen: builds of unchanged
# sources (another build tree of the same flags, a fresh checkout at the same place) come
# from the cache. The test programs' precompiled headers are cacheable only with this
# sloppiness (and -fpch-preprocess, set on them).
if(NOT DEFINED CMAKE_CXX_COMPILER_LAUNCHER AND NOT DEFINED CMAKE_C_COMPILER_LAUNCHER)
  find_program(CCACHE_PROGRAM ccache)
  if(CCACHE_PROGRAM)
    set(_launcher env CCACHE_SLOPPINESS=pch_defines,time_macros ${CCACHE_PROGRAM})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${_launcher})
    set(CMAKE_C_COMPILER_LAUNCHER ${_launcher})
  endif()
endif()
