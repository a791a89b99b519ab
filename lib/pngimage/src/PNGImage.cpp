// TPNGObject and its registration for "png" at start-up.
#include "pngimage/PNGImage.h"

#include <memory>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "vcl/SysUtils.h"

namespace pngimage {

namespace {

// The three colour channels of a pixel, each in a 16-bit lane of its own:
// B in bits 0-15, R in bits 16-31, G in bits 32-47. Every sum the blend forms fits a lane.
inline uint64_t Spread(uint32_t p) {
  return (p & 0x00FF00FFu) | (uint64_t{p & 0x0000FF00u} << 24);
}

inline uint32_t Gather(uint64_t lanes) {
  return static_cast<uint32_t>((lanes & 0x00FF00FFu) | ((lanes >> 24) & 0x0000FF00u));
}

constexpr uint64_t kLaneLow = 0x00FF00FF00FFull;
constexpr uint64_t kLaneOne = 0x000100010001ull;
constexpr uint64_t kLaneHalf = 0x007F007F007Full;

// Per channel (s * a + d * (255 - a) + 127) / 255. With n the numerator (at most 65152),
// (n + 1 + (n >> 8)) >> 8 equals n / 255 exactly over that whole range, and no lane carries
// into the next, so all three channels take two multiplications and no division.
inline uint32_t BlendPixel(uint32_t s, uint32_t d) {
  const uint32_t a = s >> 24;
  const uint64_t n = Spread(s) * a + Spread(d) * (255 - a) + kLaneHalf;
  const uint64_t q = ((n + kLaneOne + ((n >> 8) & kLaneLow)) >> 8) & kLaneLow;
  return (d & 0xFF000000u) | Gather(q);
}

// One pixel at a time; also the tail of the vector loop.
inline void BlendPixels(uint32_t* dst, const uint32_t* src, int count) {
  for (int i = 0; i < count; ++i) {
    const uint32_t s = src[i];
    const uint32_t a = s >> 24;
    // Fully transparent and fully opaque pixels are common in artwork (shadows, bodies).
    if (a == 0) continue;
    if (a == 255)
      dst[i] = (dst[i] & 0xFF000000u) | (s & 0x00FFFFFFu);
    else
      dst[i] = BlendPixel(s, dst[i]);
  }
}

#if defined(__SSE2__)
// The same rule on two pixels, one channel per 16-bit lane. Here n / 255 is
// (n * 0x8081) >> 23, exact for every 16-bit n: a high-half multiply and one shift.
inline __m128i BlendTwo(__m128i s, __m128i d) {
  const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
  const __m128i n = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(s, a),
                                                _mm_mullo_epi16(d, _mm_xor_si128(a, _mm_set1_epi16(255)))),
                                  _mm_set1_epi16(127));
  return _mm_srli_epi16(_mm_mulhi_epu16(n, _mm_set1_epi16(static_cast<short>(0x8081))), 7);
}
#endif

}  // namespace

void BlendRow(uint32_t* dst, const uint32_t* src, int count) {
  int i = 0;
#if defined(__SSE2__)
  // Four pixels at a time; groups that are wholly transparent or wholly opaque skip the
  // arithmetic, as whole rows of shadow and body do.
  const __m128i zero = _mm_setzero_si128();
  const __m128i top = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  for (; i + 4 <= count; i += 4) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i alpha = _mm_and_si128(s, top);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(alpha, zero)) == 0xFFFF) continue;
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
    __m128i out = s;
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(alpha, top)) != 0xFFFF) {
      const __m128i low = BlendTwo(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
      const __m128i high = BlendTwo(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
      out = _mm_packus_epi16(low, high);
    }
    out = _mm_or_si128(_mm_andnot_si128(top, out), _mm_and_si128(d, top));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), out);
  }
#endif
  BlendPixels(dst + i, src + i, count - i);
}

void TPNGObject::LoadFromBytes(const uint8_t* data, size_t size) {
  pngdec::Image image;
  const pngdec::Result result = pngdec::Decode(data, size, image);
  if (!result) throw vcl::EInvalidGraphic(result.message);

  std::vector<uint32_t> pixels(static_cast<size_t>(image.width) * image.height);
  if (image.rgba.size() < pixels.size() * 4)
    throw vcl::EInvalidGraphic("PNG: the decoder returned fewer pixels than the header promised");
  const uint8_t* p = image.rgba.data();
  for (uint32_t& px : pixels) {
    px = (uint32_t{p[3]} << 24) | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    p += 4;
  }
  width_ = static_cast<int>(image.width);
  height_ = static_cast<int>(image.height);
  bit_depth_ = image.bit_depth;
  color_type_ = image.color_type;
  interlaced_ = image.interlaced;
  pixels_ = std::move(pixels);
  texts_ = std::move(image.texts);
}

void TPNGObject::Draw(const plat::Surface32& dst, int x, int y) const {
  vcl::TDrawClip c;
  if (!vcl::ClipDraw(dst, x, y, width_, height_, c)) return;
  for (int row = 0; row < c.height; ++row)
    BlendRow(dst.Row(c.dst_y + row) + c.dst_x, Scanline(c.src_y + row) + c.src_x, c.width);
}

std::string TPNGObject::Text(const std::string& keyword) const {
  for (const pngdec::Text& t : texts_)
    if (t.keyword == keyword) return t.text;
  return {};
}

namespace {

// The unit's start-up: linked whole-archive, so this object is always kept.
const struct Registrar {
  Registrar() {
    vcl::TPicture::RegisterFileFormat("png", "Portable Network Graphics", "TPNGObject",
                                      [] { return std::make_unique<TPNGObject>(); });
  }
} registrar;

}  // namespace

}  // namespace pngimage
