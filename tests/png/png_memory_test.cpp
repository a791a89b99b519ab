// What a decode allocates, counted by replacing operator new in this test program: a huge
// header is refused before any allocation, and a decode's peak is the RGBA output plus two
// rows (zlib's own state comes from malloc and is not counted here).
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "png_test_util.h"
#include "pngimage/png_decoder.h"
#include "support/testdata.h"

namespace {

struct Counter {
  bool on = false;
  size_t current = 0;
  size_t peak = 0;
  size_t largest = 0;
};
Counter g_count;

// Each block carries its size in front, so deletes can be counted too.
constexpr size_t kHeader = alignof(std::max_align_t);

void* CountedNew(size_t n) {
  void* raw = std::malloc(n + kHeader);
  if (raw == nullptr) throw std::bad_alloc();
  *static_cast<size_t*>(raw) = n;
  if (g_count.on) {
    g_count.current += n;
    g_count.peak = std::max(g_count.peak, g_count.current);
    g_count.largest = std::max(g_count.largest, n);
  }
  return static_cast<char*>(raw) + kHeader;
}

void CountedDelete(void* p) noexcept {
  if (p == nullptr) return;
  void* raw = static_cast<char*>(p) - kHeader;
  const size_t n = *static_cast<size_t*>(raw);
  if (g_count.on) g_count.current -= std::min(n, g_count.current);
  std::free(raw);
}

struct Scope {
  Scope() { g_count = Counter{true, 0, 0, 0}; }
  ~Scope() { g_count.on = false; }
};

}  // namespace

void* operator new(size_t n) { return CountedNew(n); }
void* operator new[](size_t n) { return CountedNew(n); }
void operator delete(void* p) noexcept { CountedDelete(p); }
void operator delete[](void* p) noexcept { CountedDelete(p); }
void operator delete(void* p, size_t) noexcept { CountedDelete(p); }
void operator delete[](void* p, size_t) noexcept { CountedDelete(p); }

namespace {

TEST(PngMemory, HugeHeaderIsRefusedBeforeAnythingIsAllocated) {
  // A 65535x65535 RGBA header with 8x8 worth of data; also with the size bounds lifted, so the
  // memory budget is what refuses it.
  std::vector<uint8_t> file = pngtest::Signature();
  pngtest::PutChunk(file, "IHDR", pngtest::Ihdr(65535, 65535, 8, 6, 0));
  pngtest::PutChunk(file, "IDAT", pngtest::Zlib(std::vector<uint8_t>(8 * 33, 0)));
  pngtest::PutChunk(file, "IEND", {});
  pngdec::Limits lifted;
  lifted.max_width = 65535;
  lifted.max_height = 65535;
  for (const pngdec::Limits& limits : {pngdec::Limits{}, lifted}) {
    pngdec::Image img;
    pngdec::Result r;
    {
      Scope counting;
      r = pngdec::Decode(file.data(), file.size(), img, limits);
      EXPECT_LT(g_count.largest, 4096u) << "largest allocation " << g_count.largest;
    }
    EXPECT_TRUE(r.error == pngdec::Error::DimensionLimit || r.error == pngdec::Error::MemoryLimit) << r.message;
  }
}

TEST(PngMemory, PeakIsTheOutputPlusTwoRows) {
  const struct {
    uint32_t w, h;
    uint8_t color, depth;
    bool interlace;
  } cases[] = {{546, 319, 6, 8, false}, {300, 200, 2, 16, true}, {123, 45, 0, 1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    pngtest::Recipe s;
    s.width = c.w;
    s.height = c.h;
    s.color = c.color;
    s.depth = c.depth;
    s.interlace = c.interlace;
    s.sample = [](uint32_t x, uint32_t y, int ch) { return static_cast<uint16_t>(x * 7 + y * 3 + ch); };
    if (c.depth < 8) s.sample = [](uint32_t x, uint32_t y, int) { return static_cast<uint16_t>((x ^ y) & 1); };
    const std::vector<uint8_t> file = pngtest::Encode(s, 3);
    const size_t output = size_t{c.w} * c.h * 4;
    const size_t row = (size_t{c.w} * pngtest::ChannelsOf(c.color) * c.depth + 7) / 8 + 1;
    pngdec::Image img;
    {
      Scope counting;
      ASSERT_TRUE(pngdec::Decode(file.data(), file.size(), img));
      // A little room for the error and text strings.
      EXPECT_LE(g_count.peak, output + 2 * row + 256) << "peak " << g_count.peak;
    }
  }
}

}  // namespace
