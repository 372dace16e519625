// Writes ZIP archives byte by byte for the tests, with every header field under
// the test's control, so that archives can also lie about themselves.
#pragma once

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

struct ZipEntry {
  std::string name;          // as stored (8-bit), "/" or "\" separated
  std::string data;          // the plain contents
  uint16_t method = 8;       // 8 deflate, 0 stored; any other value stores `data` as is
  uint16_t flag = 2;
  uint32_t dos_date_time = 0x5A8F6000;  // 2025-04-15 12:00:00
  // Overrides of what the headers declare; by default the true values.
  std::optional<uint32_t> crc;
  std::optional<uint32_t> compressed_size;
  std::optional<uint32_t> uncompressed_size;
  std::optional<std::string> raw_data;     // stored bytes in place of the compressed data
  std::optional<std::string> local_name;   // the local header's name, when it differs
  std::optional<uint16_t> central_name_length;
  // The central record's local-header offset: another entry's index, so that
  // two records share one local header and its data.
  std::optional<size_t> local_header_of;
};

struct ZipOptions {
  std::string before;                      // bytes ahead of the archive
  std::string after;                       // bytes after the end record
  std::optional<uint16_t> declared_entries;
  bool reverse_central = false;            // the central directory lists the last entry first
};

// Folder entry: name ending in "/", stored, no data.
ZipEntry FolderEntry(const std::string& name);
ZipEntry FileEntry(const std::string& name, const std::string& data);

std::string BuildZip(const std::vector<ZipEntry>& entries, const ZipOptions& options = {});

// Raw deflate of `data` at level 9.
std::string Deflate(const std::string& data);
uint32_t Crc32(const std::string& data);
