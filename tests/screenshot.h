// Screenshots of what is on the screen, saved as PNG files.
#pragma once

#include <windows.h>

#include <string>

// Saves the screen's pixels inside `area` (screen coordinates) as a 24-bit PNG
// file at `path`. Returns false when the screen cannot be read or the file written.
bool SaveScreenArea(const RECT& area, const std::wstring& path);
