# zlib from Debian's mingw-w64 build, linked statically; minizip's unzip part
# built for the target from the source that scripts/bootstrap fetches.
find_library(PIXELMOOR_ZLIB NAMES libz.a REQUIRED)
find_path(PIXELMOOR_ZLIB_INCLUDE zlib.h REQUIRED)

if(NOT EXISTS "${PIXELMOOR_MINIZIP_SOURCE}/unzip.c")
  message(FATAL_ERROR "minizip's source is not at ${PIXELMOOR_MINIZIP_SOURCE}: run scripts/bootstrap")
endif()
add_library(minizip STATIC
  ${PIXELMOOR_MINIZIP_SOURCE}/unzip.c
  ${PIXELMOOR_MINIZIP_SOURCE}/ioapi.c
  ${PIXELMOOR_MINIZIP_SOURCE}/iowin32.c)
target_include_directories(minizip SYSTEM PUBLIC ${PIXELMOOR_MINIZIP_SOURCE} ${PIXELMOOR_ZLIB_INCLUDE})
target_compile_options(minizip PRIVATE -w)
target_link_libraries(minizip PUBLIC ${PIXELMOOR_ZLIB})


# minizip's own extractor, from the same source, for the benchmark (scripts/bench).
add_executable(miniunz EXCLUDE_FROM_ALL ${PIXELMOOR_MINIZIP_SOURCE}/miniunz.c)
target_link_libraries(miniunz PRIVATE minizip)
target_compile_options(miniunz PRIVATE -w)
set_target_properties(miniunz PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
