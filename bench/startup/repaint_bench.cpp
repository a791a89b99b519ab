// One full repaint of the artwork on a 546 x 319 window in Xvfb, as the launcher does it on
// every expose: BeginPaint reads the window back, TPNGObject::Draw blends, EndPaint writes it.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <memory>

#include "platform/platform.h"
#include "pngimage/PNGImage.h"
#include "x_harness.h"

namespace {

class Proc : public plat::WindowProc {
 public:
  plat::LRESULT OnWindowMessage(plat::HWND h, plat::UINT m, plat::WPARAM w, plat::LPARAM l) override {
    return plat::DefWindowProc(h, m, w, l);
  }
};

plat::HWND g_window = nullptr;
pngimage::TPNGObject* g_artwork = nullptr;

void BM_RepaintArtwork(benchmark::State& state) {
  for (auto _ : state) {
    plat::InvalidateRect(g_window, nullptr, 0);
    plat::PaintStruct ps;
    if (!plat::BeginPaint(g_window, &ps)) {
      state.SkipWithError("BeginPaint failed");
      break;
    }
    g_artwork->Draw(ps.surface, 0, 0);
    plat::EndPaint(g_window, &ps);
  }
}
BENCHMARK(BM_RepaintArtwork)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  xh::TempDir tmp;
  xh::XServer server(1920, 1080, tmp.path() / "xvfb.log");
  setenv("DISPLAY", server.display().c_str(), 1);
  std::string error;
  if (!plat::Initialize(&error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  auto artwork = std::make_unique<pngimage::TPNGObject>();
  artwork->LoadFromFile(std::string(LAUNCHER_SOURCE_DIR) + "/resources/artwork.png");
  g_artwork = artwork.get();
  Proc proc;
  plat::CreateParams p;
  p.class_name = "RepaintBench";
  p.text = "repaint";
  p.style = plat::WS_POPUP;
  p.rect = {687, 380, 687 + 546, 380 + 319};
  p.proc = &proc;
  g_window = plat::CreateWindowEx(p);
  plat::ShowWindow(g_window, plat::SW_SHOWNORMAL);
  // Let the window reach the screen before timing.
  xh::WaitFor([] {
    plat::MSG msg;
    while (plat::PeekMessage(&msg, plat::PM_REMOVE)) plat::DispatchMessage(&msg);
    return false;
  }, std::chrono::milliseconds(300));
  benchmark::RunSpecifiedBenchmarks();
  plat::DestroyWindow(g_window);
  plat::Shutdown();
  return 0;
}
