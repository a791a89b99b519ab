// PNG decoder core: a pure function of bytes. No globals, no class library, no exceptions:
// bytes in, 8-bit RGBA pixels or one precise error out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pngdec {

// One value per reason a file is refused; ErrorName() gives a stable identifier.
enum class Error : int {
  Ok = 0,
  // (the decoder's own list of reasons follows; see png_decoder.cpp)
};

const char* ErrorName(Error e);

// Bounds checked at IHDR, before anything is allocated.
struct Limits {
  uint32_t max_width = 16384;
  uint32_t max_height = 16384;
  uint64_t max_rgba_bytes = 256ull << 20;  // width * height * 4
};

struct Text {
  std::string keyword;
  std::string text;
};

struct Image {
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t bit_depth = 0;
  uint8_t color_type = 0;
  bool interlaced = false;
  std::vector<uint8_t> rgba;  // width * height * 4, rows top to bottom, R G B A
  std::vector<Text> texts;    // tEXt chunks in file order
};

struct Result {
  Error error = Error::Ok;
  std::string message;  // readable, e.g. "PNG: width 70000 exceeds the limit of 16384"
  explicit operator bool() const { return error == Error::Ok; }
};

Result Decode(const uint8_t* data, size_t size, Image& out, const Limits& limits = {});

}  // namespace pngdec
