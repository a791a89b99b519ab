// The generator's writers: PNG output that libpng decodes to the very pixels written, with the
// requested chunk layout; the form-description rewrite; and the gen_assets program itself.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <random>

#include "asset_files.h"
#include "assets.h"

using namespace assettest;

namespace {

// Pixels that give every row filter something to win: noise, flat runs, vertical and horizontal
// ramps, and a transparent band.
assets::Rgba8 TestImage(uint32_t w, uint32_t h, uint32_t seed) {
  assets::Rgba8 img{w, h, Bytes(size_t(w) * h * 4)};
  std::mt19937 rng(seed);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t* p = &img.pixels[(size_t(y) * w + x) * 4];
      switch ((y / 2) % 4) {
        case 0: for (int c = 0; c < 4; ++c) p[c] = uint8_t(rng()); break;
        case 1: p[0] = uint8_t(x * 7); p[1] = uint8_t(x * 3 + y); p[2] = 200; p[3] = 255; break;
        case 2: p[0] = uint8_t(y * 11); p[1] = uint8_t(255 - y); p[2] = uint8_t(x ^ y); p[3] = uint8_t(x * 5); break;
        default: p[0] = p[1] = p[2] = p[3] = 0; break;
      }
    }
  return img;
}

struct PngCase {
  uint32_t width, height;
  int idats;
  bool text;
};

class PngWriter : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngWriter, LibpngDecodesTheSamePixels) {
  const PngCase& c = GetParam();
  const assets::Rgba8 img = TestImage(c.width, c.height, c.width * 131 + c.height);
  assets::PngOptions options;
  if (c.text) options.text = {"Software", "test"};
  options.idat_count = c.idats;
  const Bytes png = assets::EncodePng(img, options);

  const auto chunks = ReadChunks(png);
  ASSERT_TRUE(chunks);
  std::vector<std::string> expected = {"IHDR"};
  if (c.text) expected.push_back("tEXt");
  for (int i = 0; i < c.idats; ++i) expected.push_back("IDAT");
  expected.push_back("IEND");
  std::vector<std::string> types;
  for (const Chunk& ch : *chunks) {
    types.push_back(ch.type);
    EXPECT_TRUE(ch.crc_ok) << ch.type;
  }
  EXPECT_EQ(types, expected);

  std::string error;
  const auto decoded = DecodeWithLibpng(png, &error);
  ASSERT_TRUE(decoded) << error;
  EXPECT_EQ(decoded->width, c.width);
  EXPECT_EQ(decoded->height, c.height);
  EXPECT_TRUE(decoded->rgba == img.pixels) << "pixels differ after the round trip";
}

INSTANTIATE_TEST_SUITE_P(Sizes, PngWriter,
                         ::testing::Values(PngCase{1, 1, 1, false}, PngCase{2, 3, 1, true}, PngCase{7, 9, 3, true},
                                           PngCase{33, 17, 3, false}, PngCase{546, 40, 3, true},
                                           PngCase{5, 64, 2, false}),
                         [](const auto& p) {
                           return std::to_string(p.param.width) + "x" + std::to_string(p.param.height) + "_" +
                                  std::to_string(p.param.idats) + "idat" + (p.param.text ? "_text" : "");
                         });

TEST(PngWriter, RefusesBadInput) {
  assets::PngOptions three;
  three.idat_count = 3;
  EXPECT_THROW(assets::EncodePng(assets::Rgba8{0, 0, {}}, {}), std::runtime_error);
  EXPECT_THROW(assets::EncodePng(assets::Rgba8{2, 2, Bytes(15)}, {}), std::runtime_error);
  assets::PngOptions none;
  none.idat_count = 0;
  EXPECT_THROW(assets::EncodePng(TestImage(2, 2, 1), none), std::runtime_error);
}

TEST(Crc32, MatchesZlib) {
  const std::string s = "IEND";
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  EXPECT_EQ(assets::Crc32(p, s.size()), crc32(0, p, uInt(s.size())));
  EXPECT_EQ(assets::Crc32(p, s.size()), 0xAE426082u);
}

// A form description of the product's shape, its blocks holding stale bytes. The icon block ends
// the way the IDE writes it (brace after the digits); the picture block has its brace on a line of
// its own.
const char kForm[] =
    "object Form1: TForm1\n"
    "  Left = 751\n"
    "  Caption = 'Setup'\n"
    "  Icon.Data = {\n"
    "    00000100}\n"
    "  OnCreate = FormCreate\n"
    "  object Image1: TImage\n"
    "    Width = 546\n"
    "    Picture.Data = {\n"
    "      0A54504E47\n"
    "      4F626A656374\n"
    "    }\n"
    "  end\n"
    "  object Label1: TLabel\n"
    "    Caption = 'Picture.Data = {}'\n"
    "  end\n"
    "end\n";

Bytes Counting(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 37 + 0xA0);
  return b;
}

struct DfmCase {
  const char* name;
  std::string input;
  size_t icon_size, picture_size;
  std::string expected;
};

std::vector<DfmCase> DfmCases() {
  const std::string icon_line = "A0C5EA0F34597EA3C8ED12375C81A6CBF0153A5F84A9CEF3183D6287ACD1F61B";  // 32 bytes
  std::vector<DfmCase> cases;
  cases.push_back({"TwoLinesAndPartialLine", kForm, 33, 3,
                   "object Form1: TForm1\n"
                   "  Left = 751\n"
                   "  Caption = 'Setup'\n"
                   "  Icon.Data = {\n"
                   "    " + icon_line + "\n"
                   "    40}\n"
                   "  OnCreate = FormCreate\n"
                   "  object Image1: TImage\n"
                   "    Width = 546\n"
                   "    Picture.Data = {\n"
                   "      A0C5EA\n"
                   "    }\n"
                   "  end\n"
                   "  object Label1: TLabel\n"
                   "    Caption = 'Picture.Data = {}'\n"
                   "  end\n"
                   "end\n"});
  cases.push_back({"ExactlyOneLine", "x\n  Icon.Data = {\n    FF}\ny\n  Picture.Data = {}\n", 32, 1,
                   "x\n  Icon.Data = {\n    " + icon_line + "}\ny\n  Picture.Data = {\n    A0}\n"});
  std::string crlf = kForm, crlf_expected = cases[0].expected;
  for (std::string* s : {&crlf, &crlf_expected})
    for (size_t p = s->find('\n'); p != std::string::npos; p = s->find('\n', p + 2)) s->insert(p, "\r");
  cases.push_back({"WindowsLineEndings", crlf, 33, 3, crlf_expected});
  return cases;
}

class DfmUpdate : public ::testing::TestWithParam<DfmCase> {};

TEST_P(DfmUpdate, RewritesOnlyTheBlocks) {
  const DfmCase& c = GetParam();
  const std::vector<assets::DfmBlock> blocks = {{"Picture.Data", Counting(c.picture_size)},
                                                {"Icon.Data", Counting(c.icon_size)}};
  const std::string once = assets::UpdateDfm(c.input, blocks);
  EXPECT_EQ(once, c.expected);
  EXPECT_EQ(assets::UpdateDfm(once, blocks), once) << "a second run must change nothing";
}

INSTANTIATE_TEST_SUITE_P(Forms, DfmUpdate, ::testing::ValuesIn(DfmCases()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(DfmUpdate, MissingOrUnclosedPropertyIsAnError) {
  const std::vector<assets::DfmBlock> both = {{"Picture.Data", {1}}, {"Icon.Data", {2}}};
  EXPECT_THROW(assets::UpdateDfm("object Form1: TForm1\n  Icon.Data = {\n    00}\nend\n", both), std::runtime_error);
  EXPECT_THROW(assets::UpdateDfm("  Icon.Data = {\n    00}\n  Picture.Data = {\n    00\nend\n", both),
               std::runtime_error);
  // A caption that merely mentions the name is no property.
  EXPECT_THROW(assets::UpdateDfm("  Icon.Data = {}\n  Caption = 'Picture.Data = {'\n", both), std::runtime_error);
}

// The generated bytes go in whole: long blocks of the real assets read back exactly.
TEST(DfmUpdate, RealAssetsReadBack) {
  const Bytes png = assets::MakeArtworkPng();
  const Bytes ico = assets::MakeIconIco();
  const std::string out =
      assets::UpdateDfm(kForm, {{"Picture.Data", assets::PictureData(png)}, {"Icon.Data", ico}});
  const auto picture = ReadDfmBinary(out, "Picture.Data");
  ASSERT_TRUE(picture);
  ASSERT_EQ(picture->size(), 11 + png.size());
  EXPECT_EQ(std::string(picture->begin(), picture->begin() + 11), "\x0ATPNGObject");
  EXPECT_TRUE(std::equal(png.begin(), png.end(), picture->begin() + 11));
  EXPECT_EQ(ReadDfmBinary(out, "Icon.Data"), ico);
}

int RunGenAssets(const std::string& args) {
  const int status = std::system((std::string(GEN_ASSETS_EXE) + " " + args + " 2>/dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class GenAssetsProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("gen_assets_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  std::filesystem::path dir_;
};

// The program writes the same bytes as the painters in this process, and the same bytes every run.
TEST_F(GenAssetsProgram, WritesBothFilesDeterministically) {
  ASSERT_EQ(RunGenAssets((dir_ / "out").string()), 0);
  const Bytes png = ReadBytes(dir_ / "out" / "artwork.png");
  const Bytes ico = ReadBytes(dir_ / "out" / "MAINICON.ico");
  EXPECT_TRUE(png == assets::MakeArtworkPng());
  EXPECT_TRUE(ico == assets::MakeIconIco());
  ASSERT_EQ(RunGenAssets((dir_ / "again").string()), 0);
  EXPECT_TRUE(ReadBytes(dir_ / "again" / "artwork.png") == png);
  EXPECT_TRUE(ReadBytes(dir_ / "again" / "MAINICON.ico") == ico);
}

TEST_F(GenAssetsProgram, UpdatesAFormDescriptionInPlace) {
  Write("Unit1.dfm", kForm);
  ASSERT_EQ(RunGenAssets("--update-dfm " + (dir_ / "Unit1.dfm").string()), 0);
  const std::string text = ReadText(dir_ / "Unit1.dfm");
  EXPECT_EQ(ReadDfmBinary(text, "Picture.Data"), assets::PictureData(assets::MakeArtworkPng()));
  EXPECT_EQ(ReadDfmBinary(text, "Icon.Data"), assets::MakeIconIco());
  EXPECT_FALSE(std::filesystem::exists(dir_ / "Unit1.dfm.tmp"));
}

TEST_F(GenAssetsProgram, LeavesAFormWithoutBlocksUntouched) {
  const std::string plain = "object Form1: TForm1\n  Caption = 'Setup'\nend\n";
  Write("Unit1.dfm", plain);
  EXPECT_EQ(RunGenAssets("--update-dfm " + (dir_ / "Unit1.dfm").string()), 1);
  EXPECT_EQ(ReadText(dir_ / "Unit1.dfm"), plain);
  EXPECT_EQ(RunGenAssets("--update-dfm " + (dir_ / "absent.dfm").string()), 1);
  EXPECT_EQ(RunGenAssets(""), 2) << "no arguments is a usage error";
}

}  // namespace
