// Helpers for the decoder tests: libpng as the reference decoder (tests only), and a small
// PNG writer that covers every colour type, bit depth, filter and Adam7, so fixtures are
// generated from known samples at test time.
#pragma once

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pngtest {

struct RefImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgba;
};

namespace detail {
struct Reader {
  const uint8_t* data;
  size_t size;
  size_t pos;
};
inline void ReadFn(png_structp png, png_bytep out, size_t n) {
  auto* r = static_cast<Reader*>(png_get_io_ptr(png));
  if (n > r->size - r->pos) png_error(png, "read past end");
  std::memcpy(out, r->data + r->pos, n);
  r->pos += n;
}
inline void Quiet(png_structp, png_const_charp) {}

// Plain C-style body so longjmp skips no destructor: every C++ object lives in the caller.
inline bool LibpngDecodeInto(Reader* reader, RefImage* img, std::vector<png_bytep>* rows) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Quiet, Quiet);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, reader, ReadFn);
  png_read_info(png, info);
  // To 8-bit RGBA: palette and tRNS expanded, 16 bits scaled with rounding, grey copied to RGB,
  // an opaque alpha added where the file has none. No gamma handling, like ours.
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  img->width = png_get_image_width(png, info);
  img->height = png_get_image_height(png, info);
  if (png_get_rowbytes(png, info) != size_t{img->width} * 4) png_error(png, "unexpected row size");
  img->rgba.resize(size_t{img->width} * img->height * 4);
  rows->resize(img->height);
  for (uint32_t y = 0; y < img->height; ++y) (*rows)[y] = img->rgba.data() + size_t{y} * img->width * 4;
  png_read_image(png, rows->data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}
}  // namespace detail

// libpng's pixels for a file, or nothing when libpng refuses it.
inline std::optional<RefImage> LibpngDecode(const std::vector<uint8_t>& file) {
  detail::Reader reader{file.data(), file.size(), 0};
  RefImage img;
  std::vector<png_bytep> rows;
  if (!detail::LibpngDecodeInto(&reader, &img, &rows)) return std::nullopt;
  return img;
}

// ---- Writer ---------------------------------------------------------------------------------

inline void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

inline void PutChunk(std::vector<uint8_t>& out, const std::string& type, const std::vector<uint8_t>& body) {
  PutBe32(out, static_cast<uint32_t>(body.size()));
  const size_t start = out.size();
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), body.begin(), body.end());
  PutBe32(out, static_cast<uint32_t>(crc32(0L, out.data() + start, static_cast<uInt>(out.size() - start))));
}

inline std::vector<uint8_t> Signature() { return {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}; }

inline std::vector<uint8_t> Ihdr(uint32_t w, uint32_t h, uint8_t depth, uint8_t color, uint8_t interlace) {
  std::vector<uint8_t> b;
  PutBe32(b, w);
  PutBe32(b, h);
  b.insert(b.end(), {depth, color, 0, 0, interlace});
  return b;
}

inline std::vector<uint8_t> Zlib(const std::vector<uint8_t>& raw, int level = 6) {
  uLongf n = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> out(n);
  if (compress2(out.data(), &n, raw.data(), static_cast<uLong>(raw.size()), level) != Z_OK) std::abort();
  out.resize(n);
  return out;
}

inline int ChannelsOf(uint8_t color) { return color == 2 ? 3 : color == 4 ? 2 : color == 6 ? 4 : 1; }

// Sample (x, y, channel) in the file's depth.
using SampleFn = std::function<uint16_t(uint32_t, uint32_t, int)>;

struct Recipe {
  uint32_t width = 1;
  uint32_t height = 1;
  uint8_t color = 6;
  uint8_t depth = 8;
  bool interlace = false;
  SampleFn sample;
  std::vector<std::pair<std::string, std::vector<uint8_t>>> before_idat;  // e.g. PLTE, tRNS, tEXt
};

inline uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Filtered scanlines for one (sub)image; the filter of row r is (r + seed) % 5, so every
// filter meets every kind of row.
inline void AppendFiltered(std::vector<uint8_t>& raw, const Recipe& s, uint32_t x0, uint32_t y0, uint32_t dx,
                           uint32_t dy, int seed) {
  if (x0 >= s.width || y0 >= s.height) return;
  const uint32_t w = (s.width - x0 + dx - 1) / dx, h = (s.height - y0 + dy - 1) / dy;
  const int channels = ChannelsOf(s.color);
  const size_t bits = size_t{static_cast<unsigned>(channels)} * s.depth;
  const size_t rowbytes = (w * bits + 7) / 8;
  const size_t bpp = std::max<size_t>(1, bits / 8);
  std::vector<uint8_t> prev(rowbytes, 0), cur(rowbytes);
  for (uint32_t r = 0; r < h; ++r) {
    std::fill(cur.begin(), cur.end(), 0);
    for (uint32_t i = 0; i < w; ++i) {
      for (int c = 0; c < channels; ++c) {
        const uint16_t v = s.sample(x0 + i * dx, y0 + r * dy, c);
        const size_t bit = (size_t{i} * channels + static_cast<size_t>(c)) * s.depth;
        if (s.depth == 16) {
          cur[bit / 8] = static_cast<uint8_t>(v >> 8);
          cur[bit / 8 + 1] = static_cast<uint8_t>(v);
        } else {
          cur[bit / 8] |= static_cast<uint8_t>(v << (8 - s.depth - bit % 8));
        }
      }
    }
    const int filter = static_cast<int>((r + static_cast<uint32_t>(seed)) % 5);
    raw.push_back(static_cast<uint8_t>(filter));
    for (size_t i = 0; i < rowbytes; ++i) {
      const int a = i >= bpp ? cur[i - bpp] : 0, b = prev[i], c = i >= bpp ? prev[i - bpp] : 0;
      int pred = 0;
      switch (filter) {
        case 1: pred = a; break;
        case 2: pred = b; break;
        case 3: pred = (a + b) / 2; break;
        case 4: pred = Paeth(a, b, c); break;
        default: break;
      }
      raw.push_back(static_cast<uint8_t>(cur[i] - pred));
    }
    prev = cur;
  }
}

// The filtered, uncompressed image data of a request.
inline std::vector<uint8_t> RawImageData(const Recipe& s) {
  std::vector<uint8_t> raw;
  if (!s.interlace) {
    AppendFiltered(raw, s, 0, 0, 1, 1, 0);
  } else {
    static const uint32_t x0[7] = {0, 4, 0, 2, 0, 1, 0}, y0[7] = {0, 0, 4, 0, 2, 0, 1};
    static const uint32_t dx[7] = {8, 8, 4, 4, 2, 2, 1}, dy[7] = {8, 8, 8, 4, 4, 2, 2};
    for (int p = 0; p < 7; ++p) AppendFiltered(raw, s, x0[p], y0[p], dx[p], dy[p], p);
  }
  return raw;
}

// A whole file; the compressed data is split into idat_parts IDAT chunks.
inline std::vector<uint8_t> Encode(const Recipe& s, int idat_parts = 1) {
  std::vector<uint8_t> out = Signature();
  PutChunk(out, "IHDR", Ihdr(s.width, s.height, s.depth, s.color, s.interlace ? 1 : 0));
  for (const auto& [type, body] : s.before_idat) PutChunk(out, type, body);
  const std::vector<uint8_t> z = Zlib(RawImageData(s));
  const size_t part = (z.size() + static_cast<size_t>(idat_parts) - 1) / static_cast<size_t>(idat_parts);
  for (size_t off = 0; off < z.size(); off += part)
    PutChunk(out, "IDAT", std::vector<uint8_t>(z.begin() + static_cast<long>(off),
                                               z.begin() + static_cast<long>(std::min(z.size(), off + part))));
  PutChunk(out, "IEND", {});
  return out;
}

}  // namespace pngtest
