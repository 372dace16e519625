# Cross build for 32-bit Windows: the program as it ships.
set(pixelmoor_windows_cpu i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
