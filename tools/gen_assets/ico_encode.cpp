// ICO writer in the classic form every Windows version reads: each image a 32-bit BMP without file
// header, its height doubled to cover the colour rows and the AND mask that follows them.
#include <stdexcept>

#include "assets.h"

namespace assets {
namespace {

void Put16(Bytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(Bytes& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

Bytes BmpImage(const Rgba8& image) {
  const uint32_t w = image.width, h = image.height;
  const uint32_t mask_stride = (w + 31) / 32 * 4;  // AND rows are padded to 32 bits
  Bytes out;
  Put32(out, 40);     // BITMAPINFOHEADER
  Put32(out, w);
  Put32(out, h * 2);  // colour rows plus mask rows
  Put16(out, 1);      // planes
  Put16(out, 32);     // bits per pixel
  Put32(out, 0);      // BI_RGB
  Put32(out, w * h * 4 + mask_stride * h);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  for (uint32_t row = 0; row < h; ++row) {  // bottom-up, BGRA
    const uint8_t* p = image.pixels.data() + size_t{h - 1 - row} * w * 4;
    for (uint32_t x = 0; x < w; ++x, p += 4) out.insert(out.end(), {p[2], p[1], p[0], p[3]});
  }
  // The AND mask marks the fully transparent pixels, for readers that ignore the alpha channel.
  for (uint32_t row = 0; row < h; ++row) {
    const uint8_t* p = image.pixels.data() + size_t{h - 1 - row} * w * 4;
    Bytes bits(mask_stride, 0);
    for (uint32_t x = 0; x < w; ++x)
      if (p[x * 4 + 3] == 0) bits[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    out.insert(out.end(), bits.begin(), bits.end());
  }
  return out;
}

}  // namespace

Bytes EncodeIco(const std::vector<Rgba8>& images) {
  if (images.empty() || images.size() > 0xFFFF) throw std::runtime_error("EncodeIco: image count");
  std::vector<Bytes> bodies;
  for (const Rgba8& image : images) {
    if (image.width == 0 || image.width > 256 || image.height == 0 || image.height > 256 ||
        image.pixels.size() != size_t{image.width} * image.height * 4)
      throw std::runtime_error("EncodeIco: image size");
    bodies.push_back(BmpImage(image));
  }
  Bytes out;
  Put16(out, 0);  // reserved
  Put16(out, 1);  // icon
  Put16(out, static_cast<uint32_t>(images.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    out.push_back(static_cast<uint8_t>(images[i].width & 0xFF));  // 256 is written as 0
    out.push_back(static_cast<uint8_t>(images[i].height & 0xFF));
    out.push_back(0);  // no palette
    out.push_back(0);
    Put16(out, 1);   // planes
    Put16(out, 32);  // bits per pixel
    Put32(out, static_cast<uint32_t>(bodies[i].size()));
    Put32(out, offset);
    offset += static_cast<uint32_t>(bodies[i].size());
  }
  for (const Bytes& body : bodies) out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace assets
