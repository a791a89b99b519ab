// The X11 backend against a real X server (its own Xvfb, no window manager): window identities,
// paint read-back, the message box and the end-of-session path.
// gtest comes before Xlib, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

using namespace plat;

namespace {

pid_t g_xvfb = -1;
std::string g_display;

class XvfbEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    g_xvfb = fork();
    if (g_xvfb == 0) {
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-nolisten", "tcp", "-screen", "0",
             "1920x1080x24", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char buf[32] = {};
    ssize_t n = 0, got = 0;
    while (got < static_cast<ssize_t>(sizeof buf) - 1 && (n = read(fds[0], buf + got, 1)) == 1 && buf[got] != '\n') ++got;
    close(fds[0]);
    ASSERT_GT(got, 0) << "Xvfb did not start";
    g_display = ":" + std::string(buf, static_cast<size_t>(got));
    setenv("DISPLAY", g_display.c_str(), 1);
    std::string error;
    ASSERT_TRUE(Initialize(&error)) << error;
  }
  void TearDown() override {
    Shutdown();
    if (g_xvfb > 0) {
      kill(g_xvfb, SIGTERM);
      waitpid(g_xvfb, nullptr, 0);
    }
  }
};

const auto* g_env = ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

// Records every message; answers the hit test and end-session query like a default window.
class Recorder : public WindowProc {
 public:
  std::vector<UINT> seen;
  LRESULT OnWindowMessage(HWND h, UINT msg, WPARAM w, LPARAM l) override {
    seen.push_back(msg);
    if (msg == WM_ENDSESSION) end_session_flag = static_cast<int>(w);
    return DefWindowProc(h, msg, w, l);
  }
  int end_session_flag = -1;
};

void Pump(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  MSG m;
  while (std::chrono::steady_clock::now() < end) {
    while (PeekMessage(&m, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessage(&m);
    }
    usleep(2000);
  }
}

// A second connection that reads what other clients (window managers, taskbars, tests) see.
struct Observer {
  Display* dpy = XOpenDisplay(g_display.c_str());
  ~Observer() { XCloseDisplay(dpy); }
  std::string Utf8(Window w, const char* prop) {
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    std::string out;
    if (XGetWindowProperty(dpy, w, XInternAtom(dpy, prop, False), 0, 1 << 16, False, AnyPropertyType, &type, &format,
                           &n, &after, &data) == Success && data)
      out.assign(reinterpret_cast<char*>(data), n);
    if (data) XFree(data);
    return out;
  }
  std::vector<Window> Find(const char* cls) {
    std::vector<Window> out;
    Window root, parent, *kids = nullptr;
    unsigned n = 0;
    XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &kids, &n);
    for (unsigned i = 0; i < n; ++i) {
      XClassHint ch{};
      if (XGetClassHint(dpy, kids[i], &ch)) {
        if (std::string(ch.res_class) == cls) out.push_back(kids[i]);
        XFree(ch.res_name);
        XFree(ch.res_class);
      }
    }
    if (kids) XFree(kids);
    return out;
  }
};

}  // namespace

TEST(X11Windows, ApplicationAndMainWindowCarryTheirIdentities) {
  Recorder app_proc, main_proc;
  CreateParams a;
  a.class_name = "TApplication";
  a.text = "VELOR";
  a.style = 0x84CA0000u;
  a.rect = Rect{960, 540, 960, 540};
  a.proc = &app_proc;
  HWND app = CreateWindowEx(a);
  ASSERT_NE(app, nullptr);
  CreateParams m;
  m.class_name = "TForm1";
  m.text = "Setup";
  m.style = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  m.rect = Rect{687, 380, 687 + 546, 380 + 319};
  m.owner = app;
  m.proc = &main_proc;
  HWND main = CreateWindowEx(m);
  ASSERT_NE(main, nullptr);
  ShowWindow(app, SW_SHOWNOACTIVATE);
  ShowWindow(main, SW_SHOWNORMAL);
  Pump(200);

  Observer o;
  const auto apps = o.Find("TApplication");
  const auto mains = o.Find("TForm1");
  ASSERT_EQ(apps.size(), 1u);
  ASSERT_EQ(mains.size(), 1u);
  EXPECT_EQ(o.Utf8(apps[0], "_NET_WM_NAME"), "VELOR");
  EXPECT_EQ(o.Utf8(mains[0], "_NET_WM_NAME"), "Setup");
  // The taskbar stand-in: mapped, but shows nothing and takes no input.
  XWindowAttributes wa;
  XGetWindowAttributes(o.dpy, apps[0], &wa);
  EXPECT_EQ(wa.map_state, IsViewable);
  for (int kind : {ShapeBounding, ShapeInput}) {
    int count = -1, ordering = 0;
    XRectangle* r = XShapeGetRectangles(o.dpy, apps[0], kind, &count, &ordering);
    EXPECT_EQ(count, 0) << "shape kind " << kind;
    if (r) XFree(r);
  }
  Window transient = 0;
  XGetTransientForHint(o.dpy, mains[0], &transient);
  EXPECT_EQ(transient, apps[0]);
  XSizeHints hints{};
  long supplied = 0;
  XGetWMNormalHints(o.dpy, mains[0], &hints, &supplied);
  EXPECT_EQ(hints.min_width, 546);
  EXPECT_EQ(hints.max_width, 546);
  EXPECT_EQ(hints.min_height, 319);
  EXPECT_TRUE(hints.flags & USPosition);
  XGetWindowAttributes(o.dpy, mains[0], &wa);
  EXPECT_EQ(wa.x, 687);
  EXPECT_EQ(wa.y, 380);
  // No window manager: the program took the keyboard focus itself.
  EXPECT_EQ(GetActiveWindow(), main);

  DestroyWindow(main);
  DestroyWindow(app);
  EXPECT_FALSE(IsWindow(main));
  Pump(50);
}

TEST(X11Paint, BeginPaintReadsBackWhatTheLastPaintWrote) {
  CreateParams p;
  p.class_name = "Paint";
  p.style = WS_POPUP;
  p.rect = Rect{100, 100, 300, 200};
  HWND h = CreateWindowEx(p);
  ShowWindow(h, SW_SHOWNORMAL);
  Pump(150);
  PaintStruct ps;
  InvalidateRect(h, nullptr, 0);
  ASSERT_TRUE(BeginPaint(h, &ps));
  ASSERT_EQ(ps.surface.width, 200);
  ASSERT_EQ(ps.surface.height, 100);
  for (int y = 0; y < ps.surface.height; ++y)
    for (int x = 0; x < ps.surface.width; ++x) ps.surface.Row(y)[x] = Rgb(static_cast<uint8_t>(x), static_cast<uint8_t>(y), 0x40);
  EndPaint(h, &ps);
  const Rect part{10, 20, 30, 25};
  InvalidateRect(h, &part, 0);
  ASSERT_TRUE(BeginPaint(h, &ps));
  EXPECT_EQ(ps.paint_rect.left, 10);
  EXPECT_EQ(ps.paint_rect.top, 20);
  ASSERT_EQ(ps.surface.width, 20);
  ASSERT_EQ(ps.surface.height, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 20; ++x)
      EXPECT_EQ(ps.surface.Row(y)[x] & 0xFFFFFF, Rgb(static_cast<uint8_t>(x + 10), static_cast<uint8_t>(y + 20), 0x40) & 0xFFFFFF);
  EndPaint(h, &ps);
  DestroyWindow(h);
}

TEST(X11MessageBox, ShowsItsTextForTestsAndClosesWithEnter) {
  CreateParams p;
  p.class_name = "Owner";
  p.style = WS_POPUP;
  p.rect = Rect{100, 100, 400, 300};
  HWND owner = CreateWindowEx(p);
  ShowWindow(owner, SW_SHOWNORMAL);
  Pump(100);
  std::string seen_text, seen_caption;
  bool owner_was_disabled = false;
  std::thread presser([&] {
    Observer o;
    for (int i = 0; i < 300; ++i) {
      auto boxes = o.Find("#32770");
      if (!boxes.empty()) {
        usleep(100000);
        seen_text = o.Utf8(boxes[0], "_LAUNCHER_MESSAGE_TEXT");
        seen_caption = o.Utf8(boxes[0], "_NET_WM_NAME");
        owner_was_disabled = !IsWindowEnabled(owner);
        XTestFakeKeyEvent(o.dpy, XKeysymToKeycode(o.dpy, XK_Return), True, 0);
        XTestFakeKeyEvent(o.dpy, XKeysymToKeycode(o.dpy, XK_Return), False, 0);
        XFlush(o.dpy);
        return;
      }
      usleep(10000);
    }
  });
  const int answer = MessageBox(owner, "Injected failure.\r\nSecond line", "VELOR", MB_OK | MB_ICONSTOP);
  presser.join();
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(seen_text, "Injected failure.\r\nSecond line");
  EXPECT_EQ(seen_caption, "VELOR");
  EXPECT_TRUE(owner_was_disabled);
  EXPECT_TRUE(IsWindowEnabled(owner));
  Observer o;
  EXPECT_TRUE(o.Find("#32770").empty());
  DestroyWindow(owner);
}

TEST(X11Session, TerminationSignalAsksEveryTopLevelThenEndsTheSession) {
  Recorder rec;
  CreateParams p;
  p.class_name = "Session";
  p.style = WS_POPUP;
  p.rect = Rect{0, 0, 10, 10};
  p.proc = &rec;
  HWND h = CreateWindowEx(p);
  raise(SIGTERM);
  MSG m;
  PeekMessage(&m, PM_REMOVE);
  const auto q = std::find(rec.seen.begin(), rec.seen.end(), static_cast<UINT>(WM_QUERYENDSESSION));
  const auto e = std::find(rec.seen.begin(), rec.seen.end(), static_cast<UINT>(WM_ENDSESSION));
  ASSERT_NE(q, rec.seen.end());
  ASSERT_NE(e, rec.seen.end());
  EXPECT_LT(q, e);
  EXPECT_EQ(rec.end_session_flag, 1);
  DestroyWindow(h);
}
