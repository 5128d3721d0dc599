# Cross-compiles the Windows build (64-bit QelvSonalter2.dll and the Windows test
# hosts) with MinGW-w64 from Linux:
#   cmake -S . -B build/windows -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake
#   cmake --build build/windows
# Debian packages: g++-mingw-w64-x86-64-win32, mingw-w64-tools (widl), libwine-dev
# (the system IDL files and stdole2.tlb the type library imports).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QELV_MINGW_TRIPLE x86_64-w64-mingw32)
# The win32-threads variant of the compiler: the component needs no POSIX threads
# and this variant links without winpthread.
find_program(CMAKE_C_COMPILER NAMES ${QELV_MINGW_TRIPLE}-gcc-win32 ${QELV_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${QELV_MINGW_TRIPLE}-g++-win32 ${QELV_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QELV_MINGW_TRIPLE}-windres windres REQUIRED)
find_program(QELV_WIDL NAMES ${QELV_MINGW_TRIPLE}-widl widl REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${QELV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
