// Unit1: the launcher's one form.
#pragma once

#include "skin/SeSkinButton.h"
#include "vcl/ExtCtrls.h"
#include "vcl/Forms.h"
#include "vcl/StdCtrls.h"

class TForm1 : public vcl::TForm {
 public:  // published: bound by name through the form description
  vcl::TImage* Image1 = nullptr;
  skin::TSeSkinButton* SeSkinButton1 = nullptr;
  skin::TSeSkinButton* SeSkinButton4 = nullptr;
  skin::TSeSkinButton* SeSkinButton5 = nullptr;
  vcl::TLabel* Label1 = nullptr;
  skin::TSeSkinButton* SeSkinButton3 = nullptr;
  void SeSkinButton4Click(vcl::TObject* Sender);
  void SeSkinButton1Click(vcl::TObject* Sender);
  void SeSkinButton5Click(vcl::TObject* Sender);
  void FormCreate(vcl::TObject* Sender);
  void SeSkinButton3Click(vcl::TObject* Sender);

 private:
  void WMNCHitTest(vcl::TWMNCHitTest& Message);
  bool IsWin64();

 public:
  explicit TForm1(vcl::TComponent* Owner);
  VCL_CLASS_NAME(TForm1)

  BEGIN_MESSAGE_MAP
    VCL_MESSAGE_HANDLER(plat::WM_NCHITTEST, vcl::TWMNCHitTest, WMNCHitTest)
  END_MESSAGE_MAP(vcl::TForm)

  friend struct TForm1Access;  // unit tests reach the private members through it
};

extern TForm1* Form1;
