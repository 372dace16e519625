#include "archive/zip_records.h"

namespace {

unsigned ReadLe16(const unsigned char* p) { return p[0] | (p[1] << 8); }

unsigned long ReadLe32(const unsigned char* p) {
  return static_cast<unsigned long>(ReadLe16(p)) |
         (static_cast<unsigned long>(ReadLe16(p + 2)) << 16);
}

}  // namespace

bool IsEmptyArchiveRecord(const unsigned char* bytes, size_t length) {
  if (length < kEndRecordBytes) return false;
  if (ReadLe32(bytes) != kEndRecordSignature) return false;
  const unsigned comment = ReadLe16(bytes + 20);
  return ReadLe16(bytes + 4) == 0 && ReadLe16(bytes + 6) == 0 && ReadLe16(bytes + 8) == 0 &&
         ReadLe16(bytes + 10) == 0 && ReadLe32(bytes + 12) == 0 && ReadLe32(bytes + 16) == 0 &&
         kEndRecordBytes + comment <= length;
}
