// A file's size, CRC-32 and SHA-256, from one read: what the installation
// record keeps of each file, and what a file must still have to be removed by it.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "base/scoped.h"

struct FileDigest {
  uint64_t size;
  uint32_t crc;
  unsigned char sha256[32];
};

// The system's SHA-256 (BCrypt), opened once for many files.
class FileDigester {
 public:
  // False when BCrypt's SHA-256 cannot be had.
  bool Open();
  // True once Open succeeded.
  bool Ready() const { return static_cast<bool>(object_); }
  // Reads the open file (synchronous, read access) from where it stands to
  // its end through `buffer` (`bufferBytes`) into `*digest`. False when a
  // read or the hash fails. Without `withCrc`, digest->crc is left as it is.
  // One digester serves one thread at a time.
  bool Digest(HANDLE file, unsigned char* buffer, DWORD bufferBytes, FileDigest* digest, bool withCrc = true);

 private:
  ScopedAlgorithmProvider sha256_;
  ScopedMalloc object_;  // the hash object's memory, which Vista and 7 want from the caller
  DWORD object_bytes_ = 0;
};
