// The launcher's form against its real description: layout, captions, tab order, the hit test
// and the WOW64 query over every branch of the module table.
#include <gtest/gtest.h>

#include "Unit1.h"

using namespace vcl;
using namespace plat;

struct TForm1Access {
  static bool IsWin64(TForm1& f) { return f.IsWin64(); }
};

namespace {

// The form with the system's default hit test replaced by a fixed answer.
class THitForm : public TForm1 {
 public:
  using TForm1::TForm1;
  LRESULT system_answer = HTCLIENT;

 protected:
  void DefaultHandler(TMessage& m) override {
    m.Result = m.Msg == WM_NCHITTEST ? system_answer : 0;
  }
};

std::string Description() {
  const uint8_t* data = nullptr;
  size_t size = 0;
  RunRegistrars();
  EXPECT_TRUE(FindResource("TFORM1", &data, &size));
  return std::string(reinterpret_cast<const char*>(data), size);
}

int MeasuredTextHeight() {
  TFont f;
  auto h = f.Handle();
  return h ? h->Metrics().height : 13;
}

}  // namespace

TEST(Unit1, TheDescriptionBuildsTheLauncherLayout) {
  TForm1 form(nullptr);
  form.ReadDescription(Description());
  if (MeasuredTextHeight() != 13) GTEST_SKIP() << "this machine's font measures " << MeasuredTextHeight();
  EXPECT_EQ(form.ClientWidth(), 546);
  EXPECT_EQ(form.ClientHeight(), 319);
  EXPECT_EQ(form.BorderStyle, bsNone);
  EXPECT_EQ(form.Position, poScreenCenter);
  EXPECT_EQ(form.Caption(), u"Setup");
  EXPECT_FALSE(form.Icon.Empty());
  ASSERT_NE(form.Image1, nullptr);
  EXPECT_EQ(form.Image1->Picture.Width(), 546);
  EXPECT_EQ(form.Image1->Picture.Height(), 319);
  struct Button {
    skin::TSeSkinButton* b;
    int left, top, width, tab;
    bool visible;
    const char16_t* caption;
  };
  const Button buttons[] = {
      {form.SeSkinButton1, 328, 120, 193, 0, false, u"\u5B89\u88C5\u4E3B\u7A0B\u5E8F / Install Applications"},
      {form.SeSkinButton4, 440, 256, 81, 1, true, u"\u5173\u95ED / Close"},
      {form.SeSkinButton5, 328, 216, 193, 2, false, u"\u7528\u6237\u624B\u518C / User Manual"},
      {form.SeSkinButton3, 328, 168, 193, 3, true, u"\u5B89\u88C5USB\u9A71\u52A8 / Install USB Driver"},
  };
  for (const Button& b : buttons) {
    ASSERT_NE(b.b, nullptr);
    EXPECT_EQ(b.b->Left(), b.left) << b.b->Name;
    EXPECT_EQ(b.b->Top(), b.top) << b.b->Name;
    EXPECT_EQ(b.b->Width(), b.width) << b.b->Name;
    EXPECT_EQ(b.b->Height(), 25) << b.b->Name;
    EXPECT_EQ(b.b->TabOrder(), b.tab) << b.b->Name;
    EXPECT_EQ(b.b->Visible(), b.visible) << b.b->Name;
    EXPECT_EQ(b.b->Caption(), b.caption) << b.b->Name;
    EXPECT_TRUE(b.b->TabStop) << b.b->Name;
    EXPECT_TRUE(static_cast<bool>(b.b->OnClick)) << b.b->Name;
  }
  ASSERT_NE(form.Label1, nullptr);
  EXPECT_EQ(form.Label1->Left(), 112);
  EXPECT_EQ(form.Label1->Top(), 280);
  EXPECT_EQ(form.Label1->Height(), 13);
  EXPECT_NEAR(form.Label1->Width(), 211, 3);  // the notice was chosen to measure about 211
  EXPECT_EQ(form.Label1->Font.Color, clBtnText);
  // Focus starts on the first visible button in tab order.
  EXPECT_EQ(form.FindNextControl(nullptr, true, true), form.SeSkinButton4);
  EXPECT_EQ(form.FindNextControl(form.SeSkinButton4, true, true), form.SeSkinButton3);
  EXPECT_EQ(form.FindNextControl(form.SeSkinButton3, true, true), form.SeSkinButton4);
}

TEST(Unit1, FormCreateMakesTheBrushClear) {
  TForm1 form(nullptr);
  form.ReadDescription(Description());
  ASSERT_TRUE(static_cast<bool>(form.OnCreate));
  form.OnCreate(&form);
  EXPECT_EQ(form.Brush.Style, bsClear);
}

TEST(Unit1, HitTestTurnsClientIntoCaptionAndKeepsEveryOtherAnswer) {
  THitForm form(nullptr);
  struct Case {
    LRESULT system, want;
  };
  const Case cases[] = {{HTCLIENT, HTCAPTION}, {HTNOWHERE, HTNOWHERE}, {HTCAPTION, HTCAPTION},
                        {HTTRANSPARENT, HTTRANSPARENT}, {HTERROR, HTERROR}, {12 /*HTTOP*/, 12}};
  for (const Case& c : cases) {
    form.system_answer = c.system;
    EXPECT_EQ(form.Perform(WM_NCHITTEST, 0, MAKELPARAM(700, 400)), c.want) << c.system;
  }
}

namespace {
BOOL WowTrue(void*, BOOL* w) { *w = 1; return 1; }
BOOL WowFalse(void*, BOOL* w) { *w = 0; return 1; }
BOOL WowFails(void*, BOOL* w) { *w = 1; return 0; }
void Amd64(SYSTEM_INFO* i) { i->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64; }
void Ia64(SYSTEM_INFO* i) { i->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_IA64; }
void Arm64(SYSTEM_INFO* i) { i->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_ARM64; }
void Intel(SYSTEM_INFO* i) { i->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_INTEL; }
}  // namespace

TEST(Unit1, IsWin64FollowsEveryBranchOfTheModuleTable) {
  struct Case {
    const char* what;
    bool loaded, loadable;
    WowFn wow;
    NativeInfoFn info;
    bool want;
  };
  const Case cases[] = {
      {"WOW64 on amd64", true, true, WowTrue, Amd64, true},
      {"WOW64 on Itanium", true, true, WowTrue, Ia64, true},
      {"WOW64 on arm64", true, true, WowTrue, Arm64, false},
      {"native 32-bit", true, true, WowFalse, Intel, false},
      {"not under WOW64", true, true, WowFalse, Amd64, false},
      {"the WOW64 call fails", true, true, WowFails, Amd64, false},
      {"no IsWow64Process", true, true, nullptr, Amd64, false},
      {"no GetNativeSystemInfo", true, true, WowTrue, nullptr, false},
      {"kernel32 only loadable", false, true, WowTrue, Amd64, true},
      {"no kernel32 at all", false, false, WowTrue, Amd64, false},
  };
  TForm1 form(nullptr);
  for (const Case& c : cases) {
    ModuleTable t;
    t.kernel32_loaded = c.loaded;
    t.kernel32_loadable = c.loadable;
    t.is_wow64_process = c.wow;
    t.get_native_system_info = c.info;
    SetModuleTableForTesting(&t);
    EXPECT_EQ(TForm1Access::IsWin64(form), c.want) << c.what;
  }
  SetModuleTableForTesting(nullptr);
}
