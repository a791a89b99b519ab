// libpng_decode FILE: libpng's counterpart of pngdecode (the file read whole, 8-bit RGBA, PAM on
// stdout), so that callgrind and /usr/bin/time compare whole processes doing the same work.
#include <cstdio>
#include <vector>

#include "libpng_ref.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  FILE* f = std::fopen(argv[1], "rb");
  if (f == nullptr) return 1;
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(f);
  std::vector<uint8_t> rgba;
  std::vector<uint8_t*> rows;
  uint32_t w = 0, h = 0;
  if (!pngbench::LibpngDecode(bytes.data(), bytes.size(), &rgba, &rows, &w, &h)) return 1;
  std::printf("P7\nWIDTH %u\nHEIGHT %u\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n", w, h);
  std::fwrite(rgba.data(), 1, rgba.size(), stdout);
  return 0;
}
