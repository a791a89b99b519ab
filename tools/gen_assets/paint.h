// A small float canvas for the asset painters: premultiplied RGBA, coverage-based drawing, and text
// through FreeType with a font that fontconfig picks.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "assets.h"

namespace assets {

struct Color {
  float r = 0, g = 0, b = 0;
};

Color Hex(uint32_t rgb);
Color Mix(Color a, Color b, float t);

struct Px {
  float r = 0, g = 0, b = 0, a = 0;  // premultiplied
};

class Canvas {
 public:
  Canvas(int width, int height) : w_(width), h_(height), px_(size_t(width) * size_t(height)) {}
  int width() const { return w_; }
  int height() const { return h_; }
  Px& at(int x, int y) { return px_[size_t(y) * size_t(w_) + size_t(x)]; }
  const Px& at(int x, int y) const { return px_[size_t(y) * size_t(w_) + size_t(x)]; }

  // Paints `color` over the pixel with the given opacity (0..1).
  void Blend(int x, int y, Color color, float opacity);
  // Calls fn(x, y) for every pixel centre and blends what it returns (colour, opacity).
  void Shade(const std::function<std::pair<Color, float>(float, float)>& fn);
  // Coverage of a shape given as an inside test, sampled n x n per pixel, over a bounding box.
  void FillShape(float x0, float y0, float x1, float y1, const std::function<bool(float, float)>& inside,
                 const std::function<Color(float, float)>& color, float opacity = 1.0f, int n = 6);
  // A smooth curve y = f(x) as a stroke of the given width with a soft glow around it.
  void Curve(float x0, float x1, const std::function<float(float)>& f, float width, Color color,
             float opacity, float glow_width = 0, float glow_opacity = 0,
             const std::function<float(float)>& fade = nullptr);

  Rgba8 ToRgba8() const;

 private:
  int w_, h_;
  std::vector<Px> px_;
};

// One face at one pixel size.
class Font {
 public:
  // pattern: a fontconfig name such as "DejaVu Sans:bold".
  Font(const std::string& pattern, int pixel_size);
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  int Advance(const std::string& ascii) const;  // pen advance in pixels
  int Ascent() const;
  // Draws text with its baseline at y; coverage goes through `ink` so callers can also record it.
  void Draw(Canvas& canvas, int x, int baseline, const std::string& ascii, Color color, float opacity,
            const std::function<void(int, int, float)>& ink = nullptr) const;
  const std::string& file() const { return file_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string file_;
};

// The brand's emblem: a rounded square in the brand gradient with a white "V" and, from 32 pixels
// up, a pulse of waveform across it. Drawn into a size x size box at (x, y).
void DrawEmblem(Canvas& canvas, int x, int y, int size, const std::function<void(int, int, float)>& ink = nullptr);

}  // namespace assets
