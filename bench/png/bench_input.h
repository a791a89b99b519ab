// The picture the PNG benchmarks decode: resources/artwork.png, or, where it is missing, a
// stand-in of the same shape (546x319 RGBA, three IDATs, default zlib level).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pngbench {

struct Input {
  std::string source;            // the file's path, or "stand-in"
  std::vector<uint8_t> file;     // the whole PNG
  std::vector<uint8_t> zdata;    // its IDAT data joined: one zlib stream
  size_t raw_size = 0;           // bytes of filtered scanlines the stream holds
};

const Input& Artwork();

}  // namespace pngbench
