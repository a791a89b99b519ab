// Start-up cost of the launcher against the least an Xlib program does (minimal_xlib.c), in one
// private Xvfb: time from exec to the first complete frame, peak resident memory, page faults up
// to that frame, and what the launcher costs while it idles.
//
// The first complete frame is the last time the server draws for the new program before a quiet
// spell: a raw-rectangle DAMAGE object on the root window sees every drawing into any window,
// and nothing but the program under test draws on this server.
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "x_harness.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kQuiet = 300ms;       // no drawing for this long: the frame is complete
constexpr auto kIdleSpell = 10s;     // the launcher's idle measurement

struct Sample {
  double first_frame_ms = 0;
  double peak_rss_kb = 0;
  double minflt = 0;
};

struct Bench {
  std::unique_ptr<xh::TempDir> tmp;
  std::unique_ptr<xh::XServer> server;
  std::unique_ptr<xh::XConn> x;
  int damage_event = 0;
  std::map<std::string, std::vector<Sample>> samples;
};
Bench* g;

std::string Binary(const std::string& name) {
  return name == "minimal_xlib" ? std::string(MINIMAL_XLIB) : std::string(LAUNCHER_BINARY_DIR) + "/" + name;
}

// Starts the program, waits for its first complete frame, optionally watches it idle, ends it.
Sample StartOnce(const std::string& name, std::function<void(pid_t)> when_drawn = {}) {
  Display* dpy = g->x->dpy();
  Damage damage = XDamageCreate(dpy, g->x->root(), XDamageReportRawRectangles);
  XSync(dpy, False);
  while (XPending(dpy)) {  // nothing from a previous run counts
    XEvent e;
    XNextEvent(dpy, &e);
  }
  xh::Process::Options o;
  o.argv = {Binary(name)};
  o.env = {"DISPLAY=" + g->server->display(), "HOME=" + g->tmp->path().string(), "PATH=/usr/bin:/bin",
           "LANG=C.UTF-8", "XDG_CACHE_HOME=" + (g->tmp->path() / "cache").string()};
  o.cwd = g->tmp->path();
  xh::Process p(o);

  xh::Clock::time_point last{};
  const auto give_up = p.started() + 10s;
  for (;;) {
    while (XPending(dpy)) {
      XEvent e;
      XNextEvent(dpy, &e);
      if (e.type == g->damage_event + XDamageNotify) last = xh::Clock::now();
    }
    const auto now = xh::Clock::now();
    if ((last != xh::Clock::time_point{} && now - last >= kQuiet) || now > give_up) break;
    pollfd pfd{ConnectionNumber(dpy), POLLIN, 0};
    poll(&pfd, 1, 5);
  }
  XDamageDestroy(dpy, damage);
  XSync(dpy, False);

  Sample s;
  if (last == xh::Clock::time_point{} || !p.Running()) {
    std::fprintf(stderr, "%s drew nothing or ended early\n", name.c_str());
    return s;
  }
  s.first_frame_ms = std::chrono::duration<double, std::milli>(last - p.started()).count();
  s.minflt = static_cast<double>(xh::ReadProcStats(p.pid()).minflt);
  if (when_drawn) when_drawn(p.pid());
  p.Signal(SIGTERM);
  if (!p.Wait(5000ms)) {
    p.Signal(SIGKILL);
    p.Wait(5000ms);
  }
  s.peak_rss_kb = static_cast<double>(p.usage().ru_maxrss);
  return s;
}

void BM_StartUp(benchmark::State& state, const std::string& name) {
  Sample s;
  for (auto _ : state) {
    s = StartOnce(name);
    if (s.first_frame_ms <= 0) {
      state.SkipWithError("no frame");
      break;
    }
    state.SetIterationTime(s.first_frame_ms / 1000.0);
  }
  g->samples[name].push_back(s);
  state.counters["peak_rss_kB"] = s.peak_rss_kb;
  state.counters["minflt_to_frame"] = s.minflt;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double MedianOf(const std::string& name, double Sample::*field) {
  std::vector<double> v;
  for (const auto& s : g->samples[name]) v.push_back(s.*field);
  return Median(v);
}

}  // namespace

int main(int argc, char** argv) {
  // Interleave the two programs' runs so that a slow spell of the shared machine hits both alike.
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  std::vector<char*> args;
  args.reserve(static_cast<size_t>(argc) + 2);
  args.push_back(argv[0]);
  args.push_back(interleave);
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  args.push_back(nullptr);
  int nargs = argc + 1;
  benchmark::Initialize(&nargs, args.data());
  Bench bench;
  g = &bench;
  bench.tmp = std::make_unique<xh::TempDir>();
  std::filesystem::create_directories(bench.tmp->path() / "cache");
  bench.server = std::make_unique<xh::XServer>(1920, 1080, bench.tmp->path() / "xvfb.log");
  bench.x = std::make_unique<xh::XConn>(bench.server->display());
  int damage_error = 0;
  if (!XDamageQueryExtension(bench.x->dpy(), &bench.damage_event, &damage_error)) {
    std::fprintf(stderr, "the X server has no DAMAGE extension\n");
    return 1;
  }
  bench.x->SetRootColour(0x3A7F2C);

  for (const char* name : {"minimal_xlib", "Project1"})
    benchmark::RegisterBenchmark((std::string("first_frame/") + name).c_str(), BM_StartUp, std::string(name))
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(20)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();

  // Idle: one more launcher, watched for 10 s after its first frame with nothing happening.
  xh::ProcStats before, after;
  StartOnce("Project1", [&](pid_t pid) {
    before = xh::ReadProcStats(pid);
    std::this_thread::sleep_for(kIdleSpell);
    after = xh::ReadProcStats(pid);
  });

  const double minimal = MedianOf("minimal_xlib", &Sample::first_frame_ms);
  const double launcher = MedianOf("Project1", &Sample::first_frame_ms);
  const double rss = MedianOf("Project1", &Sample::peak_rss_kb);
  const double faults = MedianOf("Project1", &Sample::minflt);
  const long long cpu = after.cpu_ticks - before.cpu_ticks;
  const long long wakeups = after.voluntary_switches - before.voluntary_switches;
  auto verdict = [](bool ok) { return ok ? "met" : "MISSED"; };
  std::printf("\nmedians over %zu runs each\n", bench.samples["Project1"].size());
  std::printf("first complete frame: launcher %.1f ms, minimal Xlib %.1f ms, ratio %.2f (goal <= 2.5: %s)\n",
              launcher, minimal, minimal > 0 ? launcher / minimal : 0.0, verdict(minimal > 0 && launcher > 0 && launcher <= 2.5 * minimal));
  std::printf("peak RSS: launcher %.0f kB, minimal Xlib %.0f kB (goal < 9 MB: %s)\n", rss,
              MedianOf("minimal_xlib", &Sample::peak_rss_kb), verdict(rss > 0 && rss < 9 * 1024));
  std::printf("minor page faults to the first frame: launcher %.0f, minimal Xlib %.0f (goal < 1000: %s)\n", faults,
              MedianOf("minimal_xlib", &Sample::minflt), verdict(faults > 0 && faults < 1000));
  std::printf("idle over %lld s: %lld CPU ticks, %lld voluntary wake-ups (goal 0 and 0: %s)\n",
              static_cast<long long>(kIdleSpell.count()), cpu, wakeups, verdict(before.cpu_ticks >= 0 && cpu == 0 && wakeups == 0));
  return 0;
}
