// Fonts and text drawing on FreeType: Windows-style metrics, hinted glyphs cached per font,
// per-character fallback faces, and DrawTextW for one line.
//
// Implements: Font::Create (one font object per request, shared), metrics as Windows measures
// a TrueType face, advance widths with DrawText's tab stops, coverage blending into 32-bit
// surfaces, UTF-16 with surrogate pairs, DrawTextW's alignment, clipping, prefix and
// measuring flags for one line. Not implemented: kerning, shaping of complex scripts,
// multi-line layout and word breaks.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/text.h"
#include "text_internal.h"

namespace plat {

namespace {

using textimpl::FaceChoice;
using textimpl::FontLibrary;

// Small text from faces with their own TrueType hinting renders hinted monochrome: that is
// what makes an 8-point UI font crisp, as on the desktop the form was drawn for (the CJK
// fallback face has hints too, so a mixed caption keeps one weight). Larger text, and faces
// that only the auto-hinter can fit to the grid, render anti-aliased: monochrome turns their
// curves into stairs.
constexpr int kMonoMaxPixelsPerEm = 16;

bool HasBytecodeHints(FT_Face face) {
  if (!FT_IS_SFNT(face)) return false;
  FT_ULong length = 0;
  return FT_Load_Sfnt_Table(face, TTAG_fpgm, 0, nullptr, &length) == 0 && length > 0;
}

constexpr int kTabChars = 8;  // DrawText's default tab stop, in average character widths

// Windows rounds each of ascent and descent on its own: round(units * ppem / unitsPerEm).
int ScaleRound(long units, int ppem, int units_per_em) {
  if (units_per_em <= 0) return 0;
  const long long num = static_cast<long long>(units) * ppem * 2 + units_per_em;
  return static_cast<int>(num / (2LL * units_per_em));
}

// The vertical extent in font units, the way GDI reads it for tmAscent/tmDescent: OS/2
// usWinAscent/usWinDescent, else hhea, else what FreeType has for a face without either.
std::pair<long, long> DesignExtent(FT_Face face) {
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    return {os2->usWinAscent, os2->usWinDescent};
  }
  const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  if (hhea != nullptr && hhea->Ascender - hhea->Descender > 0) {
    return {hhea->Ascender, -static_cast<long>(hhea->Descender)};
  }
  return {face->ascender, -static_cast<long>(face->descender)};
}

int ClampToInt(long long v) {
  return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

// Decodes UTF-16; an unpaired surrogate becomes U+FFFD, as Windows shows it.
template <typename Fn>
void ForEachCodePoint(std::u16string_view text, Fn&& fn) {
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    fn(c);
  }
}

struct FaceDeleter {
  std::shared_ptr<FontLibrary> library;
  void operator()(FT_FaceRec_* face) const { library->CloseFace(face); }
};
using FacePtr = std::unique_ptr<FT_FaceRec_, FaceDeleter>;

// A rendered glyph: grey coverage, its offset from the pen on the baseline, and its advance.
struct Glyph {
  int left = 0;
  int top = 0;  // rows above the baseline
  int width = 0;
  int rows = 0;
  int advance = 0;
  std::vector<uint8_t> coverage;
};

// Which face draws a character and with which glyph; face 0 is the font's own face.
struct GlyphRef {
  uint32_t face = 0;
  uint32_t index = 0;
};

class FontImpl final : public Font {
 public:
  static std::shared_ptr<FontImpl> Open(std::shared_ptr<FontLibrary> library,
                                        const FontRequest& request, const FaceChoice& choice) {
    FacePtr face(library->OpenFace(choice), FaceDeleter{library});
    if (!face) return nullptr;
    auto font = std::shared_ptr<FontImpl>(new FontImpl(std::move(library), request));
    font->ppem_ = PixelsPerEm(face.get(), request.height);
    if (!font->AddFace(std::move(face), choice)) return nullptr;
    font->ComputeMetrics();
    return font;
  }

  const TextMetrics& Metrics() const override { return metrics_; }

  int TextWidth(std::u16string_view text, bool expand_tabs) const override {
    std::lock_guard lock(mutex_);
    int width = 0;
    Layout(text, expand_tabs, [](long long, const Glyph&) {}, &width);
    return width;
  }

  void Draw(const Surface32& dst, int x, int y, std::u16string_view text, uint32_t color,
            const Rect& clip, bool expand_tabs) const override {
    const Rect area{std::max(clip.left, 0), std::max(clip.top, 0),
                    std::min(clip.right, dst.width), std::min(clip.bottom, dst.height)};
    if (dst.bits == nullptr || area.Empty()) return;
    std::lock_guard lock(mutex_);
    const long long baseline = static_cast<long long>(y) + metrics_.ascent;
    Layout(text, expand_tabs, [&](long long pen, const Glyph& glyph) {
      Blend(dst, area, static_cast<long long>(x) + pen + glyph.left, baseline - glyph.top, glyph,
            color);
    });
  }

 private:
  FontImpl(std::shared_ptr<FontLibrary> library, FontRequest request)
      : library_(std::move(library)), request_(std::move(request)) {
    ascii_.fill(kUnknown);
  }

  // Negative heights are the em height, positive ones the cell height (ascent + descent),
  // zero the default of the form's font.
  static int PixelsPerEm(FT_Face face, int height) {
    constexpr int kLargest = 2048;  // beyond any screen; keeps the arithmetic in range
    if (height < 0) return height < -kLargest ? kLargest : -height;
    if (height == 0) return 11;
    height = std::min(height, kLargest);
    const auto [ascent, descent] = DesignExtent(face);
    if (!FT_IS_SCALABLE(face) || ascent + descent <= 0) return height;
    return std::clamp(ScaleRound(static_cast<long>(height) * face->units_per_EM, 1,
                                 static_cast<int>(ascent + descent)),
                      1, kLargest);
  }

  bool AddFace(FacePtr face, const FaceChoice& choice) const {
    if (FT_IS_SCALABLE(face.get())) {
      if (FT_Set_Pixel_Sizes(face.get(), 0, static_cast<FT_UInt>(ppem_)) != 0) return false;
    } else if (face->num_fixed_sizes > 0) {
      // A bitmap-only face: the strike nearest the requested size.
      int best = 0;
      for (int i = 1; i < face->num_fixed_sizes; ++i) {
        if (std::abs(face->available_sizes[i].height - ppem_) <
            std::abs(face->available_sizes[best].height - ppem_)) {
          best = i;
        }
      }
      if (FT_Select_Size(face.get(), best) != 0) return false;
    } else {
      return false;
    }
    if (choice.transform) {
      FT_Matrix matrix = choice.matrix;
      FT_Set_Transform(face.get(), &matrix, nullptr);
    }
    const bool mono = ppem_ <= kMonoMaxPixelsPerEm && HasBytecodeHints(face.get());
    faces_.push_back(Face{std::move(face), choice.file, choice.index, choice.embolden, mono});
    return true;
  }

  void ComputeMetrics() {
    FT_Face face = faces_[0].face.get();
    if (FT_IS_SCALABLE(face)) {
      const auto [ascent, descent] = DesignExtent(face);
      metrics_.ascent = ScaleRound(ascent, ppem_, face->units_per_EM);
      metrics_.descent = ScaleRound(descent, ppem_, face->units_per_EM);
      const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
      if (os2 != nullptr && os2->version != 0xFFFF && os2->xAvgCharWidth > 0) {
        metrics_.average_char_width = ScaleRound(os2->xAvgCharWidth, ppem_, face->units_per_EM);
      }
    } else {
      metrics_.ascent = static_cast<int>((face->size->metrics.ascender + 32) >> 6);
      metrics_.descent = static_cast<int>((-face->size->metrics.descender + 32) >> 6);
    }
    metrics_.height = metrics_.ascent + metrics_.descent;
    if (metrics_.average_char_width <= 0) {
      metrics_.average_char_width = std::max(1, Render(Lookup(U'x')).advance);
    }
  }

  // Walks one line: calls fn(pen, glyph) for each drawn glyph with the pen relative to the
  // line's start. `end`, when given, receives the pen after the last character, tabs included
  // (held at INT_MAX for a line too long to measure in an int).
  template <typename Fn>
  void Layout(std::u16string_view text, bool expand_tabs, Fn&& fn, int* end = nullptr) const {
    const int tab = std::max(1, kTabChars * metrics_.average_char_width);
    long long pen = 0;
    ForEachCodePoint(text, [&](char32_t c) {
      if (c == U'\t' && expand_tabs) {
        pen = (pen / tab + 1) * tab;
        return;
      }
      const Glyph& glyph = Render(Lookup(c));
      fn(pen, glyph);
      pen += glyph.advance;
    });
    if (end != nullptr) *end = static_cast<int>(std::min<long long>(pen, INT_MAX));
  }

  GlyphRef Lookup(char32_t c) const {
    if (c < ascii_.size() && ascii_[c].face != kUnknown.face) return ascii_[c];
    if (auto it = chars_.find(c); it != chars_.end()) return it->second;
    const GlyphRef ref = Resolve(c);
    if (c < ascii_.size()) {
      ascii_[c] = ref;
    } else {
      chars_.emplace(c, ref);
    }
    return ref;
  }

  // The first face of this font that has the character; failing that, fontconfig is asked
  // for one that has it. Control characters never start a search: no face draws them.
  GlyphRef Resolve(char32_t c) const {
    for (uint32_t i = 0; i < faces_.size(); ++i) {
      if (FT_UInt index = FT_Get_Char_Index(faces_[i].face.get(), c); index != 0) {
        return GlyphRef{i, index};
      }
    }
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return GlyphRef{0, 0};
    const std::optional<FaceChoice> choice = library_->Match(request_, c);
    if (!choice) return GlyphRef{0, 0};
    const bool known = std::any_of(faces_.begin(), faces_.end(), [&](const Face& f) {
      return f.file == choice->file && f.index == choice->index;
    });
    if (known) return GlyphRef{0, 0};  // the best face for it lacks it after all
    FacePtr face(library_->OpenFace(*choice), FaceDeleter{library_});
    if (!face) return GlyphRef{0, 0};
    FT_UInt index = FT_Get_Char_Index(face.get(), c);
    if (index == 0 || !AddFace(std::move(face), *choice)) return GlyphRef{0, 0};
    return GlyphRef{static_cast<uint32_t>(faces_.size() - 1), index};
  }

  const Glyph& Render(GlyphRef ref) const {
    const uint64_t key = (static_cast<uint64_t>(ref.face) << 32) | ref.index;
    auto [it, inserted] = glyphs_.try_emplace(key);
    if (!inserted) return it->second;
    Glyph& glyph = it->second;
    const Face& face = faces_[ref.face];
    FT_GlyphSlot slot = face.face->glyph;
    const FT_Int32 flags =
        FT_LOAD_DEFAULT | (face.mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
    if (FT_Load_Glyph(face.face.get(), ref.index, flags) != 0) return glyph;
    glyph.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    const FT_Render_Mode mode = face.mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL;
    if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, mode) != 0) return glyph;
    CopyCoverage(slot->bitmap, glyph);
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    if (face.embolden) Overstrike(glyph, std::max(1, (ppem_ + 12) / 24));
    return glyph;
  }

  // Bold for a face that has none, the way Windows makes it: the glyph drawn again `shift`
  // pixels to the right, and the advance that much wider. Thickening the outline instead
  // adds under half a pixel at UI sizes, which hinting then rounds away.
  static void Overstrike(Glyph& glyph, int shift) {
    glyph.advance += shift;
    if (glyph.coverage.empty()) return;
    const int width = glyph.width + shift;
    std::vector<uint8_t> out(static_cast<size_t>(width) * glyph.rows, 0);
    for (int y = 0; y < glyph.rows; ++y) {
      const uint8_t* src = &glyph.coverage[static_cast<size_t>(y) * glyph.width];
      uint8_t* dst = &out[static_cast<size_t>(y) * width];
      for (int x = 0; x < glyph.width; ++x) {
        for (int s = 0; s <= shift; ++s) dst[x + s] = std::max(dst[x + s], src[x]);
      }
    }
    glyph.width = width;
    glyph.coverage = std::move(out);
  }

  static void CopyCoverage(const FT_Bitmap& bitmap, Glyph& glyph) {
    const int width = static_cast<int>(bitmap.width);
    const int rows = static_cast<int>(bitmap.rows);
    if (width <= 0 || rows <= 0 || bitmap.buffer == nullptr) return;
    const auto mode = static_cast<FT_Pixel_Mode>(bitmap.pixel_mode);
    if (mode != FT_PIXEL_MODE_MONO && mode != FT_PIXEL_MODE_GRAY && mode != FT_PIXEL_MODE_BGRA) {
      return;
    }
    glyph.width = width;
    glyph.rows = rows;
    glyph.coverage.resize(static_cast<size_t>(width) * rows);
    const int max_grey = bitmap.num_grays > 1 ? bitmap.num_grays - 1 : 255;
    for (int y = 0; y < rows; ++y) {
      // A negative pitch means the rows run bottom-up from the buffer's start.
      const long offset = bitmap.pitch >= 0 ? static_cast<long>(y) * bitmap.pitch
                                            : static_cast<long>(y - (rows - 1)) * bitmap.pitch;
      const uint8_t* src = bitmap.buffer + offset;
      uint8_t* out = &glyph.coverage[static_cast<size_t>(y) * width];
      for (int x = 0; x < width; ++x) {
        switch (mode) {
          case FT_PIXEL_MODE_MONO:
            out[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            break;
          case FT_PIXEL_MODE_GRAY:
            out[x] = static_cast<uint8_t>(src[x] * 255 / max_grey);
            break;
          default:  // colour glyphs: their alpha is the coverage
            out[x] = src[x * 4 + 3];
            break;
        }
      }
    }
  }

  // Coverage-weighted blend of `color` over the surface; the destination's alpha byte stays.
  static void Blend(const Surface32& dst, const Rect& area, long long gx, long long gy,
                    const Glyph& glyph, uint32_t color) {
    const long long x0 = std::max<long long>(gx, area.left);
    const long long x1 = std::min<long long>(gx + glyph.width, area.right);
    const long long y0 = std::max<long long>(gy, area.top);
    const long long y1 = std::min<long long>(gy + glyph.rows, area.bottom);
    if (x0 >= x1 || y0 >= y1) return;
    const uint32_t cr = (color >> 16) & 0xFF;
    const uint32_t cg = (color >> 8) & 0xFF;
    const uint32_t cb = color & 0xFF;
    for (long long y = y0; y < y1; ++y) {
      uint32_t* row = dst.Row(static_cast<int>(y));
      const uint8_t* cov = &glyph.coverage[static_cast<size_t>((y - gy) * glyph.width + (x0 - gx))];
      for (long long x = x0; x < x1; ++x, ++cov) {
        const uint32_t a = *cov;
        if (a == 0) continue;
        uint32_t& p = row[x];
        if (a == 255) {
          p = (p & 0xFF000000u) | (color & 0x00FFFFFFu);
          continue;
        }
        const uint32_t na = 255 - a;
        const uint32_t r = (cr * a + ((p >> 16) & 0xFF) * na + 127) / 255;
        const uint32_t g = (cg * a + ((p >> 8) & 0xFF) * na + 127) / 255;
        const uint32_t b = (cb * a + (p & 0xFF) * na + 127) / 255;
        p = (p & 0xFF000000u) | (r << 16) | (g << 8) | b;
      }
    }
  }

  struct Face {
    FacePtr face;
    std::string file;
    int index = 0;
    bool embolden = false;
    bool mono = false;
  };
  static constexpr GlyphRef kUnknown{UINT32_MAX, 0};

  std::shared_ptr<FontLibrary> library_;
  FontRequest request_;
  int ppem_ = 11;
  TextMetrics metrics_;

  // Caches filled while text is measured and drawn; the fonts are shared, so they are locked.
  mutable std::mutex mutex_;
  mutable std::vector<Face> faces_;  // [0] is the font's own face, then fallbacks as found
  mutable std::array<GlyphRef, 128> ascii_{};
  mutable std::unordered_map<char32_t, GlyphRef> chars_;
  mutable std::unordered_map<uint64_t, Glyph> glyphs_;
};

// One font object per request for the whole process: fonts are asked for by every control
// that paints text, and matching and opening a face is far slower than a map look-up.
class FontRegistry {
 public:
  static FontRegistry& Get() {
    static FontRegistry registry;
    return registry;
  }

  std::shared_ptr<Font> Create(const FontRequest& request) {
    std::lock_guard lock(mutex_);
    const Key key{request.name, request.height, request.bold, request.italic};
    if (auto it = fonts_.find(key); it != fonts_.end()) return it->second;
    std::shared_ptr<FontLibrary> library = FontLibrary::Instance();
    if (!library) return nullptr;
    const std::optional<FaceChoice> choice = library->Match(request, std::nullopt);
    if (!choice) return nullptr;
    std::shared_ptr<FontImpl> font = FontImpl::Open(std::move(library), request, *choice);
    if (font) fonts_.emplace(key, font);
    return font;
  }

 private:
  using Key = std::tuple<std::string, int, bool, bool>;
  std::mutex mutex_;
  std::map<Key, std::shared_ptr<FontImpl>> fonts_;
};

}  // namespace

std::shared_ptr<Font> Font::Create(const FontRequest& request) {
  return FontRegistry::Get().Create(request);
}

int DrawTextW(const Surface32& dst, const Font& font, std::u16string_view text, Rect& rect,
              uint32_t format, uint32_t color) {
  const bool expand_tabs = (format & DT_EXPANDTABS) != 0;
  const int height = font.Metrics().height;

  // Prefix processing: "&x" draws x underlined, "&&" draws one "&"; a final lone "&" stays.
  std::u16string shown;
  size_t underline = std::u16string::npos;  // where the underlined character starts in `shown`
  if ((format & DT_NOPREFIX) == 0 && text.find(u'&') != std::u16string_view::npos) {
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'&' && i + 1 < text.size()) {
        ++i;
        if (text[i] != u'&') underline = shown.size();
      }
      shown.push_back(text[i]);
    }
    text = shown;
  }

  // Positions are worked out wide: the rect may be anywhere in int's range.
  const long long width = font.TextWidth(text, expand_tabs);
  const long long left = rect.left, top = rect.top, right = rect.right, bottom = rect.bottom;
  if (format & DT_CALCRECT) {
    rect.right = ClampToInt(left + width);
    rect.bottom = ClampToInt(top + height);
    return height;
  }

  long long x = left;
  if (format & DT_CENTER) {
    x = left + (right - left - width) / 2;
  } else if (format & DT_RIGHT) {
    x = right - width;
  }
  long long y = top;
  if (format & DT_VCENTER) {
    y = top + (bottom - top - height) / 2;
  } else if (format & DT_BOTTOM) {
    y = bottom - height;
  }

  const Rect clip = (format & DT_NOCLIP) ? Rect{0, 0, dst.width, dst.height} : rect;
  font.Draw(dst, ClampToInt(x), ClampToInt(y), text, color, clip, expand_tabs);

  if (underline != std::u16string::npos && dst.bits != nullptr) {
    // Mnemonic underline: one row under the baseline, as wide as the character's advance.
    size_t after = underline + 1;
    if (after < text.size() && text[underline] >= 0xD800 && text[underline] <= 0xDBFF &&
        text[after] >= 0xDC00 && text[after] <= 0xDFFF) {
      ++after;  // the whole surrogate pair
    }
    const long long from = x + font.TextWidth(text.substr(0, underline), expand_tabs);
    const long long to = x + font.TextWidth(text.substr(0, after), expand_tabs);
    const long long row = y + font.Metrics().ascent + 1;
    const long long x0 = std::max<long long>({from, clip.left, 0});
    const long long x1 = std::min<long long>({to, clip.right, dst.width});
    if (row >= std::max(clip.top, 0) && row < std::min(clip.bottom, dst.height)) {
      uint32_t* p = dst.Row(static_cast<int>(row));
      for (long long i = x0; i < x1; ++i) p[i] = (p[i] & 0xFF000000u) | (color & 0x00FFFFFFu);
    }
  }

  // As on Windows: with vertical centring or bottom alignment, the offset from the rect's top
  // to the bottom of the text.
  if (format & (DT_VCENTER | DT_BOTTOM)) return ClampToInt(y + height - top);
  return height;
}

}  // namespace plat
