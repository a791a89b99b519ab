// Fuzz entry point of the JPEG picture class: libjpeg's error path (its error_exit turned into
// our exception) is the risky part, so every input must either load or raise EInvalidGraphic.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "jpeg/Jpeg.h"
#include "vcl/SysUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  jpeg::TJPEGImage image;
  try {
    image.LoadFromBytes(data, size);
  } catch (const vcl::EInvalidGraphic&) {
    return 0;
  }
  // A loaded picture draws inside its bounds, clipped, whatever its size.
  std::vector<uint32_t> pixels(16 * 16, 0xFF000000u);
  const plat::Surface32 surface{pixels.data(), 16, 16, 16};
  image.Draw(surface, -3, -5);
  return 0;
}
