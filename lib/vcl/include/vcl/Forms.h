// Forms and the application object: the main window with its form description, placement and
// close handling, and the message loop with its exception guard.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "vcl/Controls.h"

namespace vcl {

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter,
                 poDesktopCenter, poMainFormCenter, poOwnerFormCenter };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TCloseAction { caNone, caHide, caFree, caMinimize };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

// An icon: the bytes of a whole .ico file.
class TIcon {
 public:
  std::vector<uint8_t> Data;
  bool Empty() const { return Data.empty(); }
};

// Where a window of w x h goes on a screen of sw x sh when centred: each coordinate the
// truncated half of the difference, never below 0.
plat::Point CenterOnScreen(int sw, int sh, int w, int h);
// Scales a layout value by m / d, rounding halves away from zero (MulDiv).
int MulDiv(int v, int m, int d);

class TCustomForm : public TWinControl {
 public:
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;
  VCL_CLASS_NAME(TCustomForm)

  TFormBorderStyle BorderStyle = bsSizeable;
  TPosition Position = poDesigned;
  TWindowState WindowState = wsNormal;
  bool AutoSize = false;
  int PixelsPerInch = 96;
  int TextHeight = 13;
  TBrush Brush;
  TIcon Icon;
  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  TNotifyEvent OnDestroy;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  TWinControl* ActiveControl() const { return active_control_; }
  void SetActiveControl(TWinControl* c);
  void FocusControl(TWinControl* c);
  // Tab to the next control that takes the focus.
  void SelectNext(TWinControl* current, bool forward, bool check_tab_stop);

  void Show();
  void Hide();
  void Close();
  virtual bool CloseQuery();
  void SetCaption(const std::u16string& text) override;

  // Reads the form's description (the resource named after its class), creates its
  // components, scales, sizes, creates the window and runs OnCreate.
  void LoadFromResource();
  void LoadFromText(std::string_view text);
  // The part of loading that needs no window: components, properties, events, Loaded,
  // text-height scaling and AutoSize.
  void ReadDescription(std::string_view text);

  // The published parts the reader binds by name.
  template <class T>
  void PublishField(const std::string& name, T** field) {
    fields_[name] = [field](TComponent* c) {
      T* t = dynamic_cast<T*>(c);
      if (!t) return false;
      *field = t;
      return true;
    };
  }
  void PublishMethod(const std::string& name, TNotifyEvent handler) { methods_[name] = std::move(handler); }
  const TNotifyEvent* FindMethod(const std::string& name) const;
  bool BindField(const std::string& name, TComponent* c);
  bool HasField(const std::string& name) const { return fields_.count(name) != 0; }

  // The font's measured text height against the designed one: scales the layout by it.
  void ScaleForTextHeight(int measured);
  // AutoSize: the client area becomes the union of the visible controls.
  void AdjustSize();
  void WndProc(TMessage& Message) override;
  bool ShownOnce() const { return shown_once_; }

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateHandle() override;
  void EraseBackground(TCanvas& canvas, const plat::Rect& r) override;
  void FontChanged() override;

 private:
  void ApplyPlacement();
  TWinControl* active_control_ = nullptr;
  bool shown_once_ = false;
  std::map<std::string, std::function<bool(TComponent*)>, CaseLess> fields_;
  std::map<std::string, TNotifyEvent, CaseLess> methods_;
  friend class TApplication;
};

class TForm : public TCustomForm {
 public:
  using TCustomForm::TCustomForm;
  VCL_CLASS_NAME(TForm)
};

// The application object: one per process, with its hidden window that stands for the
// program on the taskbar.
class TApplication : public TComponent, public plat::WindowProc {
 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;
  VCL_CLASS_NAME(TApplication)

  // Opens the display and makes the application window. Without a display the program ends
  // here with one line on stderr and exit code 1.
  void Initialize();
  const std::string& GetTitle() const { return title_; }
  void SetTitle(const std::string& title);
  // Delphi-style property: Application->Title = "VELOR" sets the application window's text.
  struct TitleProperty {
    TApplication* app;
    TitleProperty& operator=(const std::string& t) {
      app->SetTitle(t);
      return *this;
    }
    operator std::string() const { return app->title_; }
  } Title{this};
  TIcon Icon;
  TCustomForm* MainForm = nullptr;
  bool Terminated = false;
  HWND Handle() const { return handle_; }

  // Creates a form of type T, assigning the reference before its description is read and
  // clearing it again if that fails.
  template <class T>
  void CreateForm(T** reference) {
    T* form = new T(this);
    *reference = form;
    try {
      form->LoadFromResource();
    } catch (...) {
      *reference = nullptr;
      delete form;
      throw;
    }
    if (!MainForm) MainForm = form;
  }
  void Run();
  void Terminate();
  void Minimize();
  void Restore();
  // One message: false when the queue was empty.
  bool ProcessMessage();
  void HandleMessage();
  void Idle();
  // The guard: cancels capture, ignores EAbort, shows anything else.
  void HandleException(const std::exception& e);
  void HandleUnknownException();
  void ShowException(const std::exception& e);
  // Offers a keyboard message to the focused control as a component notification.
  bool IsKeyMsg(const plat::MSG& msg);

  // Every message taken from the queue goes here first (inside the guard); set Handled to keep
  // it from being dispatched.
  std::function<void(plat::MSG& Msg, bool& Handled)> OnMessage;
  // The message box the guard shows; tests replace it.
  std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT type)> MessageBoxFn;
  // Run at Initialize, after the window exists (test builds hook in here).
  static std::vector<std::function<void(TApplication*)>>& StartupHooks();

  TControl* MouseControl() const { return mouse_control_; }
  void ControlDestroying(TControl* c);

  LRESULT OnWindowMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) override;

 private:
  std::string title_;
  HWND handle_ = nullptr;
  TControl* mouse_control_ = nullptr;
  bool minimized_ = false;
};

extern TApplication* Application;

// What property setters know while a description is read: the form whose handlers and
// fields they bind to.
class TReadContext {
 public:
  TCustomForm* Root = nullptr;
};

// The text shown for an exception: its message with "." added when the message is not empty
// and its last character sorts after ".".
std::string ExceptionText(const std::string& message);
// The start-up error box's text: "Exception %s in module %s at %p.\r\n%s%s\r\n".
std::string StartupErrorText(const std::string& class_name, const std::string& module,
                             uintptr_t address, const std::string& message);

// The class library's program entry: runs WinMain (the product's main block) inside the
// start-up guard, shows the start-up error box, finalises, and returns the exit code.
int RunProgram(int (*win_main)());

}  // namespace vcl

// The product's main block.
int WinMain();
