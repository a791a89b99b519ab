// Controls and windowed controls: bounds, visibility, painting of windowless children, focus,
// tab order, and the message handling every window shares.
#include "vcl/Controls.h"

#include <algorithm>
#include <unordered_map>

#include "vcl/Forms.h"

namespace vcl {
namespace {

std::unordered_map<HWND, TWinControl*>& HandleMap() {
  static std::unordered_map<HWND, TWinControl*> m;
  return m;
}

}  // namespace

// ---- TControl ----

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

TControl::~TControl() {
  if (Application) Application->ControlDestroying(this);
  if (parent_) parent_->RemoveControl(this);
}

void TControl::SetParent(TWinControl* parent) {
  if (parent_ == parent) return;
  if (parent_) parent_->RemoveControl(this);
  if (parent) {
    parent->InsertControl(this);
    if (ParentFont) Font.Assign(parent->Font);
  }
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  if (!Loading && parent_ && visible_ && !IsWindowed()) Invalidate();  // the old place
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (!Loading && !IsWindowed()) Invalidate();
}

void TControl::SetVisible(bool v) {
  if (visible_ == v) return;
  visible_ = v;
  if (!Loading && parent_) parent_->Invalidate();
}

void TControl::SetEnabled(bool v) {
  if (enabled_ == v) return;
  enabled_ = v;
  Perform(CM_ENABLEDCHANGED);
  if (!Loading) Invalidate();
}

void TControl::SetCaption(const std::u16string& text) {
  if (caption_ == text) return;
  caption_ = text;
  Perform(CM_TEXTCHANGED);
  if (!Loading) Invalidate();
}

LRESULT TControl::Perform(UINT msg, WPARAM wparam, LPARAM lparam) {
  TMessage m{msg, wparam, lparam, 0};
  WndProc(m);
  return m.Result;
}

void TControl::WndProc(TMessage& Message) { Dispatch(Message); }
void TControl::Dispatch(TMessage&) {}

void TControl::Invalidate() {}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::ScaleBy(int m, int d) {
  const int l = MulDiv(left_, m, d), t = MulDiv(top_, m, d);
  SetBounds(l, t, MulDiv(left_ + width_, m, d) - l, MulDiv(top_ + height_, m, d) - t);
}

void TControl::Loaded() {
  if (ParentFont && parent_) Font.Assign(parent_->Font);
}

void TControl::ParentFontChanged() {
  if (ParentFont && parent_) {
    Font.Assign(parent_->Font);
    FontChanged();
  }
}

TCustomForm* TControl::ParentForm() const {
  const TControl* c = this;
  while (c->parent_) c = c->parent_;
  return dynamic_cast<TCustomForm*>(const_cast<TControl*>(c));
}

void TGraphicControl::Invalidate() {
  if (parent_ && parent_->HandleAllocated()) {
    const plat::Rect r = BoundsRect();
    plat::InvalidateRect(parent_->HandleIfAllocated(), &r, 0);
  }
}

// ---- TWinControl ----

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  DestroyComponents();
  // Children that this control parents but does not own go with it.
  while (!controls_.empty()) {
    TControl* c = controls_.back();
    RemoveControl(c);
    delete c;
  }
  if (TCustomForm* f = ParentForm(); f && f != this && f->ActiveControl() == this) f->SetActiveControl(nullptr);
  DestroyHandle();
}

HWND TWinControl::Handle() {
  if (!handle_) CreateHandle();
  return handle_;
}

void TWinControl::InsertControl(TControl* c) {
  controls_.push_back(c);
  c->parent_ = this;
  if (auto* w = dynamic_cast<TWinControl*>(c); w && w->tab_order_ < 0) {
    int n = 0;
    for (TControl* o : controls_)
      if (o != c && o->IsWindowed()) ++n;
    w->tab_order_ = n;
  }
}

void TWinControl::RemoveControl(TControl* c) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), c), controls_.end());
  c->parent_ = nullptr;
}

void TWinControl::SetTabOrder(int order) { tab_order_ = order; }

std::vector<TWinControl*> TWinControl::TabList() const {
  std::vector<TWinControl*> list;
  for (TControl* c : controls_)
    if (auto* w = dynamic_cast<TWinControl*>(c)) list.push_back(w);
  std::stable_sort(list.begin(), list.end(), [](TWinControl* a, TWinControl* b) { return a->tab_order_ < b->tab_order_; });
  return list;
}

TWinControl* TWinControl::FindNextControl(TWinControl* current, bool forward, bool check_tab_stop) const {
  std::vector<TWinControl*> list = TabList();
  if (list.empty()) return nullptr;
  if (!forward) std::reverse(list.begin(), list.end());
  auto it = std::find(list.begin(), list.end(), current);
  size_t start = it == list.end() ? list.size() - 1 : static_cast<size_t>(it - list.begin());
  for (size_t k = 1; k <= list.size(); ++k) {
    TWinControl* c = list[(start + k) % list.size()];
    if (c == current) continue;
    if (c->visible_ && c->enabled_ && (!check_tab_stop || c->TabStop)) return c;
  }
  return nullptr;
}

bool TWinControl::Focused() const { return handle_ && plat::GetFocus() == handle_; }

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c; c = c->parent_)
    if (!c->visible_ || !c->enabled_) return false;
  return true;
}

void TWinControl::SetFocus() {
  if (TCustomForm* f = ParentForm()) f->FocusControl(this);
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  const bool changed = left != left_ || top != top_ || width != width_ || height != height_;
  TControl::SetBounds(left, top, width, height);
  if (changed && handle_) plat::SetWindowPos(handle_, nullptr, left_, top_, width_, height_, plat::SWP_NOZORDER | plat::SWP_NOACTIVATE);
}

void TWinControl::SetVisible(bool v) {
  if (visible_ == v) return;
  visible_ = v;
  if (handle_ && parent_) plat::ShowWindow(handle_, v ? plat::SW_SHOWNA : plat::SW_HIDE);
}

void TWinControl::SetEnabled(bool v) {
  TControl::SetEnabled(v);
  if (handle_) plat::EnableWindow(handle_, v);
}

void TWinControl::Invalidate() {
  if (handle_) plat::InvalidateRect(handle_, nullptr, 1);
}

void TWinControl::Update() {
  if (handle_) plat::UpdateWindow(handle_);
}

void TWinControl::ScaleBy(int m, int d) {
  for (TControl* c : controls_) c->ScaleBy(m, d);
  if (parent_) TControl::ScaleBy(m, d);
}

TControl* TWinControl::ControlAtPos(plat::Point pt, bool allow_disabled) const {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    TControl* c = *it;
    if (c->IsWindowed() || !c->visible_ || (!allow_disabled && !c->enabled_)) continue;
    if (c->BoundsRect().Contains(pt)) return c;
  }
  return nullptr;
}

TWinControl* TWinControl::FindControl(HWND hwnd) {
  auto it = HandleMap().find(hwnd);
  return it == HandleMap().end() ? nullptr : it->second;
}

void TWinControl::CreateParams(TCreateParams& p) {
  p.ClassName = ClassName();
  p.Text = plat::Utf16ToUtf8(caption_);
  p.Style = plat::WS_CHILD | plat::WS_CLIPSIBLINGS | (TabStop ? plat::WS_TABSTOP : 0u) |
            (visible_ ? plat::WS_VISIBLE : 0u) | (enabled_ ? 0u : plat::WS_DISABLED);
  p.X = left_;
  p.Y = top_;
  p.Width = width_;
  p.Height = height_;
  p.Parent = parent_ ? parent_->Handle() : nullptr;
}

void TWinControl::CreateHandle() {
  TCreateParams p;
  CreateParams(p);
  if (handle_) return;  // the parent's creation may already have made this one
  plat::CreateParams cp;
  cp.class_name = p.ClassName;
  cp.text = p.Text;
  cp.style = p.Style;
  cp.ex_style = p.ExStyle;
  cp.class_style = p.ClassStyle;
  cp.rect = plat::Rect{p.X, p.Y, p.X + p.Width, p.Y + p.Height};
  if (p.Style & plat::WS_CHILD)
    cp.parent = p.Parent;
  else
    cp.owner = p.Parent;
  cp.proc = this;
  handle_ = plat::CreateWindowEx(cp);
  if (!handle_) throw EOutOfResources("Error creating window");
  HandleMap()[handle_] = this;
  for (TControl* c : controls_)
    if (auto* w = dynamic_cast<TWinControl*>(c)) w->HandleNeeded();
}

void TWinControl::DestroyHandle() {
  if (!handle_) return;
  const HWND h = handle_;
  handle_ = nullptr;
  HandleMap().erase(h);
  plat::SetWindowProc(h, nullptr);
  if (plat::IsInitialized()) plat::DestroyWindow(h);
}

LRESULT TWinControl::OnWindowMessage(HWND, UINT msg, WPARAM wparam, LPARAM lparam) {
  TMessage m{msg, wparam, lparam, 0};
  // The guard every message passes: an exception never leaves a window procedure.
  try {
    WndProc(m);
  } catch (const std::exception& e) {
    if (Application) Application->HandleException(e);
  } catch (...) {
    if (Application) Application->HandleUnknownException();
  }
  return m.Result;
}

void TWinControl::WndProc(TMessage& Message) { Dispatch(Message); }

void TWinControl::DefaultHandler(TMessage& Message) {
  Message.Result = handle_ ? plat::DefWindowProc(handle_, Message.Msg, Message.WParam, Message.LParam) : 0;
}

void TWinControl::EraseBackground(TCanvas& canvas, const plat::Rect& r) {
  canvas.Brush.Style = bsSolid;
  canvas.Brush.Color = Color;
  canvas.FillRect(r);
}

void TWinControl::PaintWindow(TCanvas&) {}

void TWinControl::PaintHandler() {
  plat::PaintStruct ps;
  if (!plat::BeginPaint(handle_, &ps)) throw EOutOfResources("Out of system resources");
  struct EndGuard {
    HWND h;
    plat::PaintStruct* ps;
    ~EndGuard() { plat::EndPaint(h, ps); }
  } guard{handle_, &ps};
  const plat::Rect pr = ps.paint_rect;
  if (pr.Empty()) return;
  TCanvas canvas(ps.surface, plat::Point{pr.left, pr.top});
  canvas.Font.Assign(Font);
  if (ps.erase) EraseBackground(canvas, pr);
  PaintWindow(canvas);
  // Windowless children, in creation order, each clipped to itself.
  for (TControl* c : std::vector<TControl*>(controls_)) {
    auto* gc = dynamic_cast<TGraphicControl*>(c);
    if (!gc || !gc->Visible()) continue;
    const plat::Rect b = gc->BoundsRect();
    const plat::Rect ix{std::max(b.left, pr.left), std::max(b.top, pr.top), std::min(b.right, pr.right),
                        std::min(b.bottom, pr.bottom)};
    if (ix.Empty()) continue;
    plat::Surface32 sub;
    sub.bits = ps.surface.Row(ix.top - pr.top) + (ix.left - pr.left);
    sub.width = ix.Width();
    sub.height = ix.Height();
    sub.stride = ps.surface.stride;
    TCanvas cc(sub, plat::Point{ix.left - b.left, ix.top - b.top});
    cc.Font.Assign(gc->Font);
    gc->Paint(cc);
  }
}

void TWinControl::Dispatch(TMessage& m) {
  using namespace plat;
  switch (m.Msg) {
    case WM_PAINT:
      PaintHandler();
      return;
    case WM_SETFOCUS:
      if (TCustomForm* f = ParentForm(); f && f != this) f->SetActiveControl(this);
      DoEnter();
      return;
    case WM_KILLFOCUS:
      DoExit();
      return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      const TMouseButton b = m.Msg == WM_RBUTTONDOWN ? mbRight : m.Msg == WM_MBUTTONDOWN ? mbMiddle : mbLeft;
      MouseDown(b, GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
      return;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      const TMouseButton b = m.Msg == WM_RBUTTONUP ? mbRight : m.Msg == WM_MBUTTONUP ? mbMiddle : mbLeft;
      MouseUp(b, GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
      return;
    }
    case WM_MOUSEMOVE:
      MouseMove(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
      return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      int key = static_cast<int>(m.WParam);
      KeyDown(key);
      if (key == 0) return;
      break;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      int key = static_cast<int>(m.WParam);
      KeyUp(key);
      if (key == 0) return;
      break;
    }
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN: {
      // Navigation keys go to the form's dialog-key handling unless the control wants them.
      const int vk = static_cast<int>(m.WParam);
      const bool nav = vk == VK_TAB || vk == VK_LEFT || vk == VK_RIGHT || vk == VK_UP || vk == VK_DOWN ||
                       vk == VK_RETURN || vk == VK_ESCAPE;
      m.Result = 0;
      if (nav && !WantsKey(vk))
        if (TCustomForm* f = ParentForm(); f && f->Perform(CM_DIALOGKEY, m.WParam, m.LParam) != 0) m.Result = 1;
      return;
    }
    case CN_KEYUP:
    case CN_CHAR:
    case CN_SYSCHAR:
      m.Result = 0;
      return;
    case CM_MOUSEENTER:
    case CM_MOUSELEAVE:
    case CM_DIALOGKEY:
    case CM_ENABLEDCHANGED:
    case CM_TEXTCHANGED:
      return;
    default:
      break;
  }
  DefaultHandler(m);
}


}  // namespace vcl
