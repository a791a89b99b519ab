// The first decode of a fresh process against warm ones: prints both in microseconds and their
// ratio. Run it several times as separate processes (bench/png/run.sh does).
#include <algorithm>
#include <cstdint>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench_input.h"
#include "pngimage/png_decoder.h"

namespace {
double DecodeMicros(const pngbench::Input& in) {
  const auto t0 = std::chrono::steady_clock::now();
  pngdec::Image img;
  const bool ok = static_cast<bool>(pngdec::Decode(in.file.data(), in.file.size(), img));
  const auto t1 = std::chrono::steady_clock::now();
  if (!ok) std::fprintf(stderr, "decode failed\n");
  return std::chrono::duration<double, std::micro>(t1 - t0).count();
}
}  // namespace

int main() {
  const pngbench::Input& in = pngbench::Artwork();  // file read outside the timing
  // What the kernel alone charges for bringing fresh pages of the output's size into use; the
  // buffer stays alive so the first decode gets fresh pages of its own too.
  const auto t0 = std::chrono::steady_clock::now();
  std::vector<uint8_t> fresh(size_t{4} * 546 * 319, 1);
  const auto t1 = std::chrono::steady_clock::now();
  const double touch = std::chrono::duration<double, std::micro>(t1 - t0).count();
  const double first = DecodeMicros(in);
  std::vector<double> warm;
  for (int i = 0; i < 51; ++i) warm.push_back(DecodeMicros(in));
  std::nth_element(warm.begin(), warm.begin() + 25, warm.end());
  std::printf("first %.1f us  warm median %.1f us  ratio %.2f  (first touch of a fresh output-sized buffer: %.1f us)\n",
              first, warm[25], first / warm[25], touch + fresh[1] * 0);
  return 0;
}
