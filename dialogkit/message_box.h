// Message boxes: the plain Win32 box (owner, text, caption, flags) and the
// framework's box, whose caption is the application's name (the module's base
// name). On Win32 both are real MessageBoxA calls; headless, nobody sees a box and
// it is answered OK. A driver (dialogkit's testing library) may take a box first.
#pragma once

#include <string>

namespace dk {

// Flag and answer values are Win32's, on every platform.
enum : unsigned {
    kMbOk = 0x0,
    kMbOkCancel = 0x1,
    kMbIconError = 0x10,
    kMbIconQuestion = 0x20,
    kMbIconWarning = 0x30, // also the exclamation icon
    kMbIconInformation = 0x40,
};
enum : int { kIdOk = 1, kIdCancel = 2 };

// MessageBoxA(owner, text, caption, flags); owner is a window handle or null.
int ShowMessageBox(void* owner, const char* text, const char* caption, unsigned flags);

// The framework's box: no owner, the application's name as caption.
int ShowAppMessageBox(const char* text, unsigned flags);
// The framework's box for a UTF-8 text, such as one that names a file path
// (MessageBoxW on Win32); the texts of the other boxes are in the ANSI code page.
int ShowAppMessageBoxUtf8(const std::string& text, unsigned flags);
// The application's name defaults to the base name of the module file that holds
// dialogkit (the DLL, or the executable it is linked into) without its extension.
void SetAppName(const std::string& name); // "Volubra"
const std::string& AppName();

} // namespace dk
