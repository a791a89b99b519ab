// Malformed input never crashes: every bit flip and every truncation of small valid files,
// the fuzz corpus and every input that once crashed, all through the fuzz entry point.
// The sanitizer build runs this under ASan and UBSan.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "png_test_util.h"
#include "pngimage/png_decoder.h"
#include "support/testdata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

// Small valid files: the synthetic reference (three IDATs and a tEXt) when the shared data is
// here, and generated ones that reach Adam7, palettes, sub-byte and 16-bit paths.
std::vector<std::pair<std::string, std::vector<uint8_t>>> Seeds() {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> seeds;
  const fs::path ref = testsupport::TestData("png-edge/synthetic/ok_rgba8_3idat.png");
  if (fs::exists(ref)) seeds.emplace_back("ok_rgba8_3idat.png", testsupport::ReadFile(ref));
  pngtest::Recipe pal;
  pal.width = 5;
  pal.height = 3;
  pal.color = 3;
  pal.depth = 2;
  pal.interlace = true;
  pal.sample = [](uint32_t x, uint32_t y, int) { return static_cast<uint16_t>((x + y) & 3); };
  pal.before_idat = {{"PLTE", {1, 2, 3, 4, 5, 6, 7, 8, 9}}, {"tRNS", {7}}};
  seeds.emplace_back("adam7 palette 2-bit", pngtest::Encode(pal, 2));
  pngtest::Recipe deep;
  deep.width = 3;
  deep.height = 4;
  deep.color = 4;
  deep.depth = 16;
  deep.sample = [](uint32_t x, uint32_t y, int c) { return static_cast<uint16_t>(x * 9001 + y * 77 + c); };
  seeds.emplace_back("grey+alpha 16-bit", pngtest::Encode(deep));
  return seeds;
}

TEST(PngRobustness, EveryBitFlipAndTruncationIsHandled) {
  for (const auto& [name, file] : Seeds()) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> work = file;
    for (size_t bit = 0; bit < file.size() * 8; ++bit) {
      work[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
      LLVMFuzzerTestOneInput(work.data(), work.size());
      work[bit / 8] = file[bit / 8];
    }
    for (size_t n = 0; n < file.size(); ++n) {
      // A copy of exactly n bytes, so ASan sees any read past the end.
      const std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<long>(n));
      LLVMFuzzerTestOneInput(cut.data(), cut.size());
      pngdec::Image img;
      EXPECT_FALSE(pngdec::Decode(cut.data(), cut.size(), img)) << "accepted " << n << " of " << file.size() << " bytes";
    }
  }
}

std::vector<fs::path> FilesUnder(const fs::path& dir) {
  std::vector<fs::path> files;
  if (!fs::exists(dir)) return files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file() && e.path().extension() != ".txt" && e.path().extension() != ".tsv" &&
        e.path().filename() != "README.md")
      files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(PngRobustness, FuzzCorpusRunsThroughTheFuzzEntryPoint) {
  std::vector<fs::path> files = FilesUnder(fs::path(LAUNCHER_SOURCE_DIR) / "fuzz/png/corpus");
  for (const fs::path& p : FilesUnder(fs::path(LAUNCHER_SOURCE_DIR) / "tests/png/regressions")) files.push_back(p);
  for (const char* shared : {"pngsuite", "png-edge"})
    for (const fs::path& p : FilesUnder(testsupport::TestData(shared))) files.push_back(p);
  ASSERT_FALSE(files.empty());
  for (const fs::path& p : files) {
    SCOPED_TRACE(p.string());
    const std::vector<uint8_t> bytes = testsupport::ReadFile(p);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
}

TEST(PngRegressions, EveryInputThatOnceFailedIsRefusedCleanly) {
  pngdec::Limits open;
  open.max_width = 0xFFFFFFFFu;
  open.max_height = 0xFFFFFFFFu;
  open.max_rgba_bytes = ~uint64_t{0};
  const struct {
    const char* file;
    pngdec::Limits limits;
    pngdec::Error want;
    const char* what;
  } rows[] = {
      // With every bound lifted, the RGBA size passed the budget and std::vector threw length_error.
      {"max_dims_rgba16_open_limits.png", open, pngdec::Error::MemoryLimit, "vector length_error escaped"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.file) + ": " + row.what);
    const fs::path p = fs::path(LAUNCHER_SOURCE_DIR) / "tests/png/regressions" / row.file;
    ASSERT_TRUE(fs::exists(p));
    const std::vector<uint8_t> bytes = testsupport::ReadFile(p);
    pngdec::Image img;
    const pngdec::Result r = pngdec::Decode(bytes.data(), bytes.size(), img, row.limits);
    EXPECT_STREQ(pngdec::ErrorName(r.error), pngdec::ErrorName(row.want)) << r.message;
  }
}

}  // namespace
