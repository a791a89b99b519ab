// Controls: windowless ones painted by their parent, windowed ones with a window of their own,
// focus and tab order, and the messages the class library adds to the system's.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "vcl/Classes.h"
#include "vcl/Graphics.h"

namespace vcl {

using plat::HWND;
using plat::LPARAM;
using plat::LRESULT;
using plat::UINT;
using plat::WPARAM;

// The class library's own notifications: control messages (CM_) and component notifications,
// the reflected key messages (CN_ = 0xBC00 + the system message).
enum : UINT {
  CM_BASE = 0xB000,
  CM_ENABLEDCHANGED = CM_BASE + 3,
  CM_FONTCHANGED = CM_BASE + 5,
  CM_TEXTCHANGED = CM_BASE + 18,
  CM_DIALOGKEY = CM_BASE + 22,
  CM_DIALOGCHAR = CM_BASE + 23,
  CM_FOCUSCHANGED = CM_BASE + 24,
  CM_VISIBLECHANGED = CM_BASE + 11,
  CM_MOUSEENTER = CM_BASE + 19,
  CM_MOUSELEAVE = CM_BASE + 20,
  CN_BASE = 0xBC00,
  CN_KEYDOWN = CN_BASE + plat::WM_KEYDOWN,
  CN_KEYUP = CN_BASE + plat::WM_KEYUP,
  CN_CHAR = CN_BASE + plat::WM_CHAR,
  CN_SYSKEYDOWN = CN_BASE + plat::WM_SYSKEYDOWN,
  CN_SYSCHAR = CN_BASE + plat::WM_SYSCHAR,
};

struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};
// The hit-test message: XPos and YPos are screen coordinates.
struct TWMNCHitTest : TMessage {
  int XPos() const { return plat::GET_X_LPARAM(LParam); }
  int YPos() const { return plat::GET_Y_LPARAM(LParam); }
};

// Message handlers selected by number, in the class's Dispatch:
//   BEGIN_MESSAGE_MAP
//     VCL_MESSAGE_HANDLER(WM_NCHITTEST, TWMNCHitTest, WMNCHitTest)
//   END_MESSAGE_MAP(TForm)
#define BEGIN_MESSAGE_MAP                      \
  void Dispatch(::vcl::TMessage& Message) override { \
    switch (Message.Msg) {
#define VCL_MESSAGE_HANDLER(msg, type, method) \
  case msg:                                    \
    method(static_cast<type&>(Message));       \
    break;
#define END_MESSAGE_MAP(base) \
  default:                    \
    base::Dispatch(Message);  \
    break;                    \
    }                         \
    }

enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TAlign { alNone };

class TWinControl;
class TCustomForm;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;
  VCL_CLASS_NAME(TControl)

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  virtual void SetBounds(int left, int top, int width, int height);
  plat::Rect BoundsRect() const { return plat::Rect{left_, top_, left_ + width_, top_ + height_}; }
  virtual int ClientWidth() const { return width_; }
  virtual int ClientHeight() const { return height_; }
  void SetClientWidth(int v) { SetClientSize(v, ClientHeight()); }
  void SetClientHeight(int v) { SetClientSize(ClientWidth(), v); }
  virtual void SetClientSize(int w, int h) { SetBounds(left_, top_, w, h); }

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool v);
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool v);
  const std::u16string& Caption() const { return caption_; }
  virtual void SetCaption(const std::u16string& text);
  void SetCaptionUtf8(const std::string& text) { SetCaption(plat::Utf8ToUtf16(text)); }

  TFont Font;
  bool ParentFont = true;
  TColor Color = clBtnFace;
  bool ParentColor = false;
  int Tag = 0;
  TNotifyEvent OnClick;

  // Sends a message straight to this control's handling.
  LRESULT Perform(UINT msg, WPARAM wparam = 0, LPARAM lparam = 0);
  virtual void Dispatch(TMessage& Message);
  virtual void WndProc(TMessage& Message);
  virtual void Invalidate();
  virtual void Click();
  // Scales position and size by m / d (the form's text-height scaling).
  virtual void ScaleBy(int m, int d);
  virtual bool IsWindowed() const { return false; }
  void Loaded() override;
  TCustomForm* ParentForm() const;
  // The parent's font changed: a control that follows it takes it over.
  void ParentFontChanged();

 protected:
  virtual void FontChanged() { Invalidate(); }
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  std::u16string caption_;
  TWinControl* parent_ = nullptr;
  friend class TWinControl;
};

// A control without a window: its parent paints it.
class TGraphicControl : public TControl {
 public:
  using TControl::TControl;
  VCL_CLASS_NAME(TGraphicControl)
  // Paints in the control's own coordinates; the canvas is clipped to the control.
  virtual void Paint(TCanvas& canvas) = 0;
  void Invalidate() override;
};

// A control with a window of its own (a child window, or a top-level for forms).
class TWinControl : public TControl, public plat::WindowProc {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;
  VCL_CLASS_NAME(TWinControl)

  HWND Handle();  // creates the window when there is none yet
  HWND HandleIfAllocated() const { return handle_; }
  bool HandleAllocated() const { return handle_ != nullptr; }
  void HandleNeeded() { Handle(); }
  bool IsWindowed() const override { return true; }

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int i) const { return controls_[static_cast<size_t>(i)]; }
  void InsertControl(TControl* c);
  void RemoveControl(TControl* c);

  int TabOrder() const { return tab_order_; }
  void SetTabOrder(int order);
  bool TabStop = false;
  // Windowed children in tab order.
  std::vector<TWinControl*> TabList() const;
  // The next control in tab order after `current` (nullptr: the first) that can take the focus.
  TWinControl* FindNextControl(TWinControl* current, bool forward, bool check_tab_stop) const;

  bool Focused() const;
  bool CanFocus() const;
  virtual void SetFocus();

  void SetBounds(int left, int top, int width, int height) override;
  void SetVisible(bool v) override;
  void SetEnabled(bool v) override;
  void Invalidate() override;
  void Update();
  void ScaleBy(int m, int d) override;
  // The control (this, a windowless child, or nullptr) at a point of the client area; disabled
  // controls count when allow_disabled is set.
  TControl* ControlAtPos(plat::Point pt, bool allow_disabled) const;

  void WndProc(TMessage& Message) override;
  // The built-in handling of the messages every window shares; unhandled ones go on to the
  // system's default.
  void Dispatch(TMessage& Message) override;
  // plat::WindowProc: every message for the window comes in here, inside the exception guard.
  LRESULT OnWindowMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) override;
  // Finds the control that owns a window.
  static TWinControl* FindControl(HWND hwnd);

 protected:
  struct TCreateParams {
    std::string ClassName;
    std::string Text;
    uint32_t Style = 0;
    uint32_t ExStyle = 0;
    uint32_t ClassStyle = plat::CS_DBLCLKS;
    int X = 0, Y = 0, Width = 0, Height = 0;
    HWND Parent = nullptr;
  };
  virtual void CreateParams(TCreateParams& params);
  virtual void CreateHandle();
  void DestroyHandle();
  // Paints the window's invalid part: background, Paint, then the windowless children.
  virtual void PaintWindow(TCanvas& canvas);
  virtual void EraseBackground(TCanvas& canvas, const plat::Rect& r);
  virtual void DefaultHandler(TMessage& Message);
  virtual void DoEnter() {}
  virtual void DoExit() {}
  virtual void MouseDown(TMouseButton, int, int) {}
  virtual void MouseUp(TMouseButton, int, int) {}
  virtual void MouseMove(int, int) {}
  virtual void KeyDown(int& /*key*/) {}
  virtual void KeyUp(int& /*key*/) {}
  // Keys a control handles itself rather than leaving to the form (Tab, arrows, Enter, Escape).
  virtual bool WantsKey(int /*vk*/) const { return false; }

  HWND handle_ = nullptr;
  std::vector<TControl*> controls_;
  int tab_order_ = -1;

 private:
  void PaintHandler();
};

}  // namespace vcl
