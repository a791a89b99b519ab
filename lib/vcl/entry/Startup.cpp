// The program entry of a class-library program: the product's WinMain runs inside the start-up
// guard. Kept outside the library so that only programs (not the unit tests) link it.
#include "vcl/Forms.h"

int main() { return vcl::RunProgram(&WinMain); }
