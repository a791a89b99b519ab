// Decoding the artwork: ours, libpng (classic API, to 8-bit RGBA), libspng (RGBA8) and zlib's
// bare inflate of the same image data, all in one run so the numbers compare.
#include <benchmark/benchmark.h>
#include <spng.h>
#include <zlib.h>

#include <cstdio>
#include <vector>

#include "bench_input.h"
#include "libpng_ref.h"
#include "pngimage/png_decoder.h"

namespace {

void Ours(benchmark::State& state) {
  const auto& in = pngbench::Artwork();
  for (auto _ : state) {
    pngdec::Image img;
    const pngdec::Result r = pngdec::Decode(in.file.data(), in.file.size(), img);
    if (!r) state.SkipWithError(r.message.c_str());
    benchmark::DoNotOptimize(img.rgba.data());
  }
  state.SetLabel(in.source);
}
BENCHMARK(Ours);

void Libpng(benchmark::State& state) {
  const auto& in = pngbench::Artwork();
  for (auto _ : state) {
    std::vector<uint8_t> rgba;
    std::vector<uint8_t*> rows;
    uint32_t w = 0, h = 0;
    if (!pngbench::LibpngDecode(in.file.data(), in.file.size(), &rgba, &rows, &w, &h))
      state.SkipWithError("libpng failed");
    benchmark::DoNotOptimize(rgba.data());
  }
}
BENCHMARK(Libpng);

void Spng(benchmark::State& state) {
  const auto& in = pngbench::Artwork();
  for (auto _ : state) {
    spng_ctx* ctx = spng_ctx_new(0);
    spng_set_png_buffer(ctx, in.file.data(), in.file.size());
    size_t n = 0;
    spng_decoded_image_size(ctx, SPNG_FMT_RGBA8, &n);
    std::vector<uint8_t> rgba(n);
    if (spng_decode_image(ctx, rgba.data(), n, SPNG_FMT_RGBA8, 0) != 0) state.SkipWithError("spng failed");
    spng_ctx_free(ctx);
    benchmark::DoNotOptimize(rgba.data());
  }
}
BENCHMARK(Spng);

// The floor: zlib alone inflating the joined IDAT data into one buffer.
void InflateOnly(benchmark::State& state) {
  const auto& in = pngbench::Artwork();
  std::vector<uint8_t> raw(in.raw_size);
  for (auto _ : state) {
    uLongf n = static_cast<uLongf>(raw.size());
    if (uncompress(raw.data(), &n, in.zdata.data(), static_cast<uLong>(in.zdata.size())) != Z_OK)
      state.SkipWithError("inflate failed");
    benchmark::DoNotOptimize(raw.data());
  }
}
BENCHMARK(InflateOnly);

// The same inflate, one scanline per call into a two-row window as our decoder does it: the
// floor of that design before any filter or conversion work.
void InflateRows(benchmark::State& state) {
  const auto& in = pngbench::Artwork();
  const size_t rows = (size_t{in.file[20]} << 24) | (size_t{in.file[21]} << 16) | (size_t{in.file[22]} << 8) | in.file[23];
  const size_t row = in.raw_size / rows;
  std::vector<uint8_t> window(2 * row);
  for (auto _ : state) {
    z_stream zs{};
    inflateInit(&zs);
    zs.next_in = const_cast<Bytef*>(in.zdata.data());
    zs.avail_in = static_cast<uInt>(in.zdata.size());
    for (size_t y = 0; y < rows; ++y) {
      zs.next_out = window.data() + (y & 1) * row;
      zs.avail_out = static_cast<uInt>(row);
      inflate(&zs, Z_NO_FLUSH);
    }
    inflateEnd(&zs);
    benchmark::DoNotOptimize(window.data());
  }
}
BENCHMARK(InflateRows);

}  // namespace

BENCHMARK_MAIN();
