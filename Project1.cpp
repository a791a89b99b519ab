// Project1: the program's main block.
#include "Unit1.h"

using vcl::Application;

int WinMain() {
  Application->Initialize();
  Application->Title = "VELOR";
  Application->CreateForm(&Form1);
  Application->Run();
  return 0;
}
