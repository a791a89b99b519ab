// Forms and the application object: placement, close handling, the message loop and its
// exception guard, and the program entry's start-up guard.
#include "vcl/Forms.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vcl {

TApplication* Application = nullptr;

namespace {
// The application object exists from the class library's start, as on the original platform;
// its window comes with Initialize, once a display is known to be there.
struct ApplicationInit {
  ApplicationInit() {
    if (!Application) Application = new TApplication(nullptr);
  }
} g_application_init;
}  // namespace

plat::Point CenterOnScreen(int sw, int sh, int w, int h) {
  return plat::Point{std::max(0, (sw - w) / 2), std::max(0, (sh - h) / 2)};
}

int MulDiv(int v, int m, int d) {
  if (d == 0) return -1;
  const long long p = static_cast<long long>(v) * m;
  const long long half = (d > 0 ? d : -d) / 2;
  const long long r = (p >= 0) == (d > 0) ? (p + (p >= 0 ? half : -half)) / d : (p + (p >= 0 ? half : -half)) / d;
  return static_cast<int>(r);
}

std::string ExceptionText(const std::string& message) {
  // The last character compared as a one-character string: ".", "!", ",", "-", ")" and the
  // space sort at or before "." and get no full stop. Bytes of a multi-byte character all sort
  // after it.
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

std::string StartupErrorText(const std::string& class_name, const std::string& module, uintptr_t address,
                             const std::string& message) {
  char addr[16];
  std::snprintf(addr, sizeof addr, "%08X", static_cast<unsigned>(address & 0xFFFFFFFFu));
  const bool dot = !message.empty() && static_cast<unsigned char>(message.back()) > '.';
  return "Exception " + class_name + " in module " + module + " at " + addr + ".\r\n" + message +
         (dot ? "." : "") + "\r\n";
}

// ---- TCustomForm ----

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner) {
  visible_ = false;
  Brush.Color = clBtnFace;
}

TCustomForm::~TCustomForm() {
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
    }
  }
  DestroyComponents();
  if (Application && Application->MainForm == this) Application->MainForm = nullptr;
}

void TCustomForm::SetActiveControl(TWinControl* c) { active_control_ = c; }

void TCustomForm::FocusControl(TWinControl* c) {
  if (!c) return;
  active_control_ = c == this ? nullptr : c;
  if (handle_ && plat::IsWindowVisible(handle_) && c->CanFocus()) plat::SetFocus(c->Handle());
}

void TCustomForm::SelectNext(TWinControl* current, bool forward, bool check_tab_stop) {
  if (TWinControl* next = FindNextControl(current, forward, check_tab_stop)) FocusControl(next);
}

void TCustomForm::SetCaption(const std::u16string& text) {
  caption_ = text;
  if (handle_) plat::SetWindowText(handle_, plat::Utf16ToUtf8(text));
}

void TCustomForm::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  using namespace plat;
  p.Style = WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  switch (BorderStyle) {
    case bsNone: p.Style |= WS_POPUP; break;
    case bsDialog: p.Style |= WS_POPUP | WS_CAPTION | WS_SYSMENU; p.ExStyle |= WS_EX_DLGMODALFRAME; break;
    default: p.Style |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX; break;
  }
  p.ExStyle |= WS_EX_CONTROLPARENT;
  p.ClassStyle = CS_DBLCLKS;
  // A popup form is owned by the application window, which holds the taskbar entry.
  p.Parent = Application ? Application->Handle() : nullptr;
}

void TCustomForm::CreateHandle() {
  TWinControl::CreateHandle();
  if (!Icon.Empty()) plat::SetWindowIconFromIco(handle_, Icon.Data.data(), Icon.Data.size());
}

void TCustomForm::EraseBackground(TCanvas& canvas, const plat::Rect& r) {
  // A clear brush erases nothing: the window keeps what its surface held.
  canvas.Brush = Brush;
  canvas.FillRect(r);
}

void TCustomForm::FontChanged() {
  for (TControl* c : controls_) c->ParentFontChanged();
  Invalidate();
}

void TCustomForm::ApplyPlacement() {
  if (Position == poScreenCenter || Position == poDesktopCenter) {
    const plat::Point p = CenterOnScreen(plat::GetSystemMetrics(plat::SM_CXSCREEN),
                                         plat::GetSystemMetrics(plat::SM_CYSCREEN), width_, height_);
    SetBounds(p.x, p.y, width_, height_);
  }
}

void TCustomForm::Show() {
  visible_ = true;
  HandleNeeded();
  if (!shown_once_) {
    if (OnShow) OnShow(this);
    ApplyPlacement();  // first show only; later shows keep the window where it is
    shown_once_ = true;
  }
  const int cmd = WindowState == wsMaximized ? plat::SW_SHOWMAXIMIZED
                  : WindowState == wsMinimized ? plat::SW_SHOWMINNOACTIVE
                                               : plat::SW_SHOWNORMAL;
  plat::ShowWindow(handle_, cmd);
  if (cmd == plat::SW_SHOWMINNOACTIVE) return;
  if (!active_control_ || !active_control_->CanFocus()) active_control_ = FindNextControl(nullptr, true, true);
  FocusControl(active_control_ ? active_control_ : this);
}

void TCustomForm::Hide() {
  visible_ = false;
  if (handle_) plat::ShowWindow(handle_, plat::SW_HIDE);
}

bool TCustomForm::CloseQuery() {
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}

void TCustomForm::Close() {
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  if (OnClose) OnClose(this, action);
  if (action == caNone) return;
  // Closing the main form ends the application; the window stays on screen until the loop ends.
  if (Application && Application->MainForm == this) {
    Application->Terminate();
    return;
  }
  switch (action) {
    case caHide: Hide(); break;
    case caMinimize: if (handle_) plat::ShowWindow(handle_, plat::SW_MINIMIZE); break;
    case caFree: if (handle_) plat::PostMessage(handle_, CM_BASE + 33, 0, 0); break;  // CM_RELEASE
    default: break;
  }
}

const TNotifyEvent* TCustomForm::FindMethod(const std::string& name) const {
  auto it = methods_.find(name);
  return it == methods_.end() ? nullptr : &it->second;
}

bool TCustomForm::BindField(const std::string& name, TComponent* c) {
  auto it = fields_.find(name);
  return it != fields_.end() && it->second(c);
}

void TCustomForm::ScaleForTextHeight(int measured) {
  if (measured <= 0 || TextHeight <= 0 || measured == TextHeight) return;
  const int cw = MulDiv(ClientWidth(), measured, TextHeight), ch = MulDiv(ClientHeight(), measured, TextHeight);
  for (TControl* c : controls_) c->ScaleBy(measured, TextHeight);
  SetClientSize(cw, ch);
  TextHeight = measured;
}

void TCustomForm::AdjustSize() {
  if (!AutoSize) return;
  int w = 0, h = 0;
  bool any = false;
  for (TControl* c : controls_) {
    if (!c->Visible()) continue;
    w = std::max(w, c->Left() + c->Width());
    h = std::max(h, c->Top() + c->Height());
    any = true;
  }
  if (any) SetClientSize(w, h);
}

void TCustomForm::WndProc(TMessage& m) {
  using namespace plat;
  switch (m.Msg) {
    case WM_CLOSE:
      Close();
      return;
    case WM_QUERYENDSESSION:
      m.Result = CloseQuery() ? 1 : 0;
      return;
    case WM_ACTIVATE:
      if (LOWORD(m.WParam) != WA_INACTIVE) {
        TWinControl* target = active_control_ && active_control_->CanFocus() ? active_control_ : this;
        plat::SetFocus(target->Handle());
      }
      return;
    case WM_MOVE:
      if (parent_ == nullptr) {
        left_ = GET_X_LPARAM(m.LParam);
        top_ = GET_Y_LPARAM(m.LParam);
      }
      return;
    case WM_SYSCOMMAND:
      if ((m.WParam & 0xFFF0) == SC_MINIMIZE && Application && Application->MainForm == this) {
        Application->Minimize();
        return;
      }
      break;
    case CM_DIALOGKEY: {
      const int vk = static_cast<int>(m.WParam);
      TWinControl* cur = active_control_;
      if (vk == VK_TAB) {
        SelectNext(cur, GetKeyState(VK_SHIFT) >= 0, true);
        m.Result = 1;
        return;
      }
      if (vk == VK_LEFT || vk == VK_UP || vk == VK_RIGHT || vk == VK_DOWN) {
        SelectNext(cur, vk == VK_RIGHT || vk == VK_DOWN, false);
        m.Result = 1;
        return;
      }
      m.Result = 0;
      return;
    }
    case CM_BASE + 33:  // CM_RELEASE: a caFree close, done once the message is handled
      delete this;
      return;
    default:
      break;
  }
  TWinControl::WndProc(m);
}

// ---- TApplication ----

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}

TApplication::~TApplication() {
  DestroyComponents();
  if (handle_) {
    plat::SetWindowProc(handle_, nullptr);
    if (plat::IsInitialized()) plat::DestroyWindow(handle_);
    handle_ = nullptr;
  }
  if (Application == this) Application = nullptr;
}

std::vector<std::function<void(TApplication*)>>& TApplication::StartupHooks() {
  static std::vector<std::function<void(TApplication*)>> hooks;
  return hooks;
}

void TApplication::Initialize() {
  std::string error;
  if (!plat::Initialize(&error)) {
    std::string prog = plat::GetModuleFileName();
    if (auto s = prog.rfind('/'); s != std::string::npos) prog.erase(0, s + 1);
    std::fprintf(stderr, "%s: %s\n", prog.empty() ? "Project1" : prog.c_str(), error.c_str());
    std::exit(1);
  }
  RunRegistrars();
  if (!handle_) {
    // The taskbar window: zero size at the screen centre, never seen itself.
    plat::CreateParams cp;
    cp.class_name = "TApplication";
    cp.text = title_;
    cp.style = 0x84CA0000u;  // popup, clip-siblings, caption, system menu, minimize box
    const int cx = plat::GetSystemMetrics(plat::SM_CXSCREEN) / 2, cy = plat::GetSystemMetrics(plat::SM_CYSCREEN) / 2;
    cp.rect = plat::Rect{cx, cy, cx, cy};
    cp.proc = this;
    handle_ = plat::CreateWindowEx(cp);
    if (!handle_) throw EOutOfResources("Error creating window");
    const uint8_t* ico = nullptr;
    size_t size = 0;
    if (FindResource("MAINICON", &ico, &size)) {
      Icon.Data.assign(ico, ico + size);
      plat::SetWindowIconFromIco(handle_, ico, size);
    }
  }
  for (auto& hook : StartupHooks()) hook(this);
}

void TApplication::SetTitle(const std::string& title) {
  title_ = title;
  if (handle_) plat::SetWindowText(handle_, title);
}

void TApplication::Terminate() { plat::PostQuitMessage(0); }

void TApplication::Minimize() {
  minimized_ = true;
  if (handle_ && !plat::IsIconic(handle_)) plat::ShowWindow(handle_, plat::SW_SHOWMINNOACTIVE);
  if (MainForm && MainForm->HandleAllocated()) plat::ShowWindow(MainForm->HandleIfAllocated(), plat::SW_HIDE);
}

void TApplication::Restore() {
  if (!minimized_) return;
  minimized_ = false;
  if (handle_ && plat::IsIconic(handle_)) plat::ShowWindow(handle_, plat::SW_RESTORE);
  if (MainForm) {
    if (MainForm->WindowState == wsMinimized) MainForm->WindowState = wsNormal;
    MainForm->Show();  // shows again, the focus back on the control that last had it
  }
}

void TApplication::Run() {
  if (!MainForm) return;
  // The start-up show state: maximized and minimized-not-active are honoured.
  const int cmd = plat::GetStartupShowCommand();
  if (cmd == plat::SW_SHOWMAXIMIZED) MainForm->WindowState = wsMaximized;
  if (cmd == plat::SW_SHOWMINNOACTIVE) MainForm->WindowState = wsMinimized;
  if (MainForm->WindowState == wsMinimized) {
    Minimize();
  } else {
    plat::ShowWindow(handle_, plat::SW_SHOWNOACTIVATE);
    MainForm->Show();
  }
  do {
    try {
      HandleMessage();
    } catch (const std::exception& e) {
      HandleException(e);
    } catch (...) {
      HandleUnknownException();
    }
  } while (!Terminated);
  // The windows the application owns leave the screen before anything is destroyed.
  for (int i = 0; i < ComponentCount(); ++i)
    if (auto* f = dynamic_cast<TCustomForm*>(Components(i)); f && f->HandleAllocated())
      plat::ShowWindow(f->HandleIfAllocated(), plat::SW_HIDE);
}

bool TApplication::IsKeyMsg(const plat::MSG& msg) {
  using namespace plat;
  if (msg.message < WM_KEYDOWN || msg.message > WM_SYSCHAR) return false;
  TWinControl* c = TWinControl::FindControl(msg.hwnd);
  if (!c) return false;
  return c->Perform(CN_BASE + msg.message, msg.wParam, msg.lParam) != 0;
}

bool TApplication::ProcessMessage() {
  plat::MSG msg;
  if (!plat::PeekMessage(&msg, plat::PM_REMOVE)) return false;
  if (msg.message == plat::WM_QUIT) {
    Terminated = true;
    return true;
  }
  bool handled = false;
  if (OnMessage) OnMessage(msg, handled);
  if (!handled && !IsKeyMsg(msg)) {
    plat::TranslateMessage(&msg);
    plat::DispatchMessage(&msg);
  }
  return true;
}

void TApplication::HandleMessage() {
  if (!ProcessMessage()) {
    Idle();
    if (!Terminated) plat::WaitMessage();
  }
}

void TApplication::Idle() {
  plat::Point pt;
  TControl* target = nullptr;
  if (plat::GetCursorPos(&pt)) {
    const HWND h = plat::WindowFromPoint(pt);
    if (TWinControl* w = TWinControl::FindControl(h)) {
      plat::Point cp = pt;
      plat::ScreenToClient(h, &cp);
      TControl* inner = w->ControlAtPos(cp, true);  // disabled controls count
      target = inner ? inner : w;
    }
  }
  if (target != mouse_control_) {
    TControl* old = mouse_control_;
    mouse_control_ = target;
    if (old) old->Perform(CM_MOUSELEAVE);
    if (target && mouse_control_ == target) target->Perform(CM_MOUSEENTER);
  }
}

void TApplication::ControlDestroying(TControl* c) {
  if (mouse_control_ == c) mouse_control_ = nullptr;
}

void TApplication::HandleException(const std::exception& e) {
  if (plat::IsInitialized())
    if (HWND c = plat::GetCapture()) plat::SendMessage(c, plat::WM_CANCELMODE, 0, 0);
  if (dynamic_cast<const EAbort*>(&e)) return;
  ShowException(e);
}

void TApplication::HandleUnknownException() {
  HandleException(Exception("Unknown exception"));
}

void TApplication::ShowException(const std::exception& e) {
  const std::string text = ExceptionText(e.what());
  const UINT type = plat::MB_OK | plat::MB_ICONSTOP;
  if (MessageBoxFn)
    MessageBoxFn(handle_, text, title_, type);
  else
    plat::MessageBox(handle_, text, title_, type);
}

LRESULT TApplication::OnWindowMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  using namespace plat;
  try {
    switch (msg) {
      case WM_SIZE:
        if (wparam == SIZE_MINIMIZED && !minimized_) Minimize();
        if (wparam == SIZE_RESTORED && minimized_) Restore();
        return 0;
      case WM_ACTIVATE:
        // Activating the taskbar entry hands the focus to the main window.
        if (LOWORD(wparam) != WA_INACTIVE && MainForm && MainForm->HandleAllocated() &&
            IsWindowVisible(MainForm->HandleIfAllocated()) && IsWindowEnabled(MainForm->HandleIfAllocated())) {
          TWinControl* ac = MainForm->ActiveControl();
          plat::SetFocus(ac && ac->CanFocus() ? ac->Handle() : MainForm->Handle());
          return 0;
        }
        break;
      case WM_CLOSE:
        if (MainForm) MainForm->Close();
        return 0;
      case WM_SYSCOMMAND:
        switch (wparam & 0xFFF0) {
          case SC_CLOSE: if (MainForm) MainForm->Close(); return 0;
          case SC_MINIMIZE: Minimize(); return 0;
          case SC_RESTORE: Restore(); return 0;
          default: return 0;
        }
      case WM_QUERYENDSESSION:
        return MainForm ? (MainForm->CloseQuery() ? 1 : 0) : 1;
      case WM_ENDSESSION:
        if (wparam) Terminated = true;
        return 0;
      default:
        break;
    }
  } catch (const std::exception& e) {
    HandleException(e);
    return 0;
  }
  return DefWindowProc(hwnd, msg, wparam, lparam);
}

// ---- the program entry ----

int RunProgram(int (*win_main)()) {
  int code = 0;
  try {
    code = win_main();
  } catch (const std::exception& e) {
    const auto* ve = dynamic_cast<const Exception*>(&e);
    std::string module = plat::GetModuleFileName();
    if (auto s = module.rfind('/'); s != std::string::npos) module.erase(0, s + 1);
    const uintptr_t addr = ve ? reinterpret_cast<uintptr_t>(ve->Address) - plat::GetModuleBase() : 0;
    const std::string text = StartupErrorText(ve ? ve->ClassName() : "Exception", module, addr, e.what());
    if (plat::IsInitialized())
      plat::MessageBox(nullptr, text, "Application Error", plat::MB_TASKMODAL | plat::MB_ICONERROR);
    else
      std::fprintf(stderr, "%s", text.c_str());
    code = 1;
  }
  // Finalisation: the forms and their controls, then the application window, then the display.
  delete Application;
  Application = nullptr;
  plat::Shutdown();
  return code;
}

}  // namespace vcl
