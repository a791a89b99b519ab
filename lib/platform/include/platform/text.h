// Fonts and text drawing: FreeType glyphs blended into our 32-bit surfaces, with fontconfig
// choosing a substitute for the requested face and falling back per character (CJK).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/surface.h"

namespace plat {

// Windows conventions: a negative height is the character (em) height in pixels, a positive
// one the cell height (ascent + descent), zero the form's default; "MS Sans Serif", -11 is
// 8 points at 96 dpi. Windows UI faces that Linux lacks get a substitute with the same text
// height (13 for the form's font).
struct FontRequest {
  std::string name = "MS Sans Serif";
  int height = -11;
  bool bold = false;
  bool italic = false;
};

// Measured as Windows measures a TrueType face (OS/2 win ascent and descent, each scaled
// and rounded), so that layouts made on Windows keep their sizes.
struct TextMetrics {
  int height = 0;   // cell height: ascent + descent, what the layout calls the text height
  int ascent = 0;   // baseline offset from the cell top
  int descent = 0;
  int average_char_width = 0;  // OS/2 xAvgCharWidth scaled; the unit of tab stops
};

// DrawText format flags with their Windows values.
enum : uint32_t {
  DT_LEFT = 0x0,
  DT_CENTER = 0x1,
  DT_RIGHT = 0x2,
  DT_VCENTER = 0x4,
  DT_BOTTOM = 0x8,
  DT_SINGLELINE = 0x20,
  DT_EXPANDTABS = 0x40,
  DT_NOCLIP = 0x100,
  DT_CALCRECT = 0x400,
  DT_NOPREFIX = 0x800,
};

class Font {
 public:
  // Never fails while any font is installed: an unknown face gets fontconfig's substitute.
  // Returns nullptr only when fontconfig finds no font at all. The same request returns the
  // same font object for the whole process. Thread-safe.
  static std::shared_ptr<Font> Create(const FontRequest& request);
  virtual ~Font() = default;

  virtual const TextMetrics& Metrics() const = 0;
  // Advance width of one line; tabs count as expanded when expand_tabs is set
  // (tab stops every 8 average character widths, as DrawText does).
  virtual int TextWidth(std::u16string_view text, bool expand_tabs = false) const = 0;
  // Draws one line, the cell's top-left at (x, y) in surface coordinates, in `color`
  // (0x00RRGGBB) blended by glyph coverage over what the surface holds (transparent
  // background; each pixel's alpha byte is kept), clipped to `clip` and to the surface.
  // Small text is hinted monochrome, as crisp as a Windows UI font; large text is smoothed.
  virtual void Draw(const Surface32& dst, int x, int y, std::u16string_view text, uint32_t color,
                    const Rect& clip, bool expand_tabs = false) const = 0;
};

// DrawTextW for one line: lays `text` out in `rect` by `format` (left, centre, right; top,
// vertical centre or bottom; expand tabs; "&" prefixes unless DT_NOPREFIX) and draws it clipped
// to `rect` (unless DT_NOCLIP), or with DT_CALCRECT only sets rect's right and bottom to the
// text's extent. `rect` is in surface coordinates. Returns the text height; with DT_VCENTER or
// DT_BOTTOM (and no DT_CALCRECT), as Windows does, the offset from rect.top to the text's bottom.
int DrawTextW(const Surface32& dst, const Font& font, std::u16string_view text, Rect& rect,
              uint32_t format, uint32_t color);

}  // namespace plat
