# Cross build for Windows with mingw-w64's posix thread-model compilers, for
# the processor the toolchain file names (pixelmoor_windows_cpu).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${pixelmoor_windows_cpu})

set(CMAKE_C_COMPILER ${pixelmoor_windows_cpu}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${pixelmoor_windows_cpu}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${pixelmoor_windows_cpu}-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${pixelmoor_windows_cpu}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs are Windows programs: ctest runs them under Wine in the project's prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run")
