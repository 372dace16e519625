// One small owning wrapper per kind of handle, so that an early return never leaks.
#pragma once

#include <windows.h>

#include <bcrypt.h>
#include <stdio.h>
#include <stdlib.h>

template <typename Traits>
class Scoped {
 public:
  using Handle = typename Traits::Handle;
  Scoped() = default;
  explicit Scoped(Handle h) : h_(h) {}
  ~Scoped() { Reset(); }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;

  Handle Get() const { return h_; }
  bool IsValid() const { return h_ != Traits::Invalid(); }
  explicit operator bool() const { return IsValid(); }
  // For out-parameters: frees what is held and hands out the slot.
  Handle* Receive() { Reset(); return &h_; }
  void Reset(Handle h = Traits::Invalid()) {
    if (IsValid()) Traits::Close(h_);
    h_ = h;
  }
  // Hands the handle to a new owner (the C runtime's descriptor of a file).
  Handle Release() {
    Handle h = h_;
    h_ = Traits::Invalid();
    return h;
  }
  // Closes now and returns the close's result, for callers that must check it.
  auto Close() {
    auto rc = Traits::Close(h_);
    h_ = Traits::Invalid();
    return rc;
  }

 private:
  Handle h_ = Traits::Invalid();
};

// Kernel handles that CreateFileW hands out (invalid is INVALID_HANDLE_VALUE).
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static BOOL Close(Handle h) { return CloseHandle(h); }
};
using ScopedFileHandle = Scoped<FileHandleTraits>;

// Kernel handles whose invalid value is null: processes, threads, tokens.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static BOOL Close(Handle h) { return CloseHandle(h); }
};
using ScopedKernelHandle = Scoped<KernelHandleTraits>;

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static LONG Close(Handle h) { return RegCloseKey(h); }
};
using ScopedRegKey = Scoped<RegKeyTraits>;

// C runtime streams (the install log).
struct CrtFileTraits {
  using Handle = FILE*;
  static Handle Invalid() { return nullptr; }
  static int Close(Handle h) { return fclose(h); }
};
using ScopedCrtFile = Scoped<CrtFileTraits>;

// Memory the system hands out with LocalAlloc (security descriptors).
struct LocalMemoryTraits {
  using Handle = void*;
  static Handle Invalid() { return nullptr; }
  static HLOCAL Close(Handle h) { return LocalFree(h); }
};
using ScopedLocalMemory = Scoped<LocalMemoryTraits>;

// Thread-pool work items. Closing cancels the callbacks not yet started and
// waits for those running, which may still use what the item was made for.
struct ThreadpoolWorkTraits {
  using Handle = PTP_WORK;
  static Handle Invalid() { return nullptr; }
  static int Close(Handle h) {
    WaitForThreadpoolWorkCallbacks(h, TRUE);
    CloseThreadpoolWork(h);
    return 0;
  }
};
using ScopedThreadpoolWork = Scoped<ThreadpoolWorkTraits>;

// Algorithm providers from BCryptOpenAlgorithmProvider (the random generator, SHA-256).
struct AlgorithmProviderTraits {
  using Handle = BCRYPT_ALG_HANDLE;
  static Handle Invalid() { return nullptr; }
  static NTSTATUS Close(Handle h) { return BCryptCloseAlgorithmProvider(h, 0); }
};
using ScopedAlgorithmProvider = Scoped<AlgorithmProviderTraits>;

// Hashes from BCryptCreateHash (a file's SHA-256).
struct HashTraits {
  using Handle = BCRYPT_HASH_HANDLE;
  static Handle Invalid() { return nullptr; }
  static NTSTATUS Close(Handle h) { return BCryptDestroyHash(h); }
};
using ScopedHash = Scoped<HashTraits>;

struct MallocTraits {
  using Handle = void*;
  static Handle Invalid() { return nullptr; }
  static int Close(Handle h) { free(h); return 0; }
};
using ScopedMalloc = Scoped<MallocTraits>;
