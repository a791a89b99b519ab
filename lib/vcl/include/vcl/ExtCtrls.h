// The image control: a windowless control that draws its picture at (0, 0), natural size.
#pragma once

#include "vcl/Controls.h"
#include "vcl/Graphic.h"

namespace vcl {

class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* AOwner);
  VCL_CLASS_NAME(TImage)

  TPicture Picture;
  bool AutoSize = false;
  // Blends the picture over what the window holds (the graphic's own Draw) and clips it to the
  // control.
  void Paint(TCanvas& canvas) override;
};

}  // namespace vcl
