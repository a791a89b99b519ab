// The form-description reader: classes by name, properties through the tables, events bound
// to the form's published handlers, and the errors that end a start-up.
#include <gtest/gtest.h>

#include <string>

#include "vcl/ExtCtrls.h"
#include "vcl/Forms.h"
#include "vcl/StdCtrls.h"

using namespace vcl;

namespace {

class TTestForm : public TForm {
 public:
  explicit TTestForm(TComponent* owner) : TForm(owner) {
    PublishField("Label1", &Label1);
    PublishField("Image1", &Image1);
    PublishMethod("Label1Click", [this](TObject*) { ++clicks; });
    PublishMethod("FormCreate", [this](TObject*) { ++creates; });
  }
  VCL_CLASS_NAME(TTestForm)
  TLabel* Label1 = nullptr;
  TImage* Image1 = nullptr;
  int clicks = 0;
  int creates = 0;
};

TRegistrar g_reg([] { RegisterClass("TTestForm", "TForm", nullptr); });

int MeasuredTextHeight() {
  TFont f;
  auto h = f.Handle();
  return h ? h->Metrics().height : 13;
}

// A small form whose designed text height is what this machine measures, so nothing scales.
std::string Form(const std::string& body, const std::string& form_props = "") {
  return "object TestForm: TTestForm\n  Left = 10\n  Top = 20\n  Caption = 'Setup'\n"
         "  ClientWidth = 300\n  ClientHeight = 200\n  BorderStyle = bsNone\n  Position = poScreenCenter\n"
         "  Font.Height = -11\n  Font.Name = 'MS Sans Serif'\n  Font.Style = []\n  TextHeight = " +
         std::to_string(MeasuredTextHeight()) + "\n  OnCreate = FormCreate\n" + form_props + body + "end\n";
}

const char* kLabel =
    "  object Label1: TLabel\n    Left = 12\n    Top = 30\n    Caption = 'Copyright'\n"
    "    Font.Color = clBtnText\n    ParentFont = False\n    Transparent = True\n    OnClick = Label1Click\n  end\n";

}  // namespace

TEST(Reader, BuildsAGoodFormWithFieldsPropertiesAndEvents) {
  TTestForm form(nullptr);
  form.ReadDescription(Form(kLabel));
  EXPECT_EQ(form.BorderStyle, bsNone);
  EXPECT_EQ(form.Position, poScreenCenter);
  EXPECT_EQ(form.Caption(), u"Setup");
  EXPECT_EQ(form.ClientWidth(), 300);
  ASSERT_NE(form.Label1, nullptr);
  EXPECT_EQ(form.Label1->Name, "Label1");
  EXPECT_EQ(form.Label1->Parent(), &form);
  EXPECT_EQ(form.Label1->Owner(), &form);
  EXPECT_EQ(form.Label1->Caption(), u"Copyright");
  EXPECT_TRUE(form.Label1->Transparent);
  EXPECT_EQ(form.Label1->Font.Color, clBtnText);
  EXPECT_EQ(form.Label1->Left(), 12);
  // AutoSize: the label takes its text's size in its font.
  EXPECT_EQ(form.Label1->Height(), MeasuredTextHeight());
  EXPECT_GT(form.Label1->Width(), 0);
  form.Label1->Click();
  EXPECT_EQ(form.clicks, 1);
  EXPECT_EQ(form.creates, 0);  // OnCreate runs once the window exists, not while reading
  EXPECT_TRUE(static_cast<bool>(form.OnCreate));
}

TEST(Reader, UnknownNamesAndBadDataRaise) {
  struct Case {
    const char* what;
    std::string text;
  };
  const Case cases[] = {
      {"unknown class", Form("  object X1: TNoSuchControl\n  end\n")},
      {"unknown property", Form("  object Label1: TLabel\n    Colour = clRed\n  end\n")},
      {"unknown form property", Form("", "  Shape = 3\n")},
      {"unknown handler", Form("  object Label1: TLabel\n    OnClick = NoSuchHandler\n  end\n")},
      {"wrong value kind", Form("  object Label1: TLabel\n    Left = 'twelve'\n  end\n")},
      {"unknown enumeration value", Form("", "  BorderStyle = bsRound\n")},
      {"field of another class", Form("  object Label1: TImage\n  end\n")},
      {"bad picture data", Form("  object Image1: TImage\n    Picture.Data = {0A544E6F537563684F626A}\n  end\n")},
      {"another form's description", "object Form1: TForm1\nend\n"},
      {"syntax", "object TestForm: TTestForm\n  Left = \n"},
  };
  for (const Case& c : cases) {
    TTestForm form(nullptr);
    EXPECT_THROW(form.ReadDescription(c.text), Exception) << c.what;
  }
}

TEST(Reader, ScalesEveryPositionAndSizeByTheMeasuredTextHeight) {
  TTestForm form(nullptr);
  form.ReadDescription(Form(
      "  object Image1: TImage\n    Left = 0\n    Top = 0\n    Width = 546\n    Height = 319\n  end\n"
      "  object Label1: TLabel\n    Left = 112\n    Top = 280\n    AutoSize = False\n    Width = 211\n    Height = 13\n  end\n",
      "  AutoSize = True\n"));
  EXPECT_EQ(form.ClientWidth(), 546);  // AutoSize: the union of the visible controls
  EXPECT_EQ(form.ClientHeight(), 319);
  const int th = form.TextHeight;
  form.ScaleForTextHeight(th * 16 / 13 == th ? th + 3 : th * 16 / 13);
  const int m = form.TextHeight;
  EXPECT_EQ(form.Label1->Left(), MulDiv(112, m, th));
  EXPECT_EQ(form.Label1->Top(), MulDiv(280, m, th));
  EXPECT_EQ(form.Label1->Width(), MulDiv(323, m, th) - MulDiv(112, m, th));
  EXPECT_EQ(form.Image1->Width(), MulDiv(546, m, th));
  form.AdjustSize();
  EXPECT_EQ(form.ClientWidth(), MulDiv(546, m, th));
  EXPECT_EQ(form.ClientHeight(), MulDiv(319, m, th));
}

TEST(Reader, ScalingFrom13To16) {
  TTestForm form(nullptr);
  form.TextHeight = 13;
  auto* label = new TLabel(&form);
  label->AutoSize = false;
  label->SetParent(&form);
  label->SetBounds(112, 280, 211, 13);
  form.ScaleForTextHeight(16);
  EXPECT_EQ(label->Left(), 138);
  EXPECT_EQ(label->Top(), 345);
  EXPECT_EQ(label->Width(), 260);
  EXPECT_EQ(label->Height(), 16);
  EXPECT_EQ(form.TextHeight, 16);
  form.ScaleForTextHeight(16);  // the same height again changes nothing
  EXPECT_EQ(label->Left(), 138);
}
