// Colours, fonts, brushes and the canvas: drawing into a surface through the platform's text
// drawing and the pictures' own Draw.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "vcl/Graphic.h"

namespace vcl {

// A colour as the form description stores it: 0x00BBGGRR, or a system colour 0xFF0000nn.
using TColor = int32_t;
inline constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000u);
inline constexpr TColor clBtnFace = clSystemColor | plat::COLOR_BTNFACE;
inline constexpr TColor clBtnText = clSystemColor | plat::COLOR_BTNTEXT;
inline constexpr TColor clWindowText = clSystemColor | plat::COLOR_WINDOWTEXT;
inline constexpr TColor clWindow = clSystemColor | plat::COLOR_WINDOW;
inline constexpr TColor clBtnShadow = clSystemColor | plat::COLOR_BTNSHADOW;
inline constexpr TColor clBtnHighlight = clSystemColor | plat::COLOR_BTNHIGHLIGHT;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clNone = 0x1FFFFFFF;

// 0x00RRGGBB for drawing.
uint32_t ColorToRGB(TColor color);
// Colour names of the form description ("clBtnFace"); false when unknown.
bool IdentToColor(std::string_view ident, TColor* color);

enum TBrushStyle { bsSolid, bsClear };

class TFont {
 public:
  std::string Name = "MS Sans Serif";
  int Height = -11;
  TColor Color = clWindowText;
  bool Bold = false;
  bool Italic = false;
  int Charset = 1;  // DEFAULT_CHARSET
  std::function<void()> OnChange;

  void Assign(const TFont& other);
  void Changed();
  // The platform font for these settings, made once and kept until a setting changes.
  std::shared_ptr<plat::Font> Handle() const;
  bool operator==(const TFont& o) const {
    return Name == o.Name && Height == o.Height && Color == o.Color && Bold == o.Bold && Italic == o.Italic;
  }

 private:
  mutable std::shared_ptr<plat::Font> handle_;
  mutable std::string handle_key_;
};

class TBrush {
 public:
  TBrushStyle Style = bsSolid;
  TColor Color = clBtnFace;
};

// A canvas over a surface. Origin is where the drawing's (0, 0) lies in the surface, so a
// control draws in its own coordinates whatever part of the window is being painted.
class TCanvas {
 public:
  TCanvas(const plat::Surface32& surface, plat::Point origin) : surface_(surface), origin_(origin) {}
  TFont Font;
  TBrush Brush;

  const plat::Surface32& Surface() const { return surface_; }
  plat::Point Origin() const { return origin_; }
  // Fills with the brush; a clear brush paints nothing.
  void FillRect(const plat::Rect& r);
  void Draw(int x, int y, const TGraphic* graphic);
  // DrawTextW in canvas coordinates with the canvas font; returns the text height.
  int DrawText(std::u16string_view text, plat::Rect& r, uint32_t format);
  int TextWidth(std::u16string_view text, bool expand_tabs = false);
  int TextHeight();
  void FrameRect(const plat::Rect& r, TColor color);

 private:
  plat::Surface32 surface_;
  plat::Point origin_;
};

}  // namespace vcl
