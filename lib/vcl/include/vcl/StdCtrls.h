// The text label: a windowless control that draws one line of text over its parent.
#pragma once

#include "vcl/Controls.h"

namespace vcl {

class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* AOwner);
  VCL_CLASS_NAME(TLabel)

  bool AutoSize = true;
  bool Transparent = false;
  void SetCaption(const std::u16string& text) override;
  void Paint(TCanvas& canvas) override;
  void Loaded() override;
  // AutoSize: the size of the caption in the label's font.
  void AdjustBounds();

 protected:
  void FontChanged() override;
};

}  // namespace vcl
