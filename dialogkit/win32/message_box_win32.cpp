// Win32 message boxes: the real MessageBoxA.
#include "dialogkit/backend.h"

#include <windows.h>

namespace dk {
namespace backend {

int ShowMessageBox(void* owner, const char* text, const char* caption, unsigned flags) {
    return ::MessageBoxA(static_cast<HWND>(owner), text, caption, flags);
}

} // namespace backend
} // namespace dk
