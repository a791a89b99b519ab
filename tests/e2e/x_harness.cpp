// Child processes, Xvfb, openbox and the Xlib/XTest helpers of the end-to-end tests.
#include "x_harness.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace xh {

namespace {

// Windows come and go while we walk the tree; a BadWindow there is expected, not a failure.
int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

std::vector<char*> CStrings(const std::vector<std::string>& v) {
  std::vector<char*> out;
  for (const auto& s : v) out.push_back(const_cast<char*>(s.c_str()));
  out.push_back(nullptr);
  return out;
}

}  // namespace

bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  for (;;) {
    if (cond()) return true;
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(10ms);
  }
}

TempDir::TempDir() {
  char tmpl[] = "/tmp/launcher-e2e-XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

Process::Process(const Options& o) {
  auto argv = CStrings(o.argv);
  auto envp = CStrings(o.env);
  started_ = Clock::now();
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    setpgid(0, 0);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    int out = o.out.empty() ? null : open(o.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = o.err.empty() ? null : open(o.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    // Only stdio and the one descriptor asked for reach the child.
    for (int fd = 3; fd < 1024; ++fd)
      if (fd != o.keep_fd) close(fd);
    if (!o.cwd.empty() && chdir(o.cwd.c_str()) != 0) _exit(126);
    execve(argv[0], argv.data(), envp.data());
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  setpgid(pid_, pid_);
}

Process::~Process() {
  if (Running()) {
    // The whole group, so that anything the program started goes with it.
    kill(-pid_, SIGKILL);
    Wait(5000ms);
  }
}

bool Process::Running() {
  if (status_) return false;
  int st = 0;
  pid_t r = wait4(pid_, &st, WNOHANG, &usage_);
  if (r == pid_) {
    status_ = st;
    return false;
  }
  return r == 0;
}

std::optional<int> Process::Wait(std::chrono::milliseconds timeout) {
  WaitFor([&] { return !Running(); }, timeout);
  return status_;
}

void Process::Signal(int sig) {
  if (!status_) kill(pid_, sig);
}

std::string DescribeStatus(int status) {
  if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status))
    return "signal " + std::to_string(WTERMSIG(status)) + (WCOREDUMP(status) ? " (core dumped)" : "");
  return "status " + std::to_string(status);
}

ProcStats ReadProcStats(pid_t pid) {
  ProcStats s;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (std::getline(stat, line)) {
    // Fields after the command name, which sits in parentheses and may hold spaces.
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::vector<std::string> f;
    for (std::string t; rest >> t;) f.push_back(t);
    // f[0] is field 3 (state): minflt is field 10, utime 14, stime 15.
    if (f.size() > 13) {
      s.minflt = std::stoll(f[7]);
      s.cpu_ticks = std::stoll(f[11]) + std::stoll(f[12]);
    }
  }
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  while (std::getline(status, line))
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) s.voluntary_switches = std::stoll(line.substr(24));
  return s;
}

XServer::XServer(int width, int height, const std::filesystem::path& log) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  Process::Options o;
  o.argv = {"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-noreset", "-nolisten", "tcp",
            "-screen", "0", std::to_string(width) + "x" + std::to_string(height) + "x24"};
  o.env = {"PATH=/usr/bin:/bin"};
  o.err = log;
  o.out = log.string() + ".out";
  o.keep_fd = fds[1];
  process_ = std::make_unique<Process>(o);
  close(fds[1]);
  // Xvfb writes the display number once it accepts connections; EOF means it gave up.
  std::string number;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (number.empty()) throw std::runtime_error("Xvfb did not start; see " + log.string());
  display_ = ":" + number;
  bool ok = WaitFor([&] {
    Display* d = XOpenDisplay(display_.c_str());
    if (d) XCloseDisplay(d);
    return d != nullptr;
  });
  if (!ok) throw std::runtime_error("Xvfb " + display_ + " accepts no connection");
}

XServer::~XServer() { Kill(SIGTERM); }

void XServer::Kill(int sig) {
  process_->Signal(sig);
  if (!process_->Wait(5000ms)) {
    process_->Signal(SIGKILL);
    process_->Wait(5000ms);
  }
}

XConn::XConn(const std::string& display) {
  XSetErrorHandler(IgnoreXErrors);
  dpy_ = XOpenDisplay(display.c_str());
  if (!dpy_) throw std::runtime_error("cannot open display " + display);
}

XConn::~XConn() {
  if (dpy_) XCloseDisplay(dpy_);
}

Window XConn::root() const { return DefaultRootWindow(dpy_); }
int XConn::width() const { return DisplayWidth(dpy_, DefaultScreen(dpy_)); }
int XConn::height() const { return DisplayHeight(dpy_, DefaultScreen(dpy_)); }
Atom XConn::atom(const char* name) const { return XInternAtom(dpy_, name, False); }

std::optional<std::pair<std::string, std::string>> XConn::WmClass(Window w) const {
  XClassHint hint{};
  if (!XGetClassHint(dpy_, w, &hint)) return std::nullopt;
  std::pair<std::string, std::string> r{hint.res_name ? hint.res_name : "", hint.res_class ? hint.res_class : ""};
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return r;
}

std::vector<Window> XConn::FindByClass(const std::string& class_name) const {
  std::vector<Window> found;
  std::function<void(Window)> walk = [&](Window w) {
    auto c = WmClass(w);
    if (c && c->second == class_name) found.push_back(w);
    Window r, parent, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(dpy_, w, &r, &parent, &children, &n)) return;
    std::vector<Window> kids(children, children + n);
    if (children) XFree(children);
    for (Window k : kids) walk(k);
  };
  walk(root());
  return found;
}

std::vector<Window> XConn::FindByClassAndPid(const std::string& class_name, pid_t pid) const {
  std::vector<Window> out;
  for (Window w : FindByClass(class_name)) {
    auto p = Cardinals(w, "_NET_WM_PID", XA_CARDINAL);
    if (!p.empty() && static_cast<pid_t>(p[0]) == pid) out.push_back(w);
  }
  return out;
}

std::string XConn::Text(Window w, const char* property) const {
  Atom type;
  int format;
  unsigned long n, after;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(dpy_, w, atom(property), 0, 1 << 20, False, AnyPropertyType, &type, &format, &n,
                         &after, &data) != Success)
    return {};
  std::string s;
  if (data && format == 8) s.assign(reinterpret_cast<char*>(data), n);
  if (data) XFree(data);
  return s;
}

std::vector<unsigned long> XConn::Cardinals(Window w, const char* property, Atom req_type) const {
  Atom type;
  int format;
  unsigned long n, after;
  unsigned char* data = nullptr;
  std::vector<unsigned long> v;
  if (XGetWindowProperty(dpy_, w, atom(property), 0, 1 << 22, False, req_type, &type, &format, &n, &after,
                         &data) != Success)
    return v;
  // Xlib hands 32-bit items back as longs.
  if (data && format == 32) {
    auto* p = reinterpret_cast<unsigned long*>(data);
    v.assign(p, p + n);
  }
  if (data) XFree(data);
  return v;
}

std::vector<Atom> XConn::Atoms(Window w, const char* property) const {
  auto c = Cardinals(w, property, XA_ATOM);
  return std::vector<Atom>(c.begin(), c.end());
}

bool XConn::HasAtom(Window w, const char* property, const char* value) const {
  Atom a = atom(value);
  for (Atom x : Atoms(w, property))
    if (x == a) return true;
  return false;
}

std::optional<Window> XConn::TransientFor(Window w) const {
  Window t = None;
  if (XGetTransientForHint(dpy_, w, &t) && t != None) return t;
  return std::nullopt;
}

bool XConn::Viewable(Window w) const {
  XWindowAttributes a;
  return XGetWindowAttributes(dpy_, w, &a) && a.map_state == IsViewable;
}

bool XConn::Exists(Window w) const {
  XWindowAttributes a;
  return XGetWindowAttributes(dpy_, w, &a) != 0;
}

std::optional<std::pair<int, int>> XConn::RootPosition(Window w) const {
  int x, y;
  Window child;
  if (!XTranslateCoordinates(dpy_, w, root(), 0, 0, &x, &y, &child)) return std::nullopt;
  return std::make_pair(x, y);
}

std::optional<std::pair<int, int>> XConn::Size(Window w) const {
  XWindowAttributes a;
  if (!XGetWindowAttributes(dpy_, w, &a)) return std::nullopt;
  return std::make_pair(a.width, a.height);
}

std::vector<uint32_t> XConn::Grab(int x, int y, int w, int h) const {
  std::vector<uint32_t> px;
  XImage* img = XGetImage(dpy_, root(), x, y, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
  if (!img) return px;
  px.reserve(static_cast<size_t>(w) * static_cast<size_t>(h));
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) px.push_back(static_cast<uint32_t>(XGetPixel(img, i, j)) & 0xFFFFFFu);
  XDestroyImage(img);
  return px;
}

void XConn::SetRootColour(uint32_t rgb) {
  // A TrueColor 24-bit screen: the pixel value is the colour.
  XSetWindowBackground(dpy_, root(), rgb);
  XClearWindow(dpy_, root());
  Sync();
}

void XConn::MoveTo(int x, int y) {
  XTestFakeMotionEvent(dpy_, DefaultScreen(dpy_), x, y, CurrentTime);
  Sync();
}

void XConn::Button(unsigned button, bool press) {
  XTestFakeButtonEvent(dpy_, button, press ? True : False, CurrentTime);
  Sync();
}

void XConn::Key(const char* keysym_name, bool press) {
  KeyCode code = XKeysymToKeycode(dpy_, XStringToKeysym(keysym_name));
  if (!code) throw std::runtime_error(std::string("no keycode for ") + keysym_name);
  XTestFakeKeyEvent(dpy_, code, press ? True : False, CurrentTime);
  Sync();
}

void XConn::Tap(const std::vector<const char*>& keysyms) {
  for (const char* k : keysyms) Key(k, true);
  for (auto it = keysyms.rbegin(); it != keysyms.rend(); ++it) Key(*it, false);
}

void XConn::SendMessage(Window target, Window about, const char* type, std::vector<long> data) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = about;
  e.xclient.message_type = atom(type);
  e.xclient.format = 32;
  for (size_t i = 0; i < data.size() && i < 5; ++i) e.xclient.data.l[i] = data[i];
  long mask = target == root() ? (SubstructureRedirectMask | SubstructureNotifyMask) : NoEventMask;
  XSendEvent(dpy_, target, False, mask, &e);
  Sync();
}

void XConn::Sync() const { XSync(dpy_, False); }

WindowManager::WindowManager(const std::string& display, const std::filesystem::path& home, const XConn& x) {
  auto config = home / ".config" / "openbox";
  std::filesystem::create_directories(config);
  // No edge resistance, so that a drag lands exactly where the pointer went; Alt+F4 closes as
  // on any desktop; a click focuses and raises.
  std::ofstream(config / "rc.xml") << R"(<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <resistance><strength>0</strength><screen_edge_strength>0</screen_edge_strength></resistance>
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy></placement>
  <desktops><number>1</number></desktops>
  <margins><top>0</top><bottom>0</bottom><left>0</left><right>0</right></margins>
  <keyboard><keybind key="A-F4"><action name="Close"/></keybind></keyboard>
  <mouse><context name="Client">
    <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
  </context></mouse>
</openbox_config>
)";
  Process::Options o;
  o.argv = {"/usr/bin/openbox", "--sm-disable", "--config-file", (config / "rc.xml").string()};
  o.env = {"DISPLAY=" + display, "HOME=" + home.string(), "XDG_CONFIG_HOME=" + (home / ".config").string(),
           "XDG_DATA_HOME=" + (home / ".local/share").string(), "XDG_CACHE_HOME=" + (home / ".cache").string(),
           "PATH=/usr/bin:/bin", "LANG=C.UTF-8"};
  o.err = home / "openbox.log";
  process_ = std::make_unique<Process>(o);
  bool ready = WaitFor([&] {
    if (XGetSelectionOwner(x.dpy(), x.atom("WM_S0")) == None) return false;
    auto check = x.Cardinals(x.root(), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    if (check.empty()) return false;
    auto self = x.Cardinals(check[0], "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    return !self.empty() && self[0] == check[0];
  });
  if (!ready) throw std::runtime_error("openbox did not take over the display");
}

WindowManager::~WindowManager() {
  process_->Signal(SIGTERM);
  if (!process_->Wait(5000ms)) process_->Signal(SIGKILL);
}

}  // namespace xh
