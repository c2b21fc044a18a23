// Message boxes: the plain Win32 box (owner, text, caption, flags) and the
// framework's box, whose caption is the application's name (the module's base
// name). On Win32 both are real MessageBoxA calls; the headless back end records
// each box and answers it with the next scripted answer (IDOK by default).
#pragma once

#include <string>
#include <vector>

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
// The application's name defaults to the base name of the module file that holds
// dialogkit (the DLL, or the executable it is linked into) without its extension.
void SetAppName(const std::string& name); // "Volubra"
const std::string& AppName();

namespace testing {

// One box as shown: its caption, its text and its flags.
struct ShownBox {
    std::string caption;
    std::string text;
    unsigned flags;
};

// Starts recording and auto-answering boxes. Headless: every box is recorded and
// answered at once. Win32: a watcher finds each box window of this process, reads
// its caption and text, and dismisses it with the answer (flags are known only to
// the headless back end there and read as 0 on Win32 unless the box is ours).
void BeginCapture(int answer = kIdOk);
// Queues an answer for the next box only (before falling back to the capture's).
void PushAnswer(int answer);
// The boxes shown since BeginCapture (or the last TakeBoxes), oldest first.
std::vector<ShownBox> TakeBoxes();
void EndCapture();

} // namespace testing
} // namespace dk
