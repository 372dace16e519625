# Cross build of the same sources for 64-bit Windows: what the suite runs where
# this machine cannot run 32-bit programs (scripts/can-run-32-bit).
set(pixelmoor_windows_cpu x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
