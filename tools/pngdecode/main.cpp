// pngdecode FILE: the decoder core on the command line. Writes the pixels to standard output as
// a PAM (P7) RGB_ALPHA image; a file that does not decode gets the decoder's message on
// standard error and exit code 1.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "pngimage/png_decoder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pngdecode FILE > out.pam\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "pngdecode: cannot open %s\n", argv[1]);
    return 1;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  pngdec::Image img;
  const pngdec::Result r = pngdec::Decode(bytes.data(), bytes.size(), img);
  if (!r) {
    std::fprintf(stderr, "%s: %s\n", argv[1], r.message.c_str());
    return 1;
  }
  std::printf("P7\nWIDTH %u\nHEIGHT %u\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n", img.width, img.height);
  if (std::fwrite(img.rgba.data(), 1, img.rgba.size(), stdout) != img.rgba.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "pngdecode: write error\n");
    return 1;
  }
  return 0;
}
