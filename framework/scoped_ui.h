// The owning wrappers of the handles only the faces use: the screen's device
// context and COM, on top of the engine's (base/scoped.h).
#pragma once

#include <windows.h>

#include <objbase.h>

#include "base/scoped.h"

// The screen's device context, from GetDC(nullptr).
struct ScreenDcTraits {
  using Handle = HDC;
  static Handle Invalid() { return nullptr; }
  static int Close(Handle h) { return ReleaseDC(nullptr, h); }
};
using ScopedScreenDc = Scoped<ScreenDcTraits>;

// COM interface pointers: one reference, released at the end.
template <typename Interface>
struct ComInterfaceTraits {
  using Handle = Interface*;
  static Handle Invalid() { return nullptr; }
  static ULONG Close(Handle h) { return h->Release(); }
};
template <typename Interface>
using ScopedComInterface = Scoped<ComInterfaceTraits<Interface>>;

// COM on this thread while the object lives, apartment-threaded as the shell's
// dialogs need. Every successful initialisation (S_FALSE included) is balanced.
class ScopedComApartment {
 public:
  ScopedComApartment() : rc_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~ScopedComApartment() {
    if (SUCCEEDED(rc_)) CoUninitialize();
  }
  ScopedComApartment(const ScopedComApartment&) = delete;
  ScopedComApartment& operator=(const ScopedComApartment&) = delete;

 private:
  HRESULT rc_;
};
