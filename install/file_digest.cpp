#include "install/file_digest.h"

#include <bcrypt.h>
#include <stdlib.h>

#include "zlib.h"

bool FileDigester::Open() {
  DWORD got = 0;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(sha256_.Receive(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
      !BCRYPT_SUCCESS(BCryptGetProperty(sha256_.Get(), BCRYPT_OBJECT_LENGTH,
                                        reinterpret_cast<PUCHAR>(&object_bytes_), sizeof object_bytes_, &got, 0))) {
    return false;
  }
  object_.Reset(malloc(object_bytes_));
  return static_cast<bool>(object_);
}

bool FileDigester::Digest(HANDLE file, unsigned char* buffer, DWORD bufferBytes, FileDigest* digest, bool withCrc) {
  ScopedHash hash;
  if (!object_ || !BCRYPT_SUCCESS(BCryptCreateHash(sha256_.Get(), hash.Receive(), static_cast<PUCHAR>(object_.Get()),
                                                   object_bytes_, nullptr, 0, 0))) {
    return false;
  }
  digest->size = 0;
  uLong crc = crc32(0L, Z_NULL, 0);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, buffer, bufferBytes, &read, nullptr)) return false;
    if (read == 0) break;
    if (withCrc) crc = crc32(crc, buffer, read);
    digest->size += read;
    if (!BCRYPT_SUCCESS(BCryptHashData(hash.Get(), buffer, read, 0))) return false;
  }
  if (withCrc) digest->crc = static_cast<uint32_t>(crc);
  return BCRYPT_SUCCESS(BCryptFinishHash(hash.Get(), digest->sha256, sizeof digest->sha256, 0));
}
