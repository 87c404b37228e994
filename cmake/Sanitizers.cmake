if(TARNWICK_SANITIZE)
  string(REPLACE ";" "," _san "${TARNWICK_SANITIZE}")
  add_compile_options(-fsanitize=${_san} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${_san})
endif()

# Adds a static library made of every source in the calling folder.
function(tarnwick_library name)
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${_sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE tarnwick_warnings)
endfunction()
