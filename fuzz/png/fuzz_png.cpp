// Fuzz entry point of the PNG decoder. Built with libFuzzer in the fuzz build, and with a
// plain test driver into png_robustness_test so the corpus runs in every build.
#include <cstddef>
#include <cstdint>

#include "pngimage/png_decoder.h"

namespace {
// A failed invariant must stop the run loudly in every build, sanitizers or not.
void Check(bool ok) {
  if (!ok) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Small bounds keep each input fast; the size checks are the same code at any bound.
  pngdec::Limits limits;
  limits.max_width = 4096;
  limits.max_height = 4096;
  limits.max_rgba_bytes = 16u << 20;
  pngdec::Image img;
  const pngdec::Result r = pngdec::Decode(data, size, img, limits);
  if (r) {
    Check(r.message.empty());
    Check(img.width > 0 && img.height > 0);
    Check(img.rgba.size() == size_t{img.width} * img.height * 4);
    // Read every pixel so that MSan/ASan see any byte the decoder left unwritten or misplaced.
    unsigned sum = 0;
    for (uint8_t v : img.rgba) sum += v;
    Check(sum <= img.rgba.size() * 255);
  } else {
    Check(r.error != pngdec::Error::Ok);
    Check(!r.message.empty());
    Check(img.rgba.empty());
  }
  return 0;
}
