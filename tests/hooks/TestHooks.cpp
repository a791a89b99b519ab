// Start-up hooks of the test build (Project1_test only): the end-to-end tests reach the show
// state, a corrupt artwork and an injected failure through environment variables.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "vcl/Forms.h"

namespace {

const char* Env(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? v : nullptr;
}

// Flips one byte of the artwork's IHDR checksum inside the form description's hex data.
std::string CorruptArtwork(std::string dfm) {
  const size_t pic = dfm.find("Picture.Data");
  if (pic == std::string::npos) return dfm;
  // "IHDR" in hex is 49484452; its CRC follows the 13 data bytes (26 hex digits).
  std::string hex;
  std::vector<size_t> pos;  // hex digit -> offset in dfm
  const size_t open = dfm.find('{', pic), close = dfm.find('}', open);
  for (size_t i = open + 1; i < close; ++i)
    if (std::isxdigit(static_cast<unsigned char>(dfm[i]))) {
      hex.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(dfm[i]))));
      pos.push_back(i);
    }
  const size_t ihdr = hex.find("49484452");
  if (ihdr == std::string::npos || ihdr % 2) return dfm;
  const size_t crc = ihdr + 8 + 26;
  if (crc + 1 >= pos.size()) return dfm;
  char& c = dfm[pos[crc + 1]];
  c = c == '0' ? '1' : '0';
  return dfm;
}

void InstallHooks(vcl::TApplication* app) {
  if (const char* show = Env("LAUNCHER_TEST_SHOWSTATE")) plat::SetStartupShowCommandForTesting(std::atoi(show));
  if (Env("LAUNCHER_TEST_BAD_ARTWORK") && std::strcmp(Env("LAUNCHER_TEST_BAD_ARTWORK"), "1") == 0) {
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (vcl::FindResource("TFORM1", &data, &size))
      vcl::ReplaceResource("TFORM1", CorruptArtwork(std::string(reinterpret_cast<const char*>(data), size)));
  }
  if (Env("LAUNCHER_TEST_THROW_KEY") && std::strcmp(Env("LAUNCHER_TEST_THROW_KEY"), "1") == 0) {
    app->OnMessage = [](plat::MSG& msg, bool&) {
      if (msg.message == plat::WM_KEYDOWN && msg.wParam == static_cast<plat::WPARAM>(plat::VK_F9))
        throw vcl::Exception("Injected failure");
    };
  }
}

struct Register {
  Register() { vcl::TApplication::StartupHooks().push_back(&InstallHooks); }
} g_register;

}  // namespace
