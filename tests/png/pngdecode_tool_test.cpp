// pngdecode on a good and a bad file: the PAM header and size, the message and exit code.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "png_test_util.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int exit_code = -1;
  std::string out;
};

ToolRun RunTool(const fs::path& file, const fs::path& err) {
  const std::string cmd = std::string("'") + PNGDECODE_EXE + "' '" + file.string() + "' 2>'" + err.string() + "'";
  ToolRun run;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return run;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) run.out.append(buf, n);
  const int status = pclose(p);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

void Write(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

TEST(PngDecodeTool, WritesPamForAGoodFileAndTheMessageForABadOne) {
  const fs::path dir = fs::temp_directory_path() / ("pngdecode_test_" + std::to_string(getpid()));
  fs::create_directories(dir);
  pngtest::Recipe s;
  s.width = 3;
  s.height = 2;
  s.color = 2;
  s.sample = [](uint32_t x, uint32_t y, int c) { return static_cast<uint16_t>(x * 50 + y * 20 + c); };
  std::vector<uint8_t> good = pngtest::Encode(s);
  Write(dir / "good.png", good);
  good[good.size() - 1] ^= 1;  // IEND's CRC
  Write(dir / "bad.png", good);

  const ToolRun ok = RunTool(dir / "good.png", dir / "err.txt");
  EXPECT_EQ(ok.exit_code, 0);
  const std::string header = "P7\nWIDTH 3\nHEIGHT 2\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  ASSERT_EQ(ok.out.substr(0, header.size()), header);
  ASSERT_EQ(ok.out.size(), header.size() + 3 * 2 * 4);
  EXPECT_EQ(static_cast<uint8_t>(ok.out[header.size() + 4]), 50);  // pixel (1,0) red
  EXPECT_EQ(static_cast<uint8_t>(ok.out[header.size() + 7]), 255);

  const ToolRun bad = RunTool(dir / "bad.png", dir / "err.txt");
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_TRUE(bad.out.empty());
  std::ifstream err(dir / "err.txt");
  std::string message;
  std::getline(err, message);
  EXPECT_NE(message.find("CRC mismatch in chunk IEND"), std::string::npos) << message;
  fs::remove_all(dir);
}

}  // namespace
