// A 32-bit pixel surface: the one pixel format every layer draws into.
// Pixels are 0xAARRGGBB words (B, G, R, A in memory), the layout of an X11 TrueColor
// ZPixmap and of a Windows 32-bit DIB, so surfaces go to the screen without conversion.
#pragma once

#include <cstdint>

namespace plat {

struct Point {
  int x = 0;
  int y = 0;
};

// Left/top inclusive, right/bottom exclusive, as on Windows.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
  bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
};

struct Surface32 {
  uint32_t* bits = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;  // in pixels, >= width

  uint32_t* Row(int y) const { return bits + static_cast<long>(y) * stride; }
};

inline constexpr uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) {
  return 0xFF000000u | (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}

}  // namespace plat
