# Cross build for 64-bit Windows with MinGW-w64 on Linux, run under 64-bit Wine. The 32-bit
# build is the product; this one keeps the sources honest about pointer sizes.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
