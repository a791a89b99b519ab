// Unit1: the launcher's form, its handlers, its hit test and the WOW64 query.
#include "Unit1.h"

using namespace plat;
using namespace vcl;

TForm1* Form1 = nullptr;

// The form description, embedded by the build, found by the form's class name.
extern "C" const unsigned char Unit1_dfm[];
extern "C" const unsigned char Unit1_dfm_end[];

namespace {
void RegisterUnit1() {
  RegisterClass("TForm1", "TForm", nullptr);
  RegisterResource("TFORM1", Unit1_dfm, Unit1_dfm_end);
}
TRegistrar g_unit1(&RegisterUnit1);
}  // namespace

TForm1::TForm1(TComponent* Owner) : TForm(Owner) {
  PublishField("Image1", &Image1);
  PublishField("SeSkinButton1", &SeSkinButton1);
  PublishField("SeSkinButton4", &SeSkinButton4);
  PublishField("SeSkinButton5", &SeSkinButton5);
  PublishField("Label1", &Label1);
  PublishField("SeSkinButton3", &SeSkinButton3);
  PublishMethod("SeSkinButton4Click", [this](TObject* s) { SeSkinButton4Click(s); });
  PublishMethod("SeSkinButton1Click", [this](TObject* s) { SeSkinButton1Click(s); });
  PublishMethod("SeSkinButton5Click", [this](TObject* s) { SeSkinButton5Click(s); });
  PublishMethod("FormCreate", [this](TObject* s) { FormCreate(s); });
  PublishMethod("SeSkinButton3Click", [this](TObject* s) { SeSkinButton3Click(s); });
}

void TForm1::SeSkinButton4Click(TObject*) { Close(); }

void TForm1::SeSkinButton1Click(TObject*) {
  // Opens the installer package through the shell: comes with the launch commands.
}

void TForm1::SeSkinButton5Click(TObject*) {
  // Opens the user manual through the shell: comes with the launch commands.
}

void TForm1::FormCreate(TObject*) { Brush.Style = bsClear; }

void TForm1::SeSkinButton3Click(TObject*) {
  // Opens the driver installer for IsWin64()'s answer through the shell: comes with the
  // launch commands.
}

void TForm1::WMNCHitTest(TWMNCHitTest& Message) {
  TForm::Dispatch(Message);  // inherited
  if (Message.Result == HTCLIENT) Message.Result = HTCAPTION;
}

bool TForm1::IsWin64() {
  HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  if (!kernel) kernel = LoadLibraryA("KERNEL32.DLL");  // never released
  if (!kernel) return false;
  auto is_wow64 = reinterpret_cast<WowFn>(GetProcAddress(kernel, "IsWow64Process"));
  auto native_info = reinterpret_cast<NativeInfoFn>(GetProcAddress(kernel, "GetNativeSystemInfo"));
  if (!is_wow64) return false;
  BOOL wow64 = 0;
  if (!is_wow64(GetCurrentProcess(), &wow64)) return false;
  if (!wow64 || !native_info) return false;
  SYSTEM_INFO info;
  native_info(&info);
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
         info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}
