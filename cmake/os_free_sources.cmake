# The sources with no OS calls in them, from the source root: the setup builds
# each in its folder's library, and the fuzzers and the payload check build
# them natively.
set(PIXELMOOR_OS_FREE_SOURCES
  text/text.cpp text/path_split.cpp
  install/entry_name.cpp install/temp_name.cpp install/zip_records.cpp
  report/log_text.cpp
  silent/command_line.cpp
  viewer/folder_text.cpp
  wizard/page_text.cpp)
