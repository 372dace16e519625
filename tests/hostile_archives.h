// Archives that trusted extractors are tested against, written byte by byte:
// names that leave the target folder or mean something else to Windows, and
// archives that lie about their own structure.
#pragma once

#include <string>
#include <vector>

struct HostileArchive {
  std::string id;           // a file-name-safe key
  std::string what;         // one line for the table
  std::string bytes;        // the whole archive
  bool installs_whole;      // every file of it reaches the disk as it should
  // The build-time payload check refuses it although the setup installs it:
  // two names Windows takes for one, so one file lands over the other.
  bool check_refuses_anyway = false;
};

std::vector<HostileArchive> HostileArchives();
