// gen_assets: writes the product's artwork and icon, or puts them into a form description.
//   gen_assets OUT_DIR                  writes OUT_DIR/artwork.png and OUT_DIR/MAINICON.ico
//   gen_assets --update-dfm FILE.dfm    rewrites Picture.Data and Icon.Data in FILE.dfm
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "assets.h"

namespace {

// Writes beside the target and renames, so a failed run never leaves half a file.
void WriteFile(const std::filesystem::path& path, const void* data, size_t size) {
  const std::filesystem::path tmp = path.string() + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out.flush()) throw std::runtime_error("cannot write " + tmp.string());
  }
  std::filesystem::rename(tmp, path);
}

int Usage() {
  std::fprintf(stderr, "usage: gen_assets OUT_DIR\n       gen_assets --update-dfm FILE.dfm\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 3 && std::string(argv[1]) == "--update-dfm") {
      std::ifstream in(argv[2], std::ios::binary);
      std::ostringstream buffer;
      if (!in || !(buffer << in.rdbuf())) throw std::runtime_error(std::string("cannot read ") + argv[2]);
      const std::string text = buffer.str();
      const std::string updated = assets::UpdateDfm(
          text, {{"Picture.Data", assets::PictureData(assets::MakeArtworkPng())},
                 {"Icon.Data", assets::MakeIconIco()}});
      WriteFile(argv[2], updated.data(), updated.size());
      return 0;
    }
    if (argc != 2 || argv[1][0] == '-') return Usage();
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    const assets::Bytes png = assets::MakeArtworkPng();
    const assets::Bytes ico = assets::MakeIconIco();
    WriteFile(dir / "artwork.png", png.data(), png.size());
    WriteFile(dir / "MAINICON.ico", ico.data(), ico.size());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gen_assets: %s\n", e.what());
    return 1;
  }
}
