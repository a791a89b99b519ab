// The platform seam: a Win32-flavoured subset of windows, messages, painting, message boxes and
// system facts. Everything above lib/platform talks to the OS only through this header, with the
// Windows names and numbers, so a Win32 backend can implement it almost by pass-through.
//
// X11 backend (platform_x11.cpp, msgbox.cpp, system_posix.cpp) checklist:
//   done  top-level and child windows; owner -> WM_TRANSIENT_FOR + skip-taskbar; zero-size
//         top-level -> mapped 1x1 window with empty bounding and input shapes (taskbar stand-in)
//   done  WM_CLASS (class name, program name), WM_NAME/_NET_WM_NAME, _NET_WM_ICON from an .ico,
//         _MOTIF_WM_HINTS (no decorations without WS_CAPTION), WM_NORMAL_HINTS fixed size
//   done  posted queue, sent messages, WM_PAINT from invalid rectangles when the queue is empty,
//         WM_QUIT, WaitMessage sleeping in poll() on the X fd and the signal pipe
//   done  mouse (hit test first, client/non-client messages, CS_DBLCLKS double-clicks, capture),
//         keys (VK codes, detectable auto-repeat with lParam bit 30, WM_SYSKEYDOWN with Alt),
//         WM_CHAR via TranslateMessage (Latin-1 and keysyms with a Unicode mapping)
//   done  focus (WM_SETFOCUS/WM_KILLFOCUS on the focused child, per top-level memory), enable
//   done  DefWindowProc: hit test, caption move (WM _NET_WM_MOVERESIZE or own grab loop),
//         Alt+F4 and WM_DELETE_WINDOW -> SC_CLOSE -> WM_CLOSE -> DestroyWindow
//   done  BeginPaint read-back and EndPaint write-back, MIT-SHM when local, XGetImage otherwise
//   done  modal message box (#32770) with _LAUNCHER_MESSAGE_TEXT, disables the other windows
//   done  SIGTERM/SIGHUP/SIGINT -> WM_QUERYENDSESSION, WM_ENDSESSION(TRUE) to the top-levels
//   done  X error handler that records and carries on; IO error -> one line, exit code 1
//   done  iconify/de-iconify of a top-level -> WM_SIZE SIZE_MINIMIZED / SIZE_RESTORED,
//         FocusIn -> WM_ACTIVATE
//   done  module table (GetModuleHandleA, LoadLibraryA, GetProcAddress, IsWow64Process,
//         GetNativeSystemInfo) answering from uname, replaceable by tests
//   not   visuals other than 24/32-bit TrueColor, window regions, timers, menus, cursors other
//         than the arrow, ShellExecuteA, non-rectangular invalid regions (bounding box kept)
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/surface.h"
#include "platform/text.h"

namespace plat {

struct HWND__;
using HWND = HWND__*;  // opaque; a stale handle is safe to pass (IsWindow says false)
using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using BOOL = int;

// Messages, with their Windows numbers.
enum : UINT {
  WM_NULL = 0x0000,
  WM_CREATE = 0x0001,
  WM_DESTROY = 0x0002,
  WM_MOVE = 0x0003,
  WM_SIZE = 0x0005,
  WM_ACTIVATE = 0x0006,
  WM_SETFOCUS = 0x0007,
  WM_KILLFOCUS = 0x0008,
  WM_ENABLE = 0x000A,
  WM_SETTEXT = 0x000C,
  WM_PAINT = 0x000F,
  WM_CLOSE = 0x0010,
  WM_QUERYENDSESSION = 0x0011,
  WM_QUIT = 0x0012,
  WM_ERASEBKGND = 0x0014,
  WM_SHOWWINDOW = 0x0018,
  WM_ACTIVATEAPP = 0x001C,
  WM_CANCELMODE = 0x001F,
  WM_ENDSESSION = 0x0016,
  WM_NCHITTEST = 0x0084,
  WM_NCLBUTTONDOWN = 0x00A1,
  WM_NCLBUTTONUP = 0x00A2,
  WM_NCLBUTTONDBLCLK = 0x00A3,
  WM_NCRBUTTONDOWN = 0x00A4,
  WM_NCRBUTTONUP = 0x00A5,
  WM_NCMBUTTONDOWN = 0x00A7,
  WM_NCMBUTTONUP = 0x00A8,
  WM_KEYDOWN = 0x0100,
  WM_KEYUP = 0x0101,
  WM_CHAR = 0x0102,
  WM_SYSKEYDOWN = 0x0104,
  WM_SYSKEYUP = 0x0105,
  WM_SYSCHAR = 0x0106,
  WM_SYSCOMMAND = 0x0112,
  WM_MOUSEMOVE = 0x0200,
  WM_LBUTTONDOWN = 0x0201,
  WM_LBUTTONUP = 0x0202,
  WM_LBUTTONDBLCLK = 0x0203,
  WM_RBUTTONDOWN = 0x0204,
  WM_RBUTTONUP = 0x0205,
  WM_RBUTTONDBLCLK = 0x0206,
  WM_MBUTTONDOWN = 0x0207,
  WM_MBUTTONUP = 0x0208,
  WM_MBUTTONDBLCLK = 0x0209,
  WM_CAPTURECHANGED = 0x0215,
  WM_USER = 0x0400,
};

// Hit-test answers.
enum : LRESULT { HTERROR = -2, HTTRANSPARENT = -1, HTNOWHERE = 0, HTCLIENT = 1, HTCAPTION = 2 };

// WM_SYSCOMMAND commands.
enum : WPARAM { SC_MINIMIZE = 0xF020, SC_MAXIMIZE = 0xF030, SC_CLOSE = 0xF060, SC_RESTORE = 0xF120 };

// WM_SIZE kinds.
enum : WPARAM { SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2 };

// WM_ACTIVATE states.
enum : WPARAM { WA_INACTIVE = 0, WA_ACTIVE = 1, WA_CLICKACTIVE = 2 };

// Mouse key flags in wParam.
enum : WPARAM { MK_LBUTTON = 0x1, MK_RBUTTON = 0x2, MK_SHIFT = 0x4, MK_CONTROL = 0x8, MK_MBUTTON = 0x10 };

// Virtual keys.
enum : int {
  VK_LBUTTON = 0x01, VK_RBUTTON = 0x02, VK_MBUTTON = 0x04,
  VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11,
  VK_MENU = 0x12, VK_PAUSE = 0x13, VK_CAPITAL = 0x14, VK_ESCAPE = 0x1B, VK_SPACE = 0x20,
  VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26,
  VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_INSERT = 0x2D, VK_DELETE = 0x2E,
  VK_F1 = 0x70, VK_F4 = 0x73, VK_F9 = 0x78, VK_F10 = 0x79, VK_F12 = 0x7B,
};

// Window styles.
enum : uint32_t {
  WS_OVERLAPPED = 0x00000000, WS_POPUP = 0x80000000, WS_CHILD = 0x40000000,
  WS_MINIMIZE = 0x20000000, WS_VISIBLE = 0x10000000, WS_DISABLED = 0x08000000,
  WS_CLIPSIBLINGS = 0x04000000, WS_CLIPCHILDREN = 0x02000000, WS_MAXIMIZE = 0x01000000,
  WS_CAPTION = 0x00C00000, WS_BORDER = 0x00800000, WS_DLGFRAME = 0x00400000,
  WS_SYSMENU = 0x00080000, WS_THICKFRAME = 0x00040000, WS_TABSTOP = 0x00010000,
  WS_MINIMIZEBOX = 0x00020000, WS_MAXIMIZEBOX = 0x00010000,
  WS_EX_DLGMODALFRAME = 0x00000001, WS_EX_TOPMOST = 0x00000008, WS_EX_TOOLWINDOW = 0x00000080,
  WS_EX_CONTROLPARENT = 0x00010000, WS_EX_APPWINDOW = 0x00040000,
};

// Class styles.
enum : uint32_t { CS_VREDRAW = 0x1, CS_HREDRAW = 0x2, CS_DBLCLKS = 0x8 };

// ShowWindow commands.
enum : int {
  SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOWMINIMIZED = 2, SW_SHOWMAXIMIZED = 3,
  SW_SHOWNOACTIVATE = 4, SW_SHOW = 5, SW_MINIMIZE = 6, SW_SHOWMINNOACTIVE = 7, SW_SHOWNA = 8,
  SW_RESTORE = 9, SW_SHOWDEFAULT = 10,
};

// SetWindowPos flags.
enum : UINT {
  SWP_NOSIZE = 0x1, SWP_NOMOVE = 0x2, SWP_NOZORDER = 0x4, SWP_NOACTIVATE = 0x10,
  SWP_SHOWWINDOW = 0x40, SWP_HIDEWINDOW = 0x80,
};

// MessageBox flags and answers.
enum : UINT {
  MB_OK = 0x0, MB_ICONHAND = 0x10, MB_ICONSTOP = 0x10, MB_ICONERROR = 0x10,
  MB_APPLMODAL = 0x0, MB_SYSTEMMODAL = 0x1000, MB_TASKMODAL = 0x2000,
};
enum : int { IDOK = 1, IDCANCEL = 2 };

// GetSystemMetrics indices.
enum : int { SM_CXSCREEN = 0, SM_CYSCREEN = 1, SM_CXDOUBLECLK = 36, SM_CYDOUBLECLK = 37 };

// PeekMessage flags.
enum : UINT { PM_NOREMOVE = 0x0, PM_REMOVE = 0x1 };

// System colours that the class library's colour names map to.
enum : int { COLOR_WINDOW = 5, COLOR_WINDOWTEXT = 8, COLOR_BTNFACE = 15, COLOR_BTNSHADOW = 16,
             COLOR_BTNTEXT = 18, COLOR_BTNHIGHLIGHT = 20, COLOR_3DDKSHADOW = 21 };

inline constexpr int LOWORD(uintptr_t v) { return static_cast<int>(v & 0xFFFF); }
inline constexpr int HIWORD(uintptr_t v) { return static_cast<int>((v >> 16) & 0xFFFF); }
// Signed coordinates packed as Windows packs them into lParam.
inline constexpr LPARAM MAKELPARAM(int lo, int hi) {
  return static_cast<LPARAM>(static_cast<uint32_t>(static_cast<uint16_t>(lo)) |
                             (static_cast<uint32_t>(static_cast<uint16_t>(hi)) << 16));
}
inline constexpr int GET_X_LPARAM(LPARAM l) { return static_cast<int16_t>(l & 0xFFFF); }
inline constexpr int GET_Y_LPARAM(LPARAM l) { return static_cast<int16_t>((l >> 16) & 0xFFFF); }

struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  uint32_t time = 0;
  Point pt;             // pointer position in screen coordinates when the message was made
  char32_t ch = 0;      // the character of a key-down, for TranslateMessage
};

// The window procedure: one object per window, called for sent and dispatched messages.
class WindowProc {
 public:
  virtual ~WindowProc() = default;
  virtual LRESULT OnWindowMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) = 0;
};

struct CreateParams {
  std::string class_name;  // WM_CLASS class, also the window class of the Win32 backend
  std::string text;        // UTF-8
  uint32_t style = 0;
  uint32_t ex_style = 0;
  uint32_t class_style = 0;
  Rect rect;               // screen coordinates for top-levels, parent client ones for children
  HWND parent = nullptr;   // set with WS_CHILD
  HWND owner = nullptr;    // for top-levels: the owner window
  WindowProc* proc = nullptr;
};

// Opens the display. False with a one-line reason (e.g. "cannot open display ':99'").
bool Initialize(std::string* error);
bool IsInitialized();
// Closes the display; every window still alive is destroyed first.
void Shutdown();

HWND CreateWindowEx(const CreateParams& params);
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
HWND GetParent(HWND hwnd);
HWND GetOwner(HWND hwnd);
// The top-level window that holds hwnd (hwnd itself for a top-level).
HWND GetAncestorRoot(HWND hwnd);
uint32_t GetWindowStyle(HWND hwnd);
void SetWindowProc(HWND hwnd, WindowProc* proc);
// All live top-level windows, in creation order.
std::vector<HWND> GetTopLevelWindows();

BOOL ShowWindow(HWND hwnd, int cmd);
BOOL SetWindowPos(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags);
BOOL GetWindowRect(HWND hwnd, Rect* rect);  // screen coordinates
BOOL GetClientRect(HWND hwnd, Rect* rect);  // (0, 0, width, height)
BOOL IsWindowVisible(HWND hwnd);            // the window and all its parents shown
BOOL IsIconic(HWND hwnd);
BOOL IsZoomed(HWND hwnd);
BOOL EnableWindow(HWND hwnd, BOOL enable);  // returns whether it was disabled before
BOOL IsWindowEnabled(HWND hwnd);
HWND SetFocus(HWND hwnd);                   // returns the previous focus
HWND GetFocus();
HWND GetActiveWindow();
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();
BOOL SetWindowText(HWND hwnd, std::string_view utf8);
std::string GetWindowText(HWND hwnd);
// The big icon from a whole .ico file (32-bit images); every image goes to _NET_WM_ICON.
BOOL SetWindowIconFromIco(HWND hwnd, const uint8_t* ico, size_t size);
BOOL InvalidateRect(HWND hwnd, const Rect* rect, BOOL erase);  // nullptr: the whole client area
BOOL ValidateRect(HWND hwnd, const Rect* rect);
BOOL UpdateWindow(HWND hwnd);  // paints now if anything is invalid
BOOL GetCursorPos(Point* pt);
HWND WindowFromPoint(Point pt);  // deepest visible window of this program, disabled ones too
BOOL ScreenToClient(HWND hwnd, Point* pt);
BOOL ClientToScreen(HWND hwnd, Point* pt);
short GetKeyState(int vk);  // high bit: down

// The message queue.
BOOL GetMessage(MSG* msg);  // false on WM_QUIT
BOOL PeekMessage(MSG* msg, UINT remove);
BOOL WaitMessage();
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessage(const MSG* msg);
BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
void PostQuitMessage(int exit_code);
LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

// Painting. BeginPaint validates the window and hands out a surface of the invalid rectangle
// (client coordinates in paint_rect) holding the window's current pixels; EndPaint writes it back.
// On failure (no buffer to be had) BeginPaint returns false; the area is still validated, so a
// failing paint is reported once rather than in an endless stream of paint messages.
struct PaintStruct {
  Rect paint_rect;
  Surface32 surface;  // pixel (0, 0) is paint_rect's top left
  bool erase = false;
  void* internal = nullptr;
};
BOOL BeginPaint(HWND hwnd, PaintStruct* ps);
BOOL EndPaint(HWND hwnd, PaintStruct* ps);

// A modal message box; owner may be nullptr (task-modal, as at start-up). Every other window of
// the program is disabled while it is up. Returns IDOK.
int MessageBox(HWND owner, std::string_view text_utf8, std::string_view caption_utf8, UINT type);

// System facts.
int GetSystemMetrics(int index);
uint32_t GetSysColor(int index);  // 0x00RRGGBB
bool IsThemeActive();
// The show command the process was started with: SW_SHOWDEFAULT unless a test set another.
int GetStartupShowCommand();
void SetStartupShowCommandForTesting(int cmd);  // < 0 restores the default
void SetThemeActiveForTesting(int active);      // < 0: decide by the desktop again
// Milliseconds of a monotonic clock, the time stamp of messages.
uint32_t GetTickCount();
// Where the running program's file is, and its name without the folder.
std::string GetModuleFileName();
// The address of the program's first byte, for "relative to the module" addresses.
uintptr_t GetModuleBase();

// The kernel module table: run-time look-ups of a few kernel32 functions by name.
using HMODULE = struct HMODULE__*;
using WowFn = BOOL (*)(void* process, BOOL* wow64);
struct SYSTEM_INFO {
  uint16_t wProcessorArchitecture = 0;
};
using NativeInfoFn = void (*)(SYSTEM_INFO* info);
enum : uint16_t {
  PROCESSOR_ARCHITECTURE_INTEL = 0, PROCESSOR_ARCHITECTURE_IA64 = 6,
  PROCESSOR_ARCHITECTURE_AMD64 = 9, PROCESSOR_ARCHITECTURE_ARM64 = 12,
  PROCESSOR_ARCHITECTURE_UNKNOWN = 0xFFFF,
};
HMODULE GetModuleHandleA(const char* name);
HMODULE LoadLibraryA(const char* name);
void* GetProcAddress(HMODULE module, const char* name);
void* GetCurrentProcess();

// What the table answers; tests replace it to reach every branch.
struct ModuleTable {
  bool kernel32_loaded = true;  // GetModuleHandleA("kernel32.dll") finds it
  bool kernel32_loadable = true;
  WowFn is_wow64_process = nullptr;  // nullptr: not exported
  NativeInfoFn get_native_system_info = nullptr;
};
// The machine's own table: both functions exported, answering from uname.
ModuleTable DefaultModuleTable();
void SetModuleTableForTesting(const ModuleTable* table);  // nullptr restores the default
// Maps a uname machine string to a processor architecture ("x86_64" -> 9).
uint16_t ArchitectureFromMachine(std::string_view machine);

// UTF-8 <-> UTF-16; malformed input turns into U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace plat
