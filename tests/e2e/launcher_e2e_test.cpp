// The launcher seen from outside: the real program in a real X server (Xvfb), with and without
// a real window manager (openbox), read through Xlib and driven through XTest.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "x_harness.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

// Xlib's macros for these clash with GoogleTest's names.
#undef Bool
#undef None
constexpr Window None = 0;

using namespace std::chrono_literals;
using xh::WaitFor;

namespace {

constexpr int kW = 546, kH = 319;
constexpr uint32_t kRootColour = 0x3A7F2C;

struct Rect {
  int x, y, w, h;
  bool Contains(int px, int py, int margin = 0) const {
    return px >= x - margin && px < x + w + margin && py >= y - margin && py < y + h + margin;
  }
};
// Where the label and the two visible buttons sit in the window; the artwork shows elsewhere.
constexpr Rect kLabel{112, 280, 212, 14};
constexpr Rect kCloseButton{440, 256, 81, 25};
constexpr Rect kUsbButton{328, 168, 193, 25};

std::string Bin(const char* name) { return std::string(LAUNCHER_BINARY_DIR) + "/" + name; }

// The artwork as shipped, 8-bit RGBA.
struct Artwork {
  int w = 0, h = 0;
  std::vector<uint8_t> rgba;
  const uint8_t* At(int x, int y) const { return &rgba[(static_cast<size_t>(y) * w + x) * 4]; }
};

Artwork LoadArtwork() {
  Artwork a;
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  std::string path = std::string(LAUNCHER_SOURCE_DIR) + "/resources/artwork.png";
  if (!png_image_begin_read_from_file(&img, path.c_str())) return a;
  img.format = PNG_FORMAT_RGBA;
  a.rgba.resize(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, a.rgba.data(), 0, nullptr)) return {};
  a.w = static_cast<int>(img.width);
  a.h = static_cast<int>(img.height);
  return a;
}

// One channel of the artwork over what the window held: out = (s*a + d*(255-a) + 127) / 255.
uint32_t Blend(const uint8_t* s, uint32_t d) {
  uint32_t out = 0;
  for (int c = 0; c < 3; ++c) {
    uint32_t dc = (d >> (16 - 8 * c)) & 0xFF;
    uint32_t v = (s[c] * s[3] + dc * (255u - s[3]) + 127u) / 255u;
    out |= v << (16 - 8 * c);
  }
  return out;
}

int ChannelDistance(uint32_t a, uint32_t b) {
  int d = 0;
  for (int s = 0; s < 24; s += 8) d += std::abs(static_cast<int>((a >> s) & 0xFF) - static_cast<int>((b >> s) & 0xFF));
  return d;
}

// Pixels that are only artwork blended over the surface: not the label, not a visible button.
bool ArtworkOnly(int x, int y) {
  return !kLabel.Contains(x, y, 2) && !kCloseButton.Contains(x, y, 2) && !kUsbButton.Contains(x, y, 2);
}

std::string ReadText(const std::filesystem::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

class LauncherE2E : public ::testing::Test {
 protected:
  // An X server of the given size with a plain coloured root, openbox on it when wm is set.
  void StartDesktop(int width = 1920, int height = 1080, bool wm = false) {
    tmp_ = std::make_unique<xh::TempDir>();
    home_ = tmp_->path() / "home";
    medium_ = tmp_->path() / "medium";
    for (auto d : {home_, home_ / ".config", home_ / ".local/share", home_ / ".cache", home_ / "run", medium_})
      std::filesystem::create_directories(d);
    std::filesystem::permissions(home_ / "run", std::filesystem::perms::owner_all);
    server_ = std::make_unique<xh::XServer>(width, height, tmp_->path() / "xvfb.log");
    x_ = std::make_unique<xh::XConn>(server_->display());
    x_->SetRootColour(kRootColour);
    if (wm) wm_ = std::make_unique<xh::WindowManager>(server_->display(), home_, *x_);
  }

  std::vector<std::string> Environment(bool with_display = true) const {
    std::vector<std::string> env = {
        "HOME=" + home_.string(), "PATH=/usr/local/bin:/usr/bin:/bin", "LANG=C.UTF-8",
        "XDG_CONFIG_HOME=" + (home_ / ".config").string(), "XDG_DATA_HOME=" + (home_ / ".local/share").string(),
        "XDG_CACHE_HOME=" + (home_ / ".cache").string(), "XDG_RUNTIME_DIR=" + (home_ / "run").string()};
    if (with_display && server_) env.push_back("DISPLAY=" + server_->display());
    return env;
  }

  xh::Process& Launch(const char* binary = "Project1", std::vector<std::string> env = {}) {
    if (env.empty()) env = Environment();
    const std::string path = Bin(binary);
    EXPECT_TRUE(std::filesystem::exists(path)) << path << " is not built";
    xh::Process::Options o;
    o.argv = {path};
    o.env = std::move(env);
    o.cwd = medium_;
    const auto n = std::to_string(launchers_.size());
    o.out = tmp_->path() / ("launcher" + n + ".out");
    o.err = tmp_->path() / ("launcher" + n + ".err");
    launchers_.push_back(std::make_unique<xh::Process>(o));
    return *launchers_.back();
  }

  xh::Process& LaunchTest(const std::string& hook) {
    auto env = Environment();
    env.push_back(hook);
    return Launch("Project1_test", env);
  }

  std::vector<Window> Viewable(const char* cls) const {
    std::vector<Window> out;
    for (Window w : x_->FindByClass(cls))
      if (x_->Viewable(w)) out.push_back(w);
    return out;
  }

  // The one viewable window of that class, once there is one.
  Window WaitViewable(const char* cls) {
    Window found = None;
    WaitFor([&] {
      auto v = Viewable(cls);
      if (v.size() == 1) found = v[0];
      return found != None;
    });
    return found;
  }

  Window WaitMain() { return WaitViewable("TForm1"); }

  // The application window is mapped but may be shaped to nothing; look for it by class only.
  Window WaitApp() {
    Window found = None;
    WaitFor([&] {
      auto v = x_->FindByClass("TApplication");
      if (v.size() == 1) found = v[0];
      return found != None;
    });
    return found;
  }

  std::pair<int, int> Pos(Window w) const { return x_->RootPosition(w).value_or(std::make_pair(-99999, -99999)); }

  // Under a window manager, input reaches the program only once one of its windows has the focus.
  void WaitForOurFocus(Window main, Window app) {
    if (!wm_) return;
    bool ok = WaitFor([&] {
      auto a = x_->Cardinals(x_->root(), "_NET_ACTIVE_WINDOW", XA_WINDOW);
      return !a.empty() && (a[0] == main || a[0] == app);
    });
    EXPECT_TRUE(ok) << "openbox never made the launcher's window active";
  }

  // Press at a window point, drag by (dx, dy) in steps, release. When the window is to follow,
  // wait until it reached its place before releasing: the window manager's move loop starts
  // only once the program handed the press over, and it follows the absolute pointer position.
  void Drag(Window w, int px, int py, int dx, int dy, bool moves) {
    const auto origin = Pos(w);
    const int wx = origin.first, wy = origin.second;
    const int sx = wx + px, sy = wy + py;
    x_->MoveTo(sx, sy);
    x_->Button(1, true);
    for (int i = 1; i <= 10; ++i) {
      x_->MoveTo(sx + dx * i / 10, sy + dy * i / 10);
      std::this_thread::sleep_for(15ms);
    }
    if (moves) {
      int nudge = 0;
      WaitFor([&] {
        if (++nudge % 20 == 0) {
          x_->MoveTo(sx + dx + 1, sy + dy);
          x_->MoveTo(sx + dx, sy + dy);
        }
        return Pos(w) == std::make_pair(wx + dx, wy + dy);
      });
    }
    x_->Button(1, false);
  }

  // A short quiet spell for checks that something does NOT happen.
  static void Settle() { std::this_thread::sleep_for(400ms); }

  void ExpectAllWindowsGone() {
    for (const char* cls : {"TForm1", "TApplication", "#32770"})
      EXPECT_TRUE(WaitFor([&] { return x_->FindByClass(cls).empty(); })) << "a " << cls << " window is left";
  }

  void ExpectExit(xh::Process& p, int code, std::chrono::milliseconds timeout = 5000ms) {
    auto st = p.Wait(timeout);
    ASSERT_TRUE(st.has_value()) << "the launcher is still running";
    EXPECT_TRUE(WIFEXITED(*st) && WEXITSTATUS(*st) == code)
        << "ended with " << xh::DescribeStatus(*st) << ", expected exit " << code;
  }

  std::string LauncherErr(size_t i = 0) const { return ReadText(tmp_->path() / ("launcher" + std::to_string(i) + ".err")); }

  // Destroyed in reverse: launchers first, then the window manager, the connection, the server
  // and the folder.
  std::unique_ptr<xh::TempDir> tmp_;
  std::filesystem::path home_, medium_;
  std::unique_ptr<xh::XServer> server_;
  std::unique_ptr<xh::XConn> x_;
  std::unique_ptr<xh::WindowManager> wm_;
  std::vector<std::unique_ptr<xh::Process>> launchers_;
};

// ---------------------------------------------------------------------------------------------
// Placement: centred on the whole screen, clamped at 0, with and without a window manager.

struct PlacementCase {
  int screen_w, screen_h;
  bool wm;
  int x, y;
};

void PrintTo(const PlacementCase& c, std::ostream* os) {
  *os << c.screen_w << "x" << c.screen_h << (c.wm ? " under openbox" : " bare") << ", want (" << c.x << ", " << c.y << ")";
}

class Placement : public LauncherE2E, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(Placement, MainWindowIsCentredAndUndecorated) {
  const auto& c = GetParam();
  StartDesktop(c.screen_w, c.screen_h, c.wm);
  Launch();
  Window main = WaitMain();
  ASSERT_NE(main, None) << "no viewable TForm1 window; stderr: " << LauncherErr();

  EXPECT_EQ(x_->Text(main, "WM_NAME"), "Setup");
  EXPECT_EQ(x_->Text(main, "_NET_WM_NAME"), "Setup");
  EXPECT_EQ(x_->Size(main), std::make_pair(kW, kH));
  // A window manager may place late: wait for the final spot, then report where it is.
  WaitFor([&] { return Pos(main) == std::make_pair(c.x, c.y); });
  EXPECT_EQ(Pos(main), std::make_pair(c.x, c.y));

  // _MOTIF_WM_HINTS: flags, functions, decorations, ...; decorations given (bit 1) and none.
  auto motif = x_->Cardinals(main, "_MOTIF_WM_HINTS");
  ASSERT_GE(motif.size(), 3u) << "no _MOTIF_WM_HINTS";
  EXPECT_TRUE(motif[0] & 2u);
  EXPECT_EQ(motif[2], 0u);
}

INSTANTIATE_TEST_SUITE_P(Screens, Placement,
                         ::testing::Values(PlacementCase{1920, 1080, false, 687, 380},
                                           PlacementCase{1920, 1080, true, 687, 380},
                                           PlacementCase{800, 600, false, 127, 140},
                                           PlacementCase{800, 600, true, 127, 140},
                                           PlacementCase{1366, 768, true, 410, 224},
                                           PlacementCase{500, 400, false, 0, 40},
                                           PlacementCase{500, 400, true, 0, 40}),
                         [](const auto& p) {
                           const auto& c = p.param;
                           return std::to_string(c.screen_w) + "x" + std::to_string(c.screen_h) +
                                  (c.wm ? "_openbox" : "_bare");
                         });

// ---------------------------------------------------------------------------------------------
// Cases that run on a bare X server and under openbox alike.

class OnDesktop : public LauncherE2E, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override { StartDesktop(1920, 1080, GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(WindowManager, OnDesktop, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "openbox" : "bare"; });

TEST_P(OnDesktop, ApplicationWindowCarriesTitleAndIcon) {
  Launch();
  Window main = WaitMain();
  Window app = WaitApp();
  ASSERT_NE(main, None);
  ASSERT_NE(app, None) << "no TApplication window";

  EXPECT_EQ(x_->Text(app, "_NET_WM_NAME"), "VELOR");
  EXPECT_EQ(x_->Text(app, "WM_NAME"), "VELOR");
  // _NET_WM_ICON: width, height, then width*height pixels, for each image.
  auto icon = x_->Cardinals(app, "_NET_WM_ICON", XA_CARDINAL);
  std::multiset<std::pair<unsigned long, unsigned long>> sizes;
  for (size_t i = 0; i + 2 <= icon.size();) {
    unsigned long w = icon[i], h = icon[i + 1];
    sizes.insert({w, h});
    i += 2 + w * h;
    ASSERT_LE(i, icon.size()) << "an icon image runs past the property's end";
  }
  EXPECT_EQ(sizes, (std::multiset<std::pair<unsigned long, unsigned long>>{{48, 48}, {32, 32}, {24, 24}, {16, 16}}));

  if (GetParam()) {
    // What a taskbar lists: managed windows that neither skip the taskbar nor are transient.
    std::set<std::string> entries;
    bool listed = WaitFor([&] {
      entries.clear();
      for (Window w : x_->Cardinals(x_->root(), "_NET_CLIENT_LIST", XA_WINDOW)) {
        if (x_->HasAtom(w, "_NET_WM_STATE", "_NET_WM_STATE_SKIP_TASKBAR") || x_->TransientFor(w)) continue;
        entries.insert(x_->Text(w, "_NET_WM_NAME"));
      }
      return entries.count("VELOR") == 1;
    });
    EXPECT_TRUE(listed) << "the taskbar has no VELOR entry";
    EXPECT_EQ(entries.count("Setup"), 0u) << "the main window has a taskbar entry of its own";
  }
}

TEST_P(OnDesktop, ArtworkBlendsOverWhatTheSurfaceHeld) {
  const Artwork art = LoadArtwork();
  ASSERT_EQ(art.w, kW) << "resources/artwork.png could not be read";
  ASSERT_EQ(art.h, kH);
  Launch();
  Window main = WaitMain();
  ASSERT_NE(main, None);
  WaitFor([&] { return Pos(main) == std::make_pair(687, 380); });
  const auto origin = Pos(main);
    const int wx = origin.first, wy = origin.second;

  // Compares the screen with expected(x, y) on every artwork-only pixel until they agree.
  std::vector<uint32_t> screen;
  std::string why;
  auto matches = [&](const std::function<uint32_t(int, int)>& expected) {
    return WaitFor([&] {
      screen = x_->Grab(wx, wy, kW, kH);
      if (screen.size() != static_cast<size_t>(kW * kH)) return false;
      int bad = 0;
      why.clear();
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
          if (!ArtworkOnly(x, y)) continue;
          uint32_t want = expected(x, y), got = screen[static_cast<size_t>(y * kW + x)];
          if (want != got && bad++ < 5) {
            char line[160];
            std::snprintf(line, sizeof line, "  (%d,%d) alpha %d: got %06X, want %06X\n", x, y, art.At(x, y)[3], got, want);
            why += line;
          }
        }
      if (bad) why = std::to_string(bad) + " pixels differ, e.g.\n" + why;
      return bad == 0;
    });
  };

  // First frame: one blend over the root colour; alpha 0 (rows 309-318, columns 543-545) shows
  // the root unchanged.
  EXPECT_TRUE(matches([&](int x, int y) { return Blend(art.At(x, y), kRootColour); })) << why;
  for (int y : {309, 314, 318})
    for (int x : {0, 200, 545}) EXPECT_EQ(screen[static_cast<size_t>(y * kW + x)], kRootColour) << x << "," << y;
  for (int y : {0, 150, 300}) EXPECT_EQ(screen[static_cast<size_t>(y * kW + 544)], kRootColour) << "544," << y;

  // The copyright line: clearly darker pixels than the artwork alone gives, inside its rectangle.
  int ink = 0;
  for (int y = kLabel.y; y < kLabel.y + kLabel.h; ++y)
    for (int x = kLabel.x; x < kLabel.x + kLabel.w; ++x) {
      uint32_t bg = Blend(art.At(x, y), kRootColour), got = screen[static_cast<size_t>(y * kW + x)];
      auto lum = [](uint32_t p) { return ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF); };
      if (lum(got) + 90 < lum(bg)) ++ink;
    }
  EXPECT_GT(ink, 100) << "the label's text is not drawn";

  // Each expose blends the artwork again over the previous output: closer to the artwork.
  for (int round = 0; round < 2; ++round) {
    const std::vector<uint32_t> before = screen;
    XClearArea(x_->dpy(), main, 0, 0, 0, 0, True);
    x_->Sync();
    EXPECT_TRUE(matches([&](int x, int y) { return Blend(art.At(x, y), before[static_cast<size_t>(y * kW + x)]); }))
        << "after expose " << round + 1 << ": " << why;
    long closer = 0;
    for (int y = 0; y < 300; y += 7)
      for (int x = 0; x < 536; x += 7) {
        if (!ArtworkOnly(x, y)) continue;
        const uint8_t* s = art.At(x, y);
        uint32_t own = (uint32_t{s[0]} << 16) | (uint32_t{s[1]} << 8) | s[2];
        closer += ChannelDistance(before[static_cast<size_t>(y * kW + x)], own) -
                  ChannelDistance(screen[static_cast<size_t>(y * kW + x)], own);
      }
    EXPECT_GT(closer, 0) << "a repaint did not bring the translucent pixels nearer the artwork";
  }
}

// Dragging: every point but a visible button moves the window by exactly the drag.
struct DragCase {
  const char* name;
  int x, y;
  bool moves;
};

void PrintTo(const DragCase& c, std::ostream* os) {
  *os << c.name << " (" << c.x << ", " << c.y << ")" << (c.moves ? " moves" : " stays");
}

class Dragging : public LauncherE2E, public ::testing::WithParamInterface<std::tuple<DragCase, bool>> {};

TEST_P(Dragging, MovesByExactlyTheDragUnlessOnAButton) {
  const auto& [c, wm] = GetParam();
  StartDesktop(1920, 1080, wm);
  Launch();
  Window main = WaitMain();
  Window app = WaitApp();
  ASSERT_NE(main, None);
  WaitFor([&] { return Pos(main) == std::make_pair(687, 380); });
  WaitForOurFocus(main, app);
  const auto start = Pos(main);
  const int dx = 53, dy = 31;

  Drag(main, c.x, c.y, dx, dy, c.moves);
  const auto want = c.moves ? std::make_pair(start.first + dx, start.second + dy) : start;
  WaitFor([&] { return Pos(main) == want; });
  Settle();
  EXPECT_EQ(Pos(main), want) << "dragged from " << c.name;

  // The program goes on answering: a second drag from the artwork still moves it.
  const auto mid = Pos(main);
  Drag(main, 60, 60, -20, 15, true);
  EXPECT_TRUE(WaitFor([&] { return Pos(main) == std::make_pair(mid.first - 20, mid.second + 15); }));
  EXPECT_TRUE(launchers_[0]->Running());
}

INSTANTIATE_TEST_SUITE_P(
    Points, Dragging,
    ::testing::Combine(::testing::Values(DragCase{"artwork", 60, 60, true}, DragCase{"label", 200, 286, true},
                                         DragCase{"hidden_install_applications", 400, 130, true},
                                         DragCase{"hidden_user_manual", 400, 228, true},
                                         DragCase{"close_button", 480, 268, false},
                                         DragCase{"usb_button", 420, 180, false}),
                       ::testing::Bool()),
    [](const auto& p) {
      return std::string(std::get<0>(p.param).name) + (std::get<1>(p.param) ? "_openbox" : "_bare");
    });

TEST_P(OnDesktop, DoubleAndRightClickOnTheBackgroundChangeNothing) {
  Launch();
  Window main = WaitMain();
  ASSERT_NE(main, None);
  WaitFor([&] { return Pos(main) == std::make_pair(687, 380); });
  auto mapped_tops = [&] {
    std::set<Window> s;
    Window r, p, *kids = nullptr;
    unsigned n = 0;
    if (XQueryTree(x_->dpy(), x_->root(), &r, &p, &kids, &n)) {
      for (unsigned i = 0; i < n; ++i)
        if (x_->Viewable(kids[i])) s.insert(kids[i]);
      if (kids) XFree(kids);
    }
    return s;
  };
  const auto before = mapped_tops();
  const auto pos = Pos(main);

  x_->MoveTo(pos.first + 60, pos.second + 60);
  for (int i = 0; i < 2; ++i) {
    x_->Button(1, true);
    x_->Button(1, false);
  }
  x_->Button(3, true);
  x_->Button(3, false);
  Settle();

  EXPECT_EQ(Pos(main), pos);
  EXPECT_EQ(x_->Size(main), std::make_pair(kW, kH));
  EXPECT_FALSE(x_->HasAtom(main, "_NET_WM_STATE", "_NET_WM_STATE_MAXIMIZED_VERT"));
  EXPECT_EQ(mapped_tops(), before) << "a window (a menu?) appeared or vanished";
  EXPECT_TRUE(launchers_[0]->Running());
}

// ---------------------------------------------------------------------------------------------
// Closing: every way in ends the process with 0 and takes all its windows along.

enum class Close { kAltF4, kWmDeleteMain, kWmCloseMain, kWmCloseApp, kSigterm, kSighup, kSigint };

struct CloseCase {
  const char* name;
  Close how;
  bool wm;
};

void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }

class Closing : public LauncherE2E, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(Closing, EndsWithExitCodeZeroAndNoWindowLeft) {
  const auto& c = GetParam();
  StartDesktop(1920, 1080, c.wm);
  auto& p = Launch();
  Window main = WaitMain();
  Window app = WaitApp();
  ASSERT_NE(main, None);
  ASSERT_NE(app, None);
  const auto pos = Pos(main);

  switch (c.how) {
    case Close::kAltF4:
      WaitForOurFocus(main, app);
      x_->MoveTo(pos.first + 60, pos.second + 60);
      x_->Tap({"Alt_L", "F4"});
      break;
    case Close::kWmDeleteMain: {
      auto protocols = x_->Atoms(main, "WM_PROTOCOLS");
      ASSERT_NE(std::find(protocols.begin(), protocols.end(), x_->atom("WM_DELETE_WINDOW")), protocols.end())
          << "the main window does not take WM_DELETE_WINDOW";
      x_->SendMessage(main, main, "WM_PROTOCOLS", {static_cast<long>(x_->atom("WM_DELETE_WINDOW")), CurrentTime});
      break;
    }
    case Close::kWmCloseMain:  // what `wmctrl -c` and a pager send
      x_->SendMessage(x_->root(), main, "_NET_CLOSE_WINDOW", {CurrentTime, 2});
      break;
    case Close::kWmCloseApp:  // Close on the taskbar entry
      x_->SendMessage(x_->root(), app, "_NET_CLOSE_WINDOW", {CurrentTime, 2});
      break;
    case Close::kSigterm: p.Signal(SIGTERM); break;
    case Close::kSighup: p.Signal(SIGHUP); break;
    case Close::kSigint: p.Signal(SIGINT); break;
  }
  ExpectExit(p, 0);
  ExpectAllWindowsGone();
}

INSTANTIATE_TEST_SUITE_P(Ways, Closing,
                         ::testing::Values(CloseCase{"alt_f4_bare", Close::kAltF4, false},
                                           CloseCase{"alt_f4_openbox", Close::kAltF4, true},
                                           CloseCase{"wm_delete_window_bare", Close::kWmDeleteMain, false},
                                           CloseCase{"wm_close_main_openbox", Close::kWmCloseMain, true},
                                           CloseCase{"taskbar_close_openbox", Close::kWmCloseApp, true},
                                           CloseCase{"sigterm", Close::kSigterm, false},
                                           CloseCase{"sighup", Close::kSighup, false},
                                           CloseCase{"sigint", Close::kSigint, false},
                                           CloseCase{"sigterm_openbox", Close::kSigterm, true}),
                         [](const auto& p) { return p.param.name; });

TEST_F(LauncherE2E, LosingTheXServerEndsItPromptlyWithoutACrash) {
  StartDesktop();
  auto& p = Launch();
  ASSERT_NE(WaitMain(), None);
  x_.reset();  // our own connection would take the test down with the server
  server_->Kill(SIGKILL);
  auto st = p.Wait(3000ms);
  ASSERT_TRUE(st.has_value()) << "the launcher outlived its X server by 3 s";
  EXPECT_TRUE(WIFEXITED(*st)) << xh::DescribeStatus(*st);
}

// ---------------------------------------------------------------------------------------------
// Failures: at start-up, without a display, and inside a handled key.

TEST_P(OnDesktop, BrokenArtworkShowsTheApplicationErrorAndExitsWithOne) {
  auto& p = LaunchTest("LAUNCHER_TEST_BAD_ARTWORK=1");
  Window box = WaitViewable("#32770");
  ASSERT_NE(box, None) << "no message box; stderr: " << LauncherErr();
  EXPECT_EQ(x_->Text(box, "_NET_WM_NAME"), "Application Error");
  const std::string text = x_->Text(box, "_LAUNCHER_MESSAGE_TEXT");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(
      text, m, std::regex(R"(Exception ([A-Za-z_][A-Za-z0-9_:]*) in module Project1_test at (0x)?[0-9A-Fa-f]+\.\r\n([^\r\n]+)\r\n)")))
      << "text: " << text;
  EXPECT_EQ(m[3].str().back(), '.') << "the message lacks its full stop: " << m[3];
  EXPECT_TRUE(Viewable("TForm1").empty()) << "the main window showed although its construction failed";

  auto [bx, by] = Pos(box);
  auto [bw, bh] = x_->Size(box).value_or(std::make_pair(0, 0));
  x_->MoveTo(bx + bw / 2, by + bh / 3);
  x_->Tap({"Return"});
  ExpectExit(p, 1);
  ExpectAllWindowsGone();
}

struct NoDisplayCase {
  const char* name;
  const char* display;  // nullptr: unset
};

void PrintTo(const NoDisplayCase& c, std::ostream* os) { *os << "DISPLAY " << (c.display ? c.display : "unset"); }

class NoDisplay : public LauncherE2E, public ::testing::WithParamInterface<NoDisplayCase> {};

TEST_P(NoDisplay, SaysSoInOneLineAndExitsWithOne) {
  tmp_ = std::make_unique<xh::TempDir>();
  home_ = tmp_->path();
  medium_ = tmp_->path();
  auto env = Environment(false);
  if (GetParam().display) {
    ASSERT_FALSE(std::filesystem::exists("/tmp/.X11-unix/X999")) << "display :999 exists here";
    env.push_back(std::string("DISPLAY=") + GetParam().display);
  }
  auto& p = Launch("Project1", env);
  ExpectExit(p, 1, 3000ms);
  const std::string err = LauncherErr();
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << "stderr: " << err;
  EXPECT_GT(err.size(), 1u);
  EXPECT_EQ(err.back(), '\n');
}

INSTANTIATE_TEST_SUITE_P(Displays, NoDisplay,
                         ::testing::Values(NoDisplayCase{"unset", nullptr}, NoDisplayCase{"absent", ":999"}),
                         [](const auto& p) { return p.param.name; });

TEST_P(OnDesktop, FailureInAKeyShowsTheBoxAndTheWindowGoesOn) {
  auto& p = LaunchTest("LAUNCHER_TEST_THROW_KEY=1");
  Window main = WaitMain();
  Window app = WaitApp();
  ASSERT_NE(main, None);
  WaitForOurFocus(main, app);
  const auto pos = Pos(main);
  x_->MoveTo(pos.first + 60, pos.second + 60);
  x_->Tap({"F9"});

  Window box = WaitViewable("#32770");
  ASSERT_NE(box, None) << "F9 brought no message box";
  EXPECT_EQ(x_->Text(box, "_NET_WM_NAME"), "VELOR");
  EXPECT_EQ(x_->Text(box, "_LAUNCHER_MESSAGE_TEXT"), "Injected failure.");
  auto [bx, by] = Pos(box);
  auto [bw, bh] = x_->Size(box).value_or(std::make_pair(0, 0));
  x_->MoveTo(bx + bw / 2, by + bh / 3);
  x_->Tap({"Return"});
  EXPECT_TRUE(WaitFor([&] { return Viewable("#32770").empty(); })) << "Enter did not close the box";

  Drag(main, 60, 60, 40, 25, true);
  EXPECT_TRUE(WaitFor([&] { return Pos(main) == std::make_pair(pos.first + 40, pos.second + 25); }))
      << "the window no longer drags after the box";
  x_->SendMessage(main, main, "WM_PROTOCOLS", {static_cast<long>(x_->atom("WM_DELETE_WINDOW")), CurrentTime});
  ExpectExit(p, 0);
  ExpectAllWindowsGone();
}

// ---------------------------------------------------------------------------------------------
// The taskbar, show states, idling and a second launcher.

TEST_F(LauncherE2E, MinimizeOnTheTaskbarHidesTheWindowAndRestoreBringsItBack) {
  StartDesktop(1920, 1080, true);
  Launch();
  Window main = WaitMain();
  Window app = WaitApp();
  ASSERT_NE(main, None);
  ASSERT_NE(app, None);
  ASSERT_TRUE(WaitFor([&] { return !x_->Cardinals(app, "WM_STATE").empty(); })) << "openbox never managed the application window";

  XIconifyWindow(x_->dpy(), app, DefaultScreen(x_->dpy()));
  x_->Sync();
  EXPECT_TRUE(WaitFor([&] { return !x_->Viewable(main); })) << "the main window stayed on screen";

  x_->SendMessage(x_->root(), app, "_NET_ACTIVE_WINDOW", {2, CurrentTime, 0});
  EXPECT_TRUE(WaitFor([&] { return x_->Viewable(main); })) << "restore did not bring the main window back";
  EXPECT_EQ(Pos(main), std::make_pair(687, 380));
}

TEST_F(LauncherE2E, IdleCostsNothingAndASecondLauncherOpensItsOwnWindow) {
  StartDesktop();
  auto& first = Launch();
  Window main = WaitMain();
  ASSERT_NE(main, None);
  // Painted: the artwork's top left corner no longer shows the root colour.
  const auto origin = Pos(main);
    const int wx = origin.first, wy = origin.second;
  ASSERT_TRUE(WaitFor([&] { return x_->Grab(wx + 10, wy + 10, 1, 1) != std::vector<uint32_t>{kRootColour}; }));
  Settle();

  const auto a = xh::ReadProcStats(first.pid());
  std::this_thread::sleep_for(3s);  // the idle spell being measured
  const auto b = xh::ReadProcStats(first.pid());
  EXPECT_EQ(a.cpu_ticks, b.cpu_ticks) << "CPU used while idle";
  EXPECT_LE(b.voluntary_switches - a.voluntary_switches, 1) << "woke up while idle";

  Launch();
  EXPECT_TRUE(WaitFor([&] { return Viewable("TForm1").size() == 2; })) << "the second launcher showed no window";
  EXPECT_TRUE(WaitFor([&] { return x_->FindByClass("TApplication").size() == 2; }));
  EXPECT_TRUE(first.Running());
  EXPECT_TRUE(launchers_[1]->Running());
}

TEST_P(OnDesktop, StartedMaximizedShowsTheMainWindow) {
  LaunchTest("LAUNCHER_TEST_SHOWSTATE=3");
  EXPECT_NE(WaitMain(), None) << "stderr: " << LauncherErr();
  EXPECT_NE(WaitApp(), None);
}

TEST_F(LauncherE2E, StartedMinimizedShowsOnlyTheTaskbarEntryUntilRestored) {
  StartDesktop(1920, 1080, true);
  LaunchTest("LAUNCHER_TEST_SHOWSTATE=7");
  Window app = WaitApp();
  ASSERT_NE(app, None);
  ASSERT_TRUE(WaitFor([&] {
    auto list = x_->Cardinals(x_->root(), "_NET_CLIENT_LIST", XA_WINDOW);
    return std::find(list.begin(), list.end(), app) != list.end();
  })) << "the application window never reached the taskbar";
  Settle();
  for (Window w : x_->FindByClass("TForm1")) EXPECT_FALSE(x_->Viewable(w)) << "the main window is on screen";

  x_->SendMessage(x_->root(), app, "_NET_ACTIVE_WINDOW", {2, CurrentTime, 0});
  Window main = WaitMain();
  ASSERT_NE(main, None) << "restore did not show the main window";
  EXPECT_EQ(Pos(main), std::make_pair(687, 380));
}
