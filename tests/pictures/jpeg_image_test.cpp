// TJPEGImage: real decoding of JPEGs made at test time with libjpeg's compressor, refusal of
// damaged ones without ending the process, and the opaque Draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "jpeg/Jpeg.h"
#include "test_images.h"
#include "vcl/SysUtils.h"

namespace {

using jpeg::TJPEGImage;

// A smooth known gradient: red runs left to right, green top to bottom, blue diagonally.
std::vector<uint8_t> Gradient(int w, int h, int components) {
  std::vector<uint8_t> s;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int r = w > 1 ? x * 255 / (w - 1) : 128;
      const int g = h > 1 ? y * 255 / (h - 1) : 64;
      if (components == 1) {
        s.push_back(uint8_t((r + g) / 2));
      } else {
        s.insert(s.end(), {uint8_t(r), uint8_t(g), uint8_t((r + g) / 2)});
      }
    }
  return s;
}

std::vector<uint8_t> GradientJpeg(int w = 24, int h = 16) {
  return testimages::MakeJpeg(w, h, 3, Gradient(w, h, 3), 95, false);
}

TEST(JpegLoad, DecodesWhatTheCompressorWrote) {
  struct Case {
    const char* name;
    int w, h, components;
    bool progressive;
  };
  const Case cases[] = {
      {"colour", 24, 16, 3, false},
      {"sizes that are no multiple of the block", 17, 9, 3, false},
      {"one pixel", 1, 1, 3, false},
      {"grey", 33, 20, 1, false},
      {"progressive", 40, 24, 3, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> samples = Gradient(c.w, c.h, c.components);
    const std::vector<uint8_t> file = testimages::MakeJpeg(c.w, c.h, c.components, samples, 95, c.progressive);
    TJPEGImage jpg;
    jpg.LoadFromBytes(file.data(), file.size());
    ASSERT_EQ(jpg.Width(), c.w);
    ASSERT_EQ(jpg.Height(), c.h);
    EXPECT_EQ(jpg.Grayscale(), c.components == 1);
    int worst = 0;
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        const uint32_t p = jpg.Pixel(x, y);
        EXPECT_EQ(p >> 24, 0xFFu);
        const uint8_t* want = &samples[size_t((y * c.w + x) * c.components)];
        for (int ch = 0; ch < 3; ++ch) {
          const int got = int((p >> (16 - 8 * ch)) & 0xFF);
          worst = std::max(worst, std::abs(got - int(want[c.components == 1 ? 0 : ch])));
        }
      }
    // Quality 95 at full colour resolution stays within a few steps (3 measured); a swapped
    // channel, or a shift by one pixel or one row, is off by 6 or more on these gradients.
    EXPECT_LE(worst, 5);
  }
}

// The frame header (SOF0: FF C0, length, precision, height, width) of a copy of a JPEG, with
// its height and width replaced.
std::vector<uint8_t> WithSize(std::vector<uint8_t> file, uint16_t width, uint16_t height) {
  for (size_t i = 0; i + 8 < file.size(); ++i)
    if (file[i] == 0xFF && file[i + 1] == 0xC0) {
      file[i + 5] = uint8_t(height >> 8);
      file[i + 6] = uint8_t(height);
      file[i + 7] = uint8_t(width >> 8);
      file[i + 8] = uint8_t(width);
      return file;
    }
  ADD_FAILURE() << "no SOF0 marker";
  return file;
}

// Where the entropy-coded data of a baseline JPEG starts: just after the SOS segment.
size_t EntropyStart(const std::vector<uint8_t>& file) {
  for (size_t i = 0; i + 3 < file.size(); ++i)
    if (file[i] == 0xFF && file[i + 1] == 0xDA) return i + 2 + ((size_t(file[i + 2]) << 8) | file[i + 3]);
  ADD_FAILURE() << "no SOS marker";
  return file.size();
}

TEST(JpegLoad, DamagedOrUnsupportedDataRaisesAndKeepsThePicture) {
  const std::vector<uint8_t> good = GradientJpeg();
  TJPEGImage jpg;
  jpg.LoadFromBytes(good.data(), good.size());

  // Halfway through the image data, before the closing FF D9.
  const long middle = long(EntropyStart(good) + good.size() - 2) / 2;
  std::vector<uint8_t> scrambled = good;
  for (size_t i = size_t(middle); i + 2 < scrambled.size(); ++i) scrambled[i] = 0xFF;

  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* reason;  // libjpeg's words, or ours for the size limit
  };
  const Case cases[] = {
      {"empty", {}, "Empty input file"},
      {"not a JPEG", {'G', 'I', 'F', '8', '9', 'a', 0, 0}, "Not a JPEG file"},
      {"start marker only", {0xFF, 0xD8}, "contains no image"},
      {"cut inside the header", std::vector<uint8_t>(good.begin(), good.begin() + 40), "contains no image"},
      // libjpeg itself only warns about these two and patches the picture up.
      {"cut inside the image data", std::vector<uint8_t>(good.begin(), good.begin() + middle),
       "Premature end of JPEG file"},
      {"image data overwritten", scrambled, "Corrupt JPEG data"},
      {"width zero", WithSize(good, 0, 16), "Empty JPEG image"},
      {"larger than the limits", WithSize(good, 20000, 20000), "20000 x 20000 pixels is outside the limits"},
      {"CMYK, valid but not supported", testimages::MakeJpeg(8, 8, 4, std::vector<uint8_t>(256, 0x40), 90, false),
       "not supported"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      jpg.LoadFromBytes(c.bytes.data(), c.bytes.size());
      ADD_FAILURE() << "no exception";
    } catch (const vcl::EInvalidGraphic& e) {
      EXPECT_EQ(e.Message.rfind("JPEG: ", 0), 0u) << e.Message;
      EXPECT_NE(e.Message.find(c.reason), std::string::npos) << e.Message;
    }
    EXPECT_EQ(jpg.Width(), 24);
    EXPECT_EQ(jpg.Height(), 16);
  }
}

// Every single-byte change and every cut of a small JPEG either loads or raises
// EInvalidGraphic: libjpeg never ends the process and, under the sanitizers, never leaks or
// touches memory it should not.
TEST(JpegLoad, ByteFlipsAndCutsNeverCrash) {
  const std::vector<uint8_t> good = testimages::MakeJpeg(9, 7, 3, Gradient(9, 7, 3), 75, true);
  int refused = 0;
  auto attempt = [&](const std::vector<uint8_t>& bytes) {
    TJPEGImage jpg;
    try {
      jpg.LoadFromBytes(bytes.data(), bytes.size());
      EXPECT_GT(jpg.Width(), 0);
    } catch (const vcl::EInvalidGraphic&) {
      ++refused;
    }
  };
  for (size_t i = 0; i < good.size(); ++i) {
    std::vector<uint8_t> flipped = good;
    flipped[i] ^= uint8_t(0x01 << (i % 8));
    attempt(flipped);
    attempt(std::vector<uint8_t>(good.begin(), good.begin() + long(i)));
  }
  EXPECT_GE(refused, int(good.size())) << "every cut short of the whole file is refused";
}

TEST(JpegDraw, CopiesOpaquelyClippedAndKeepsTheTopByte) {
  const std::vector<uint8_t> file = GradientJpeg(4, 3);
  TJPEGImage jpg;
  jpg.LoadFromBytes(file.data(), file.size());
  // 4 x 3 picture at (-1, 1) on a 5 x 3 surface with a padding column: columns 0-2 and rows
  // 1-2 receive picture columns 1-3 and rows 0-1.
  const int stride = 6;
  std::vector<uint32_t> pixels(size_t(stride) * 3, 0x7F010203u);
  jpg.Draw(plat::Surface32{pixels.data(), 5, 3, stride}, -1, 1);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < stride; ++x) {
      SCOPED_TRACE(testing::Message() << "(" << x << ", " << y << ")");
      const uint32_t got = pixels[size_t(y * stride + x)];
      if (y >= 1 && x <= 2)
        EXPECT_EQ(got, 0x7F000000u | (jpg.Pixel(x + 1, y - 1) & 0xFFFFFFu));
      else
        EXPECT_EQ(got, 0x7F010203u);
    }
}

}  // namespace
