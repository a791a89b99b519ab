// The image control.
#include "vcl/ExtCtrls.h"

namespace vcl {

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner) {
  width_ = 105;
  height_ = 105;
  Picture.OnChange = [this] {
    if (AutoSize && !Picture.Empty()) SetBounds(left_, top_, Picture.Width(), Picture.Height());
    Invalidate();
  };
}

void TImage::Paint(TCanvas& canvas) {
  // Natural size at the control's top left: no stretching and no centring.
  canvas.Draw(0, 0, Picture.Graphic());
}

}  // namespace vcl
