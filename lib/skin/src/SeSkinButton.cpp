// The push button with its plain face and the simplest click: press and release inside.
#include "skin/SeSkinButton.h"

namespace skin {

using namespace vcl;

TSeCustomControl::TSeCustomControl(TComponent* AOwner) : TWinControl(AOwner) {}

TSeCustomButton::TSeCustomButton(TComponent* AOwner) : TSeCustomControl(AOwner) {
  TabStop = true;
  Color = clBtnFace;
  width_ = 75;
  height_ = 25;
}

void TSeCustomButton::MouseDown(TMouseButton b, int, int) {
  if (b != mbLeft) return;
  SetFocus();
  pressed_ = true;
  plat::SetCapture(Handle());
  Invalidate();
}

void TSeCustomButton::MouseUp(TMouseButton b, int x, int y) {
  if (b != mbLeft || !pressed_) return;
  pressed_ = false;
  plat::ReleaseCapture();
  Invalidate();
  if (x >= 0 && y >= 0 && x < width_ && y < height_) Click();
}

void TSeCustomButton::KeyDown(int& key) {
  if (key == plat::VK_SPACE) {
    space_down_ = true;
    Invalidate();
    key = 0;
  } else if (key == plat::VK_RETURN) {
    key = 0;
    Click();
  }
}

void TSeCustomButton::KeyUp(int& key) {
  if (key == plat::VK_SPACE && space_down_) {
    space_down_ = false;
    key = 0;
    Invalidate();
    Click();
  }
}

void TSeCustomButton::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case CM_MOUSEENTER: hot_ = true; Invalidate(); return;
    case CM_MOUSELEAVE: hot_ = false; Invalidate(); return;
    case plat::WM_CANCELMODE: pressed_ = false; Invalidate(); break;
    default: break;
  }
  TSeCustomControl::Dispatch(m);
}

TSeSkinButton::TSeSkinButton(TComponent* AOwner) : TSeCustomButton(AOwner) {}

void TSeSkinButton::PaintWindow(TCanvas& canvas) {
  const bool down = pressed_ || space_down_ || State == kbsPressed;
  const plat::Rect r{0, 0, width_, height_};
  canvas.Brush.Style = bsSolid;
  canvas.Brush.Color = clBtnFace;
  canvas.FillRect(r);
  if (down) {
    canvas.FrameRect(r, clBtnShadow);
  } else {
    canvas.FrameRect(r, static_cast<TColor>(0x696969));
    canvas.FrameRect(plat::Rect{0, 0, width_ - 1, height_ - 1}, clBtnHighlight);
    canvas.FrameRect(plat::Rect{1, 1, width_ - 1, height_ - 1}, clBtnShadow);
    canvas.Brush.Color = clBtnFace;
    canvas.FillRect(plat::Rect{1, 1, width_ - 2, height_ - 2});
  }
  plat::Rect tr = r;
  if (down) tr.left += 1, tr.top += 1, tr.right += 1, tr.bottom += 1;
  canvas.Font.Assign(Font);
  if (!Enabled()) canvas.Font.Color = clBtnShadow;
  canvas.DrawText(caption_, tr, plat::DT_CENTER | plat::DT_VCENTER | plat::DT_SINGLELINE | plat::DT_NOPREFIX);
  if (Focused()) {
    // Dotted focus rectangle, inset by 3.
    for (int x = 4; x < width_ - 4; x += 2) {
      canvas.FrameRect(plat::Rect{x, 3, x + 1, 4}, clBlack);
      canvas.FrameRect(plat::Rect{x, height_ - 4, x + 1, height_ - 3}, clBlack);
    }
    for (int y = 4; y < height_ - 4; y += 2) {
      canvas.FrameRect(plat::Rect{3, y, 4, y + 1}, clBlack);
      canvas.FrameRect(plat::Rect{width_ - 4, y, width_ - 3, y + 1}, clBlack);
    }
  }
}

namespace {

void RegisterSkinClasses() {
  RegisterClass("TSeCustomControl", "TWinControl", nullptr)
      .Property("Performance", EnumField(&TSeCustomControl::Performance,
                                         std::vector<std::pair<const char*, TSePerformance>>{
                                             {"kspNoBuffer", kspNoBuffer}, {"kspSharedBuffer", kspSharedBuffer},
                                             {"kspDoubleBuffer", kspDoubleBuffer}}))
      .Property("Transparent", BoolField(&TSeCustomControl::Transparent))
      .Property("SkinObject", [](TObject* o, const dfm::Value& v, TReadContext&) {
        dynamic_cast<TSeCustomControl&>(*o).SkinObject = ReadString(v, "SkinObject");
      });
  RegisterClass("TSeCustomButton", "TSeCustomControl", nullptr)
      .Property("State", EnumField(&TSeCustomButton::State, std::vector<std::pair<const char*, TSeButtonState>>{
                                       {"kbsNormal", kbsNormal}, {"kbsPressed", kbsPressed}}))
      .Property("BlackAndWhiteGlyph", BoolField(&TSeCustomButton::BlackAndWhiteGlyph))
      .Property("WordWrap", BoolField(&TSeCustomButton::WordWrap))
      .Property("ShowCaption", BoolField(&TSeCustomButton::ShowCaption))
      .Property("ShowGlyph", BoolField(&TSeCustomButton::ShowGlyph))
      .Property("Default", BoolField(&TSeCustomButton::Default))
      .Property("Cancel", BoolField(&TSeCustomButton::Cancel));
  RegisterClass("TSeSkinButton", "TSeCustomButton", [](TComponent* owner) { return new TSeSkinButton(owner); });
}

TRegistrar g_registrar(&RegisterSkinClasses);

}  // namespace

}  // namespace skin
