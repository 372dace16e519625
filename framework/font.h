// A font object that owns its HFONT: the stand-in for the framework's CFont.
#pragma once

#include <windows.h>

#include "framework/object.h"

class CFont : public CObject {
 public:
  CFont() = default;
  ~CFont() override { DeleteObject(); }
  CFont(const CFont&) = delete;
  CFont& operator=(const CFont&) = delete;

  // Takes ownership of `font` (which may be null), deleting any font held before.
  void Attach(HFONT font) {
    DeleteObject();
    m_hObject = font;
  }
  // Deletes the font; true when one was held and deleted.
  bool DeleteObject() {
    if (m_hObject == nullptr) return false;
    const bool deleted = ::DeleteObject(m_hObject) != 0;
    m_hObject = nullptr;
    return deleted;
  }
  HFONT GetSafeHandle() const { return m_hObject; }

 private:
  HFONT m_hObject = nullptr;
};
