// Canvas, text and emblem drawing for the asset painters.
#include "paint.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace assets {

Color Hex(uint32_t rgb) {
  return {float((rgb >> 16) & 0xFF) / 255.0f, float((rgb >> 8) & 0xFF) / 255.0f, float(rgb & 0xFF) / 255.0f};
}

Color Mix(Color a, Color b, float t) {
  t = std::clamp(t, 0.0f, 1.0f);
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

void Canvas::Blend(int x, int y, Color c, float opacity) {
  if (x < 0 || y < 0 || x >= w_ || y >= h_ || opacity <= 0) return;
  opacity = std::min(opacity, 1.0f);
  Px& p = at(x, y);
  const float keep = 1.0f - opacity;
  p.r = c.r * opacity + p.r * keep;
  p.g = c.g * opacity + p.g * keep;
  p.b = c.b * opacity + p.b * keep;
  p.a = opacity + p.a * keep;
}

void Canvas::Shade(const std::function<std::pair<Color, float>(float, float)>& fn) {
  for (int y = 0; y < h_; ++y)
    for (int x = 0; x < w_; ++x) {
      const auto [c, o] = fn(float(x) + 0.5f, float(y) + 0.5f);
      Blend(x, y, c, o);
    }
}

void Canvas::FillShape(float x0, float y0, float x1, float y1, const std::function<bool(float, float)>& inside,
                       const std::function<Color(float, float)>& color, float opacity, int n) {
  const int xa = std::max(0, int(std::floor(x0))), xb = std::min(w_ - 1, int(std::ceil(x1)));
  const int ya = std::max(0, int(std::floor(y0))), yb = std::min(h_ - 1, int(std::ceil(y1)));
  for (int y = ya; y <= yb; ++y)
    for (int x = xa; x <= xb; ++x) {
      int hits = 0;
      for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
          hits += inside(float(x) + (float(i) + 0.5f) / float(n), float(y) + (float(j) + 0.5f) / float(n));
      if (hits) Blend(x, y, color(float(x) + 0.5f, float(y) + 0.5f), opacity * float(hits) / float(n * n));
    }
}

void Canvas::Curve(float x0, float x1, const std::function<float(float)>& f, float width, Color color,
                   float opacity, float glow_width, float glow_opacity, const std::function<float(float)>& fade) {
  const int xa = std::max(0, int(std::floor(x0))), xb = std::min(w_ - 1, int(std::ceil(x1)));
  for (int x = xa; x <= xb; ++x) {
    const float px = float(x) + 0.5f;
    const float fx = f(px);
    const float slope = (f(px + 0.25f) - f(px - 0.25f)) * 2.0f;
    const float stretch = std::sqrt(1.0f + slope * slope);
    const float reach = (width + 3.0f * glow_width + 2.0f) * stretch;
    const float k = fade ? std::clamp(fade(px), 0.0f, 1.0f) : 1.0f;
    for (int y = std::max(0, int(fx - reach)); y <= std::min(h_ - 1, int(fx + reach)); ++y) {
      const float d = std::fabs(float(y) + 0.5f - fx) / stretch;
      if (glow_width > 0) Blend(x, y, color, k * glow_opacity * std::exp(-(d * d) / (glow_width * glow_width)));
      Blend(x, y, color, k * opacity * std::clamp(width / 2 + 0.5f - d, 0.0f, 1.0f));
    }
  }
}

Rgba8 Canvas::ToRgba8() const {
  Rgba8 out{uint32_t(w_), uint32_t(h_), Bytes(size_t(w_) * size_t(h_) * 4)};
  auto q = [](float v) { return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
  for (size_t i = 0; i < px_.size(); ++i) {
    const Px& p = px_[i];
    const float inv = p.a > 0 ? 1.0f / p.a : 0.0f;
    out.pixels[i * 4 + 0] = q(p.r * inv);
    out.pixels[i * 4 + 1] = q(p.g * inv);
    out.pixels[i * 4 + 2] = q(p.b * inv);
    out.pixels[i * 4 + 3] = q(p.a);
  }
  return out;
}

struct Font::Impl {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
};

Font::Font(const std::string& pattern, int pixel_size) : impl_(std::make_unique<Impl>()) {
  FcPattern* pat = FcNameParse(reinterpret_cast<const FcChar8*>(pattern.c_str()));
  if (!pat) throw std::runtime_error("fontconfig cannot parse " + pattern);
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pat, &result);
  FcPatternDestroy(pat);
  FcChar8* file = nullptr;
  FcChar8* family = nullptr;
  if (!match || FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) {
    if (match) FcPatternDestroy(match);
    throw std::runtime_error("no font for " + pattern);
  }
  file_ = reinterpret_cast<const char*>(file);
  // The assets were drawn with DejaVu; another face still works but changes the committed bytes.
  if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
      pattern.rfind(reinterpret_cast<const char*>(family), 0) != 0)
    std::fprintf(stderr, "gen_assets: warning: %s stands in for %s\n", file_.c_str(), pattern.c_str());
  FcPatternDestroy(match);

  if (FT_Init_FreeType(&impl_->library) != 0) throw std::runtime_error("FreeType did not start");
  if (FT_New_Face(impl_->library, file_.c_str(), 0, &impl_->face) != 0) {
    FT_Done_FreeType(impl_->library);
    throw std::runtime_error("cannot load font " + file_);
  }
  FT_Set_Pixel_Sizes(impl_->face, 0, FT_UInt(pixel_size));
}

Font::~Font() {
  FT_Done_Face(impl_->face);
  FT_Done_FreeType(impl_->library);
}

int Font::Ascent() const { return int(impl_->face->size->metrics.ascender >> 6); }

int Font::Advance(const std::string& ascii) const {
  FT_Face face = impl_->face;
  long pen = 0;
  FT_UInt prev = 0;
  for (unsigned char ch : ascii) {
    const FT_UInt glyph = FT_Get_Char_Index(face, ch);
    if (prev && FT_HAS_KERNING(face)) {
      FT_Vector k;
      FT_Get_Kerning(face, prev, glyph, FT_KERNING_DEFAULT, &k);
      pen += k.x;
    }
    if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT) == 0) pen += face->glyph->advance.x;
    prev = glyph;
  }
  return int((pen + 32) >> 6);
}

void Font::Draw(Canvas& canvas, int x, int baseline, const std::string& ascii, Color color, float opacity,
                const std::function<void(int, int, float)>& ink) const {
  FT_Face face = impl_->face;
  long pen = long(x) << 6;
  FT_UInt prev = 0;
  for (unsigned char ch : ascii) {
    const FT_UInt glyph = FT_Get_Char_Index(face, ch);
    if (prev && FT_HAS_KERNING(face)) {
      FT_Vector k;
      FT_Get_Kerning(face, prev, glyph, FT_KERNING_DEFAULT, &k);
      pen += k.x;
    }
    prev = glyph;
    if (FT_Load_Glyph(face, glyph, FT_LOAD_RENDER) != 0) continue;
    const FT_GlyphSlot g = face->glyph;
    const FT_Bitmap& bm = g->bitmap;
    const int ox = int((pen + 32) >> 6) + g->bitmap_left;
    const int oy = baseline - g->bitmap_top;
    for (unsigned row = 0; row < bm.rows; ++row)
      for (unsigned col = 0; col < bm.width; ++col) {
        const float cover = float(bm.buffer[long(row) * bm.pitch + long(col)]) / 255.0f;
        if (cover <= 0) continue;
        canvas.Blend(ox + int(col), oy + int(row), color, cover * opacity);
        if (ink) ink(ox + int(col), oy + int(row), cover * opacity);
      }
    pen += g->advance.x;
  }
}

namespace {

float RoundedBoxDistance(float px, float py, float cx, float cy, float half, float radius) {
  const float qx = std::fabs(px - cx) - (half - radius);
  const float qy = std::fabs(py - cy) - (half - radius);
  const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
  return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - radius;
}

bool InPolygon(const float (*pts)[2], int n, float x, float y) {
  bool in = false;
  for (int i = 0, j = n - 1; i < n; j = i++) {
    if ((pts[i][1] > y) != (pts[j][1] > y) &&
        x < (pts[j][0] - pts[i][0]) * (y - pts[i][1]) / (pts[j][1] - pts[i][1]) + pts[i][0])
      in = !in;
  }
  return in;
}

}  // namespace

void DrawEmblem(Canvas& canvas, int x0, int y0, int size, const std::function<void(int, int, float)>& ink) {
  const float s = float(size);
  // The V, in units of the box; at small sizes its corners land on half pixels so edges stay sharp.
  static const float kV[7][2] = {{0.20f, 0.24f}, {0.385f, 0.24f}, {0.5f, 0.56f}, {0.615f, 0.24f},
                                 {0.80f, 0.24f}, {0.585f, 0.79f}, {0.415f, 0.79f}};
  float v[7][2];
  for (int i = 0; i < 7; ++i)
    for (int k = 0; k < 2; ++k) {
      const float p = kV[i][k] * s;
      v[i][k] = size <= 24 ? std::round(p * 2.0f) / 2.0f : p;
    }
  const bool wave = size >= 32;
  const Color top = Hex(0x1F6FB2), bottom = Hex(0x0C8C8F), edge = Hex(0x082445);
  const Color white = Hex(0xFFFFFF), pulse = Hex(0x7DEBF5);
  const float radius = s * 0.2f, border = std::max(1.0f, s / 24.0f);
  constexpr int n = 8;

  for (int py = 0; py < size; ++py)
    for (int px = 0; px < size; ++px) {
      float r = 0, g = 0, b = 0, a = 0;
      for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
          const float x = float(px) + (float(i) + 0.5f) / n, y = float(py) + (float(j) + 0.5f) / n;
          const float d = RoundedBoxDistance(x, y, s / 2, s / 2, s / 2, radius);
          if (d > 0) continue;
          Color c = Mix(top, bottom, (x + y) / (2 * s));
          // A soft gloss on the upper half, the light coming from above.
          if (y < s * 0.5f) c = Mix(c, white, 0.10f * (1.0f - y / (s * 0.5f)));
          if (wave) {
            const float u = x / s;
            const float wy = s * (0.56f + 0.085f * std::sin(6.2831853f * (u * 1.5f + 0.1f)));
            if (std::fabs(y - wy) < s * 0.028f) c = Mix(c, pulse, 0.85f);
          }
          if (d > -border) c = Mix(c, edge, 0.55f);
          if (InPolygon(v, 7, x, y)) c = white;
          r += c.r;
          g += c.g;
          b += c.b;
          a += 1;
        }
      // A sliver of the rounded corner would leave a faint speck in an otherwise clear pixel.
      if (a < float(n * n) / 16) continue;
      const float cover = a / float(n * n);
      canvas.Blend(x0 + px, y0 + py, {r / a, g / a, b / a}, cover);
      if (ink) ink(x0 + px, y0 + py, cover);
    }
}

}  // namespace assets
