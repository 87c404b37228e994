find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

pkg_check_modules(GLIBMM REQUIRED IMPORTED_TARGET glibmm-2.4 giomm-2.4)
pkg_check_modules(GTKMM REQUIRED IMPORTED_TARGET gtkmm-3.0)
pkg_check_modules(LZ4 REQUIRED IMPORTED_TARGET liblz4)

# Debian's mbedTLS 2.28 ships no pkg-config file.
find_library(MBEDCRYPTO_LIBRARY mbedcrypto REQUIRED)
find_path(MBEDTLS_INCLUDE_DIR mbedtls/aes.h REQUIRED)
add_library(mbedcrypto INTERFACE)
target_link_libraries(mbedcrypto INTERFACE ${MBEDCRYPTO_LIBRARY})
target_include_directories(mbedcrypto SYSTEM INTERFACE ${MBEDTLS_INCLUDE_DIR})
