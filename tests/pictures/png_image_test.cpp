// TPNGObject: loading, the alpha blend of Draw, clipping, and repeated repaints.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "pngimage/PNGImage.h"
#include "pngimage/png_decoder.h"
#include "test_images.h"
#include "vcl/Graphic.h"
#include "vcl/SysUtils.h"

namespace {

using pngimage::TPNGObject;

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }
uint32_t Channel(uint32_t p, int shift) { return (p >> shift) & 0xFF; }

// The rule as written, one channel at a time.
uint32_t Formula(uint32_t s, uint32_t d, uint32_t a) { return (s * a + d * (255 - a) + 127) / 255; }

// A surface with its own pixels and a stride wider than the width, so writes past the
// right edge land in a padding column that must stay untouched.
struct TestSurface {
  TestSurface(int w, int h, uint32_t fill, int pad = 3)
      : width(w), height(h), stride(w + pad), pixels(static_cast<size_t>(stride) * h, fill) {}
  plat::Surface32 View() { return {pixels.data(), width, height, stride}; }
  uint32_t& At(int x, int y) { return pixels[static_cast<size_t>(y) * stride + x]; }
  int width, height, stride;
  std::vector<uint32_t> pixels;
};

// Loads a PNG made from 0xAARRGGBB pixels.
std::unique_ptr<TPNGObject> MakePicture(int w, int h, const std::vector<uint32_t>& argb,
                                        const std::vector<testimages::PngText>& texts = {}) {
  std::vector<uint8_t> rgba;
  for (uint32_t p : argb) rgba.insert(rgba.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(p >> 24)});
  const std::vector<uint8_t> file = testimages::MakePng(uint32_t(w), uint32_t(h), rgba, texts);
  auto png = std::make_unique<TPNGObject>();
  png->LoadFromBytes(file.data(), file.size());
  return png;
}

TEST(PngBlend, MatchesTheRuleOnChosenValues) {
  struct Case {
    uint32_t s, d, a, expected;
  };
  // Computed by hand from (s*a + d*(255-a) + 127) / 255, including both sides of the points
  // where the rounding turns (a numerator of 254 gives 0, 255 gives 1).
  const Case cases[] = {
      {200, 10, 0, 10},   {200, 10, 255, 200}, {255, 0, 128, 128}, {0, 255, 128, 127},
      {200, 10, 219, 173}, {10, 200, 219, 37}, {255, 255, 1, 255}, {0, 0, 254, 0},
      {255, 0, 1, 1},     {0, 255, 254, 1},    {128, 64, 144, 100}, {64, 128, 6, 126},
      {1, 0, 128, 1},     {0, 1, 127, 1},      {1, 0, 127, 0},     {0, 1, 128, 0},
      {255, 0, 127, 127},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "s=" << c.s << " d=" << c.d << " a=" << c.a);
    // The case in each channel in turn, with the other two channels fixed.
    for (int shift : {16, 8, 0}) {
      const uint32_t src = (c.a << 24) | (c.s << shift);
      uint32_t dst = 0x5A000000u | (c.d << shift);
      pngimage::BlendRow(&dst, &src, 1);
      EXPECT_EQ(Channel(dst, shift), c.expected) << "channel at bit " << shift;
      EXPECT_EQ(dst >> 24, 0x5Au) << "the destination's top byte is kept";
    }
  }
}

// Every alpha, source and destination value in every channel. Each pass blends one source
// colour over 256 destinations; the three channels take s, s ^ 0x5A and 255 - s so that each
// runs through all 256 x 256 x 256 combinations. Whole rows go through the four-pixel path,
// single pixels through the one-pixel path that also finishes every row.
TEST(PngBlend, EqualsTheRuleForAllInputs) {
  for (const int step : {256, 1}) {
    SCOPED_TRACE(testing::Message() << step << " pixel(s) per call");
    std::vector<uint32_t> src(256), dst(256);
    long mismatches = 0;
    for (uint32_t a = 0; a < 256; ++a) {
      for (uint32_t s = 0; s < 256; ++s) {
        const uint32_t sr = s, sg = s ^ 0x5A, sb = 255 - s;
        for (uint32_t d = 0; d < 256; ++d) {
          src[d] = Argb(a, sr, sg, sb);
          dst[d] = Argb(d, 255 - d, d, d ^ 0xA5);
        }
        for (int i = 0; i < 256; i += step) pngimage::BlendRow(dst.data() + i, src.data() + i, step);
        for (uint32_t d = 0; d < 256; ++d) {
          const uint32_t want = Argb(d, Formula(sr, 255 - d, a), Formula(sg, d, a), Formula(sb, d ^ 0xA5, a));
          if (dst[d] != want && ++mismatches <= 5)
            ADD_FAILURE() << "a=" << a << " s=" << s << " d=" << d << std::hex << " got 0x" << dst[d]
                          << " want 0x" << want;
        }
      }
    }
    EXPECT_EQ(mismatches, 0);
  }
}

// Rows whose length is no multiple of four, with transparent, opaque and translucent pixels
// mixed inside the groups of four, against the one-pixel rule.
TEST(PngBlend, RowsOfAnyLengthAndMixedGroups) {
  const uint32_t alphas[] = {0, 255, 128, 0, 0, 0, 0, 255, 255, 255, 255, 1, 254, 0, 255, 77, 219};
  for (int count = 0; count <= int(std::size(alphas)); ++count) {
    SCOPED_TRACE(testing::Message() << count << " pixels");
    std::vector<uint32_t> src, dst, want;
    for (int i = 0; i < int(std::size(alphas)); ++i) {
      const uint32_t a = alphas[i], s = uint32_t(i * 37 + 11) & 0xFF, d = uint32_t(i * 91 + 5) & 0xFF;
      src.push_back(Argb(a, s, 255 - s, s ^ 0x33));
      dst.push_back(Argb(0x80 + uint32_t(i), d, d ^ 0x5A, 255 - d));
      want.push_back(i < count ? Argb(0x80 + uint32_t(i), Formula(s, d, a), Formula(255 - s, d ^ 0x5A, a),
                                      Formula(s ^ 0x33, 255 - d, a))
                               : dst.back());
    }
    pngimage::BlendRow(dst.data(), src.data(), count);
    EXPECT_EQ(dst, want);
  }
}

// Draw at every edge and corner, partly and wholly off the surface, against a plain
// per-pixel placement.
TEST(PngDraw, ClipsAtEveryEdge) {
  const int w = 3, h = 2;
  std::vector<uint32_t> argb;
  for (int i = 0; i < w * h; ++i) argb.push_back(Argb(255, 0x10 * (i + 1), 0x20, 0x30 + i));
  const auto png = MakePicture(w, h, argb);

  struct Case {
    int x, y;
  };
  const Case cases[] = {
      {0, 0},   {1, 1},    {-1, 0},  {-2, 1},  {3, 0},   {4, 2},        {0, -1},      {1, 3},
      {-1, -1}, {4, 3},    {-1, 3},  {4, -1},  {-3, 0},  {5, 0},        {0, -2},      {0, 4},
      {-100, -100}, {INT_MIN, 0}, {0, INT_MIN}, {INT_MAX, 0}, {0, INT_MAX}, {INT_MAX - 1, INT_MAX - 1},
  };
  const uint32_t background = 0x11223344u;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "at (" << c.x << ", " << c.y << ")");
    TestSurface surface(5, 4, background);
    png->Draw(surface.View(), c.x, c.y);

    TestSurface want(5, 4, background);
    for (int py = 0; py < h; ++py)
      for (int px = 0; px < w; ++px) {
        const long sx = long{c.x} + px, sy = long{c.y} + py;
        if (sx >= 0 && sx < 5 && sy >= 0 && sy < 4)
          want.At(int(sx), int(sy)) = (background & 0xFF000000u) | (argb[size_t(py * w + px)] & 0xFFFFFFu);
      }
    EXPECT_EQ(surface.pixels, want.pixels);
  }
}

TEST(PngDraw, NothingHappensOnAnEmptySurfaceOrPicture) {
  const auto png = MakePicture(2, 2, std::vector<uint32_t>(4, 0xFF00FF00u));
  png->Draw(plat::Surface32{}, 0, 0);  // no pixels at all
  TestSurface surface(4, 4, 0x01020304u);
  TPNGObject empty;
  EXPECT_TRUE(empty.Empty());
  empty.Draw(surface.View(), 0, 0);
  EXPECT_EQ(surface.pixels, TestSurface(4, 4, 0x01020304u).pixels);
}

// Each repaint blends the artwork over the previous output again: translucent pixels come
// closer to the picture's colours every time, fully transparent ones keep what was there.
TEST(PngDraw, RepaintsConvergeOnTranslucentPixelsAndKeepTransparentOnes) {
  const uint32_t alphas[] = {0, 1, 6, 65, 144, 219, 249, 254, 255};
  const int w = int(std::size(alphas));
  std::vector<uint32_t> argb;
  for (uint32_t a : alphas) argb.push_back(Argb(a, 0xF0, 0x80, 0x08));
  const auto png = MakePicture(w, 1, argb);

  const uint32_t background = 0x00103070u;  // far from the picture's colour in every channel
  TestSurface surface(w, 1, background, 0);
  png->Draw(surface.View(), 0, 0);
  const std::vector<uint32_t> first = surface.pixels;
  png->Draw(surface.View(), 0, 0);
  const std::vector<uint32_t> second = surface.pixels;

  for (int i = 0; i < w; ++i) {
    SCOPED_TRACE(testing::Message() << "alpha " << alphas[i]);
    if (alphas[i] == 0) {
      EXPECT_EQ(first[size_t(i)], background);
      EXPECT_EQ(second[size_t(i)], background);
      continue;
    }
    for (int shift : {16, 8, 0}) {
      const int pic = int(Channel(argb[size_t(i)], shift));
      const int d1 = std::abs(int(Channel(first[size_t(i)], shift)) - pic);
      const int d2 = std::abs(int(Channel(second[size_t(i)], shift)) - pic);
      const int d0 = std::abs(int(Channel(background, shift)) - pic);
      if (alphas[i] == 255) {
        EXPECT_EQ(d1, 0);
        EXPECT_EQ(d2, 0);
      } else {
        EXPECT_LE(d1, d0);
        EXPECT_LE(d2, d1);
        // A repaint moves a channel by at least one step whenever alpha * distance >= 128;
        // below that the rounding holds it where it is.
        if (alphas[i] * uint32_t(d1) >= 128) {
          EXPECT_LT(d2, d1) << "channel at bit " << shift;
        }
      }
    }
  }
}

TEST(PngLoad, KeepsPixelsChannelOrderAndTexts) {
  const std::vector<uint32_t> argb = {Argb(0, 1, 2, 3), Argb(255, 0xAA, 0xBB, 0xCC), Argb(219, 0x10, 0x20, 0x30),
                                      Argb(6, 0xFE, 0x00, 0x7F)};
  const auto png = MakePicture(2, 2, argb, {{"Software", "Picture maker 1.0"}, {"Comment", "two"}});
  EXPECT_STREQ(png->ClassName(), "TPNGObject");
  EXPECT_EQ(png->Width(), 2);
  EXPECT_EQ(png->Height(), 2);
  EXPECT_FALSE(png->Empty());
  EXPECT_EQ(png->BitDepth(), 8);
  EXPECT_EQ(png->ColorType(), 6);
  EXPECT_FALSE(png->Interlaced());
  for (int i = 0; i < 4; ++i) EXPECT_EQ(png->Pixel(i % 2, i / 2), argb[size_t(i)]) << "pixel " << i;
  ASSERT_EQ(png->Texts().size(), 2u);
  EXPECT_EQ(png->Texts()[1].keyword, "Comment");
  EXPECT_EQ(png->Text("Software"), "Picture maker 1.0");
  EXPECT_EQ(png->Text("Title"), "");
}

TEST(PngLoad, BadDataRaisesTheDecodersMessageAndKeepsThePicture) {
  const auto png = MakePicture(1, 1, {0xFF123456u});
  std::vector<uint8_t> good = testimages::MakePng(2, 1, std::vector<uint8_t>(8, 0x40));
  std::vector<uint8_t> bad_crc = good;
  bad_crc[29] ^= 0x01;  // IHDR's CRC
  const std::vector<std::vector<uint8_t>> inputs = {
      {},
      {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'},
      std::vector<uint8_t>(good.begin(), good.begin() + long(good.size()) / 2),
      bad_crc,
  };
  for (size_t i = 0; i < inputs.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "input " << i);
    pngdec::Image ignored;
    const pngdec::Result expected = pngdec::Decode(inputs[i].data(), inputs[i].size(), ignored);
    ASSERT_FALSE(expected) << "the decoder accepts this input";
    try {
      png->LoadFromBytes(inputs[i].data(), inputs[i].size());
      ADD_FAILURE() << "no exception";
    } catch (const vcl::EInvalidGraphic& e) {
      EXPECT_EQ(e.Message, expected.message);
      EXPECT_FALSE(e.Message.empty());
    }
    EXPECT_EQ(png->Width(), 1);
    EXPECT_EQ(png->Pixel(0, 0), 0xFF123456u);
  }
}

// The product's artwork, loaded by extension as a file and drawn twice over a plain surface:
// its fully transparent right columns and bottom rows keep the surface, the body takes colour.
TEST(PngArtwork, LoadsAndBlendsTheShippedArtwork) {
  vcl::TPicture picture;
  picture.LoadFromFile(std::string(LAUNCHER_SOURCE_DIR) + "/resources/artwork.png");
  const auto* png = dynamic_cast<const TPNGObject*>(picture.Graphic());
  ASSERT_NE(png, nullptr);
  ASSERT_EQ(png->Width(), 546);
  ASSERT_EQ(png->Height(), 319);
  EXPECT_EQ(png->ColorType(), 6);
  EXPECT_FALSE(png->Text("Software").empty());

  const uint32_t background = 0xFF204060u;
  TestSurface surface(546, 319, background, 0);
  png->Draw(surface.View(), 0, 0);
  png->Draw(surface.View(), 0, 0);
  for (int y = 0; y < 319; ++y)
    for (int x = 0; x < 546; ++x) {
      const uint32_t a = png->Pixel(x, y) >> 24;
      if (a == 0) {
        ASSERT_EQ(surface.At(x, y), background) << "(" << x << ", " << y << ")";
      } else if (a == 255) {
        ASSERT_EQ(surface.At(x, y), (png->Pixel(x, y) & 0xFFFFFFu) | 0xFF000000u) << "(" << x << ", " << y << ")";
      }
    }
  EXPECT_EQ(surface.At(545, 0), background);
  EXPECT_EQ(surface.At(0, 318), background);
  EXPECT_NE(surface.At(100, 100), background);
}

}  // namespace
