// Placement, scaling arithmetic, exception texts, the loop's exception guard and component
// ownership: the class library's logic that needs no display.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vcl/Forms.h"

using namespace vcl;

TEST(CenterOnScreen, PlacesTheWindowByTruncatedHalvesClampedAtZero) {
  struct Case {
    int sw, sh, x, y;
  };
  const Case cases[] = {
      {1920, 1080, 687, 380}, {1366, 768, 410, 224}, {1024, 768, 239, 224},
      {800, 600, 127, 140},   {500, 300, 0, 0},      {547, 320, 0, 0},
  };
  for (const Case& c : cases) {
    const plat::Point p = CenterOnScreen(c.sw, c.sh, 546, 319);
    EXPECT_EQ(p.x, c.x) << c.sw << "x" << c.sh;
    EXPECT_EQ(p.y, c.y) << c.sw << "x" << c.sh;
  }
}

TEST(MulDiv, RoundsHalvesAwayFromZero) {
  struct Case {
    int v, m, d, want;
  };
  const Case cases[] = {{546, 16, 13, 672}, {319, 16, 13, 393}, {13, 16, 13, 16}, {1, 1, 2, 1},
                        {-1, 1, 2, -1},     {3, 1, 2, 2},       {0, 16, 13, 0},   {546, 13, 13, 546}};
  for (const Case& c : cases) EXPECT_EQ(MulDiv(c.v, c.m, c.d), c.want) << c.v << "*" << c.m << "/" << c.d;
}

TEST(ExceptionText, AppendsAFullStopOnlyAfterCharactersSortingAfterIt) {
  struct Case {
    const char* message;
    const char* shown;
  };
  const Case cases[] = {
      {"Injected failure", "Injected failure."},
      {"Done.", "Done."},
      {"Wow!", "Wow!"},
      {"a,", "a,"},
      {"a-", "a-"},
      {"(a)", "(a)"},
      {"trailing ", "trailing "},
      {"", ""},
      {"path/", "path/."},
      {"code 42", "code 42."},
      {"x:", "x:."},
      {"\xE9\x94\x99", "\xE9\x94\x99."},  // a CJK character sorts after "."
  };
  for (const Case& c : cases) EXPECT_EQ(ExceptionText(c.message), c.shown) << '"' << c.message << '"';
}

TEST(StartupErrorText, FollowsTheApplicationErrorFormat) {
  EXPECT_EQ(StartupErrorText("EInvalidGraphic", "Project1", 0x4A1B2, "PNG: CRC mismatch in chunk IHDR"),
            "Exception EInvalidGraphic in module Project1 at 0004A1B2.\r\nPNG: CRC mismatch in chunk IHDR.\r\n");
  EXPECT_EQ(StartupErrorText("EReadError", "Project1", 0xDEADBEEF, "Stream read error."),
            "Exception EReadError in module Project1 at DEADBEEF.\r\nStream read error.\r\n");
  EXPECT_EQ(StartupErrorText("Exception", "p", 0, ""), "Exception Exception in module p at 00000000.\r\n\r\n");
}

namespace {

struct Shown {
  HWND owner;
  std::string text, caption;
  UINT type;
};

class GuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app_ = new TApplication(nullptr);
    app_->SetTitle("VELOR");
    app_->MessageBoxFn = [this](HWND owner, const std::string& text, const std::string& caption, UINT type) {
      shown_.push_back({owner, text, caption, type});
      return plat::IDOK;
    };
  }
  void TearDown() override { delete app_; }
  TApplication* app_ = nullptr;
  std::vector<Shown> shown_;
};

}  // namespace

TEST_F(GuardTest, SilentAbortIsIgnoredAndOthersAreShownCaptionedWithTheTitle) {
  app_->HandleException(EAbort("ignored"));
  EXPECT_TRUE(shown_.empty());
  app_->HandleException(Exception("Injected failure"));
  app_->HandleException(EReadError("Bad data!"));
  ASSERT_EQ(shown_.size(), 2u);
  EXPECT_EQ(shown_[0].text, "Injected failure.");
  EXPECT_EQ(shown_[0].caption, "VELOR");
  EXPECT_EQ(shown_[0].type, plat::MB_OK | plat::MB_ICONSTOP);
  EXPECT_EQ(shown_[1].text, "Bad data!");
}

namespace {

std::vector<std::string>* g_log = nullptr;

class TLogged : public TComponent {
 public:
  TLogged(TComponent* owner, std::string name) : TComponent(owner) { Name = std::move(name); }
  ~TLogged() override {
    DestroyComponents();
    g_log->push_back(Name);
  }
};

}  // namespace

TEST(Components, OwnerDestroysWhatItOwnsInReverseOrderOfCreation) {
  std::vector<std::string> log;
  g_log = &log;
  auto* root = new TLogged(nullptr, "root");
  new TLogged(root, "a");
  auto* b = new TLogged(root, "b");
  new TLogged(b, "b1");
  new TLogged(b, "b2");
  new TLogged(root, "c");
  EXPECT_EQ(root->ComponentCount(), 3);
  EXPECT_EQ(root->FindComponent("B"), b);
  delete root;
  EXPECT_EQ(log, (std::vector<std::string>{"c", "b2", "b1", "b", "a", "root"}));
  g_log = nullptr;
}

TEST(Components, AComponentDestroyedAloneLeavesItsOwner) {
  std::vector<std::string> log;
  g_log = &log;
  auto* root = new TLogged(nullptr, "root");
  auto* a = new TLogged(root, "a");
  new TLogged(root, "b");
  delete a;
  EXPECT_EQ(root->ComponentCount(), 1);
  EXPECT_EQ(root->FindComponent("a"), nullptr);
  delete root;
  EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "root"}));
  g_log = nullptr;
}
