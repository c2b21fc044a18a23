// The driver on Win32. A modal dialog's script runs inside the dialog's own modal loop:
// when the loop is about to start, a message is posted to a message-only window of the
// driver, and the loop dispatches it. Message boxes are real MessageBoxA boxes; while a
// capture runs, a CBT hook on this thread sees each box window as it is activated,
// reads the caption and the text that the user would see, and dismisses it with the
// answer. Boxes of this module's dialogkit pass through the driver, so their flags are
// known too.
#include "dialogkit/backend.h"
#include "dialogkit/testing/driver.h"

#include <windows.h>

#include <cstring>

namespace dk {
namespace testing {
namespace {

// The driver window's one message: run the next modal script on the dialog in wParam.
constexpr UINT kWmRunModalScript = kWmApp + 1;
constexpr const char* kDriverWindowClass = "dkTestingDriver";
// The message text's static control: 0xFFFF on Windows and in Wine.
constexpr int kBoxTextControlId = 0xFFFF;
constexpr int kClassNameLength = 32;
constexpr int kMaxBoxText = 4096;

struct BoxWatch {
    HHOOK hook = nullptr;
    // Flags of the box that TakeMessageBox is showing now, if any.
    bool ownBoxPending = false;
    unsigned pendingFlags = 0;
    HWND lastDismissed = nullptr;
};

BoxWatch& Watch() {
    static BoxWatch watch;
    return watch;
}

std::string TextOf(HWND window) {
    char text[kMaxBoxText] = {};
    ::GetWindowTextA(window, text, kMaxBoxText);
    return text;
}

bool IsMessageBoxWindow(HWND window) {
    char className[kClassNameLength] = {};
    ::GetClassNameA(window, className, kClassNameLength);
    return std::strcmp(className, "#32770") == 0 &&
           ::GetDlgItem(window, kBoxTextControlId) != nullptr;
}

LRESULT CALLBACK WatchBoxes(int code, WPARAM wParam, LPARAM lParam) {
    BoxWatch& watch = Watch();
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        if (window != watch.lastDismissed && IsMessageBoxWindow(window)) {
            watch.lastDismissed = window;
            const unsigned flags = watch.ownBoxPending ? watch.pendingFlags : 0;
            watch.ownBoxPending = false;
            Driver& driver = Driver::Get();
            driver.boxes.push_back(
                {TextOf(window), TextOf(::GetDlgItem(window, kBoxTextControlId)), flags});
            ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(driver.NextAnswer(), BN_CLICKED), 0);
        }
    }
    return ::CallNextHookEx(watch.hook, code, wParam, lParam);
}

void RunModalScript(HWND window) {
    if (!::IsWindow(window)) return;
    // The modal loop shows the dialog only once it first runs idle, which is after
    // this posted message: show it now, so the script finds it shown.
    if (!::IsWindowVisible(window)) ::ShowWindow(window, SW_SHOW);
    if (!Driver::Get().RunNextModalScript(window)) return;
    // EndDialog hides a dialog at once while its loop winds down: one still shown was
    // left open by the script, which cancels it.
    if (!::IsWindow(window) || !::IsWindowVisible(window)) return;
    for (CDialog* dialog : detail::LiveDialogs())
        if (dialog->GetSafeHwnd() == window && dialog->IsModal()) {
            dialog->EndDialog(kIdCancelCommand);
            return;
        }
}

LRESULT CALLBACK DriverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kWmRunModalScript) return ::DefWindowProcA(window, message, wParam, lParam);
    try {
        RunModalScript(reinterpret_cast<HWND>(wParam));
    } catch (...) {
        // nothing escapes a window procedure
    }
    return 0;
}

HWND DriverWindow() {
    static HWND window = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DriverWindowProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = kDriverWindowClass;
        ::RegisterClassA(&wc);
        return ::CreateWindowExA(0, kDriverWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 wc.hInstance, nullptr);
    }();
    return window;
}

} // namespace

void Driver::ModalStarting(WindowHandle dialog) {
    ::PostMessageA(DriverWindow(), kWmRunModalScript, reinterpret_cast<WPARAM>(dialog), 0);
}

bool Driver::TakeMessageBox(void* owner, const char* text, const char* caption, unsigned flags,
                            int& answer) {
    BoxWatch& watch = Watch();
    if (!watch.hook) return false; // not capturing: the box is the user's
    watch.ownBoxPending = true;
    watch.pendingFlags = flags;
    answer = ::MessageBoxA(static_cast<HWND>(owner), text, caption, flags);
    watch.ownBoxPending = false;
    return true;
}

void StartBoxWatch() {
    BoxWatch& watch = Watch();
    if (!watch.hook)
        watch.hook = ::SetWindowsHookExA(WH_CBT, WatchBoxes, nullptr, ::GetCurrentThreadId());
}

void StopBoxWatch() {
    BoxWatch& watch = Watch();
    if (watch.hook) ::UnhookWindowsHookEx(watch.hook);
    watch.hook = nullptr;
    watch.lastDismissed = nullptr;
}

void BringToForeground(WindowHandle dialog) {
    ::SetForegroundWindow(dialog ? static_cast<HWND>(dialog) : ::GetDesktopWindow());
}

int FlashRequests(WindowHandle /*dialog*/) {
    return -1; // the request went to the window manager
}

void SendKeyDown(WindowHandle control, unsigned virtualKey, unsigned modifiers) {
    BYTE saved[256] = {}, held[256] = {};
    ::GetKeyboardState(saved);
    std::memcpy(held, saved, sizeof held);
    constexpr BYTE kDown = 0x80;
    held[VK_SHIFT] = (modifiers & kModShift) ? kDown : 0;
    held[VK_CONTROL] = (modifiers & kModControl) ? kDown : 0;
    ::SetKeyboardState(held);
    ::SendMessageA(static_cast<HWND>(control), WM_KEYDOWN, virtualKey, 1);
    ::SetKeyboardState(saved);
}

void PumpMessages() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

} // namespace testing
} // namespace dk
