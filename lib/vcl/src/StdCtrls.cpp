// The text label.
#include "vcl/StdCtrls.h"

namespace vcl {

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  width_ = 65;
  height_ = 17;
}

void TLabel::SetCaption(const std::u16string& text) {
  TControl::SetCaption(text);
  if (!Loading) AdjustBounds();
}

void TLabel::Loaded() {
  TGraphicControl::Loaded();
  AdjustBounds();
}

void TLabel::FontChanged() {
  AdjustBounds();
  Invalidate();
}

void TLabel::AdjustBounds() {
  if (!AutoSize || Loading) return;
  auto font = Font.Handle();
  if (!font) return;
  SetBounds(left_, top_, font->TextWidth(caption_, true), font->Metrics().height);
}

void TLabel::Paint(TCanvas& canvas) {
  if (!Transparent) {
    canvas.Brush.Style = bsSolid;
    canvas.Brush.Color = Color;
    canvas.FillRect(plat::Rect{0, 0, width_, height_});
  }
  plat::Rect r{0, 0, width_, height_};
  canvas.Font.Assign(Font);
  canvas.DrawText(caption_, r, plat::DT_LEFT | plat::DT_EXPANDTABS | plat::DT_NOPREFIX | plat::DT_SINGLELINE);
}

}  // namespace vcl
