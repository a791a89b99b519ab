// PNG writer: 8-bit RGBA, not interlaced, one adaptive filter per row, zlib at level 9.
// Nothing in the output depends on the time or the machine, so a rerun gives the same bytes.
#include <zlib.h>

#include <array>
#include <cstdlib>
#include <stdexcept>

#include "assets.h"

namespace assets {
namespace {

const std::array<uint32_t, 256>& CrcTable() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  return table;
}

void PutBe32(Bytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 24));
  out.push_back(static_cast<uint8_t>(v >> 16));
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

void PutChunk(Bytes& out, const char type[4], const uint8_t* data, size_t size) {
  PutBe32(out, static_cast<uint32_t>(size));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  if (size) out.insert(out.end(), data, data + size);
  PutBe32(out, Crc32(out.data() + start, out.size() - start));
}

uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  return static_cast<uint8_t>(pb <= pc ? b : c);
}

// Filters every row with each of the five filters and keeps the one with the smallest sum of
// absolute (signed) values: the usual heuristic, and deterministic.
Bytes FilterRows(const Rgba8& image) {
  const size_t stride = size_t{image.width} * 4;
  Bytes out;
  out.reserve((stride + 1) * image.height);
  Bytes candidate(stride), best(stride);
  const Bytes zero(stride, 0);
  for (uint32_t y = 0; y < image.height; ++y) {
    const uint8_t* cur = image.pixels.data() + y * stride;
    const uint8_t* up = y ? cur - stride : zero.data();
    uint64_t best_score = UINT64_MAX;
    uint8_t best_filter = 0;
    for (uint8_t f = 0; f < 5; ++f) {
      uint64_t score = 0;
      for (size_t i = 0; i < stride; ++i) {
        const int a = i >= 4 ? cur[i - 4] : 0;
        const int b = up[i];
        const int c = i >= 4 ? up[i - 4] : 0;
        int pred = 0;
        switch (f) {
          case 1: pred = a; break;
          case 2: pred = b; break;
          case 3: pred = (a + b) / 2; break;
          case 4: pred = Paeth(a, b, c); break;
          default: break;
        }
        const uint8_t v = static_cast<uint8_t>(cur[i] - pred);
        candidate[i] = v;
        score += v < 128 ? v : 256 - v;
      }
      if (score < best_score) {
        best_score = score;
        best_filter = f;
        best.swap(candidate);
      }
    }
    out.push_back(best_filter);
    out.insert(out.end(), best.begin(), best.end());
  }
  return out;
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
  const auto& table = CrcTable();
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

Bytes EncodePng(const Rgba8& image, const PngOptions& options) {
  if (image.width == 0 || image.height == 0 ||
      image.pixels.size() != size_t{image.width} * image.height * 4)
    throw std::runtime_error("EncodePng: pixel buffer does not match the size");
  if (options.idat_count < 1) throw std::runtime_error("EncodePng: at least one IDAT");

  const Bytes raw = FilterRows(image);
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  Bytes packed(packed_size);
  if (compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK)
    throw std::runtime_error("EncodePng: zlib failed");
  packed.resize(packed_size);
  if (packed.size() < static_cast<size_t>(options.idat_count))
    throw std::runtime_error("EncodePng: too little data for that many IDAT chunks");

  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  PutBe32(ihdr, image.width);
  PutBe32(ihdr, image.height);
  ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});  // depth 8, RGBA, deflate, adaptive filters, no interlace
  PutChunk(out, "IHDR", ihdr.data(), ihdr.size());

  if (options.text) {
    Bytes text(options.text->first.begin(), options.text->first.end());
    text.push_back(0);
    text.insert(text.end(), options.text->second.begin(), options.text->second.end());
    PutChunk(out, "tEXt", text.data(), text.size());
  }

  // Equal shares, the last one taking the remainder.
  const size_t share = packed.size() / static_cast<size_t>(options.idat_count);
  for (int i = 0; i < options.idat_count; ++i) {
    const size_t begin = share * static_cast<size_t>(i);
    const size_t end = i + 1 == options.idat_count ? packed.size() : begin + share;
    PutChunk(out, "IDAT", packed.data() + begin, end - begin);
  }
  PutChunk(out, "IEND", nullptr, 0);
  return out;
}

}  // namespace assets
