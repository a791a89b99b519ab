// The committed artwork and icon: the exact PNG layout the picture loader and the window's
// blending rely on, the alpha layout of the body and its shadow, calm ground where the buttons and
// the copyright line are drawn, the icon's four 32-bit images, and the copies inside Unit1.dfm.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "asset_files.h"

using namespace assettest;

namespace {

const std::filesystem::path kResources = std::filesystem::path(LAUNCHER_SOURCE_DIR) / "resources";

constexpr uint32_t kWidth = 546, kHeight = 319, kBodyW = 536, kBodyH = 301;
constexpr uint8_t kRight[10] = {144, 125, 99, 65, 40, 20, 6, 0, 0, 0};
constexpr uint8_t kBottom[8] = {158, 144, 125, 99, 65, 40, 20, 6};

class Artwork : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    file_ = new Bytes(ReadBytes(kResources / "artwork.png"));
    std::string error;
    auto decoded = DecodeWithLibpng(*file_, &error);
    image_ = decoded ? new Decoded(std::move(*decoded)) : nullptr;
    if (!image_) error_ = new std::string(error);
  }
  static void TearDownTestSuite() {
    delete file_;
    delete image_;
    delete error_;
  }
  void SetUp() override {
    ASSERT_FALSE(file_->empty()) << "resources/artwork.png is missing";
    ASSERT_NE(image_, nullptr) << "libpng refuses resources/artwork.png: " << *error_;
    ASSERT_EQ(image_->width, kWidth);
    ASSERT_EQ(image_->height, kHeight);
  }
  static inline Bytes* file_ = nullptr;
  static inline Decoded* image_ = nullptr;
  static inline std::string* error_ = nullptr;
};

TEST_F(Artwork, ChunksAreIhdrTextThreeIdatIend) {
  const auto chunks = ReadChunks(*file_);
  ASSERT_TRUE(chunks) << "bad signature or chunk length";
  std::vector<std::string> types;
  for (const Chunk& c : *chunks) {
    types.push_back(c.type);
    EXPECT_TRUE(c.crc_ok) << c.type << " has a wrong CRC";
  }
  EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "tEXt", "IDAT", "IDAT", "IDAT", "IEND"}));

  const Bytes& ihdr = (*chunks)[0].data;
  ASSERT_EQ(ihdr.size(), 13u);
  EXPECT_EQ(Be32(&ihdr[0]), kWidth);
  EXPECT_EQ(Be32(&ihdr[4]), kHeight);
  EXPECT_EQ(ihdr[8], 8) << "bit depth";
  EXPECT_EQ(ihdr[9], 6) << "colour type RGBA";
  EXPECT_EQ(ihdr[10], 0) << "compression";
  EXPECT_EQ(ihdr[11], 0) << "filter method";
  EXPECT_EQ(ihdr[12], 0) << "interlace";

  const Bytes& text = (*chunks)[1].data;
  const auto nul = std::find(text.begin(), text.end(), 0);
  ASSERT_NE(nul, text.end()) << "tEXt without keyword separator";
  EXPECT_EQ(std::string(text.begin(), nul), "Software");
  EXPECT_GT(text.end() - nul, 1) << "empty Software text";
  EXPECT_TRUE((*chunks)[5].data.empty()) << "IEND carries data";
  for (int i = 2; i < 5; ++i) EXPECT_FALSE((*chunks)[size_t(i)].data.empty()) << "empty IDAT " << i;
}

TEST_F(Artwork, BodyIsMostly219AndNeverAbove249) {
  size_t at_219 = 0;
  uint8_t max = 0;
  for (uint32_t y = 0; y < kBodyH; ++y)
    for (uint32_t x = 0; x < kBodyW; ++x) {
      const uint8_t a = image_->A(x, y);
      at_219 += a == 219;
      max = std::max(max, a);
      ASSERT_GE(a, 219) << "body pixel (" << x << ", " << y << ") is more transparent than the body";
    }
  EXPECT_LE(max, 249);
  EXPECT_GE(double(at_219) / double(kBodyW * kBodyH), 0.70);
}

TEST_F(Artwork, TopAndLeftEdgesAreNotFeathered) {
  for (uint32_t x = 0; x < kBodyW; ++x) EXPECT_EQ(image_->A(x, 0), 219) << "top row, column " << x;
  for (uint32_t y = 0; y < kBodyH; ++y) EXPECT_EQ(image_->A(0, y), 219) << "left column, row " << y;
}

TEST_F(Artwork, RightShadowRampsAlongEveryBodyRow) {
  for (uint32_t i = 0; i < 10; ++i)
    for (uint32_t y = 0; y < kBodyH; ++y)
      ASSERT_EQ(image_->A(kBodyW + i, y), kRight[i]) << "column " << kBodyW + i << ", row " << y;
}

TEST_F(Artwork, BottomShadowRampsAlongEveryBodyColumn) {
  for (uint32_t j = 0; j < 8; ++j)
    for (uint32_t x = 0; x < kBodyW; ++x)
      ASSERT_EQ(image_->A(x, kBodyH + j), kBottom[j]) << "row " << kBodyH + j << ", column " << x;
}

// Where the ramps meet, the shadow may be no darker than either ramp and fades out to the right
// and downwards without steps back up.
TEST_F(Artwork, ShadowCornerFadesWithinBothRamps) {
  for (uint32_t j = 0; j < 8; ++j)
    for (uint32_t i = 0; i < 10; ++i) {
      const uint8_t a = image_->A(kBodyW + i, kBodyH + j);
      EXPECT_LE(a, std::min(kRight[i], kBottom[j])) << "corner (" << i << ", " << j << ")";
      if (i) {
        EXPECT_LE(a, image_->A(kBodyW + i - 1, kBodyH + j)) << "corner (" << i << ", " << j << ")";
      }
      if (j) {
        EXPECT_LE(a, image_->A(kBodyW + i, kBodyH + j - 1)) << "corner (" << i << ", " << j << ")";
      }
    }
  EXPECT_GT(image_->A(kBodyW, kBodyH), 0) << "the corner's first pixel joins both ramps";
}

TEST_F(Artwork, LastTenRowsAreFullyTransparent) {
  for (uint32_t y = kBodyH + 8; y < kHeight; ++y)
    for (uint32_t x = 0; x < kWidth; ++x) ASSERT_EQ(image_->A(x, y), 0) << "(" << x << ", " << y << ")";
}

// Black 8-point text and grey buttons are drawn on these places. The ground must be light enough
// over a dark desktop (blended at the body's alpha over black) and calm (little spread).
struct Place {
  const char* name;
  uint32_t x0, y0, x1, y1;  // inclusive
};
const Place kCalmPlaces[] = {
    {"Install Applications button", 328, 120, 521, 145},
    {"Install USB Driver button", 328, 168, 521, 193},
    {"User Manual button", 328, 216, 521, 241},
    {"Close button", 440, 256, 521, 281},
    {"copyright line", 112, 280, 323, 293},
};

class CalmGround : public Artwork, public ::testing::WithParamInterface<Place> {};

TEST_P(CalmGround, IsLightAndEven) {
  const Place& p = GetParam();
  double sum = 0, sum2 = 0, darkest = 1;
  size_t n = 0;
  for (uint32_t y = p.y0; y <= p.y1; ++y)
    for (uint32_t x = p.x0; x <= p.x1; ++x) {
      const uint8_t* px = image_->At(x, y);
      const double a = px[3] / 255.0;
      const double lum = a * (0.2126 * px[0] + 0.7152 * px[1] + 0.0722 * px[2]) / 255.0;  // over black
      sum += lum;
      sum2 += lum * lum;
      darkest = std::min(darkest, lum);
      ++n;
    }
  const double mean = sum / double(n);
  const double spread = std::sqrt(std::max(0.0, sum2 / double(n) - mean * mean));
  EXPECT_GT(darkest, 0.55) << p.name << ": too dark for black text even over a black desktop";
  EXPECT_LT(spread, 0.05) << p.name << ": too busy behind text";
}

INSTANTIATE_TEST_SUITE_P(TextPlaces, CalmGround, ::testing::ValuesIn(kCalmPlaces),
                         [](const auto& p) {
                           std::string s = p.param.name;
                           std::replace_if(s.begin(), s.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                           return s;
                         });

// The product name sits on the dark header in light letters: both must be present at the top left.
TEST_F(Artwork, ProductNameStandsOutAtTopLeft) {
  int light = 0, dark = 0;
  for (uint32_t y = 15; y < 45; ++y)
    for (uint32_t x = 15; x < 300; ++x) {
      const uint8_t* px = image_->At(x, y);
      const int lum = (2126 * px[0] + 7152 * px[1] + 722 * px[2]) / 10000;
      light += lum > 220;
      dark += lum < 80;
    }
  EXPECT_GT(light, 500) << "no light lettering in the title area";
  EXPECT_GT(dark, 3000) << "no dark ground in the title area";
}

TEST(Icon, FourThirtyTwoBitImagesLargestFirst) {
  const Bytes ico = ReadBytes(kResources / "MAINICON.ico");
  const auto dir = ReadIcoDirectory(ico);
  ASSERT_TRUE(dir) << "resources/MAINICON.ico has no valid icon directory";
  ASSERT_EQ(dir->size(), 4u);
  const uint32_t sizes[4] = {48, 32, 24, 16};
  uint32_t expected_offset = 6 + 16 * 4;
  for (size_t i = 0; i < 4; ++i) {
    const IcoImage& e = (*dir)[i];
    SCOPED_TRACE("image " + std::to_string(e.width));
    const uint32_t w = sizes[i], h = sizes[i];
    EXPECT_EQ(e.width, w);
    EXPECT_EQ(e.height, h);
    EXPECT_EQ(e.bits, 32u);
    const uint32_t mask_stride = (w + 31) / 32 * 4;
    ASSERT_EQ(e.size, 40 + w * h * 4 + mask_stride * h);
    EXPECT_EQ(e.offset, expected_offset) << "images are packed in directory order";
    expected_offset = e.offset + e.size;
    ASSERT_LE(size_t(e.offset) + e.size, ico.size());

    const uint8_t* bmp = &ico[e.offset];
    EXPECT_EQ(Le32(bmp), 40u) << "BITMAPINFOHEADER";
    EXPECT_EQ(Le32(bmp + 4), w);
    EXPECT_EQ(Le32(bmp + 8), 2 * h) << "height covers colour and mask rows";
    EXPECT_EQ(Le16(bmp + 12), 1u);
    EXPECT_EQ(Le16(bmp + 14), 32u);
    EXPECT_EQ(Le32(bmp + 16), 0u) << "BI_RGB";

    // The alpha channel carries a real shape: clear corners, an opaque inside, soft edges; the
    // AND mask agrees with it for readers that ignore alpha.
    const uint8_t* bgra = bmp + 40;
    const uint8_t* mask = bgra + w * h * 4;
    int clear = 0, opaque = 0, partial = 0;
    for (uint32_t row = 0; row < h; ++row)
      for (uint32_t x = 0; x < w; ++x) {
        const uint8_t a = bgra[(row * w + x) * 4 + 3];
        clear += a == 0;
        opaque += a == 255;
        partial += a > 0 && a < 255;
        const bool masked = mask[row * mask_stride + x / 8] & (0x80 >> (x % 8));
        EXPECT_EQ(masked, a == 0) << "mask bit at row " << row << ", column " << x;
      }
    EXPECT_GT(clear, 0);
    EXPECT_GT(opaque, int(w * h / 2));
    EXPECT_GT(partial, 0);
    EXPECT_EQ(bgra[3], 0) << "bottom-left corner is rounded off";
    EXPECT_EQ(bgra[((h / 2) * w + w / 2) * 4 + 3], 255) << "centre is opaque";
  }
  EXPECT_EQ(expected_offset, ico.size()) << "trailing bytes after the last image";
}

// Unit1.dfm carries both assets as binary properties; they must be exactly the committed files,
// or the program shows a different picture from the one reviewed here.
TEST(FormDescription, CarriesTheCommittedAssets) {
  const auto dfm = std::filesystem::path(LAUNCHER_SOURCE_DIR) / "Unit1.dfm";
  if (!std::filesystem::exists(dfm)) GTEST_SKIP() << dfm << " does not exist yet; nothing to compare";
  const std::string text = ReadText(dfm);

  Bytes picture = {0x0A, 'T', 'P', 'N', 'G', 'O', 'b', 'j', 'e', 'c', 't'};
  const Bytes png = ReadBytes(kResources / "artwork.png");
  picture.insert(picture.end(), png.begin(), png.end());
  const auto data = ReadDfmBinary(text, "Picture.Data");
  ASSERT_TRUE(data) << "Unit1.dfm has no readable Picture.Data";
  EXPECT_TRUE(*data == picture) << "Picture.Data differs from TPNGObject + resources/artwork.png; "
                                   "run gen_assets --update-dfm Unit1.dfm";

  const auto icon = ReadDfmBinary(text, "Icon.Data");
  ASSERT_TRUE(icon) << "Unit1.dfm has no readable Icon.Data";
  EXPECT_TRUE(*icon == ReadBytes(kResources / "MAINICON.ico"))
      << "Icon.Data differs from resources/MAINICON.ico; run gen_assets --update-dfm Unit1.dfm";
}

}  // namespace
