// Loads the artwork, or paints a stand-in with the artwork's layout when it is not there yet.
#include "bench_input.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace pngbench {
namespace {

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* body, size_t n) {
  PutBe32(out, static_cast<uint32_t>(n));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), body, body + n);
  PutBe32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// Smooth gradients with some texture and the artwork's alpha layout; rows are Paeth-filtered
// like a typical encoder's output.
std::vector<uint8_t> StandIn() {
  const uint32_t w = 546, h = 319;
  std::vector<uint8_t> px(size_t{w} * h * 4);
  uint32_t seed = 12345;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      seed = seed * 1103515245u + 12345u;
      uint8_t* p = &px[(size_t{y} * w + x) * 4];
      p[0] = static_cast<uint8_t>(x / 3 + ((seed >> 16) & 7));
      p[1] = static_cast<uint8_t>(y / 2 + ((x * y) >> 9));
      p[2] = static_cast<uint8_t>(180 - x / 5 + ((seed >> 20) & 3));
      p[3] = x >= 536 || y >= 301 ? static_cast<uint8_t>(x >= 536 ? 144 - (x - 536) * 14 : 158 - (y - 301) * 19) : 219;
      if (y >= 309) p[3] = 0;
    }
  std::vector<uint8_t> raw;
  std::vector<uint8_t> zero(size_t{w} * 4, 0);
  for (uint32_t y = 0; y < h; ++y) {
    raw.push_back(4);
    const uint8_t* cur = &px[size_t{y} * w * 4];
    const uint8_t* up = y ? cur - size_t{w} * 4 : zero.data();
    for (size_t i = 0; i < size_t{w} * 4; ++i) {
      const int a = i >= 4 ? cur[i - 4] : 0, b = up[i], c = i >= 4 ? up[i - 4] : 0;
      const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
      const int pred = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      raw.push_back(static_cast<uint8_t>(cur[i] - pred));
    }
  }
  uLongf n = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> z(n);
  if (compress2(z.data(), &n, raw.data(), static_cast<uLong>(raw.size()), Z_DEFAULT_COMPRESSION) != Z_OK) std::abort();
  z.resize(n);
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const uint8_t ihdr[13] = {0, 0, 0x02, 0x22, 0, 0, 0x01, 0x3F, 8, 6, 0, 0, 0};
  PutChunk(out, "IHDR", ihdr, sizeof ihdr);
  const char text[] = "Software\0stand-in";
  PutChunk(out, "tEXt", reinterpret_cast<const uint8_t*>(text), sizeof text - 1);
  const size_t third = z.size() / 3;
  PutChunk(out, "IDAT", z.data(), third);
  PutChunk(out, "IDAT", z.data() + third, third);
  PutChunk(out, "IDAT", z.data() + 2 * third, z.size() - 2 * third);
  PutChunk(out, "IEND", nullptr, 0);
  return out;
}

Input Load() {
  Input in;
  const std::string path = std::string(LAUNCHER_SOURCE_DIR) + "/resources/artwork.png";
  std::ifstream f(path, std::ios::binary);
  if (f) {
    in.file.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    in.source = path;
  }
  if (in.file.size() < 33) {
    in.file = StandIn();
    in.source = "stand-in";
  }
  const uint32_t w = Be32(&in.file[16]);
  const uint32_t h = Be32(&in.file[20]);
  const unsigned bits = in.file[24] * (in.file[25] == 6 ? 4u : in.file[25] == 2 ? 3u : in.file[25] == 4 ? 2u : 1u);
  in.raw_size = size_t{h} * ((size_t{w} * bits + 7) / 8 + 1);  // plain (not interlaced) layout
  for (size_t pos = 8; pos + 12 <= in.file.size();) {
    const uint32_t len = Be32(&in.file[pos]);
    if (std::memcmp(&in.file[pos + 4], "IDAT", 4) == 0)
      in.zdata.insert(in.zdata.end(), in.file.begin() + static_cast<long>(pos + 8),
                      in.file.begin() + static_cast<long>(pos + 8 + len));
    pos += size_t{len} + 12;
  }
  return in;
}

}  // namespace

const Input& Artwork() {
  static const Input input = Load();
  return input;
}

}  // namespace pngbench
