#include "archive/archive_rules.h"

#include <stdlib.h>
#include <string.h>

#include "archive/entry_name.h"
#include "archive/zip_records.h"

namespace {

// An entry's local header and data, as offsets in the archive.
struct DataSpan {
  uint64_t begin, end, entry;
};

// A growing list that frees itself on every return.
class SpanList {
 public:
  SpanList() = default;
  ~SpanList() { free(spans_); }
  SpanList(const SpanList&) = delete;
  SpanList& operator=(const SpanList&) = delete;

  bool Add(const DataSpan& span) {
    if (used_ == capacity_) {
      const size_t grown = capacity_ == 0 ? 64 : capacity_ * 2;
      void* memory = realloc(spans_, grown * sizeof(DataSpan));
      if (memory == nullptr) return false;
      spans_ = static_cast<DataSpan*>(memory);
      capacity_ = grown;
    }
    spans_[used_++] = span;
    return true;
  }
  // The index of an entry whose span starts inside an earlier-lying one, or -1.
  int64_t FindOverlap() {
    if (used_ > 1) qsort(spans_, used_, sizeof(DataSpan), &ByBegin);
    uint64_t reached = 0;
    for (size_t i = 0; i < used_; ++i) {
      if (i > 0 && spans_[i].begin < reached) return static_cast<int64_t>(spans_[i].entry);
      if (spans_[i].end > reached) reached = spans_[i].end;
    }
    return -1;
  }

 private:
  static int ByBegin(const void* a, const void* b) {
    const uint64_t x = static_cast<const DataSpan*>(a)->begin;
    const uint64_t y = static_cast<const DataSpan*>(b)->begin;
    return x < y ? -1 : x > y ? 1 : 0;
  }
  DataSpan* spans_ = nullptr;
  size_t used_ = 0, capacity_ = 0;
};

}  // namespace

int ReadEntryInfo(unzFile archive, unz_file_info64* info, char name[kEntryNameBytes]) {
  const int rc = unzGetCurrentFileInfo64(archive, info, name, kEntryNameBytes, nullptr, 0, nullptr, 0);
  if (rc != UNZ_OK) return rc;
  if (info->size_filename >= kEntryNameBytes || strlen(name) != info->size_filename) {
    return kUnpackBadName;
  }
  return UNZ_OK;
}

bool IsFolderEntryName(const char* name) {
  const size_t length = strlen(name);
  return length > 0 && IsEntrySeparator(static_cast<unsigned char>(name[length - 1]));
}

int CheckEntryMethod(const unz_file_info64& info) {
  if (info.flag & kZipFlagEncrypted) return kUnpackEncrypted;
  if (info.compression_method != 0 && info.compression_method != Z_DEFLATED) {
    return kUnpackUnsupportedMethod;
  }
  return UNZ_OK;
}

int CheckDataSpans(unzFile archive, uint64_t count, uint64_t archiveBytes, uint64_t* overlapping,
                   uint64_t* fileBytes) {
  SpanList spans;
  uint64_t total = 0;
  for (uint64_t i = 0; i < count;) {
    unz_file_info64 info;
    char name[kEntryNameBytes];
    int rc = ReadEntryInfo(archive, &info, name);
    if (rc != UNZ_OK && rc != kUnpackBadName) return rc;  // a bad name is reported in its turn
    if (rc == UNZ_OK && !IsFolderEntryName(name) && CheckEntryMethod(info) == UNZ_OK) {
      rc = unzOpenCurrentFilePassword(archive, nullptr);
      if (rc != UNZ_OK) {
        (void)unzCloseCurrentFile(archive);  // the open's error is the one reported
        return rc;
      }
      // The local header: 30 fixed bytes, the name (as long as the central
      // directory's, which minizip checks) and the local extra field.
      const uint64_t data = unzGetCurrentFileZStreamPos64(archive);
      const int extra = unzGetLocalExtrafield(archive, nullptr, 0);
      (void)unzCloseCurrentFile(archive);  // nothing was read: there is nothing to check
      if (extra < 0) return extra;
      const uint64_t header = kLocalHeaderBytes + info.size_filename + static_cast<unsigned>(extra);
      // Compared so that no sum can wrap: data lies inside the archive.
      if (data > archiveBytes || info.compressed_size > archiveBytes - data) return kUnpackPastTheEnd;
      if (!spans.Add({data > header ? data - header : 0, data + info.compressed_size, i})) {
        return kUnpackOutOfMemory;
      }
      // Declared sizes: a lying archive may add up past what 64 bits hold.
      total = info.uncompressed_size > UINT64_MAX - total ? UINT64_MAX : total + info.uncompressed_size;
    }
    ++i;
    if (i < count) {
      rc = unzGoToNextFile(archive);
      if (rc != UNZ_OK) return rc;
    }
  }
  const int64_t overlap = spans.FindOverlap();
  if (overlap >= 0) {
    if (overlapping != nullptr) *overlapping = static_cast<uint64_t>(overlap);
    return kUnpackOverlap;
  }
  if (fileBytes != nullptr) *fileBytes = total;
  return unzGoToFirstFile(archive);
}

int DrainEntry(unzFile archive, const unz_file_info64& info, char* buffer, EntrySink sink,
               void* context) {
  int copy_rc = UNZ_OK;
  uint64_t total = 0;
  for (;;) {
    const int got = unzReadCurrentFile(archive, buffer, kCopyBufferBytes);
    if (got < 0) {
      copy_rc = got;
      break;
    }
    if (got == 0) break;
    if (!sink(context, buffer, static_cast<unsigned>(got))) {
      copy_rc = kUnpackWriteFailed;
      break;
    }
    total += static_cast<unsigned>(got);
  }
  // minizip checks the CRC only when the declared size came out.
  if (copy_rc == UNZ_OK && total != info.uncompressed_size) copy_rc = kUnpackSizeMismatch;
  const int closed = unzCloseCurrentFile(archive);  // the CRC check
  return copy_rc != UNZ_OK ? copy_rc : closed;
}
