// The X11 backend: windows, the event pump that turns X events into Windows messages, the
// default window procedure, painting with read-back, focus, capture, signals and X errors.
// What it implements and what not is listed at the top of platform/platform.h.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>
#include <errno.h>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"
#include "x11_internal.h"

namespace plat {
namespace {

struct Win {
  uint32_t id = 0;
  Window xid = 0;
  uint32_t parent = 0;
  uint32_t owner = 0;
  WindowProc* proc = nullptr;
  std::string class_name;
  std::string text;
  uint32_t style = 0;
  uint32_t ex_style = 0;
  uint32_t class_style = 0;
  Rect rect;  // screen coordinates for top-levels, parent client ones for children
  bool enabled = true;
  bool iconic = false;
  bool zoomed = false;
  bool zero_size = false;   // realised as a 1x1 window with empty shapes
  bool mapped = false;      // MapNotify seen
  bool reparented = false;  // inside a window manager's frame: its events give frame coordinates
  bool activate_on_map = false;
  Rect invalid;             // bounding box of the invalid area, client coordinates
  bool erase = false;
  uint32_t saved_focus = 0;
  Rect restore_rect;        // before maximizing
  std::vector<uint32_t> children;
  bool top() const { return parent == 0; }
};

// The one MIT-SHM segment that every paint goes through, with an image header per paint size.
// The first paint is the whole form, so the buttons' smaller paints fit in it: one segment,
// one attach and one wait for the server instead of one per size.
struct ShmSegment {
  XShmSegmentInfo info{};  // the headers point at it
  size_t bytes = 0;
  bool in_use = false;  // between BeginPaint and EndPaint
  // A put was sent that the server may not have carried out yet: the memory must not be
  // written before a round trip. The read-back of the next paint is one already.
  bool put_pending = false;
  std::map<std::pair<int, int>, XImage*> images;
};

struct State {
  Display* dpy = nullptr;
  int screen = 0;
  Window root = 0;
  Visual* visual = nullptr;
  int depth = 0;
  GC gc = nullptr;
  std::map<uint32_t, std::unique_ptr<Win>> wins;
  std::unordered_map<Window, uint32_t> by_xid;
  uint32_t next_id = 1;
  std::deque<MSG> queue;
  bool quit_posted = false;
  int quit_code = 0;
  uint32_t focus = 0;
  uint32_t active = 0;
  uint32_t capture = 0;
  uint32_t group_leader = 0;
  bool shm = false;
  std::unique_ptr<ShmSegment> shm_segment;
  // Double-click tracking.
  uint32_t last_click_win = 0;
  unsigned last_click_button = 0;
  uint32_t last_click_time = 0;
  Point last_click_pt;
  bool last_click_client = false;
  bool keys[256] = {};
  bool toggles[256] = {};
  int last_x_error = 0;
  bool end_session = false;
  Atom a_wm_protocols, a_wm_delete, a_net_wm_ping, a_net_wm_name, a_utf8, a_net_wm_icon,
      a_motif_hints, a_net_wm_state, a_skip_taskbar, a_skip_pager, a_max_v, a_max_h, a_modal,
      a_wm_state, a_net_wm_pid, a_moveresize, a_supporting, a_active_window, a_user_time,
      a_wm_type, a_type_dialog, a_type_normal;
};

State g;
int g_sig_pipe[2] = {-1, -1};
int g_startup_show = -1;
int g_theme_override = -1;

HWND ToHwnd(uint32_t id) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(id)); }
uint32_t ToId(HWND h) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h)); }

Win* Get(HWND h) {
  auto it = g.wins.find(ToId(h));
  return it == g.wins.end() ? nullptr : it->second.get();
}
Win* GetId(uint32_t id) {
  auto it = g.wins.find(id);
  return it == g.wins.end() ? nullptr : it->second.get();
}
Win* FromX(Window w) {
  auto it = g.by_xid.find(w);
  return it == g.by_xid.end() ? nullptr : GetId(it->second);
}

Win* RootOf(Win* w) {
  while (w && w->parent) w = GetId(w->parent);
  return w;
}

// Screen position of the window's client origin.
Point Origin(Win* w) {
  Point p;
  while (w) {
    p.x += w->rect.left;
    p.y += w->rect.top;
    w = w->parent ? GetId(w->parent) : nullptr;
  }
  return p;
}

bool Visible(Win* w) {
  for (; w; w = w->parent ? GetId(w->parent) : nullptr)
    if (!(w->style & WS_VISIBLE)) return false;
  return true;
}

bool Enabled(Win* w) {
  for (; w; w = w->parent ? GetId(w->parent) : nullptr)
    if (!w->enabled) return false;
  return true;
}

int OnXError(Display*, XErrorEvent* e) {
  // Another client may destroy or unmap our windows under us; the program carries on.
  g.last_x_error = e->error_code;
  return 0;
}

int OnXIOError(Display*) {
  const std::string name = GetModuleFileName();
  const auto slash = name.rfind('/');
  std::fprintf(stderr, "%s: lost the connection to the X server\n",
               slash == std::string::npos ? name.c_str() : name.c_str() + slash + 1);
  _exit(1);
}

void OnSignal(int) {
  const int saved = errno;
  const char c = 1;
  if (write(g_sig_pipe[1], &c, 1) < 0) {
  }
  errno = saved;
}

Atom A(const char* name) { return XInternAtom(g.dpy, name, False); }

bool WindowManagerRunning() {
  Atom type;
  int format;
  unsigned long n, after;
  unsigned char* data = nullptr;
  bool running = false;
  if (XGetWindowProperty(g.dpy, g.root, g.a_supporting, 0, 1, False, XA_WINDOW, &type, &format, &n,
                         &after, &data) == Success &&
      data && n == 1) {
    const Window check = *reinterpret_cast<Window*>(data);
    XWindowAttributes wa;
    g.last_x_error = 0;
    running = XGetWindowAttributes(g.dpy, check, &wa) != 0;
  }
  if (data) XFree(data);
  return running;
}

void Post(const MSG& m) { g.queue.push_back(m); }

MSG MakeMsg(uint32_t id, UINT message, WPARAM w, LPARAM l, Point pt) {
  MSG m;
  m.hwnd = ToHwnd(id);
  m.message = message;
  m.wParam = w;
  m.lParam = l;
  m.time = GetTickCount();
  m.pt = pt;
  return m;
}

// ---- shared-memory images ----

void DropShmImages() {
  for (auto& [size, image] : g.shm_segment->images) {
    image->data = nullptr;  // the segment's memory, not the image's
    XDestroyImage(image);
  }
  g.shm_segment->images.clear();
}

void DropShm() {
  if (!g.shm_segment) return;
  DropShmImages();
  XShmDetach(g.dpy, &g.shm_segment->info);
  shmdt(g.shm_segment->info.shmaddr);
  g.shm_segment.reset();
}

// A header for a w x h paint in the shared segment, which grows (is made anew) when a paint
// is larger than any before it. nullptr when shared memory does not work here.
XImage* ShmFor(int w, int h) {
  const auto key = std::make_pair(w, h);
  if (g.shm_segment) {
    if (auto it = g.shm_segment->images.find(key); it != g.shm_segment->images.end()) return it->second;
    if (g.shm_segment->images.size() >= 8) DropShmImages();  // sizes change rarely; keep few headers
  }
  const size_t bytes = static_cast<size_t>(w) * static_cast<size_t>(h) * 4;  // 32-bit ZPixmap rows
  if (!g.shm_segment || g.shm_segment->bytes < bytes) {
    DropShm();
    auto seg = std::make_unique<ShmSegment>();
    seg->info.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (seg->info.shmid < 0) {
      g.shm = false;
      return nullptr;
    }
    seg->info.shmaddr = static_cast<char*>(shmat(seg->info.shmid, nullptr, 0));
    seg->info.readOnly = False;
    g.last_x_error = 0;
    const bool attached =
        seg->info.shmaddr != reinterpret_cast<char*>(-1) && XShmAttach(g.dpy, &seg->info);
    XSync(g.dpy, False);
    // Marked for removal now, so nothing is left behind whatever way the process ends.
    shmctl(seg->info.shmid, IPC_RMID, nullptr);
    if (!attached || g.last_x_error) {
      if (seg->info.shmaddr != reinterpret_cast<char*>(-1)) shmdt(seg->info.shmaddr);
      g.shm = false;  // the server cannot reach our memory (remote, or refused): plain images
      return nullptr;
    }
    seg->bytes = bytes;
    g.shm_segment = std::move(seg);
  }
  XImage* image = XShmCreateImage(g.dpy, g.visual, static_cast<unsigned>(g.depth), ZPixmap, nullptr,
                                  &g.shm_segment->info, static_cast<unsigned>(w), static_cast<unsigned>(h));
  if (!image) return nullptr;
  if (image->bits_per_pixel != 32 || static_cast<size_t>(image->bytes_per_line) * h > g.shm_segment->bytes) {
    XDestroyImage(image);
    return nullptr;
  }
  image->data = g.shm_segment->info.shmaddr;
  g.shm_segment->images.emplace(key, image);
  return image;
}

struct PaintBuffer {
  XImage* image = nullptr;
  bool shm = false;
};

// ---- window properties ----

void SetNetState(Win* w) {
  std::vector<Atom> st;
  if (w->owner) st.push_back(g.a_skip_taskbar);
  if (w->zero_size) st.push_back(g.a_skip_pager);
  if (w->zoomed) {
    st.push_back(g.a_max_v);
    st.push_back(g.a_max_h);
  }
  XChangeProperty(g.dpy, w->xid, g.a_net_wm_state, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(st.data()), static_cast<int>(st.size()));
}

void SetSizeHints(Win* w) {
  XSizeHints* h = XAllocSizeHints();
  const int cw = std::max(1, w->rect.Width()), ch = std::max(1, w->rect.Height());
  h->flags = PPosition | USPosition | PSize | PMinSize | PMaxSize;
  h->x = w->rect.left;
  h->y = w->rect.top;
  h->width = h->min_width = h->max_width = cw;
  h->height = h->min_height = h->max_height = ch;
  XSetWMNormalHints(g.dpy, w->xid, h);
  XFree(h);
}

void SetWmHints(Win* w, bool iconic) {
  XWMHints* h = XAllocWMHints();
  h->flags = InputHint | StateHint | WindowGroupHint;
  h->input = True;
  h->initial_state = iconic ? IconicState : NormalState;
  Win* leader = GetId(g.group_leader);
  h->window_group = leader ? leader->xid : w->xid;
  XSetWMHints(g.dpy, w->xid, h);
  XFree(h);
}

void SetTextProps(Win* w) {
  XChangeProperty(g.dpy, w->xid, XA_WM_NAME, g.a_utf8, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(w->text.data()), static_cast<int>(w->text.size()));
  XChangeProperty(g.dpy, w->xid, g.a_net_wm_name, g.a_utf8, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(w->text.data()), static_cast<int>(w->text.size()));
}

std::string ProgramName() {
  const std::string f = GetModuleFileName();
  const auto slash = f.rfind('/');
  return slash == std::string::npos ? f : f.substr(slash + 1);
}

// ---- focus ----

void SendKillSet(uint32_t old_id, uint32_t new_id) {
  if (old_id && GetId(old_id)) SendMessage(ToHwnd(old_id), WM_KILLFOCUS, reinterpret_cast<WPARAM>(ToHwnd(new_id)), 0);
  if (new_id && GetId(new_id) && g.focus == new_id)
    SendMessage(ToHwnd(new_id), WM_SETFOCUS, reinterpret_cast<WPARAM>(ToHwnd(old_id)), 0);
}

void CancelCapture() {
  if (!g.capture) return;
  const uint32_t c = g.capture;
  SendMessage(ToHwnd(c), WM_CANCELMODE, 0, 0);
  if (g.capture == c) ReleaseCapture();
}

void Activate(Win* top) {
  if (g.active == top->id) return;
  if (Win* old = GetId(g.active)) {
    old->saved_focus = g.focus;
    const uint32_t f = g.focus;
    g.focus = 0;
    SendKillSet(f, 0);
    g.active = 0;
    SendMessage(ToHwnd(old->id), WM_ACTIVATE, WA_INACTIVE, 0);
  }
  g.active = top->id;
  SendMessage(ToHwnd(top->id), WM_ACTIVATE, WA_ACTIVE, 0);
}

void Deactivate(Win* top) {
  if (g.active != top->id) return;
  CancelCapture();
  top->saved_focus = g.focus;
  const uint32_t f = g.focus;
  g.focus = 0;
  SendKillSet(f, 0);
  g.active = 0;
  SendMessage(ToHwnd(top->id), WM_ACTIVATE, WA_INACTIVE, 0);
}

void TakeXFocus(Win* top) {
  if (!top->mapped) {
    top->activate_on_map = true;
    return;
  }
  XSetInputFocus(g.dpy, top->xid, RevertToParent, CurrentTime);
}

// ---- keys ----

int VkFromKeysym(KeySym ks) {
  if (ks >= XK_a && ks <= XK_z) return static_cast<int>('A' + (ks - XK_a));
  if (ks >= XK_A && ks <= XK_Z) return static_cast<int>('A' + (ks - XK_A));
  if (ks >= XK_0 && ks <= XK_9) return static_cast<int>('0' + (ks - XK_0));
  if (ks >= XK_F1 && ks <= XK_F24) return static_cast<int>(VK_F1 + (ks - XK_F1));
  if (ks >= XK_KP_0 && ks <= XK_KP_9) return static_cast<int>(0x60 + (ks - XK_KP_0));
  switch (ks) {
    case XK_BackSpace: return VK_BACK;
    case XK_Tab: case XK_ISO_Left_Tab: return VK_TAB;
    case XK_Return: case XK_KP_Enter: return VK_RETURN;
    case XK_Shift_L: case XK_Shift_R: return VK_SHIFT;
    case XK_Control_L: case XK_Control_R: return VK_CONTROL;
    case XK_Alt_L: case XK_Alt_R: case XK_Meta_L: case XK_Meta_R: return VK_MENU;
    case XK_Pause: return VK_PAUSE;
    case XK_Caps_Lock: return VK_CAPITAL;
    case XK_Escape: return VK_ESCAPE;
    case XK_space: return VK_SPACE;
    case XK_Prior: return VK_PRIOR;
    case XK_Next: return VK_NEXT;
    case XK_End: return VK_END;
    case XK_Home: return VK_HOME;
    case XK_Left: return VK_LEFT;
    case XK_Up: return VK_UP;
    case XK_Right: return VK_RIGHT;
    case XK_Down: return VK_DOWN;
    case XK_Insert: return VK_INSERT;
    case XK_Delete: return VK_DELETE;
    case XK_minus: return 0xBD;
    case XK_equal: return 0xBB;
    case XK_comma: return 0xBC;
    case XK_period: return 0xBE;
    default: return 0;
  }
}

char32_t CharFromKeysym(KeySym ks) {
  if (ks == XK_Return || ks == XK_KP_Enter) return U'\r';
  if (ks == XK_Tab || ks == XK_ISO_Left_Tab) return U'\t';
  if (ks == XK_BackSpace) return 8;
  if (ks == XK_Escape) return 0x1B;
  if ((ks >= 0x20 && ks <= 0x7E) || (ks >= 0xA0 && ks <= 0xFF)) return static_cast<char32_t>(ks);
  if ((ks & 0xFF000000) == 0x01000000) return static_cast<char32_t>(ks & 0x00FFFFFF);
  return 0;
}

uint32_t KeyTarget() {
  if (g.focus && GetId(g.focus)) return g.focus;
  return g.active;
}

void HandleKey(XKeyEvent& ev, bool down) {
  Win* w = FromX(ev.window);
  if (!w) return;
  KeySym ks = XLookupKeysym(&ev, 0);
  const int vk = VkFromKeysym(ks);
  if (!vk) return;
  const bool repeat = down && g.keys[vk];
  if (down && !repeat) g.toggles[vk] = !g.toggles[vk];
  g.keys[vk] = down;
  if (vk == VK_SHIFT || vk == VK_CONTROL) {
    // Keep the generic and the sided state in step, as GetKeyState reports both.
  }
  const uint32_t target = KeyTarget();
  Win* t = GetId(target);
  if (!t || !Enabled(t) || !Enabled(RootOf(t))) return;
  const bool alt = (ev.state & Mod1Mask) || (vk == VK_MENU && down);
  const bool sys = (alt && !(ev.state & ControlMask)) || vk == VK_F10;
  LPARAM l = 1 | (static_cast<LPARAM>(ev.keycode & 0xFF) << 16);
  if (alt) l |= LPARAM{1} << 29;
  if (repeat || !down) l |= LPARAM{1} << 30;
  if (!down) l |= LPARAM{1} << 31;
  UINT msg = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
  MSG m = MakeMsg(target, msg, static_cast<WPARAM>(vk), l, Point{ev.x_root, ev.y_root});
  if (down) {
    char buf[8];
    KeySym shifted = 0;
    XLookupString(&ev, buf, sizeof buf, &shifted, nullptr);
    char32_t ch = CharFromKeysym(shifted);
    if ((ev.state & ControlMask) && ch >= U'@' && ch < 0x80) ch = (ch & 0x1F);  // Ctrl+letter
    m.ch = ch;
  }
  Post(m);
}

// ---- mouse ----

void HandleButton(XButtonEvent& ev, bool down) {
  if (ev.button > 3) return;  // wheel and extra buttons are not used
  Win* w = FromX(ev.window);
  if (!w) return;
  const Point spt{ev.x_root, ev.y_root};
  static const UINT client_down[] = {WM_LBUTTONDOWN, WM_MBUTTONDOWN, WM_RBUTTONDOWN};
  static const UINT client_up[] = {WM_LBUTTONUP, WM_MBUTTONUP, WM_RBUTTONUP};
  static const UINT client_dbl[] = {WM_LBUTTONDBLCLK, WM_MBUTTONDBLCLK, WM_RBUTTONDBLCLK};
  static const UINT nc_down[] = {WM_NCLBUTTONDOWN, WM_NCMBUTTONDOWN, WM_NCRBUTTONDOWN};
  static const UINT nc_up[] = {WM_NCLBUTTONUP, WM_NCMBUTTONUP, WM_NCRBUTTONUP};
  const unsigned b = ev.button - 1;
  WPARAM keys = 0;
  if (ev.state & Button1Mask) keys |= MK_LBUTTON;
  if (ev.state & Button2Mask) keys |= MK_MBUTTON;
  if (ev.state & Button3Mask) keys |= MK_RBUTTON;
  if (ev.state & ShiftMask) keys |= MK_SHIFT;
  if (ev.state & ControlMask) keys |= MK_CONTROL;
  static const WPARAM bit[] = {MK_LBUTTON, MK_MBUTTON, MK_RBUTTON};
  if (down) keys |= bit[b]; else keys &= ~bit[b];

  if (Win* c = GetId(g.capture)) {
    const Point o = Origin(c);
    Post(MakeMsg(c->id, down ? client_down[b] : client_up[b], keys,
                 MAKELPARAM(spt.x - o.x, spt.y - o.y), spt));
    return;
  }
  if (!Enabled(w) || !Enabled(RootOf(w))) return;
  const LRESULT hit = SendMessage(ToHwnd(w->id), WM_NCHITTEST, 0, MAKELPARAM(spt.x, spt.y));
  if (!GetId(w->id) || hit == HTNOWHERE || hit == HTTRANSPARENT || hit == HTERROR) return;
  const bool client = hit == HTCLIENT;
  const Point o = Origin(w);
  if (!down) {
    if (client)
      Post(MakeMsg(w->id, client_up[b], keys, MAKELPARAM(spt.x - o.x, spt.y - o.y), spt));
    else
      Post(MakeMsg(w->id, nc_up[b], static_cast<WPARAM>(hit), MAKELPARAM(spt.x, spt.y), spt));
    return;
  }
  const uint32_t now = static_cast<uint32_t>(ev.time);
  const int box = GetSystemMetrics(SM_CXDOUBLECLK) / 2;
  const bool dbl = (w->class_style & CS_DBLCLKS) && g.last_click_win == w->id &&
                   g.last_click_button == ev.button && g.last_click_client == client &&
                   now - g.last_click_time <= 500 && std::abs(spt.x - g.last_click_pt.x) <= box &&
                   std::abs(spt.y - g.last_click_pt.y) <= box;
  if (dbl) {
    g.last_click_win = 0;  // a third press starts a new pair
  } else {
    g.last_click_win = w->id;
    g.last_click_button = ev.button;
    g.last_click_time = now;
    g.last_click_pt = spt;
    g.last_click_client = client;
  }
  if (client)
    Post(MakeMsg(w->id, dbl ? client_dbl[b] : client_down[b], keys,
                 MAKELPARAM(spt.x - o.x, spt.y - o.y), spt));
  else
    Post(MakeMsg(w->id, dbl && b == 0 ? WM_NCLBUTTONDBLCLK : nc_down[b], static_cast<WPARAM>(hit),
                 MAKELPARAM(spt.x, spt.y), spt));
}

void HandleMotion(XMotionEvent& ev) {
  Win* w = GetId(g.capture);
  if (!w) w = FromX(ev.window);
  if (!w) return;
  if (!g.capture && (!Enabled(w) || !Enabled(RootOf(w)))) return;
  const Point spt{ev.x_root, ev.y_root};
  const Point o = Origin(w);
  WPARAM keys = 0;
  if (ev.state & Button1Mask) keys |= MK_LBUTTON;
  if (ev.state & Button3Mask) keys |= MK_RBUTTON;
  if (ev.state & ShiftMask) keys |= MK_SHIFT;
  if (ev.state & ControlMask) keys |= MK_CONTROL;
  MSG m = MakeMsg(w->id, WM_MOUSEMOVE, keys, MAKELPARAM(spt.x - o.x, spt.y - o.y), spt);
  // Moves coalesce, as Windows keeps only the latest one in the queue.
  if (!g.queue.empty() && g.queue.back().message == WM_MOUSEMOVE && g.queue.back().hwnd == m.hwnd)
    g.queue.back() = m;
  else
    Post(m);
}

// ---- the event table ----

long ReadWmState(Window w) {
  Atom type;
  int format;
  unsigned long n, after;
  unsigned char* data = nullptr;
  long state = -1;
  if (XGetWindowProperty(g.dpy, w, g.a_wm_state, 0, 2, False, g.a_wm_state, &type, &format, &n,
                         &after, &data) == Success &&
      data && n >= 1)
    state = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
  if (data) XFree(data);
  return state;
}

void InvalidateInternal(Win* w, Rect r, bool erase) {
  Rect client{0, 0, w->rect.Width(), w->rect.Height()};
  r.left = std::max(r.left, client.left);
  r.top = std::max(r.top, client.top);
  r.right = std::min(r.right, client.right);
  r.bottom = std::min(r.bottom, client.bottom);
  if (r.Empty()) return;
  if (w->invalid.Empty()) {
    w->invalid = r;
  } else {
    w->invalid.left = std::min(w->invalid.left, r.left);
    w->invalid.top = std::min(w->invalid.top, r.top);
    w->invalid.right = std::max(w->invalid.right, r.right);
    w->invalid.bottom = std::max(w->invalid.bottom, r.bottom);
  }
  w->erase = w->erase || erase;
}

void SetTopPosition(Win* w, int x, int y) {
  if (x != w->rect.left || y != w->rect.top) {
    const int cw = w->rect.Width(), ch = w->rect.Height();
    w->rect = Rect{x, y, x + cw, y + ch};
    SendMessage(ToHwnd(w->id), WM_MOVE, 0, MAKELPARAM(x, y));
  }
}

// Asks the server where a framed top-level is on the screen (a round trip).
void UpdateTopPosition(Win* w) {
  Window child;
  int x = 0, y = 0;
  if (XTranslateCoordinates(g.dpy, w->xid, g.root, 0, 0, &x, &y, &child)) SetTopPosition(w, x, y);
}

void HandleEvent(XEvent& ev) {
  switch (ev.type) {
    case Expose: {
      if (Win* w = FromX(ev.xexpose.window))
        InvalidateInternal(w, Rect{ev.xexpose.x, ev.xexpose.y, ev.xexpose.x + ev.xexpose.width,
                                   ev.xexpose.y + ev.xexpose.height},
                           true);
      break;
    }
    case ButtonPress:
    case ButtonRelease:
      HandleButton(ev.xbutton, ev.type == ButtonPress);
      break;
    case MotionNotify:
      HandleMotion(ev.xmotion);
      break;
    case KeyPress:
    case KeyRelease:
      HandleKey(ev.xkey, ev.type == KeyPress);
      break;
    case LeaveNotify:
    case EnterNotify:
      // Nothing to dispatch, but the idle work (hover tracking) runs after it.
      Post(MakeMsg(0, WM_NULL, 0, 0, Point{ev.xcrossing.x_root, ev.xcrossing.y_root}));
      break;
    case FocusIn: {
      if (ev.xfocus.detail == NotifyPointer || ev.xfocus.detail == NotifyInferior) break;
      Win* w = FromX(ev.xfocus.window);
      if (w && w->top()) {
        Activate(w);
      }
      break;
    }
    case FocusOut: {
      if (ev.xfocus.detail == NotifyPointer || ev.xfocus.detail == NotifyInferior) break;
      if (ev.xfocus.mode == NotifyGrab || ev.xfocus.mode == NotifyUngrab) break;
      Win* w = FromX(ev.xfocus.window);
      if (w && w->top()) Deactivate(w);
      break;
    }
    case MapNotify: {
      Win* w = FromX(ev.xmap.window);
      if (!w) break;
      w->mapped = true;
      if (w->top()) {
        // A window straight on the root is where it was put or last configured; only a
        // frame can have moved it without telling.
        if (w->reparented) UpdateTopPosition(w);
        if (w->activate_on_map) {
          w->activate_on_map = false;
          XSetInputFocus(g.dpy, w->xid, RevertToParent, CurrentTime);
        }
      }
      break;
    }
    case UnmapNotify: {
      Win* w = FromX(ev.xunmap.window);
      if (!w) break;
      w->mapped = false;
      if (g.capture && (g.capture == w->id || RootOf(GetId(g.capture)) == w)) CancelCapture();
      break;
    }
    case ConfigureNotify: {
      Win* w = FromX(ev.xconfigure.window);
      if (!w || !w->top() || w->zero_size) break;
      if (w->reparented) {
        UpdateTopPosition(w);
      } else {
        SetTopPosition(w, ev.xconfigure.x, ev.xconfigure.y);  // already root coordinates
      }
      break;
    }
    case ReparentNotify: {
      if (Win* w = FromX(ev.xreparent.window)) w->reparented = ev.xreparent.parent != g.root;
      break;
    }
    case PropertyNotify: {
      Win* w = FromX(ev.xproperty.window);
      if (!w || !w->top() || ev.xproperty.atom != g.a_wm_state) break;
      const long st = ev.xproperty.state == PropertyDelete ? -1 : ReadWmState(w->xid);
      if (st == IconicState && !w->iconic) {
        w->iconic = true;
        SendMessage(ToHwnd(w->id), WM_SIZE, SIZE_MINIMIZED, 0);
      } else if (st == NormalState && w->iconic) {
        w->iconic = false;
        SendMessage(ToHwnd(w->id), WM_SIZE, SIZE_RESTORED,
                    MAKELPARAM(w->rect.Width(), w->rect.Height()));
      }
      break;
    }
    case ClientMessage: {
      Win* w = FromX(ev.xclient.window);
      if (!w || ev.xclient.message_type != g.a_wm_protocols) break;
      const Atom proto = static_cast<Atom>(ev.xclient.data.l[0]);
      if (proto == g.a_wm_delete) {
        if (Enabled(w)) Post(MakeMsg(w->id, WM_SYSCOMMAND, SC_CLOSE, 0, Point{}));
      } else if (proto == g.a_net_wm_ping) {
        XEvent reply = ev;
        reply.xclient.window = g.root;
        XSendEvent(g.dpy, g.root, False, SubstructureNotifyMask | SubstructureRedirectMask, &reply);
      }
      break;
    }
    default:
      break;
  }
}

void HandleSignals() {
  char buf[16];
  bool any = false;
  while (read(g_sig_pipe[0], buf, sizeof buf) > 0) any = true;
  if (!any) return;
  // Windows' end of session: everyone is asked, then everyone is told the answer.
  std::vector<HWND> tops = GetTopLevelWindows();
  bool ok = true;
  for (HWND h : tops)
    if (IsWindow(h) && !SendMessage(h, WM_QUERYENDSESSION, 0, 0)) ok = false;
  for (HWND h : tops)
    if (IsWindow(h)) SendMessage(h, WM_ENDSESSION, ok ? 1 : 0, 0);
  if (ok) g.end_session = true;
  Post(MakeMsg(0, WM_NULL, 0, 0, Point{}));
}

void DrainX() {
  while (g.dpy && XPending(g.dpy)) {
    XEvent ev;
    XNextEvent(g.dpy, &ev);
    HandleEvent(ev);
  }
}

// Mapped with all its ancestors: only then does the window show, and its surface hold what the
// paint reads back. A paint before that would blend over nothing and put the result where
// nobody sees it; the map brings an Expose that asks for the paint again anyway.
bool Viewable(Win* w) {
  for (; w; w = w->parent ? GetId(w->parent) : nullptr)
    if (!w->mapped) return false;
  return true;
}

bool NextPaint(MSG* m) {
  for (auto& [id, w] : g.wins) {
    if (!w->invalid.Empty() && Visible(w.get()) && !w->zero_size && Viewable(w.get())) {
      *m = MakeMsg(id, WM_PAINT, 0, 0, Point{});
      return true;
    }
  }
  return false;
}

bool Fetch(MSG* m, bool remove) {
  HandleSignals();
  DrainX();
  if (!g.queue.empty()) {
    *m = g.queue.front();
    if (remove) g.queue.pop_front();
    return true;
  }
  if (g.quit_posted) {
    *m = MakeMsg(0, WM_QUIT, static_cast<WPARAM>(g.quit_code), 0, Point{});
    if (remove) g.quit_posted = false;
    return true;
  }
  return NextPaint(m);
}

// Own move loop for when no window manager runs: the pointer is grabbed and the window follows
// the drag exactly until the button goes up.
void OwnMoveLoop(Win* top, Point start) {
  if (XGrabPointer(g.dpy, top->xid, False, ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                   GrabModeAsync, None, None, CurrentTime) != GrabSuccess)
    return;
  const Rect r0 = top->rect;
  for (;;) {
    XEvent ev;
    XNextEvent(g.dpy, &ev);
    if (ev.type == MotionNotify || ev.type == ButtonRelease) {
      const int x = ev.type == MotionNotify ? ev.xmotion.x_root : ev.xbutton.x_root;
      const int y = ev.type == MotionNotify ? ev.xmotion.y_root : ev.xbutton.y_root;
      SetWindowPos(ToHwnd(top->id), nullptr, r0.left + x - start.x, r0.top + y - start.y, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      if (ev.type == ButtonRelease) break;
    } else {
      HandleEvent(ev);
    }
  }
  XUngrabPointer(g.dpy, CurrentTime);
  XFlush(g.dpy);
}

void StartCaptionMove(Win* w, Point spt) {
  Win* top = RootOf(w);
  if (!top || top->zoomed) return;
  // A quick click may have ended before we got here: then there is nothing to drag.
  Window r, c;
  int rx, ry, wx, wy;
  unsigned mask = 0;
  XQueryPointer(g.dpy, g.root, &r, &c, &rx, &ry, &wx, &wy, &mask);
  if (!(mask & Button1Mask)) return;
  XEvent peek;
  if (XCheckTypedEvent(g.dpy, ButtonRelease, &peek)) {
    XPutBackEvent(g.dpy, &peek);
    return;
  }
  if (WindowManagerRunning()) {
    XUngrabPointer(g.dpy, CurrentTime);
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = top->xid;
    ev.xclient.message_type = g.a_moveresize;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = spt.x;
    ev.xclient.data.l[1] = spt.y;
    ev.xclient.data.l[2] = 8;  // _NET_WM_MOVERESIZE_MOVE
    ev.xclient.data.l[3] = Button1;
    ev.xclient.data.l[4] = 1;  // a normal application asks
    XSendEvent(g.dpy, g.root, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    XFlush(g.dpy);
  } else {
    OwnMoveLoop(top, spt);
  }
}

void DestroyRec(Win* w, bool x_destroy) {
  for (uint32_t c : std::vector<uint32_t>(w->children))
    if (Win* cw = GetId(c)) DestroyRec(cw, false);
  if (g.focus == w->id) g.focus = 0;
  if (g.capture == w->id) {
    g.capture = 0;
    XUngrabPointer(g.dpy, CurrentTime);
  }
  if (g.active == w->id) g.active = 0;
  const uint32_t id = w->id;
  const Window xid = w->xid;
  if (x_destroy) XDestroyWindow(g.dpy, xid);
  g.by_xid.erase(xid);
  if (Win* p = GetId(w->parent)) p->children.erase(std::remove(p->children.begin(), p->children.end(), id), p->children.end());
  g.queue.erase(std::remove_if(g.queue.begin(), g.queue.end(), [&](const MSG& m) { return ToId(m.hwnd) == id; }),
                g.queue.end());
  if (g.group_leader == id) g.group_leader = 0;
  g.wins.erase(id);
}

}  // namespace

namespace x11 {

void SetUtf8Property(HWND hwnd, const char* name, std::string_view value) {
  Win* w = Get(hwnd);
  if (!w) return;
  XChangeProperty(g.dpy, w->xid, A(name), g.a_utf8, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(value.data()), static_cast<int>(value.size()));
}

void MarkModalDialog(HWND hwnd) {
  Win* w = Get(hwnd);
  if (!w) return;
  XChangeProperty(g.dpy, w->xid, g.a_wm_type, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&g.a_type_dialog), 1);
  std::vector<Atom> st{g.a_modal};
  if (w->owner) st.push_back(g.a_skip_taskbar);
  XChangeProperty(g.dpy, w->xid, g.a_net_wm_state, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(st.data()), static_cast<int>(st.size()));
}

bool EndSessionRequested() { return g.end_session; }

}  // namespace x11

bool Initialize(std::string* error) {
  if (g.dpy) return true;
#if defined(__GLIBC__) && defined(M_MMAP_THRESHOLD)
  // Window-sized pixel buffers (a decoded picture, its conversion, the font tables) are the
  // largest allocations and mostly short-lived. glibc maps each one on its own and unmaps it
  // when freed, so every new buffer faults in fresh pages; served from the heap, a freed
  // buffer's pages are reused by the next one. Still larger buffers keep their own mappings.
  mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
#endif
  const char* name = std::getenv("DISPLAY");
  g.dpy = XOpenDisplay(nullptr);
  if (!g.dpy) {
    if (error) *error = std::string("cannot open display '") + (name ? name : "") + "'";
    return false;
  }
  XSetErrorHandler(&OnXError);
  XSetIOErrorHandler(&OnXIOError);
  g.screen = DefaultScreen(g.dpy);
  g.root = RootWindow(g.dpy, g.screen);
  g.visual = DefaultVisual(g.dpy, g.screen);
  g.depth = DefaultDepth(g.dpy, g.screen);
  g.gc = XCreateGC(g.dpy, g.root, 0, nullptr);
  // All atoms in one request and one reply: asked one by one they cost a round trip each.
  const std::pair<const char*, Atom*> kAtoms[] = {
      {"WM_PROTOCOLS", &g.a_wm_protocols},
      {"WM_DELETE_WINDOW", &g.a_wm_delete},
      {"_NET_WM_PING", &g.a_net_wm_ping},
      {"_NET_WM_NAME", &g.a_net_wm_name},
      {"UTF8_STRING", &g.a_utf8},
      {"_NET_WM_ICON", &g.a_net_wm_icon},
      {"_MOTIF_WM_HINTS", &g.a_motif_hints},
      {"_NET_WM_STATE", &g.a_net_wm_state},
      {"_NET_WM_STATE_SKIP_TASKBAR", &g.a_skip_taskbar},
      {"_NET_WM_STATE_SKIP_PAGER", &g.a_skip_pager},
      {"_NET_WM_STATE_MAXIMIZED_VERT", &g.a_max_v},
      {"_NET_WM_STATE_MAXIMIZED_HORZ", &g.a_max_h},
      {"_NET_WM_STATE_MODAL", &g.a_modal},
      {"WM_STATE", &g.a_wm_state},
      {"_NET_WM_PID", &g.a_net_wm_pid},
      {"_NET_WM_MOVERESIZE", &g.a_moveresize},
      {"_NET_SUPPORTING_WM_CHECK", &g.a_supporting},
      {"_NET_ACTIVE_WINDOW", &g.a_active_window},
      {"_NET_WM_USER_TIME", &g.a_user_time},
      {"_NET_WM_WINDOW_TYPE", &g.a_wm_type},
      {"_NET_WM_WINDOW_TYPE_DIALOG", &g.a_type_dialog},
      {"_NET_WM_WINDOW_TYPE_NORMAL", &g.a_type_normal},
  };
  constexpr size_t kAtomCount = sizeof kAtoms / sizeof kAtoms[0];
  char* names[kAtomCount];
  Atom values[kAtomCount] = {};
  for (size_t i = 0; i < kAtomCount; ++i) names[i] = const_cast<char*>(kAtoms[i].first);
  XInternAtoms(g.dpy, names, static_cast<int>(kAtomCount), False, values);
  for (size_t i = 0; i < kAtomCount; ++i) *kAtoms[i].second = values[i];
  Bool supported = False;
  XkbSetDetectableAutoRepeat(g.dpy, True, &supported);
  // Shared memory only reaches a server on this machine (a local socket).
  const char* ds = DisplayString(g.dpy);
  const bool local = ds && (ds[0] == ':' || std::strncmp(ds, "unix:", 5) == 0);
  g.shm = local && XShmQueryExtension(g.dpy) && g.depth >= 24 && g.visual->c_class == TrueColor;
  if (pipe2(g_sig_pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    struct sigaction sa{};
    sa.sa_handler = &OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
  }
  fcntl(ConnectionNumber(g.dpy), F_SETFD, FD_CLOEXEC);
  return true;
}

bool IsInitialized() { return g.dpy != nullptr; }

void Shutdown() {
  if (!g.dpy) return;
  while (!g.wins.empty()) DestroyWindow(ToHwnd(g.wins.rbegin()->first));
  DropShm();
  XFreeGC(g.dpy, g.gc);
  XCloseDisplay(g.dpy);
  g.dpy = nullptr;
  g.queue.clear();
}

HWND CreateWindowEx(const CreateParams& p) {
  if (!g.dpy) return nullptr;
  auto w = std::make_unique<Win>();
  w->id = g.next_id++;
  w->class_name = p.class_name;
  w->text = p.text;
  w->style = p.style & ~WS_VISIBLE;
  w->ex_style = p.ex_style;
  w->class_style = p.class_style;
  w->proc = p.proc;
  w->rect = p.rect;
  w->enabled = !(p.style & WS_DISABLED);
  Win* parent = (p.style & WS_CHILD) ? Get(p.parent) : nullptr;
  if ((p.style & WS_CHILD) && !parent) return nullptr;
  if (parent) w->parent = parent->id;
  if (!parent && p.owner) {
    Win* o = RootOf(Get(p.owner));
    if (o) w->owner = o->id;
  }
  w->zero_size = !parent && (p.rect.Width() <= 0 || p.rect.Height() <= 0);
  XSetWindowAttributes at{};
  at.background_pixmap = None;  // the surface keeps what was on screen; paints blend over it
  at.bit_gravity = NorthWestGravity;
  at.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                  EnterWindowMask | LeaveWindowMask | StructureNotifyMask;
  // Keys go to the top-level, which routes them to the focused child like Windows does.
  if (!parent) at.event_mask |= KeyPressMask | KeyReleaseMask | FocusChangeMask | PropertyChangeMask;
  const unsigned ww = static_cast<unsigned>(std::max(1, p.rect.Width()));
  const unsigned wh = static_cast<unsigned>(std::max(1, p.rect.Height()));
  w->xid = XCreateWindow(g.dpy, parent ? parent->xid : g.root, p.rect.left, p.rect.top, ww, wh, 0,
                         CopyFromParent, InputOutput, CopyFromParent,
                         CWBackPixmap | CWBitGravity | CWEventMask, &at);
  if (!w->xid) return nullptr;
  Win* raw = w.get();
  g.by_xid[raw->xid] = raw->id;
  g.wins.emplace(raw->id, std::move(w));
  if (parent) {
    parent->children.push_back(raw->id);
  } else {
    if (!raw->owner && !g.group_leader) g.group_leader = raw->id;
    XClassHint ch;
    std::string inst = ProgramName();
    ch.res_name = inst.data();
    ch.res_class = const_cast<char*>(raw->class_name.c_str());
    XSetClassHint(g.dpy, raw->xid, &ch);
    SetTextProps(raw);
    Atom protos[] = {g.a_wm_delete, g.a_net_wm_ping};
    XSetWMProtocols(g.dpy, raw->xid, protos, 2);
    long pid = static_cast<long>(getpid());
    XChangeProperty(g.dpy, raw->xid, g.a_net_wm_pid, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pid), 1);
    XChangeProperty(g.dpy, raw->xid, g.a_wm_type, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&g.a_type_normal), 1);
    // Motif hints: flags = decorations, decorations = none unless there is a caption.
    long motif[5] = {2, 0, (p.style & WS_CAPTION) == WS_CAPTION && !raw->zero_size ? 1 : 0, 0, 0};
    XChangeProperty(g.dpy, raw->xid, g.a_motif_hints, g.a_motif_hints, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(motif), 5);
    if (Win* o = GetId(raw->owner)) XSetTransientForHint(g.dpy, raw->xid, o->xid);
    SetSizeHints(raw);
    SetWmHints(raw, false);
    SetNetState(raw);
    if (raw->zero_size) {
      // X has no zero-size windows: a 1x1 window that shows nothing and takes no input.
      XShapeCombineRectangles(g.dpy, raw->xid, ShapeBounding, 0, 0, nullptr, 0, ShapeSet, Unsorted);
      XShapeCombineRectangles(g.dpy, raw->xid, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    }
  }
  const HWND h = ToHwnd(raw->id);
  SendMessage(h, WM_CREATE, 0, 0);
  if (p.style & WS_VISIBLE) ShowWindow(h, SW_SHOWNORMAL);
  return h;
}

BOOL DestroyWindow(HWND hwnd) {
  Win* w = Get(hwnd);
  if (!w) return 0;
  // Owned top-levels go first, as on Windows.
  if (w->top()) {
    std::vector<uint32_t> owned;
    for (auto& [id, o] : g.wins)
      if (o->owner == w->id) owned.push_back(id);
    for (uint32_t id : owned) DestroyWindow(ToHwnd(id));
  }
  w = Get(hwnd);
  if (!w) return 0;
  if (g.focus && (g.focus == w->id || RootOf(GetId(g.focus)) == w || [&] {
        for (Win* f = GetId(g.focus); f; f = GetId(f->parent))
          if (f == w) return true;
        return false;
      }())) {
    const uint32_t f = g.focus;
    g.focus = 0;
    SendKillSet(f, 0);
  }
  SendMessage(hwnd, WM_DESTROY, 0, 0);
  std::vector<uint32_t> kids;
  if ((w = Get(hwnd))) kids = w->children;
  for (uint32_t c : kids)
    if (GetId(c)) SendMessage(ToHwnd(c), WM_DESTROY, 0, 0);
  if ((w = Get(hwnd))) DestroyRec(w, true);
  XFlush(g.dpy);
  return 1;
}

BOOL IsWindow(HWND hwnd) { return Get(hwnd) != nullptr; }
HWND GetParent(HWND hwnd) {
  Win* w = Get(hwnd);
  return w ? ToHwnd(w->parent) : nullptr;
}
HWND GetOwner(HWND hwnd) {
  Win* w = Get(hwnd);
  return w ? ToHwnd(w->owner) : nullptr;
}
HWND GetAncestorRoot(HWND hwnd) {
  Win* w = RootOf(Get(hwnd));
  return w ? ToHwnd(w->id) : nullptr;
}
uint32_t GetWindowStyle(HWND hwnd) {
  Win* w = Get(hwnd);
  return w ? w->style | (w->enabled ? 0u : static_cast<uint32_t>(WS_DISABLED)) : 0u;
}
void SetWindowProc(HWND hwnd, WindowProc* proc) {
  if (Win* w = Get(hwnd)) w->proc = proc;
}
std::vector<HWND> GetTopLevelWindows() {
  std::vector<HWND> out;
  for (auto& [id, w] : g.wins)
    if (w->top()) out.push_back(ToHwnd(id));
  return out;
}

BOOL ShowWindow(HWND hwnd, int cmd) {
  Win* w = Get(hwnd);
  if (!w) return 0;
  const bool was = (w->style & WS_VISIBLE) != 0;
  if (!w->top()) {
    if (cmd == SW_HIDE) {
      w->style &= ~WS_VISIBLE;
      XUnmapWindow(g.dpy, w->xid);
      if (g.focus == w->id) {
        g.focus = 0;
        SendKillSet(w->id, 0);
      }
    } else {
      w->style |= WS_VISIBLE;
      XMapWindow(g.dpy, w->xid);
      InvalidateInternal(w, Rect{0, 0, w->rect.Width(), w->rect.Height()}, true);
    }
    XFlush(g.dpy);
    return was;
  }
  const bool wm = WindowManagerRunning();
  const bool activate = cmd == SW_SHOWNORMAL || cmd == SW_SHOW || cmd == SW_RESTORE ||
                        cmd == SW_SHOWMAXIMIZED || cmd == SW_SHOWDEFAULT;
  switch (cmd) {
    case SW_HIDE:
      if (!was) return 0;
      w->style &= ~WS_VISIBLE;
      if (g.active == w->id) Deactivate(w);
      XWithdrawWindow(g.dpy, w->xid, g.screen);
      w->iconic = false;
      break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
      w->style |= WS_VISIBLE;
      if (!w->iconic) {
        w->iconic = true;
        if (wm) {
          if (w->mapped) {
            XIconifyWindow(g.dpy, w->xid, g.screen);
          } else {
            SetWmHints(w, true);
            XMapWindow(g.dpy, w->xid);
          }
        }
        // Without a window manager an iconic window simply stays off the screen.
        if (g.active == w->id) Deactivate(w);
      }
      break;
    default: {
      w->style |= WS_VISIBLE;
      if (cmd == SW_SHOWMAXIMIZED && !w->zoomed && !w->zero_size) {
        w->zoomed = true;
        w->restore_rect = w->rect;
        w->rect = Rect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        SetSizeHints(w);
        SetNetState(w);
        XMoveResizeWindow(g.dpy, w->xid, 0, 0, static_cast<unsigned>(w->rect.Width()),
                          static_cast<unsigned>(w->rect.Height()));
        InvalidateInternal(w, Rect{0, 0, w->rect.Width(), w->rect.Height()}, true);
        SendMessage(hwnd, WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(w->rect.Width(), w->rect.Height()));
        if (!(w = Get(hwnd))) return was;
      }
      const bool was_iconic = w->iconic;
      w->iconic = false;
      SetWmHints(w, false);
      if (!activate) {
        long zero = 0;  // a user time of 0 asks the window manager not to focus it on map
        XChangeProperty(g.dpy, w->xid, g.a_user_time, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&zero), 1);
      } else {
        XDeleteProperty(g.dpy, w->xid, g.a_user_time);
      }
      XMapRaised(g.dpy, w->xid);
      if (!w->zero_size) InvalidateInternal(w, Rect{0, 0, w->rect.Width(), w->rect.Height()}, true);
      if (activate && !wm) TakeXFocus(w);
      if (was_iconic) SendMessage(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(w->rect.Width(), w->rect.Height()));
      break;
    }
  }
  if (Get(hwnd)) SendMessage(hwnd, WM_SHOWWINDOW, cmd != SW_HIDE, 0);
  XFlush(g.dpy);
  return was;
}

BOOL SetWindowPos(HWND hwnd, HWND, int x, int y, int cx, int cy, UINT flags) {
  Win* w = Get(hwnd);
  if (!w) return 0;
  Rect r = w->rect;
  if (!(flags & SWP_NOMOVE)) r = Rect{x, y, x + r.Width(), y + r.Height()};
  if (!(flags & SWP_NOSIZE)) r.right = r.left + cx, r.bottom = r.top + cy;
  const bool resized = r.Width() != w->rect.Width() || r.Height() != w->rect.Height();
  w->rect = r;
  if (w->top()) {
    w->zero_size = w->zero_size && (r.Width() <= 0 || r.Height() <= 0);
    SetSizeHints(w);
  }
  XMoveResizeWindow(g.dpy, w->xid, r.left, r.top, static_cast<unsigned>(std::max(1, r.Width())),
                    static_cast<unsigned>(std::max(1, r.Height())));
  if (resized) InvalidateInternal(w, Rect{0, 0, r.Width(), r.Height()}, true);
  if (flags & SWP_SHOWWINDOW) ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
  if (flags & SWP_HIDEWINDOW) ShowWindow(hwnd, SW_HIDE);
  XFlush(g.dpy);
  return 1;
}

BOOL GetWindowRect(HWND hwnd, Rect* rect) {
  Win* w = Get(hwnd);
  if (!w) return 0;
  const Point o = Origin(w);
  *rect = Rect{o.x, o.y, o.x + w->rect.Width(), o.y + w->rect.Height()};
  return 1;
}

BOOL GetClientRect(HWND hwnd, Rect* rect) {
  Win* w = Get(hwnd);
  if (!w) return 0;
  *rect = Rect{0, 0, w->rect.Width(), w->rect.Height()};
  return 1;
}

BOOL IsWindowVisible(HWND hwnd) {
  Win* w = Get(hwnd);
  return w && Visible(w);
}
BOOL IsIconic(HWND hwnd) {
  Win* w = Get(hwnd);
  return w && w->iconic;
}
BOOL IsZoomed(HWND hwnd) {
  Win* w = Get(hwnd);
  return w && w->zoomed;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  Win* w = Get(hwnd);
  if (!w) return 0;
  const bool was_disabled = !w->enabled;
  if (w->enabled != (enable != 0)) {
    w->enabled = enable != 0;
    if (!enable && g.capture && RootOf(GetId(g.capture)) == RootOf(w)) CancelCapture();
    SendMessage(hwnd, WM_ENABLE, enable ? 1 : 0, 0);
  }
  return was_disabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
  Win* w = Get(hwnd);
  return w && w->enabled;
}

HWND SetFocus(HWND hwnd) {
  const HWND old = ToHwnd(g.focus);
  Win* w = Get(hwnd);
  if (!w) return old;
  if (g.focus == w->id) return old;
  Win* top = RootOf(w);
  if (!top) return old;
  if (g.active != top->id) {
    Activate(top);  // sends the activation; its default may already move the focus
    TakeXFocus(top);  // now, or as soon as the window is mapped
  }
  const uint32_t prev = g.focus;
  if (prev == w->id) return old;
  g.focus = w->id;
  top->saved_focus = w->id;
  SendKillSet(prev, w->id);
  return old;
}

HWND GetFocus() { return ToHwnd(g.focus); }
HWND GetActiveWindow() { return ToHwnd(g.active); }

HWND SetCapture(HWND hwnd) {
  const HWND old = ToHwnd(g.capture);
  Win* w = Get(hwnd);
  if (!w) return old;
  g.capture = w->id;
  XGrabPointer(g.dpy, w->xid, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
               GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
  if (old && ToId(old) != w->id) SendMessage(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
  return old;
}

BOOL ReleaseCapture() {
  if (!g.capture) return 1;
  const uint32_t c = g.capture;
  g.capture = 0;
  if (g.dpy) {
    XUngrabPointer(g.dpy, CurrentTime);
    XFlush(g.dpy);
  }
  if (GetId(c)) SendMessage(ToHwnd(c), WM_CAPTURECHANGED, 0, 0);
  return 1;
}

HWND GetCapture() { return ToHwnd(g.capture); }

BOOL SetWindowText(HWND hwnd, std::string_view utf8) {
  Win* w = Get(hwnd);
  if (!w) return 0;
  w->text = std::string(utf8);
  if (w->top()) SetTextProps(w);
  XFlush(g.dpy);
  return 1;
}

std::string GetWindowText(HWND hwnd) {
  Win* w = Get(hwnd);
  return w ? w->text : std::string();
}

BOOL SetWindowIconFromIco(HWND hwnd, const uint8_t* ico, size_t size) {
  Win* w = Get(hwnd);
  if (!w || !ico || size < 6) return 0;
  auto u16 = [&](size_t o) { return static_cast<uint32_t>(ico[o] | (ico[o + 1] << 8)); };
  auto u32 = [&](size_t o) { return u16(o) | (u16(o + 2) << 16); };
  if (u16(0) != 0 || u16(2) != 1) return 0;
  const uint32_t count = u16(4);
  std::vector<unsigned long> prop;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t e = 6 + size_t{i} * 16;
    if (e + 16 > size) return 0;
    const uint32_t bytes = u32(e + 8), off = u32(e + 12);
    if (off > size || bytes > size - off || bytes < 40) continue;
    const uint8_t* bmp = ico + off;
    const auto rd = [&](size_t o) { return static_cast<uint32_t>(bmp[o] | (bmp[o + 1] << 8) | (bmp[o + 2] << 16) | (uint32_t{bmp[o + 3]} << 24)); };
    const uint32_t hdr = rd(0), width = rd(4), height2 = rd(8);
    const uint32_t bpp = static_cast<uint32_t>(bmp[14] | (bmp[15] << 8));
    const uint32_t height = height2 / 2;
    if (bpp != 32 || width == 0 || width > 256 || height == 0 || height > 256) continue;  // 32-bit images only
    if (size_t{hdr} + size_t{width} * height * 4 > bytes) continue;
    prop.push_back(width);
    prop.push_back(height);
    const uint8_t* px = bmp + hdr;
    for (uint32_t y = 0; y < height; ++y) {
      const uint8_t* row = px + size_t{height - 1 - y} * width * 4;  // rows are stored bottom-up
      for (uint32_t x = 0; x < width; ++x) {
        const uint8_t* p = row + size_t{x} * 4;
        prop.push_back(static_cast<unsigned long>(p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24)));
      }
    }
  }
  if (prop.empty()) return 0;
  XChangeProperty(g.dpy, w->xid, g.a_net_wm_icon, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(prop.data()), static_cast<int>(prop.size()));
  XFlush(g.dpy);
  return 1;
}

BOOL InvalidateRect(HWND hwnd, const Rect* rect, BOOL erase) {
  Win* w = Get(hwnd);
  if (!w) return 0;
  InvalidateInternal(w, rect ? *rect : Rect{0, 0, w->rect.Width(), w->rect.Height()}, erase != 0);
  return 1;
}

BOOL ValidateRect(HWND hwnd, const Rect* rect) {
  Win* w = Get(hwnd);
  if (!w) return 0;
  if (!rect || (rect->left <= w->invalid.left && rect->top <= w->invalid.top &&
                rect->right >= w->invalid.right && rect->bottom >= w->invalid.bottom)) {
    w->invalid = Rect{};
    w->erase = false;
  }
  return 1;
}

BOOL UpdateWindow(HWND hwnd) {
  Win* w = Get(hwnd);
  if (!w) return 0;
  if (!w->invalid.Empty() && Visible(w)) SendMessage(hwnd, WM_PAINT, 0, 0);
  return 1;
}

BOOL GetCursorPos(Point* pt) {
  if (!g.dpy) return 0;
  Window r, c;
  int wx, wy;
  unsigned mask;
  XQueryPointer(g.dpy, g.root, &r, &c, &pt->x, &pt->y, &wx, &wy, &mask);
  return 1;
}

HWND WindowFromPoint(Point pt) {
  std::function<Win*(Win*, Point)> deepest = [&](Win* w, Point local) -> Win* {
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
      Win* c = GetId(*it);
      if (c && (c->style & WS_VISIBLE) && c->rect.Contains(local))
        return deepest(c, Point{local.x - c->rect.left, local.y - c->rect.top});
    }
    return w;
  };
  for (auto it = g.wins.rbegin(); it != g.wins.rend(); ++it) {
    Win* w = it->second.get();
    if (!w->top() || !(w->style & WS_VISIBLE) || w->zero_size || w->iconic) continue;
    if (w->rect.Contains(pt)) return ToHwnd(deepest(w, Point{pt.x - w->rect.left, pt.y - w->rect.top})->id);
  }
  return nullptr;
}

BOOL ScreenToClient(HWND hwnd, Point* pt) {
  Win* w = Get(hwnd);
  if (!w) return 0;
  const Point o = Origin(w);
  pt->x -= o.x;
  pt->y -= o.y;
  return 1;
}

BOOL ClientToScreen(HWND hwnd, Point* pt) {
  Win* w = Get(hwnd);
  if (!w) return 0;
  const Point o = Origin(w);
  pt->x += o.x;
  pt->y += o.y;
  return 1;
}

short GetKeyState(int vk) {
  if (vk < 0 || vk > 255) return 0;
  short s = g.keys[vk] ? static_cast<short>(0x8000) : 0;
  if (g.toggles[vk]) s |= 1;
  return s;
}

BOOL GetMessage(MSG* msg) {
  for (;;) {
    if (Fetch(msg, true)) return msg->message != WM_QUIT;
    WaitMessage();
  }
}

BOOL PeekMessage(MSG* msg, UINT remove) { return Fetch(msg, (remove & PM_REMOVE) != 0); }

BOOL WaitMessage() {
  if (!g.dpy) return 0;
  for (;;) {
    if (!g.queue.empty() || g.quit_posted) return 1;
    MSG m;
    if (NextPaint(&m)) return 1;
    if (XEventsQueued(g.dpy, QueuedAfterFlush) > 0) return 1;
    pollfd fds[2] = {{ConnectionNumber(g.dpy), POLLIN, 0}, {g_sig_pipe[0], POLLIN, 0}};
    const int n = poll(fds, g_sig_pipe[0] >= 0 ? 2 : 1, -1);
    if (n < 0 && errno == EINTR) continue;  // a signal: its byte is in the pipe
    if (fds[0].revents & (POLLHUP | POLLERR)) XNoOp(g.dpy), XSync(g.dpy, False);  // IO error path
    return 1;
  }
}

BOOL TranslateMessage(const MSG* msg) {
  if ((msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) && msg->ch) {
    MSG c = *msg;
    c.message = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
    c.wParam = static_cast<WPARAM>(msg->ch);
    c.ch = 0;
    g.queue.push_front(c);  // the character comes right after its key
    return 1;
  }
  return 0;
}

LRESULT DispatchMessage(const MSG* msg) {
  if (!msg->hwnd) return 0;
  return SendMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (hwnd && !Get(hwnd)) return 0;
  Post(MakeMsg(ToId(hwnd), msg, wparam, lparam, Point{}));
  return 1;
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  Win* w = Get(hwnd);
  if (!w) return 0;
  if (w->proc) return w->proc->OnWindowMessage(hwnd, msg, wparam, lparam);
  return DefWindowProc(hwnd, msg, wparam, lparam);
}

void PostQuitMessage(int exit_code) {
  g.quit_posted = true;
  g.quit_code = exit_code;
}

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  Win* w = Get(hwnd);
  if (!w) return 0;
  switch (msg) {
    case WM_NCHITTEST: {
      Rect r;
      GetWindowRect(hwnd, &r);
      return r.Contains(Point{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)}) ? HTCLIENT : HTNOWHERE;
    }
    case WM_NCLBUTTONDOWN:
      if (wparam == static_cast<WPARAM>(HTCAPTION))
        StartCaptionMove(w, Point{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
      return 0;
    case WM_SYSKEYDOWN:
      // Alt+F4 closes the top-level, as the system menu's Close would.
      if (wparam == static_cast<WPARAM>(VK_F4) && (lparam & (LPARAM{1} << 29)) && !(lparam & (LPARAM{1} << 30)))
        if (Win* top = RootOf(w)) PostMessage(ToHwnd(top->id), WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case WM_SYSCOMMAND:
      switch (wparam & 0xFFF0) {
        case SC_CLOSE: return SendMessage(hwnd, WM_CLOSE, 0, 0);
        case SC_MINIMIZE: ShowWindow(hwnd, SW_MINIMIZE); return 0;
        case SC_RESTORE: ShowWindow(hwnd, SW_RESTORE); return 0;
        default: return 0;
      }
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_QUERYENDSESSION:
      return 1;
    case WM_PAINT: {
      PaintStruct ps;
      if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE && w->top()) {
        Win* f = GetId(w->saved_focus);
        SetFocus(f && RootOf(f) == w && Visible(f) ? ToHwnd(f->id) : hwnd);
      }
      return 0;
    case WM_CANCELMODE:
      if (g.capture == w->id) ReleaseCapture();
      return 0;
    default:
      return 0;
  }
}

BOOL BeginPaint(HWND hwnd, PaintStruct* ps) {
  Win* w = Get(hwnd);
  if (!w || !ps) return 0;
  Rect r = w->invalid;
  const bool erase = w->erase;
  w->invalid = Rect{};
  w->erase = false;
  *ps = PaintStruct{};
  ps->paint_rect = r;
  ps->erase = erase;
  if (r.Empty()) return 1;
  const int wd = r.Width(), ht = r.Height();
  PaintBuffer* buf = new PaintBuffer;
  // Only the part on the screen can be read back; the rest starts out black.
  const Point o = Origin(w);
  const int sw = DisplayWidth(g.dpy, g.screen), sh = DisplayHeight(g.dpy, g.screen);
  const bool on_screen = o.x + r.left >= 0 && o.y + r.top >= 0 && o.x + r.right <= sw && o.y + r.bottom <= sh &&
                         w->mapped;
  g.last_x_error = 0;
  // A paint inside another paint takes a plain image: the segment holds the outer one.
  if (g.shm && !(g.shm_segment && g.shm_segment->in_use)) {
    if (XImage* img = ShmFor(wd, ht)) {
      buf->image = img;
      buf->shm = true;
      g.shm_segment->in_use = true;
      if (on_screen) {
        XShmGetImage(g.dpy, w->xid, img, r.left, r.top, AllPlanes);  // waits for its reply
      } else {
        if (g.shm_segment->put_pending) XSync(g.dpy, False);
        std::memset(img->data, 0, static_cast<size_t>(img->bytes_per_line) * ht);
      }
      g.shm_segment->put_pending = false;
    }
  }
  if (!buf->image) {
    if (on_screen)
      buf->image = XGetImage(g.dpy, w->xid, r.left, r.top, static_cast<unsigned>(wd),
                             static_cast<unsigned>(ht), AllPlanes, ZPixmap);
    if (!buf->image) {
      char* data = static_cast<char*>(std::calloc(static_cast<size_t>(wd) * ht, 4));
      if (data)
        buf->image = XCreateImage(g.dpy, g.visual, static_cast<unsigned>(g.depth), ZPixmap, 0, data,
                                  static_cast<unsigned>(wd), static_cast<unsigned>(ht), 32, 0);
      if (!buf->image) std::free(data);
    }
    if (buf->image && buf->image->bits_per_pixel != 32) {
      XDestroyImage(buf->image);
      buf->image = nullptr;
    }
  }
  if (!buf->image) {
    delete buf;
    return 0;
  }
  ps->surface.bits = reinterpret_cast<uint32_t*>(buf->image->data);
  ps->surface.width = wd;
  ps->surface.height = ht;
  ps->surface.stride = buf->image->bytes_per_line / 4;
  ps->internal = buf;
  return 1;
}

BOOL EndPaint(HWND hwnd, PaintStruct* ps) {
  if (!ps || !ps->internal) return 1;
  auto* buf = static_cast<PaintBuffer*>(ps->internal);
  ps->internal = nullptr;
  Win* w = Get(hwnd);
  const Rect r = ps->paint_rect;
  if (w) {
    if (buf->shm) {
      XShmPutImage(g.dpy, w->xid, g.gc, buf->image, 0, 0, r.left, r.top, static_cast<unsigned>(r.Width()),
                   static_cast<unsigned>(r.Height()), False);
      // The segment is reused, but the next paint waits for the server anyway (see
      // put_pending): no round trip here.
      XFlush(g.dpy);
      if (g.shm_segment) g.shm_segment->put_pending = true;
    } else {
      XPutImage(g.dpy, w->xid, g.gc, buf->image, 0, 0, r.left, r.top, static_cast<unsigned>(r.Width()),
                static_cast<unsigned>(r.Height()));
      XFlush(g.dpy);
    }
  }
  if (buf->shm) {
    if (g.shm_segment) g.shm_segment->in_use = false;
  } else {
    XDestroyImage(buf->image);
  }
  delete buf;
  return 1;
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN: return g.dpy ? DisplayWidth(g.dpy, g.screen) : 0;
    case SM_CYSCREEN: return g.dpy ? DisplayHeight(g.dpy, g.screen) : 0;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    default: return 0;
  }
}

uint32_t GetSysColor(int index) {
  switch (index) {
    case COLOR_WINDOW: return 0xFFFFFF;
    case COLOR_WINDOWTEXT: return 0x000000;
    case COLOR_BTNFACE: return 0xF0F0F0;
    case COLOR_BTNSHADOW: return 0xA0A0A0;
    case COLOR_BTNTEXT: return 0x000000;
    case COLOR_BTNHIGHLIGHT: return 0xFFFFFF;
    case COLOR_3DDKSHADOW: return 0x696969;
    default: return 0x000000;
  }
}

bool IsThemeActive() {
  if (g_theme_override >= 0) return g_theme_override != 0;
  // A desktop with a window manager is the styled desktop users expect; a bare X server is the
  // classic one.
  return g.dpy && WindowManagerRunning();
}

void SetThemeActiveForTesting(int active) { g_theme_override = active; }

int GetStartupShowCommand() { return g_startup_show >= 0 ? g_startup_show : SW_SHOWDEFAULT; }
void SetStartupShowCommandForTesting(int cmd) { g_startup_show = cmd; }

}  // namespace plat
