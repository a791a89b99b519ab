// The push-button pack: its control base, its button base and the skinnable push button, used
// here without a skin, so every button draws the plain face.
#pragma once

#include <string>

#include "vcl/Controls.h"

namespace skin {

enum TSePerformance { kspNoBuffer, kspSharedBuffer, kspDoubleBuffer };
enum TSeButtonState { kbsNormal, kbsPressed };

class TSeCustomControl : public vcl::TWinControl {
 public:
  explicit TSeCustomControl(vcl::TComponent* AOwner);
  VCL_CLASS_NAME(TSeCustomControl)
  TSePerformance Performance = kspDoubleBuffer;
  bool Transparent = false;
  std::string SkinObject;
};

class TSeCustomButton : public TSeCustomControl {
 public:
  explicit TSeCustomButton(vcl::TComponent* AOwner);
  VCL_CLASS_NAME(TSeCustomButton)
  TSeButtonState State = kbsNormal;
  bool BlackAndWhiteGlyph = false;
  bool WordWrap = false;
  bool ShowCaption = true;
  bool ShowGlyph = true;
  bool Default = false;
  bool Cancel = false;
  bool Hot() const { return hot_; }

 protected:
  void MouseDown(vcl::TMouseButton b, int x, int y) override;
  void MouseUp(vcl::TMouseButton b, int x, int y) override;
  void KeyDown(int& key) override;
  void KeyUp(int& key) override;
  void DoEnter() override { Invalidate(); }
  void DoExit() override { Invalidate(); }
  void Dispatch(vcl::TMessage& Message) override;
  bool pressed_ = false;
  bool hot_ = false;
  bool space_down_ = false;
};

class TSeSkinButton : public TSeCustomButton {
 public:
  explicit TSeSkinButton(vcl::TComponent* AOwner);
  VCL_CLASS_NAME(TSeSkinButton)

 protected:
  // The plain face: button colour, a simple bevel, the caption centred, a focus mark.
  void PaintWindow(vcl::TCanvas& canvas) override;
  void EraseBackground(vcl::TCanvas&, const plat::Rect&) override {}
};

}  // namespace skin
