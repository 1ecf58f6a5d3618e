# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads), the
# programs and tests run under Wine:
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DKAVREL_GUI=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# No DLLs of the compiler's runtime to carry along: the programs start in a
# bare Wine prefix and on any Windows machine as they are.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest runs the test programs under Wine, in a prefix of the build folder's
# own (created on first use; scripts/test.sh creates it up front).
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(KAVREL_WINE64 NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  if(KAVREL_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        /usr/bin/env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all ${KAVREL_WINE64})
  endif()
endif()
