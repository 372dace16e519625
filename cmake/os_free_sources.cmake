# The sources with no OS calls in them, from the source root: the setup builds
# each in its folder's library, and the fuzzers and the payload check build
# them natively.
set(PIXELMOOR_OS_FREE_SOURCES
  base/text.cpp base/path_split.cpp
  archive/entry_name.cpp archive/zip_records.cpp
  fs/temp_name.cpp
  install/entry_text.cpp install/record_text.cpp
  report/log_text.cpp
  silent/command_line.cpp
  viewer/folder_text.cpp
  wizard/page_text.cpp)
