// The modal message box: a small dialog with a stop sign, the text and an OK button, run in its
// own nested message loop while every other window of the program is disabled.
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "x11_internal.h"

namespace plat {
namespace {

constexpr int kMargin = 12;
constexpr int kIcon = 32;
constexpr int kButtonW = 75;
constexpr int kButtonH = 23;
constexpr int kMaxTextWidth = 420;

void Fill(const Surface32& s, Rect r, uint32_t rgb) {
  r.left = std::max(r.left, 0);
  r.top = std::max(r.top, 0);
  r.right = std::min(r.right, s.width);
  r.bottom = std::min(r.bottom, s.height);
  for (int y = r.top; y < r.bottom; ++y) std::fill(s.Row(y) + r.left, s.Row(y) + r.right, 0xFF000000u | rgb);
}

uint32_t Mix(uint32_t dst, uint32_t rgb, double a) {
  auto ch = [&](int sh) {
    const double d = (dst >> sh) & 0xFF, c = (rgb >> sh) & 0xFF;
    return static_cast<uint32_t>(std::lround(c * a + d * (1 - a))) << sh;
  };
  return 0xFF000000u | ch(16) | ch(8) | ch(0);
}

// A red disc with a white cross, anti-aliased by distance to the edges.
void DrawStopSign(const Surface32& s, int ox, int oy) {
  const double c = kIcon / 2.0, radius = kIcon / 2.0 - 1;
  for (int y = 0; y < kIcon; ++y) {
    const int sy = oy + y;
    if (sy < 0 || sy >= s.height) continue;
    for (int x = 0; x < kIcon; ++x) {
      const int sx = ox + x;
      if (sx < 0 || sx >= s.width) continue;
      const double dx = x + 0.5 - c, dy = y + 0.5 - c;
      const double disc = std::clamp(radius - std::sqrt(dx * dx + dy * dy) + 0.5, 0.0, 1.0);
      if (disc <= 0) continue;
      uint32_t& p = s.Row(sy)[sx];
      p = Mix(p, 0xD42020, disc);
      // The cross: two bars along the diagonals, 2.5 px from the centre line, 9 px long.
      const double d1 = std::abs(dx - dy) / std::sqrt(2.0), d2 = std::abs(dx + dy) / std::sqrt(2.0);
      const double along1 = std::abs(dx + dy) / std::sqrt(2.0), along2 = std::abs(dx - dy) / std::sqrt(2.0);
      double cross = 0;
      if (along1 <= 8) cross = std::max(cross, std::clamp(2.0 - d1 + 0.5, 0.0, 1.0));
      if (along2 <= 8) cross = std::max(cross, std::clamp(2.0 - d2 + 0.5, 0.0, 1.0));
      if (cross > 0) p = Mix(p, 0xFFFFFF, cross * disc);
    }
  }
}

// Splits at \r\n or \n, then wraps each paragraph at spaces to fit the width.
std::vector<std::u16string> LayOut(const Font& font, const std::u16string& text, int max_width) {
  std::vector<std::u16string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(u'\n', start);
    if (end == std::u16string::npos) end = text.size();
    std::u16string para = text.substr(start, end - start);
    if (!para.empty() && para.back() == u'\r') para.pop_back();
    while (font.TextWidth(para) > max_width) {
      size_t cut = para.size();
      while (cut > 0 && font.TextWidth(std::u16string_view(para).substr(0, cut)) > max_width) {
        const size_t sp = para.rfind(u' ', cut - 1);
        cut = (sp == std::u16string::npos || sp == 0) ? cut - 1 : sp;
      }
      if (cut == 0) cut = 1;
      lines.push_back(para.substr(0, cut));
      size_t next = cut;
      while (next < para.size() && para[next] == u' ') ++next;
      para.erase(0, next);
    }
    lines.push_back(para);
    if (end >= text.size()) break;
    start = end + 1;
  }
  while (lines.size() > 1 && lines.back().empty()) lines.pop_back();
  return lines;
}

class MessageBoxWindow : public WindowProc {
 public:
  MessageBoxWindow(std::u16string text, std::shared_ptr<Font> font) : text_(std::move(text)), font_(std::move(font)) {}

  void Layout() {
    const int lh = font_ ? font_->Metrics().height : 13;
    int tw = 0;
    if (font_) {
      lines_ = LayOut(*font_, text_, kMaxTextWidth);
      for (auto& l : lines_) tw = std::max(tw, font_->TextWidth(l));
    }
    const int text_h = std::max(kIcon, static_cast<int>(lines_.size()) * lh);
    width_ = std::max(kMargin * 2 + kIcon + kMargin + tw + kMargin, kButtonW + 2 * kMargin + 80);
    height_ = kMargin * 2 + text_h + kMargin + kButtonH + kMargin;
    button_ = Rect{(width_ - kButtonW) / 2, height_ - kMargin - kButtonH, (width_ + kButtonW) / 2,
                   height_ - kMargin};
  }

  LRESULT OnWindowMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) override {
    switch (msg) {
      case WM_PAINT: {
        PaintStruct ps;
        if (BeginPaint(hwnd, &ps)) {
          Paint(ps);
          EndPaint(hwnd, &ps);
        }
        return 0;
      }
      case WM_KEYDOWN:
        if (wparam == VK_RETURN || wparam == VK_SPACE || wparam == VK_ESCAPE) done = true;
        return 0;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        if (button_.Contains(Point{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)})) {
          pressed_ = true;
          SetCapture(hwnd);
          InvalidateRect(hwnd, &button_, 0);
        }
        return 0;
      case WM_LBUTTONUP:
        if (pressed_) {
          pressed_ = false;
          ReleaseCapture();
          InvalidateRect(hwnd, &button_, 0);
          if (button_.Contains(Point{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)})) done = true;
        }
        return 0;
      case WM_CANCELMODE:
        pressed_ = false;
        break;
      case WM_CLOSE:
        done = true;  // the box is destroyed by its loop, not by the default close
        return 0;
      default:
        break;
    }
    return DefWindowProc(hwnd, msg, wparam, lparam);
  }

  void Paint(const PaintStruct& ps) {
    const Surface32& s = ps.surface;
    const int ox = -ps.paint_rect.left, oy = -ps.paint_rect.top;
    Fill(s, Rect{0, 0, s.width, s.height}, GetSysColor(COLOR_BTNFACE));
    DrawStopSign(s, ox + kMargin * 2, oy + kMargin);
    const Rect clip{0, 0, s.width, s.height};
    if (font_) {
      const int lh = font_->Metrics().height;
      const int text_h = static_cast<int>(lines_.size()) * lh;
      int y = kMargin + std::max(0, (kIcon - text_h) / 2);
      for (auto& l : lines_) {
        font_->Draw(s, ox + kMargin * 3 + kIcon, oy + y, l, GetSysColor(COLOR_WINDOWTEXT), clip);
        y += lh;
      }
    }
    // The OK button: face, bevel, a focus border (it is the default and focused button).
    Rect b = button_;
    b.left += ox, b.right += ox, b.top += oy, b.bottom += oy;
    Fill(s, b, 0x000000);
    Rect in{b.left + 1, b.top + 1, b.right - 1, b.bottom - 1};
    Fill(s, in, pressed_ ? GetSysColor(COLOR_BTNSHADOW) : GetSysColor(COLOR_BTNHIGHLIGHT));
    Rect face{in.left + 1, in.top + 1, in.right - 1, in.bottom - 1};
    if (!pressed_) Fill(s, Rect{in.left + 1, in.bottom - 2, in.right, in.bottom}, GetSysColor(COLOR_BTNSHADOW)),
        Fill(s, Rect{in.right - 2, in.top + 1, in.right, in.bottom}, GetSysColor(COLOR_BTNSHADOW)),
        face = Rect{in.left + 1, in.top + 1, in.right - 2, in.bottom - 2};
    Fill(s, face, GetSysColor(COLOR_BTNFACE));
    if (font_) {
      Rect tr = face;
      if (pressed_) tr.left += 1, tr.top += 1;
      DrawTextW(s, *font_, u"OK", tr, DT_CENTER | DT_VCENTER | DT_SINGLELINE, GetSysColor(COLOR_BTNTEXT));
    }
    for (int x = face.left + 2; x < face.right - 2; x += 2) {  // dotted focus rectangle
      if (face.top + 2 < s.height && face.top + 2 >= 0 && x >= 0 && x < s.width) s.Row(face.top + 2)[x] = 0xFF000000;
      if (face.bottom - 3 >= 0 && face.bottom - 3 < s.height && x >= 0 && x < s.width) s.Row(face.bottom - 3)[x] = 0xFF000000;
    }
  }

  bool done = false;
  int width_ = 0;
  int height_ = 0;

 private:
  std::u16string text_;
  std::shared_ptr<Font> font_;
  std::vector<std::u16string> lines_;
  Rect button_;
  bool pressed_ = false;
};

}  // namespace

int MessageBox(HWND owner, std::string_view text, std::string_view caption, UINT) {
  if (!IsInitialized()) return IDOK;
  MessageBoxWindow box(Utf8ToUtf16(text), Font::Create(FontRequest{"MS Sans Serif", -11}));
  box.Layout();
  HWND top_owner = owner ? GetAncestorRoot(owner) : nullptr;
  int x = (GetSystemMetrics(SM_CXSCREEN) - box.width_) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - box.height_) / 2;
  Rect orect;
  if (top_owner && IsWindowVisible(top_owner) && GetWindowRect(top_owner, &orect) && !orect.Empty()) {
    x = orect.left + (orect.Width() - box.width_) / 2;
    y = orect.top + (orect.Height() - box.height_) / 2;
  }
  x = std::max(0, x);
  y = std::max(0, y);
  const HWND prev_focus = GetFocus();
  // Every other window of the program takes no input while the box is up.
  std::vector<HWND> disabled;
  for (HWND h : GetTopLevelWindows())
    if (IsWindowEnabled(h)) {
      EnableWindow(h, 0);
      disabled.push_back(h);
    }
  CreateParams p;
  p.class_name = "#32770";
  p.text = std::string(caption);
  p.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS;
  p.ex_style = WS_EX_DLGMODALFRAME;
  p.rect = Rect{x, y, x + box.width_, y + box.height_};
  p.owner = top_owner;
  p.proc = &box;
  HWND hwnd = CreateWindowEx(p);
  bool quit = false;
  int quit_code = 0;
  if (hwnd) {
    x11::SetUtf8Property(hwnd, "_LAUNCHER_MESSAGE_TEXT", text);
    x11::MarkModalDialog(hwnd);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    SetFocus(hwnd);
    MSG m;
    while (!box.done && IsWindow(hwnd) && !x11::EndSessionRequested()) {
      if (!GetMessage(&m)) {
        quit = true;
        quit_code = static_cast<int>(m.wParam);
        break;
      }
      TranslateMessage(&m);
      DispatchMessage(&m);
    }
  }
  for (HWND h : disabled) EnableWindow(h, 1);
  if (hwnd && IsWindow(hwnd)) {
    SetWindowProc(hwnd, nullptr);
    DestroyWindow(hwnd);
  }
  if (prev_focus && IsWindow(prev_focus) && IsWindowVisible(prev_focus)) SetFocus(prev_focus);
  if (quit) PostQuitMessage(quit_code);  // the outer loop must see the quit too
  return IDOK;
}

}  // namespace plat
