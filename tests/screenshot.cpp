#include "screenshot.h"

#include <stdint.h>

#include <string>
#include <vector>

#include "framework/scoped_ui.h"
#include "test_support.h"
#include "zlib.h"

namespace {

void PutBigEndian(std::string* out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>(v >> shift));
}

void PutChunk(std::string* png, const char type[4], const std::string& data) {
  PutBigEndian(png, static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  png->append(body);
  PutBigEndian(png, static_cast<uint32_t>(
                        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

}  // namespace

bool SaveScreenArea(const RECT& area, const std::wstring& path) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return false;

  ScopedScreenDc screen(GetDC(nullptr));
  if (!screen) return false;
  ScopedMemoryDc memory(CreateCompatibleDC(screen.Get()));
  if (!memory) return false;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  ScopedGdiObject bitmap(CreateDIBSection(memory.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || bits == nullptr) return false;
  HGDIOBJ previous = SelectObject(memory.Get(), bitmap.Get());
  const BOOL copied = BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), area.left, area.top, SRCCOPY);
  GdiFlush();
  SelectObject(memory.Get(), previous);
  if (!copied) return false;

  // Filter type 0 on every row, then RGB.
  const auto* pixels = static_cast<const uint8_t*>(bits);
  std::string raw;
  raw.reserve(static_cast<size_t>(height) * (1 + 3 * width));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    const uint8_t* row = pixels + static_cast<size_t>(y) * width * 4;
    for (int x = 0; x < width; ++x) {
      raw.push_back(static_cast<char>(row[4 * x + 2]));
      raw.push_back(static_cast<char>(row[4 * x + 1]));
      raw.push_back(static_cast<char>(row[4 * x + 0]));
    }
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packed_size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &packed_size,
                reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    return false;
  }
  packed.resize(packed_size);

  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  PutBigEndian(&header, static_cast<uint32_t>(width));
  PutBigEndian(&header, static_cast<uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
  PutChunk(&png, "IHDR", header);
  PutChunk(&png, "IDAT", packed);
  PutChunk(&png, "IEND", std::string());

  ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.Get(), png.data(), static_cast<DWORD>(png.size()), &written, nullptr) &&
         written == png.size();
}
