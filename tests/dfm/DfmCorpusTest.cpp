// Runs the fuzz entry over every file of its committed corpus, so the seeds (and any
// crash reproducer added there) are checked in the ordinary and sanitizer builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

TEST(DfmFuzzCorpus, EverySeedRunsCleanly) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(DFM_CORPUS_DIR))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty()) << "no seeds in " << DFM_CORPUS_DIR;
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    // The entry aborts on a broken invariant; an escaping exception fails the test here.
    EXPECT_NO_THROW(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()));
  }
}
