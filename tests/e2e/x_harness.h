// Real X servers, a real window manager and the launcher as child processes, and the few Xlib
// reads and XTest inputs that the end-to-end tests and the start-up benchmark make.
#pragma once

#include <X11/Xlib.h>
#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace xh {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Polls cond every 10 ms until it holds or the timeout passes; CI machines are slow, hence 5 s.
bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds timeout = 5000ms);

// A fresh folder under /tmp, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A child process in its own process group. The destructor kills and reaps it if it still runs.
class Process {
 public:
  struct Options {
    std::vector<std::string> argv;
    std::vector<std::string> env;  // the whole environment, NAME=value
    std::filesystem::path cwd;     // empty: inherit
    std::filesystem::path out;     // stdout and stderr go to these files (empty: /dev/null)
    std::filesystem::path err;
    int keep_fd = -1;              // a descriptor the child inherits (Xvfb's -displayfd)
  };
  explicit Process(const Options& options);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return pid_; }
  bool Running();
  // The raw wait status, once the process has ended within the timeout.
  std::optional<int> Wait(std::chrono::milliseconds timeout = 5000ms);
  void Signal(int sig);
  // Resource use of the ended process (wait4), valid after Wait returned a status.
  const struct rusage& usage() const { return usage_; }
  Clock::time_point started() const { return started_; }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
  struct rusage usage_ {};
  Clock::time_point started_;
};

// Exit status text for failure messages: "exit 0", "signal 11".
std::string DescribeStatus(int status);

// CPU ticks (utime + stime), minor faults and voluntary context switches of a running process.
struct ProcStats {
  long long cpu_ticks = -1;
  long long minflt = -1;
  long long voluntary_switches = -1;
};
ProcStats ReadProcStats(pid_t pid);

// Xvfb on a display number of its own choosing (-displayfd), stopped by its process id.
class XServer {
 public:
  XServer(int width, int height, const std::filesystem::path& log);
  ~XServer();
  const std::string& display() const { return display_; }
  Process& process() { return *process_; }
  void Kill(int sig);

 private:
  std::unique_ptr<Process> process_;
  std::string display_;
};

// One Xlib connection with the property readers and the synthetic input the tests use.
class XConn {
 public:
  explicit XConn(const std::string& display);
  ~XConn();
  XConn(const XConn&) = delete;
  XConn& operator=(const XConn&) = delete;

  Display* dpy() const { return dpy_; }
  Window root() const;
  int width() const;
  int height() const;
  Atom atom(const char* name) const;

  // Every window below the root (frames included) whose WM_CLASS class is class_name.
  std::vector<Window> FindByClass(const std::string& class_name) const;
  std::vector<Window> FindByClassAndPid(const std::string& class_name, pid_t pid) const;
  std::optional<std::pair<std::string, std::string>> WmClass(Window w) const;  // name, class
  // A text property (UTF8_STRING or STRING), empty when absent.
  std::string Text(Window w, const char* property) const;
  std::vector<unsigned long> Cardinals(Window w, const char* property, Atom type = AnyPropertyType) const;
  std::vector<Atom> Atoms(Window w, const char* property) const;
  bool HasAtom(Window w, const char* property, const char* value) const;
  std::optional<Window> TransientFor(Window w) const;
  bool Viewable(Window w) const;
  bool Exists(Window w) const;
  // Top left of the window's client area in root coordinates, and its size.
  std::optional<std::pair<int, int>> RootPosition(Window w) const;
  std::optional<std::pair<int, int>> Size(Window w) const;
  // Screen pixels (0x00RRGGBB) of a root rectangle, row by row.
  std::vector<uint32_t> Grab(int x, int y, int w, int h) const;
  void SetRootColour(uint32_t rgb);

  // Synthetic input through XTest, each flushed and synced.
  void MoveTo(int x, int y);
  void Button(unsigned button, bool press);
  void Key(const char* keysym_name, bool press);
  void Tap(const std::vector<const char*>& keysyms);  // press in order, release in reverse
  void SendMessage(Window target, Window about, const char* type, std::vector<long> data);
  void Sync() const;

 private:
  Display* dpy_ = nullptr;
};

// openbox with a small configuration of ours; ready once it owns WM_S0 and announces itself.
class WindowManager {
 public:
  WindowManager(const std::string& display, const std::filesystem::path& home, const XConn& x);
  ~WindowManager();

 private:
  std::unique_ptr<Process> process_;
};

}  // namespace xh
