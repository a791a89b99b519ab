// TPNGObject: the PNG picture class. Decodes with the decoder core and draws by its alpha.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pngimage/png_decoder.h"
#include "vcl/Graphic.h"

namespace pngimage {

class TPNGObject : public vcl::TGraphic {
 public:
  const char* ClassName() const override { return "TPNGObject"; }
  int Width() const override { return width_; }
  int Height() const override { return height_; }

  // Raises EInvalidGraphic with the decoder's message; the previous image stays on failure.
  void LoadFromBytes(const uint8_t* data, size_t size) override;

  // Blends over what the surface holds, per colour channel by the pixel's alpha:
  // out = (src * a + dst * (255 - a) + 127) / 255. Alpha 0 leaves a pixel as it was, 255
  // replaces it; the destination's top byte is kept.
  void Draw(const plat::Surface32& dst, int x, int y) const override;

  // 0xAARRGGBB, not premultiplied. x and y must lie inside the image.
  uint32_t Pixel(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
  const uint32_t* Scanline(int y) const { return pixels_.data() + static_cast<size_t>(y) * width_; }

  // What the file said about itself.
  uint8_t BitDepth() const { return bit_depth_; }
  uint8_t ColorType() const { return color_type_; }
  bool Interlaced() const { return interlaced_; }
  // The tEXt chunks in file order; Text("Software") is "" when there is none.
  const std::vector<pngdec::Text>& Texts() const { return texts_; }
  std::string Text(const std::string& keyword) const;

 private:
  int width_ = 0;
  int height_ = 0;
  uint8_t bit_depth_ = 0;
  uint8_t color_type_ = 0;
  bool interlaced_ = false;
  std::vector<uint32_t> pixels_;
  std::vector<pngdec::Text> texts_;
};

// The blend of Draw over one row: count pixels of src (0xAARRGGBB) over dst, in place.
void BlendRow(uint32_t* dst, const uint32_t* src, int count);

}  // namespace pngimage
