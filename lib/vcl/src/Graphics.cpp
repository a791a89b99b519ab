// Colours, fonts and the canvas.
#include "vcl/Graphics.h"

#include <algorithm>
#include <cstring>

namespace vcl {

uint32_t ColorToRGB(TColor color) {
  const auto c = static_cast<uint32_t>(color);
  if ((c & 0xFF000000u) == 0xFF000000u) return plat::GetSysColor(static_cast<int>(c & 0xFF));
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

bool IdentToColor(std::string_view ident, TColor* color) {
  static const std::pair<const char*, TColor> kNames[] = {
      {"clBtnFace", clBtnFace},     {"clBtnText", clBtnText},   {"clWindowText", clWindowText},
      {"clWindow", clWindow},       {"clBtnShadow", clBtnShadow}, {"clBtnHighlight", clBtnHighlight},
      {"clBlack", clBlack},         {"clWhite", clWhite},       {"clRed", clRed},
      {"clNone", clNone},
  };
  for (auto& [n, c] : kNames) {
    if (std::strlen(n) == ident.size() &&
        std::equal(ident.begin(), ident.end(), n, [](char a, char b) { return (a | 0x20) == (b | 0x20); })) {
      *color = c;
      return true;
    }
  }
  return false;
}

void TFont::Assign(const TFont& o) {
  Name = o.Name;
  Height = o.Height;
  Color = o.Color;
  Bold = o.Bold;
  Italic = o.Italic;
  Charset = o.Charset;
  Changed();
}

void TFont::Changed() {
  if (OnChange) OnChange();
}

std::shared_ptr<plat::Font> TFont::Handle() const {
  const std::string key = Name + '\n' + std::to_string(Height) + (Bold ? "b" : "") + (Italic ? "i" : "");
  if (!handle_ || key != handle_key_) {
    plat::FontRequest request;
    request.name = Name;
    request.height = Height;
    request.bold = Bold;
    request.italic = Italic;
    handle_ = plat::Font::Create(request);
    handle_key_ = key;
  }
  return handle_;
}

void TCanvas::FillRect(const plat::Rect& r) {
  if (Brush.Style == bsClear) return;
  const uint32_t px = 0xFF000000u | ColorToRGB(Brush.Color);
  const int l = std::max(0, r.left - origin_.x), t = std::max(0, r.top - origin_.y);
  const int rr = std::min(surface_.width, r.right - origin_.x), b = std::min(surface_.height, r.bottom - origin_.y);
  for (int y = t; y < b; ++y) std::fill(surface_.Row(y) + l, surface_.Row(y) + std::max(l, rr), px);
}

void TCanvas::FrameRect(const plat::Rect& r, TColor color) {
  const uint32_t px = 0xFF000000u | ColorToRGB(color);
  auto put = [&](int x, int y) {
    x -= origin_.x;
    y -= origin_.y;
    if (x >= 0 && y >= 0 && x < surface_.width && y < surface_.height) surface_.Row(y)[x] = px;
  };
  for (int x = r.left; x < r.right; ++x) put(x, r.top), put(x, r.bottom - 1);
  for (int y = r.top; y < r.bottom; ++y) put(r.left, y), put(r.right - 1, y);
}

void TCanvas::Draw(int x, int y, const TGraphic* graphic) {
  if (graphic && !graphic->Empty()) graphic->Draw(surface_, x - origin_.x, y - origin_.y);
}

int TCanvas::DrawText(std::u16string_view text, plat::Rect& r, uint32_t format) {
  auto font = Font.Handle();
  if (!font) return 0;
  plat::Rect sr{r.left - origin_.x, r.top - origin_.y, r.right - origin_.x, r.bottom - origin_.y};
  const int h = plat::DrawTextW(surface_, *font, text, sr, format, ColorToRGB(Font.Color));
  if (format & plat::DT_CALCRECT) r = plat::Rect{sr.left + origin_.x, sr.top + origin_.y, sr.right + origin_.x, sr.bottom + origin_.y};
  return h;
}

int TCanvas::TextWidth(std::u16string_view text, bool expand_tabs) {
  auto font = Font.Handle();
  return font ? font->TextWidth(text, expand_tabs) : 0;
}

int TCanvas::TextHeight() {
  auto font = Font.Handle();
  return font ? font->Metrics().height : 0;
}

}  // namespace vcl
