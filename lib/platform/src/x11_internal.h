// Internals shared by the X11 backend's files (windows and pump, message box).
#pragma once

#include <string_view>

#include "platform/platform.h"

namespace plat::x11 {

// Sets a UTF8_STRING property on the window.
void SetUtf8Property(HWND hwnd, const char* name, std::string_view value);
// Marks a top-level as a modal dialog for the window manager (type dialog, state modal).
void MarkModalDialog(HWND hwnd);
// True once an end-of-session signal was handled: nested modal loops end.
bool EndSessionRequested();

}  // namespace plat::x11
