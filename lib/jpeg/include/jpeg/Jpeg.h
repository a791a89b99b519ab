// TJPEGImage: the JPEG picture class on libjpeg, registered for "jpg" and "jpeg".
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vcl/Graphic.h"

namespace jpeg {

class TJPEGImage : public vcl::TGraphic {
 public:
  const char* ClassName() const override { return "TJPEGImage"; }
  int Width() const override { return width_; }
  int Height() const override { return height_; }

  // Decodes baseline and progressive JPEGs, colour or grey. Bad or cut-off data raises
  // EInvalidGraphic with libjpeg's message; the previous image stays on failure.
  void LoadFromBytes(const uint8_t* data, size_t size) override;

  // Copies opaquely, like a PNG whose every pixel has alpha 255: the destination's top byte
  // is kept.
  void Draw(const plat::Surface32& dst, int x, int y) const override;

  // 0xFFRRGGBB. x and y must lie inside the image.
  uint32_t Pixel(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
  bool Grayscale() const { return grayscale_; }

  // Bounds checked from the header, before any pixel memory is taken.
  static constexpr int kMaxSide = 16384;
  static constexpr uint64_t kMaxPixelBytes = 256ull << 20;

 private:
  int width_ = 0;
  int height_ = 0;
  bool grayscale_ = false;
  std::vector<uint32_t> pixels_;
};

}  // namespace jpeg
