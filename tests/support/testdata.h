// Where the shared conformance data lives, and the skip that a clone without it needs.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testsupport {

inline std::filesystem::path TestData(const std::string& relative) {
  return std::filesystem::path(LAUNCHER_TESTDATA_DIR) / relative;
}

inline std::vector<uint8_t> ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace testsupport

// Skips the current test when ../shared/testdata (or the named folder in it) is absent.
#define REQUIRE_TESTDATA(relative)                                                        \
  do {                                                                                    \
    if (!std::filesystem::exists(testsupport::TestData(relative)))                        \
      GTEST_SKIP() << "shared test data not found at " << testsupport::TestData(relative) \
                   << " (it sits beside the project in CI; a plain clone has none)";      \
  } while (0)
