// The decoder against the shared conformance data: PngSuite pixel for pixel against libpng,
// its corrupt files, the crash regressions, the out-of-palette files and the synthetic
// edge cases with their expected verdicts.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "png_test_util.h"
#include "pngimage/png_decoder.h"
#include "support/testdata.h"

namespace {

namespace fs = std::filesystem;
using pngdec::Error;
using testsupport::ReadFile;
using testsupport::TestData;

std::vector<fs::path> PngFiles(const fs::path& dir) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".png") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

pngdec::Result DecodeFile(const fs::path& p, pngdec::Image& img) {
  const std::vector<uint8_t> bytes = ReadFile(p);
  return pngdec::Decode(bytes.data(), bytes.size(), img);
}

// Equal pixels, or a message naming the first pixel that differs.
::testing::AssertionResult SamePixels(const pngdec::Image& ours, const pngtest::RefImage& ref) {
  if (ours.width != ref.width || ours.height != ref.height)
    return ::testing::AssertionFailure() << "size " << ours.width << "x" << ours.height << " vs libpng "
                                         << ref.width << "x" << ref.height;
  for (size_t i = 0; i < ref.rgba.size(); i += 4) {
    if (std::equal(ref.rgba.begin() + static_cast<long>(i), ref.rgba.begin() + static_cast<long>(i) + 4,
                   ours.rgba.begin() + static_cast<long>(i)))
      continue;
    const size_t px = i / 4;
    return ::testing::AssertionFailure()
           << "pixel (" << px % ref.width << "," << px / ref.width << ") is " << int{ours.rgba[i]} << ","
           << int{ours.rgba[i + 1]} << "," << int{ours.rgba[i + 2]} << "," << int{ours.rgba[i + 3]}
           << "; libpng gives " << int{ref.rgba[i]} << "," << int{ref.rgba[i + 1]} << ","
           << int{ref.rgba[i + 2]} << "," << int{ref.rgba[i + 3]};
  }
  return ::testing::AssertionSuccess();
}

void ExpectMatchesLibpng(const fs::path& p) {
  SCOPED_TRACE(p.filename().string());
  const std::vector<uint8_t> bytes = ReadFile(p);
  const auto ref = pngtest::LibpngDecode(bytes);
  ASSERT_TRUE(ref.has_value()) << "libpng refuses it";
  pngdec::Image img;
  const pngdec::Result r = pngdec::Decode(bytes.data(), bytes.size(), img);
  ASSERT_TRUE(r) << r.message;
  EXPECT_TRUE(SamePixels(img, *ref));
}

TEST(PngSuite, EveryValidFileDecodesToLibpngsPixels) {
  REQUIRE_TESTDATA("pngsuite");
  int checked = 0;
  for (const fs::path& p : PngFiles(TestData("pngsuite"))) {
    if (p.filename().string()[0] == 'x') continue;
    ExpectMatchesLibpng(p);
    ++checked;
  }
  EXPECT_GT(checked, 0) << "no PngSuite files found";
}

TEST(PngSuite, EveryCorruptFileIsRefusedForItsReason) {
  REQUIRE_TESTDATA("pngsuite");
  const std::map<std::string, Error> expected = {
      {"xc1n0g08.png", Error::BadColorTypeOrDepth},  // colour type 1
      {"xc9n2c08.png", Error::BadColorTypeOrDepth},  // colour type 9
      {"xcrn0g04.png", Error::BadSignature},         // line ends converted
      {"xcsn0g01.png", Error::BadCrc},               // IDAT checksum
      {"xd0n2c08.png", Error::BadColorTypeOrDepth},  // bit depth 0
      {"xd3n2c08.png", Error::BadColorTypeOrDepth},  // bit depth 3
      {"xd9n2c08.png", Error::BadColorTypeOrDepth},  // bit depth 99
      {"xdtn0g01.png", Error::MissingIdat},
      {"xhdn0g08.png", Error::BadCrc},               // IHDR checksum
      {"xlfn0g04.png", Error::BadSignature},
      {"xs1n0g01.png", Error::BadSignature},
      {"xs2n0g01.png", Error::BadSignature},
      {"xs4n0g01.png", Error::BadSignature},
      {"xs7n0g01.png", Error::BadSignature},
  };
  for (const fs::path& p : PngFiles(TestData("pngsuite"))) {
    const std::string name = p.filename().string();
    if (name[0] != 'x') continue;
    SCOPED_TRACE(name);
    pngdec::Image img;
    const pngdec::Result r = DecodeFile(p, img);
    ASSERT_FALSE(r);
    EXPECT_FALSE(r.message.empty());
    EXPECT_TRUE(img.rgba.empty());
    const auto it = expected.find(name);
    ASSERT_NE(it, expected.end()) << "a corrupt file this table does not know yet: " << r.message;
    EXPECT_EQ(pngdec::ErrorName(r.error), std::string(pngdec::ErrorName(it->second))) << r.message;
  }
}

TEST(PngEdge, CrashersAreRefusedButEmptyAncillaryChunksAreDropped) {
  REQUIRE_TESTDATA("png-edge/crashers");
  for (const fs::path& p : PngFiles(TestData("png-edge/crashers"))) {
    const std::string name = p.filename().string();
    SCOPED_TRACE(name);
    if (name == "empty_ancillary_chunks.png") {
      // Zero-length ancillary chunks are invalid and dropped; the image itself is fine.
      ExpectMatchesLibpng(p);
      continue;
    }
    pngdec::Image img;
    const pngdec::Result r = DecodeFile(p, img);
    EXPECT_FALSE(r);
    EXPECT_FALSE(r.message.empty());
    // A chunk that claims a gigabyte the file does not hold is refused as truncated.
    if (name.rfind("huge_", 0) == 0) {
      EXPECT_EQ(r.error, Error::Truncated) << r.message;
    }
  }
}

TEST(PngEdge, OutOfPaletteIndicesGiveOpaqueBlackLikeLibpng) {
  REQUIRE_TESTDATA("png-edge/badpal");
  for (const fs::path& p : PngFiles(TestData("png-edge/badpal"))) ExpectMatchesLibpng(p);
}

// The synthetic files share one 8x8 picture: (32x, 32y mod 256, 128, x<6 ? 200 : 40).
void ExpectSyntheticPicture(const pngdec::Image& img) {
  ASSERT_EQ(img.width, 8u);
  ASSERT_EQ(img.height, 8u);
  for (uint32_t y = 0; y < 8; ++y)
    for (uint32_t x = 0; x < 8; ++x) {
      const uint8_t* px = &img.rgba[(y * 8 + x) * 4];
      const uint8_t want[4] = {static_cast<uint8_t>(32 * x), static_cast<uint8_t>(32 * y), 128,
                               static_cast<uint8_t>(x < 6 ? 200 : 40)};
      ASSERT_TRUE(std::equal(want, want + 4, px)) << "pixel " << x << "," << y;
    }
}

struct ManifestRow {
  std::string file;
  std::string expect;
};

std::vector<ManifestRow> ReadManifest() {
  std::ifstream in(TestData("png-edge/synthetic/MANIFEST.tsv"));
  std::vector<ManifestRow> rows;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    ManifestRow row;
    if (std::getline(fields, row.file, '\t') && std::getline(fields, row.expect, '\t')) rows.push_back(row);
  }
  return rows;
}

TEST(PngEdge, SyntheticFilesGetTheManifestsVerdicts) {
  REQUIRE_TESTDATA("png-edge/synthetic/MANIFEST.tsv");
  // The reason each refused file must be refused for.
  const std::map<std::string, Error> reasons = {
      {"bad_empty_file.png", Error::BadSignature},
      {"bad_sig_only_5_bytes.png", Error::BadSignature},
      {"bad_sig_only.png", Error::Truncated},
      {"bad_trunc_after_ihdr.png", Error::Truncated},
      {"bad_trunc_mid_idat_data.png", Error::Truncated},
      {"bad_trunc_in_idat_crc.png", Error::Truncated},
      {"bad_trunc_no_iend.png", Error::Truncated},
      {"bad_ihdr_not_first.png", Error::IhdrNotFirst},
      {"bad_ihdr_twice.png", Error::DuplicateIhdr},
      {"bad_ihdr_length_12.png", Error::IhdrBadLength},
      {"bad_ihdr_zero_height.png", Error::BadDimensions},
      {"bad_ihdr_width_2pow31.png", Error::BadDimensions},
      {"bad_ihdr_compression_1.png", Error::BadCompressionMethod},
      {"bad_ihdr_filter_method_1.png", Error::BadFilterMethod},
      {"bad_ihdr_interlace_2.png", Error::BadInterlaceMethod},
      {"bad_ihdr_depth16_palette.png", Error::BadColorTypeOrDepth},
      {"bad_dims_65535sq_tiny_idat.png", Error::DimensionLimit},
      {"bad_plte_missing.png", Error::MissingPlte},
      // A palette image meets its first IDAT without a palette: that is reported first.
      {"bad_plte_after_idat.png", Error::MissingPlte},
      {"bad_plte_length_not_mult3.png", Error::BadPlteLength},
      {"bad_idat_not_consecutive.png", Error::IdatNotConsecutive},
      {"bad_no_idat.png", Error::MissingIdat},
      {"bad_unknown_critical_chunk.png", Error::UnknownCriticalChunk},
      {"bad_chunk_type_not_letters.png", Error::BadChunkType},
      {"bad_chunk_length_2pow31.png", Error::ChunkTooLong},
      {"bad_crc_ihdr.png", Error::BadCrc},
      {"bad_crc_last_idat.png", Error::BadCrc},
      {"bad_crc_iend.png", Error::BadCrc},
      {"bad_zlib_adler32.png", Error::ZlibChecksum},
      {"bad_zlib_header_fcheck.png", Error::ZlibHeader},
      {"bad_zlib_preset_dict.png", Error::ZlibPresetDictionary},
      {"bad_zlib_stream_cut.png", Error::ZlibTruncated},
      {"bad_zlib_too_few_rows.png", Error::ImageDataShort},
      {"bad_filter_type_5.png", Error::BadFilterType},
  };
  const std::vector<ManifestRow> rows = ReadManifest();
  ASSERT_FALSE(rows.empty());
  for (const ManifestRow& row : rows) {
    SCOPED_TRACE(row.file + " (" + row.expect + ")");
    pngdec::Image img;
    const pngdec::Result r = DecodeFile(TestData("png-edge/synthetic/" + row.file), img);
    if (row.expect == "reject") {
      ASSERT_FALSE(r);
      const auto it = reasons.find(row.file);
      if (it != reasons.end()) {
        EXPECT_STREQ(pngdec::ErrorName(r.error), pngdec::ErrorName(it->second)) << r.message;
      }
    } else {
      // Every "decide" row is accepted under our policies.
      ASSERT_TRUE(row.expect == "accept" || row.expect == "decide") << "unknown verdict";
      ASSERT_TRUE(r) << r.message;
      if (row.file.rfind("ok_", 0) == 0 && row.file != "ok_palette4.png") ExpectSyntheticPicture(img);
    }
  }
}

TEST(PngEdge, PolicyCasesDecodeAsDecided) {
  REQUIRE_TESTDATA("png-edge/synthetic");
  const auto decode = [](const char* name, pngdec::Image& img) {
    const pngdec::Result r = DecodeFile(TestData(std::string("png-edge/synthetic/") + name), img);
    EXPECT_TRUE(r) << name << ": " << r.message;
  };
  pngdec::Image img;
  // A damaged tEXt is dropped; the picture is unharmed.
  decode("policy_crc_text_ancillary.png", img);
  for (const pngdec::Text& t : img.texts) EXPECT_NE(t.keyword, "Software") << "the damaged tEXt was kept";
  ExpectSyntheticPicture(img);
  // Inflating stops once the image is complete: the 64 MiB stream gives the 8x8 picture.
  decode("policy_zlib_bomb_64MiB.png", img);
  ExpectSyntheticPicture(img);
  decode("policy_zlib_extra_data.png", img);
  ExpectSyntheticPicture(img);
  decode("policy_iend_with_data.png", img);
  ExpectSyntheticPicture(img);
  // Index 15 of a 4-entry palette is opaque black.
  decode("policy_palette_index_out_of_range.png", img);
  bool saw_black = false;
  for (size_t i = 0; i < img.rgba.size(); i += 4) {
    if (img.rgba[i] == 0 && img.rgba[i + 1] == 0 && img.rgba[i + 2] == 0) {
      EXPECT_EQ(img.rgba[i + 3], 255);
      saw_black = true;
    }
  }
  EXPECT_TRUE(saw_black);
}

TEST(PngEdge, PaletteFileDecodesToItsIndices) {
  REQUIRE_TESTDATA("png-edge/synthetic/ok_palette4.png");
  pngdec::Image img;
  ASSERT_TRUE(DecodeFile(TestData("png-edge/synthetic/ok_palette4.png"), img));
  const uint8_t palette[4][4] = {{0, 0, 0, 255}, {255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}};
  for (uint32_t y = 0; y < img.height; ++y)
    for (uint32_t x = 0; x < img.width; ++x)
      ASSERT_TRUE(std::equal(palette[x % 4], palette[x % 4] + 4, &img.rgba[(y * img.width + x) * 4]))
          << x << "," << y;
}

TEST(PngEdge, SyntheticFilesMatchLibpngWhereBothAccept) {
  REQUIRE_TESTDATA("png-edge/synthetic");
  for (const char* name : {"ok_rgba8_3idat.png", "ok_filters_all_types.png", "ok_idat_1byte_chunks.png",
                           "ok_palette4.png", "policy_palette_index_out_of_range.png"})
    ExpectMatchesLibpng(TestData(std::string("png-edge/synthetic/") + name));
}

TEST(PngEdge, TextChunkOfTheReferenceFileIsKept) {
  REQUIRE_TESTDATA("png-edge/synthetic/ok_rgba8_3idat.png");
  pngdec::Image img;
  ASSERT_TRUE(DecodeFile(TestData("png-edge/synthetic/ok_rgba8_3idat.png"), img));
  ASSERT_EQ(img.texts.size(), 1u);
  EXPECT_EQ(img.texts[0].keyword, "Software");
  EXPECT_FALSE(img.texts[0].text.empty());
  EXPECT_EQ(img.color_type, 6);
  EXPECT_EQ(img.bit_depth, 8);
  EXPECT_FALSE(img.interlaced);
}

}  // namespace
