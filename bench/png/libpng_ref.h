// libpng's decode to 8-bit RGBA from bytes in memory, the way the benchmarks compare it with ours.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pngbench {

// Fills rgba with width * height * 4 bytes; rows is libpng's row table, passed in so repeated
// decodes reuse it. False when libpng refuses the file.
bool LibpngDecode(const uint8_t* data, size_t size, std::vector<uint8_t>* rgba,
                  std::vector<uint8_t*>* rows, uint32_t* width, uint32_t* height);

}  // namespace pngbench
