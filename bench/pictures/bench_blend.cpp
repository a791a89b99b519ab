// TPNGObject::Draw of the shipped 546 x 319 artwork over a window-sized surface: the repaint's
// hot path (the read-back and write-back around it are measured in bench/startup).
#include <benchmark/benchmark.h>

#include <vector>

#include "pngimage/PNGImage.h"

static void BM_DrawArtwork(benchmark::State& state) {
  pngimage::TPNGObject png;
  png.LoadFromFile(LAUNCHER_SOURCE_DIR "/resources/artwork.png");
  std::vector<uint32_t> pixels(size_t(png.Width()) * png.Height(), 0xFF336699u);
  const plat::Surface32 surface{pixels.data(), png.Width(), png.Height(), png.Width()};
  for (auto _ : state) {
    png.Draw(surface, 0, 0);
    benchmark::DoNotOptimize(pixels.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * png.Width() * png.Height());
}
BENCHMARK(BM_DrawArtwork)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
