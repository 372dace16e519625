// The fixed facts of the ZIP format that the setup reads itself, besides what
// minizip reads for it. Pure: no OS calls.
#pragma once

#include <stddef.h>

// The end-of-central-directory record: its signature, 22 fixed bytes and a comment of up to
// 0xFFFF bytes.
constexpr unsigned long kEndRecordSignature = 0x06054b50UL;
constexpr size_t kEndRecordBytes = 22;
constexpr size_t kMostEndRecordBytes = kEndRecordBytes + 0xFFFF;

// Bit 0 of an entry's general-purpose flag: its data is encrypted.
constexpr unsigned long kZipFlagEncrypted = 1;

// A local file header's fixed part; the name and the extra field follow it.
constexpr unsigned kLocalHeaderBytes = 30;

// True when the bytes start with an end-of-central-directory record that
// describes an archive without entries (no central directory at all).
bool IsEmptyArchiveRecord(const unsigned char* bytes, size_t length);
