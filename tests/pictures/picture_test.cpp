// TPicture and the registry of picture formats: start-up registration of the PNG and JPEG
// classes, look-ups, re-registration, and loading from form-description data and from files.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "pngimage/png_decoder.h"
#include "test_images.h"
#include "vcl/Graphic.h"
#include "vcl/SysUtils.h"

namespace {

using namespace std::string_literals;
using vcl::TPicture;
using vcl::TPictureFormat;

// Keeps the bytes it was given, so tests can see exactly what the picture passed on.
class TTestGraphic : public vcl::TGraphic {
 public:
  const char* ClassName() const override { return "TTestGraphic"; }
  int Width() const override { return static_cast<int>(bytes.size()); }
  int Height() const override { return 1; }
  void LoadFromBytes(const uint8_t* data, size_t size) override {
    if (size > 0 && data[0] == '!') throw vcl::EInvalidGraphic("test: refused");
    bytes.assign(data, data + size);
  }
  void Draw(const plat::Surface32&, int, int) const override {}
  std::vector<uint8_t> bytes;
};

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<uint8_t> SmallPng() { return testimages::MakePng(3, 2, std::vector<uint8_t>(24, 0x80)); }
std::vector<uint8_t> SmallJpeg() {
  return testimages::MakeJpeg(5, 4, 3, std::vector<uint8_t>(60, 0x80), 90, false);
}

class PictureRegistry : public testing::Test {
 protected:
  void SetUp() override {
    TPicture::RegisterFileFormat("tst", "Test pictures", "TTestGraphic",
                                 [] { return std::make_unique<TTestGraphic>(); });
  }
  void TearDown() override {
    for (const char* name : {"TTestGraphic", "TOtherGraphic", "TTwoExtensions", "TBroken"})
      TPicture::UnregisterGraphicClass(name);
  }
};

TEST_F(PictureRegistry, StartUpRegistersPngAndJpeg) {
  struct Case {
    const char* extension;
    const char* class_name;
  };
  const Case cases[] = {{"png", "TPNGObject"}, {"PNG", "TPNGObject"}, {".png", "TPNGObject"},
                        {"jpg", "TJPEGImage"}, {"JPEG", "TJPEGImage"}, {".Jpg", "TJPEGImage"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extension);
    const TPictureFormat* by_extension = TPicture::FindFileFormat(c.extension);
    ASSERT_NE(by_extension, nullptr);
    EXPECT_EQ(by_extension->ClassName, c.class_name);
    EXPECT_FALSE(by_extension->Description.empty());
    const TPictureFormat* by_class = TPicture::FindGraphicClass(c.class_name);
    ASSERT_NE(by_class, nullptr);
    EXPECT_STREQ(by_class->Factory()->ClassName(), c.class_name);
  }
}

TEST_F(PictureRegistry, MissesFindNothing) {
  for (const char* extension : {"gif", "", ".", "pn", "png ", "tst.png", "jpgx"})
    EXPECT_EQ(TPicture::FindFileFormat(extension), nullptr) << "extension '" << extension << "'";
  for (const char* class_name : {"TFoo", "", "tpngobject", "TPNGObjec", "TJPEGImage "})
    EXPECT_EQ(TPicture::FindGraphicClass(class_name), nullptr) << "class '" << class_name << "'";
}

TEST_F(PictureRegistry, SecondRegistrationOfAnExtensionReplacesTheFirst) {
  TPicture::RegisterFileFormat("TST", "Other pictures", "TOtherGraphic",
                               [] { return std::make_unique<TTestGraphic>(); });
  ASSERT_NE(TPicture::FindFileFormat("tst"), nullptr);
  EXPECT_EQ(TPicture::FindFileFormat("tst")->ClassName, "TOtherGraphic");
  EXPECT_EQ(TPicture::FindFileFormat("tst")->Description, "Other pictures");
  int listed = 0;
  for (const TPictureFormat& f : TPicture::FileFormats()) listed += f.Extension == "tst";
  EXPECT_EQ(listed, 1) << "the extension is listed once";
  // Form descriptions that name the first class still load.
  EXPECT_NE(TPicture::FindGraphicClass("TTestGraphic"), nullptr);

  TPicture::UnregisterGraphicClass("TOtherGraphic");
  EXPECT_EQ(TPicture::FindFileFormat("tst"), nullptr);
  EXPECT_NE(TPicture::FindGraphicClass("TTestGraphic"), nullptr);
  EXPECT_NE(TPicture::FindFileFormat("png"), nullptr) << "other formats are untouched";
}

TEST_F(PictureRegistry, UnregisterRemovesTheClassAndAllItsExtensions) {
  auto make = [] { return std::make_unique<TTestGraphic>(); };
  TPicture::RegisterFileFormat("ta", "A", "TTwoExtensions", make);
  TPicture::RegisterFileFormat("tb", "B", "TTwoExtensions", make);
  ASSERT_NE(TPicture::FindFileFormat("tb"), nullptr);
  TPicture::UnregisterGraphicClass("TTwoExtensions");
  EXPECT_EQ(TPicture::FindFileFormat("ta"), nullptr);
  EXPECT_EQ(TPicture::FindFileFormat("tb"), nullptr);
  EXPECT_EQ(TPicture::FindGraphicClass("TTwoExtensions"), nullptr);
  TPicture picture;
  const std::vector<uint8_t> data = testimages::PictureData("TTwoExtensions", Bytes("x"));
  EXPECT_THROW(picture.LoadFromData(data.data(), data.size()), vcl::EInvalidGraphic);
}

TEST_F(PictureRegistry, LoadFromDataHandsTheImageBytesToTheNamedClass) {
  TPicture picture;
  int changes = 0;
  picture.OnChange = [&] { ++changes; };
  const std::vector<uint8_t> data = testimages::PictureData("TTestGraphic", Bytes("\x89image\0bytes"s));
  picture.LoadFromData(data.data(), data.size());
  ASSERT_NE(picture.Graphic(), nullptr);
  EXPECT_STREQ(picture.Graphic()->ClassName(), "TTestGraphic");
  EXPECT_EQ(static_cast<TTestGraphic*>(picture.Graphic())->bytes, Bytes("\x89image\0bytes"s));
  EXPECT_EQ(changes, 1);
}

TEST_F(PictureRegistry, LoadFromDataRefusesBadDataAndKeepsThePicture) {
  TPicture::RegisterFileFormat("tbroken", "Broken", "TBroken", [] { return std::unique_ptr<vcl::TGraphic>(); });
  std::vector<uint8_t> bad_png = SmallPng();
  bad_png[0] = 'X';
  pngdec::Image ignored;
  const std::string png_message = pngdec::Decode(bad_png.data(), bad_png.size(), ignored).message;
  ASSERT_FALSE(png_message.empty());

  struct Case {
    const char* name;
    std::vector<uint8_t> data;
    std::string message;
  };
  const Case cases[] = {
      {"empty", {}, "Picture data is empty"},
      {"no class name", {0, 'x'}, "Picture data ends inside the class name"},
      {"cut inside the class name", {10, 'T', 'P', 'N', 'G'}, "Picture data ends inside the class name"},
      {"unknown class", testimages::PictureData("TFoo", SmallPng()), "Unknown picture format 'TFoo'"},
      {"class name in the wrong case", testimages::PictureData("tpngobject", SmallPng()),
       "Unknown picture format 'tpngobject'"},
      {"image refused", testimages::PictureData("TTestGraphic", Bytes("!")), "test: refused"},
      {"bad PNG", testimages::PictureData("TPNGObject", bad_png), png_message},
      {"class without a maker", testimages::PictureData("TBroken", Bytes("x")),
       "Picture format 'TBroken' cannot be created"},
  };

  TPicture picture;
  const std::vector<uint8_t> good = testimages::PictureData("TPNGObject", SmallPng());
  picture.LoadFromData(good.data(), good.size());
  int changes = 0;
  picture.OnChange = [&] { ++changes; };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      picture.LoadFromData(c.data.data(), c.data.size());
      ADD_FAILURE() << "no exception";
    } catch (const vcl::EInvalidGraphic& e) {
      EXPECT_EQ(e.Message, c.message);
    }
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_STREQ(picture.Graphic()->ClassName(), "TPNGObject");
    EXPECT_EQ(picture.Width(), 3);
  }
  EXPECT_EQ(changes, 0);
}

TEST_F(PictureRegistry, LoadFromDataDecodesPngAndJpeg) {
  TPicture picture;
  EXPECT_TRUE(picture.Empty());
  const std::vector<uint8_t> png = testimages::PictureData("TPNGObject", SmallPng());
  picture.LoadFromData(png.data(), png.size());
  EXPECT_STREQ(picture.Graphic()->ClassName(), "TPNGObject");
  EXPECT_EQ(picture.Width(), 3);
  EXPECT_EQ(picture.Height(), 2);
  const std::vector<uint8_t> jpg = testimages::PictureData("TJPEGImage", SmallJpeg());
  picture.LoadFromData(jpg.data(), jpg.size());
  EXPECT_STREQ(picture.Graphic()->ClassName(), "TJPEGImage");
  EXPECT_EQ(picture.Width(), 5);
  EXPECT_EQ(picture.Height(), 4);
  picture.SetGraphic(nullptr);
  EXPECT_TRUE(picture.Empty());
  EXPECT_EQ(picture.Width(), 0);
}

TEST_F(PictureRegistry, LoadFromFilePicksTheFormatByExtension) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(testing::TempDir()) / "pictures_load_from_file";
  fs::remove_all(dir);
  fs::create_directories(dir / "folder.png");
  auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<std::streamsize>(bytes.size()));
    return (dir / name).string();
  };

  struct Loads {
    std::string file;
    std::vector<uint8_t> bytes;
    const char* class_name;
  };
  const Loads loads[] = {{"a.PNG", SmallPng(), "TPNGObject"},
                         {"b.jpeg", SmallJpeg(), "TJPEGImage"},
                         {"c.Jpg", SmallJpeg(), "TJPEGImage"},
                         {"two.dots.tst", Bytes("abc"), "TTestGraphic"}};
  for (const Loads& l : loads) {
    SCOPED_TRACE(l.file);
    TPicture picture;
    picture.LoadFromFile(write(l.file, l.bytes));
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_STREQ(picture.Graphic()->ClassName(), l.class_name);
  }

  struct Refusal {
    std::string file;
    std::string message;
  };
  const std::string plain = write("folder.png/plain", SmallPng());
  const std::string trailing = write("trailing.", SmallPng());
  const Refusal refusals[] = {{write("e.gif", SmallPng()), "Unknown picture file extension (.gif)"},
                              {plain, "Picture file \"" + plain + "\" has no extension"},
                              {trailing, "Picture file \"" + trailing + "\" has no extension"},
                              {write("jpeg-in-png.png", SmallJpeg()), ""}};
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.file);
    TPicture picture;
    try {
      picture.LoadFromFile(r.file);
      ADD_FAILURE() << "no exception";
    } catch (const vcl::EInvalidGraphic& e) {
      if (!r.message.empty()) {
        EXPECT_EQ(e.Message, r.message);
      }
    }
    EXPECT_TRUE(picture.Empty());
  }

  TPicture picture;
  EXPECT_THROW(picture.LoadFromFile((dir / "missing.png").string()), vcl::EReadError);
  fs::remove_all(dir);
}

}  // namespace
