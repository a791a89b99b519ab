// The program entry of a class-library program: the module's icon resource is made known, then
// the product's WinMain runs inside the start-up guard. Kept outside the library so that only
// programs (not the unit tests) link it.
#include "vcl/Forms.h"

// Embedded by the build from resources/MAINICON.ico.
extern "C" const unsigned char MAINICON_ico[];
extern "C" const unsigned char MAINICON_ico_end[];

int main() {
  vcl::RegisterResource("MAINICON", MAINICON_ico, MAINICON_ico_end);
  return vcl::RunProgram(&WinMain);
}
