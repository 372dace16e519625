#include "fs/own_image.h"

#include <bcrypt.h>

#include "fs/target_folder.h"

// ntdll's: STATUS_SUCCESS when both views map the same file, whatever names
// it has now. Exported since Windows NT 4, and by Wine.
extern "C" LONG NTAPI NtAreMappedFilesTheSame(PVOID file1MappedAsImage, PVOID file2MappedAsFile);

namespace {

struct MappedViewTraits {
  using Handle = void*;
  static Handle Invalid() { return nullptr; }
  static BOOL Close(Handle h) { return UnmapViewOfFile(h); }
};
using ScopedMappedView = Scoped<MappedViewTraits>;

}  // namespace

bool IsFileOfImage(HANDLE file, HMODULE image) {
  if (image == nullptr) return false;
  ScopedKernelHandle mapping(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) return false;
  // One page is enough: the call compares the files the views map.
  ScopedMappedView view(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 1));
  if (!view) return false;
  if (NtAreMappedFilesTheSame(image, view.Get()) == 0) return true;
  SetLastError(ERROR_FILE_INVALID);
  return false;
}

bool OpenFileOfImage(HMODULE image, ScopedFileHandle* file) {
  wchar_t path[kBelowPathChars];
  const DWORD length = GetModuleFileNameW(image, path, kBelowPathChars);
  if (length == 0 || length >= kBelowPathChars) {
    if (length != 0) SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  // Anonymous to a pipe server that some link there might lead to: it
  // could not act as the setup before the check below refuses it.
  file->Reset(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN | SECURITY_SQOS_PRESENT | SECURITY_ANONYMOUS, nullptr));
  if (*file && GetFileType(file->Get()) != FILE_TYPE_DISK) SetLastError(ERROR_FILE_INVALID);
  else if (*file && IsFileOfImage(file->Get(), image)) return true;
  const DWORD error = GetLastError();
  file->Reset();
  SetLastError(error);
  return false;
}

bool SystemRandom(uint64_t* random) {
  ScopedAlgorithmProvider generator;
  return BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(generator.Receive(), BCRYPT_RNG_ALGORITHM, nullptr, 0)) &&
         BCRYPT_SUCCESS(BCryptGenRandom(generator.Get(), reinterpret_cast<PUCHAR>(random), sizeof *random, 0));
}
