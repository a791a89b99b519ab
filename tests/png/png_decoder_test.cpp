// The decoder on files generated at test time: every colour type and bit depth, plain and
// Adam7, sizes 1..11, all five filters, compared with libpng; then the faults and policies
// the shared data does not reach.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "png_test_util.h"
#include "pngimage/png_decoder.h"

namespace {

using pngdec::Error;
using pngtest::PutChunk;
using pngtest::Recipe;

uint32_t Hash(uint32_t x, uint32_t y, int c) {
  uint32_t h = x * 0x9E3779B1u ^ (y + 0x7F4A7C15u) * 0x85EBCA6Bu ^ static_cast<uint32_t>(c) * 0xC2B2AE35u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return h;
}

struct Format {
  uint8_t color;
  uint8_t depth;
};
const Format kFormats[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                           {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};

// A request whose samples are pseudo-random but repeat one value often enough for the tRNS key
// to hit; palette images get a palette shorter than their index range and a partial tRNS.
Recipe MakeRecipe(Format f, uint32_t w, uint32_t h, bool interlace) {
  Recipe s;
  s.width = w;
  s.height = h;
  s.color = f.color;
  s.depth = f.depth;
  s.interlace = interlace;
  const uint32_t max = (1u << f.depth) - 1;
  s.sample = [max](uint32_t x, uint32_t y, int c) {
    const uint32_t v = Hash(x, y, c);
    return static_cast<uint16_t>((v & 3) == 0 ? (max & 0x5A5A) : (v >> 8) & max);
  };
  if (f.color == 3) {
    const size_t entries = std::max<size_t>(1, (size_t{1} << f.depth) * 3 / 4);  // some indices beyond it
    std::vector<uint8_t> plte, trns;
    for (size_t i = 0; i < entries; ++i) {
      plte.insert(plte.end(), {static_cast<uint8_t>(i * 37), static_cast<uint8_t>(i * 91), static_cast<uint8_t>(i * 13)});
      if (i < entries / 2) trns.push_back(static_cast<uint8_t>(i * 50));
    }
    s.before_idat.push_back({"PLTE", plte});
    if (!trns.empty()) s.before_idat.push_back({"tRNS", trns});
  } else if (f.color == 0) {
    s.before_idat.push_back({"tRNS", {static_cast<uint8_t>((max & 0x5A5A) >> 8), static_cast<uint8_t>(max & 0x5A5A)}});
  } else if (f.color == 2) {
    const uint16_t k = static_cast<uint16_t>(max & 0x5A5A);
    const uint8_t hi = static_cast<uint8_t>(k >> 8), lo = static_cast<uint8_t>(k);
    s.before_idat.push_back({"tRNS", {hi, lo, hi, lo, hi, lo}});
  }
  return s;
}

pngdec::Result Decode(const std::vector<uint8_t>& file, pngdec::Image& img, const pngdec::Limits& limits = {}) {
  return pngdec::Decode(file.data(), file.size(), img, limits);
}

TEST(PngDecoder, EveryFormatSizeAndInterlaceMatchesLibpng) {
  for (const Format f : kFormats) {
    for (uint32_t w = 1; w <= 11; ++w) {
      for (uint32_t h = 1; h <= 11; ++h) {
        for (const bool interlace : {false, true}) {
          SCOPED_TRACE("colour " + std::to_string(f.color) + " depth " + std::to_string(f.depth) + " size " +
                       std::to_string(w) + "x" + std::to_string(h) + (interlace ? " Adam7" : ""));
          const std::vector<uint8_t> file = pngtest::Encode(MakeRecipe(f, w, h, interlace));
          const auto ref = pngtest::LibpngDecode(file);
          ASSERT_TRUE(ref.has_value());
          pngdec::Image img;
          const pngdec::Result r = Decode(file, img);
          ASSERT_TRUE(r) << r.message;
          ASSERT_EQ(img.width, w);
          ASSERT_EQ(img.height, h);
          ASSERT_EQ(img.rgba, ref->rgba);
          EXPECT_EQ(img.interlaced, interlace);
          EXPECT_EQ(img.color_type, f.color);
          EXPECT_EQ(img.bit_depth, f.depth);
        }
      }
    }
  }
}

TEST(PngDecoder, InterlacedImageEqualsItsPlainTwin) {
  // Larger than one Adam7 block in both directions, with odd edges.
  for (const Format f : kFormats) {
    SCOPED_TRACE("colour " + std::to_string(f.color) + " depth " + std::to_string(f.depth));
    pngdec::Image plain, adam7;
    ASSERT_TRUE(Decode(pngtest::Encode(MakeRecipe(f, 37, 21, false), 3), plain));
    ASSERT_TRUE(Decode(pngtest::Encode(MakeRecipe(f, 37, 21, true), 3), adam7));
    EXPECT_EQ(plain.rgba, adam7.rgba);
  }
}

TEST(PngDecoder, SixteenBitSamplesRoundToNearest) {
  // (v * 255 + 32895) >> 16 == round(v / 257), the value libpng's scaling gives.
  const uint16_t values[] = {0, 128, 129, 385, 386, 257, 32767, 32768, 65406, 65407, 65535};
  Recipe s;
  s.width = sizeof values / sizeof values[0];
  s.color = 0;
  s.depth = 16;
  s.sample = [&](uint32_t x, uint32_t, int) { return values[x]; };
  pngdec::Image img;
  ASSERT_TRUE(Decode(pngtest::Encode(s), img));
  for (uint32_t x = 0; x < s.width; ++x) {
    const int want = (values[x] * 2 + 257) / 514;  // round half up of v / 257
    EXPECT_EQ(img.rgba[x * 4], want) << "v=" << values[x];
    EXPECT_EQ(img.rgba[x * 4 + 3], 255);
  }
}

// ---- Faults the shared data does not cover ----------------------------------------------

std::vector<uint8_t> SmallRgba(uint32_t w = 4, uint32_t h = 4, bool interlace = false) {
  return pngtest::Encode(MakeRecipe({6, 8}, w, h, interlace));
}

// A file assembled chunk by chunk.
struct Chunks {
  std::vector<uint8_t> bytes = pngtest::Signature();
  Chunks& Add(const std::string& type, const std::vector<uint8_t>& body) {
    PutChunk(bytes, type, body);
    return *this;
  }
};

std::vector<uint8_t> GreyIhdr(uint32_t w = 2, uint32_t h = 2) { return pngtest::Ihdr(w, h, 8, 0, 0); }
std::vector<uint8_t> GreyData(uint32_t w = 2, uint32_t h = 2) {
  return pngtest::Zlib(std::vector<uint8_t>(size_t{h} * (w + 1), 0));
}

TEST(PngDecoder, FaultsAreRefusedForTheirReason) {
  const std::vector<uint8_t> grey_idat = GreyData();
  std::vector<uint8_t> bad_filter_raw(3 * 2, 0);
  bad_filter_raw[3] = 7;  // second row
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    Error want;
    pngdec::Limits limits;
  };
  pngdec::Limits narrow;
  narrow.max_width = 3;
  pngdec::Limits small_budget;
  small_budget.max_rgba_bytes = 2 * 2 * 4 - 1;
  const std::vector<Case> cases = {
      {"PLTE in a grey image", Chunks().Add("IHDR", GreyIhdr()).Add("PLTE", {1, 2, 3}).Add("IDAT", grey_idat).Add("IEND", {}).bytes,
       Error::MisplacedPlte, {}},
      {"a second PLTE",
       Chunks().Add("IHDR", pngtest::Ihdr(2, 2, 8, 3, 0)).Add("PLTE", {1, 2, 3}).Add("PLTE", {1, 2, 3}).Add("IDAT", grey_idat).Add("IEND", {}).bytes,
       Error::MisplacedPlte, {}},
      {"PLTE after IDAT in a true-colour image",
       Chunks().Add("IHDR", pngtest::Ihdr(1, 1, 8, 2, 0)).Add("IDAT", pngtest::Zlib({0, 1, 2, 3})).Add("PLTE", {1, 2, 3}).Add("IEND", {}).bytes,
       Error::MisplacedPlte, {}},
      {"empty PLTE", Chunks().Add("IHDR", pngtest::Ihdr(2, 2, 8, 3, 0)).Add("PLTE", {}).Add("IDAT", grey_idat).Add("IEND", {}).bytes,
       Error::BadPlteLength, {}},
      {"PLTE of 257 entries",
       Chunks().Add("IHDR", pngtest::Ihdr(2, 2, 8, 3, 0)).Add("PLTE", std::vector<uint8_t>(771, 9)).Add("IDAT", grey_idat).Add("IEND", {}).bytes,
       Error::BadPlteLength, {}},
      {"zero width", Chunks().Add("IHDR", pngtest::Ihdr(0, 2, 8, 0, 0)).Add("IDAT", grey_idat).Add("IEND", {}).bytes,
       Error::BadDimensions, {}},
      {"width above the caller's limit", SmallRgba(), Error::DimensionLimit, narrow},
      {"pixels above the caller's budget", Chunks().Add("IHDR", GreyIhdr()).Add("IDAT", grey_idat).Add("IEND", {}).bytes,
       Error::MemoryLimit, small_budget},
      {"filter type 7", Chunks().Add("IHDR", GreyIhdr()).Add("IDAT", pngtest::Zlib(bad_filter_raw)).Add("IEND", {}).bytes,
       Error::BadFilterType, {}},
      {"invalid deflate block type",
       Chunks().Add("IHDR", GreyIhdr()).Add("IDAT", {0x78, 0x9C, 0x07, 0x00}).Add("IEND", {}).bytes, Error::ZlibCorrupt, {}},
      {"Adam7 image with the data of its first pass only",
       Chunks().Add("IHDR", pngtest::Ihdr(4, 4, 8, 0, 1)).Add("IDAT", pngtest::Zlib({0, 0})).Add("IEND", {}).bytes,
       Error::ImageDataShort, {}},
      {"IDAT data cut inside the stream",
       Chunks().Add("IHDR", GreyIhdr()).Add("IDAT", std::vector<uint8_t>(grey_idat.begin(), grey_idat.begin() + 3)).Add("IEND", {}).bytes,
       Error::ZlibTruncated, {}},
      {"critical chunk with a bad CRC after the image data", [&] {
         Chunks c;
         c.Add("IHDR", GreyIhdr()).Add("IDAT", grey_idat).Add("IEND", {});
         c.bytes[c.bytes.size() - 1] ^= 1;
         return c.bytes;
       }(),
       Error::BadCrc, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    pngdec::Image img;
    const pngdec::Result r = Decode(c.file, img, c.limits);
    ASSERT_FALSE(r);
    EXPECT_STREQ(pngdec::ErrorName(r.error), pngdec::ErrorName(c.want)) << r.message;
    EXPECT_EQ(r.message.rfind("PNG: ", 0), 0u) << r.message;
    EXPECT_TRUE(img.rgba.empty());
  }
}

TEST(PngDecoder, LimitMessagesStateTheBound) {
  pngdec::Limits limits;
  limits.max_width = 3;
  pngdec::Image img;
  pngdec::Result r = Decode(SmallRgba(), img, limits);
  EXPECT_NE(r.message.find("width 4 exceeds the limit of 3"), std::string::npos) << r.message;
  limits = {};
  limits.max_rgba_bytes = 63;
  r = Decode(SmallRgba(), img, limits);
  EXPECT_NE(r.message.find("63"), std::string::npos) << r.message;
}

TEST(PngDecoder, MemoryLimitArithmeticDoesNotOverflow) {
  // 2^31-1 squared times 4 overflows 64 bits; with every bound lifted, the budget still refuses.
  pngdec::Limits open;
  open.max_width = 0xFFFFFFFFu;
  open.max_height = 0xFFFFFFFFu;
  open.max_rgba_bytes = ~uint64_t{0};
  const std::vector<uint8_t> file =
      Chunks().Add("IHDR", pngtest::Ihdr(0x7FFFFFFF, 0x7FFFFFFF, 16, 6, 0)).Add("IDAT", GreyData()).Add("IEND", {}).bytes;
  pngdec::Image img;
  const pngdec::Result r = Decode(file, img, open);
  EXPECT_EQ(r.error, Error::MemoryLimit) << r.message;
}

TEST(PngDecoder, InflatingStopsAtTheImagesSize) {
  // The complete image, then a megabyte more of stream whose Adler-32 is wrong: a decoder that
  // inflated to the end would refuse it; ours stops after the last row.
  const uint32_t w = 4, h = 4;
  std::vector<uint8_t> raw(size_t{h} * (w * 4 + 1), 0x11);
  for (uint32_t y = 0; y < h; ++y) raw[y * (w * 4 + 1)] = 0;
  raw.resize(raw.size() + (1u << 20), 0);
  std::vector<uint8_t> z = pngtest::Zlib(raw, 9);
  z.back() ^= 0xFF;
  const std::vector<uint8_t> file =
      Chunks().Add("IHDR", pngtest::Ihdr(w, h, 8, 6, 0)).Add("IDAT", z).Add("IEND", {}).bytes;
  pngdec::Image img;
  const pngdec::Result r = Decode(file, img);
  ASSERT_TRUE(r) << r.message;
  EXPECT_EQ(img.rgba, std::vector<uint8_t>(w * h * 4, 0x11));
}

TEST(PngDecoder, StreamOfExactlyTheImageChecksItsAdler) {
  std::vector<uint8_t> z = GreyData();
  z.back() ^= 1;
  pngdec::Image img;
  const pngdec::Result r = Decode(Chunks().Add("IHDR", GreyIhdr()).Add("IDAT", z).Add("IEND", {}).bytes, img);
  EXPECT_EQ(r.error, Error::ZlibChecksum) << r.message;
}

TEST(PngDecoder, TextChunksAreKeptInFileOrderAndBadOnesDropped) {
  const auto text = [](const std::string& k, const std::string& t) {
    std::vector<uint8_t> b(k.begin(), k.end());
    b.push_back(0);
    b.insert(b.end(), t.begin(), t.end());
    return b;
  };
  Chunks c;
  c.Add("IHDR", GreyIhdr()).Add("tEXt", text("Title", "first")).Add("tEXt", {'n', 'o', 'n', 'u', 'l'});
  c.Add("tEXt", text("", "empty keyword")).Add("tEXt", text(std::string(80, 'k'), "keyword too long"));
  c.Add("tEXt", text("Broken", "crc"));
  c.bytes[c.bytes.size() - 1] ^= 1;  // that last tEXt's CRC
  c.Add("IDAT", GreyData()).Add("tEXt", text("Author", std::string("a\0b", 3))).Add("IEND", {});
  pngdec::Image img;
  ASSERT_TRUE(Decode(c.bytes, img));
  ASSERT_EQ(img.texts.size(), 2u);
  EXPECT_EQ(img.texts[0].keyword, "Title");
  EXPECT_EQ(img.texts[0].text, "first");
  EXPECT_EQ(img.texts[1].keyword, "Author");
  EXPECT_EQ(img.texts[1].text, std::string("a\0b", 3));
}

TEST(PngDecoder, TransparencyChunksThatCannotApplyAreIgnored) {
  // Grey 2x2, all samples 0; a tRNS key of 0 would make them transparent.
  const struct {
    const char* what;
    std::vector<uint8_t> trns;
    bool after_idat;
    uint8_t want_alpha;
  } cases[] = {
      {"valid key", {0, 0}, false, 0},
      {"wrong length", {0, 0, 0}, false, 255},
      {"after IDAT", {0, 0}, true, 255},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Chunks f;
    f.Add("IHDR", GreyIhdr());
    if (!c.after_idat) f.Add("tRNS", c.trns);
    f.Add("IDAT", GreyData());
    if (c.after_idat) f.Add("tRNS", c.trns);
    f.Add("IEND", {});
    pngdec::Image img;
    ASSERT_TRUE(Decode(f.bytes, img));
    EXPECT_EQ(img.rgba[3], c.want_alpha);
  }
}

TEST(PngDecoder, PaletteTransparencyLongerThanThePaletteIsCutToIt) {
  // Two palette entries, three alphas; index 2 lies beyond the palette and stays opaque black.
  const std::vector<uint8_t> raw = {0, 0, 1, 2};
  const std::vector<uint8_t> file = Chunks()
                                        .Add("IHDR", pngtest::Ihdr(3, 1, 8, 3, 0))
                                        .Add("PLTE", {10, 20, 30, 40, 50, 60})
                                        .Add("tRNS", {100, 150, 200})
                                        .Add("IDAT", pngtest::Zlib(raw))
                                        .Add("IEND", {})
                                        .bytes;
  pngdec::Image img;
  ASSERT_TRUE(Decode(file, img));
  EXPECT_EQ(img.rgba, (std::vector<uint8_t>{10, 20, 30, 100, 40, 50, 60, 150, 0, 0, 0, 255}));
}

TEST(PngDecoder, NullOrEmptyInputIsABadSignature) {
  pngdec::Image img;
  EXPECT_EQ(pngdec::Decode(nullptr, 0, img).error, Error::BadSignature);
  EXPECT_EQ(pngdec::Decode(nullptr, 100, img).error, Error::BadSignature);
}

}  // namespace
