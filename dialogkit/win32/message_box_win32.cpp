// Win32 message boxes: the real MessageBoxA, and MessageBoxW for UTF-8 texts.
#include "dialogkit/backend.h"
#include "dialogkit/wide_text.h"

#include <windows.h>

namespace dk {
namespace backend {

int ShowMessageBox(void* owner, const char* text, const char* caption, unsigned flags) {
    return ::MessageBoxA(static_cast<HWND>(owner), text, caption, flags);
}

int ShowMessageBoxUtf8(void* owner, const char* text, const char* caption, unsigned flags) {
    return ::MessageBoxW(static_cast<HWND>(owner), WideFromUtf8(text).c_str(),
                         WideFromUtf8(caption).c_str(), flags);
}

} // namespace backend
} // namespace dk
