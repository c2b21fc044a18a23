// Win32 message boxes: real MessageBoxA calls. While a capture runs, a CBT hook on
// the capturing thread sees each box window as it is activated, reads the caption
// and the text that the user would see, and dismisses it with the answer.
#include "dialogkit/message_box.h"

#include <windows.h>

#include <cstring>
#include <deque>

namespace dk {
namespace {

// The message text's static control: 0xFFFF on Windows and in Wine.
constexpr int kBoxTextControlId = 0xFFFF;
constexpr int kClassNameLength = 32;
constexpr int kMaxBoxText = 4096;

struct BoxWatcher {
    HHOOK hook = nullptr;
    int captureAnswer = kIdOk;
    std::deque<int> queuedAnswers;
    std::vector<testing::ShownBox> boxes;
    // Flags of the box that ShowMessageBox is showing now, if any.
    bool ownBoxPending = false;
    unsigned pendingFlags = 0;
    HWND lastDismissed = nullptr;
};

BoxWatcher& Watcher() {
    static BoxWatcher watcher;
    return watcher;
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
    BoxWatcher& watcher = Watcher();
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        if (window != watcher.lastDismissed && IsMessageBoxWindow(window)) {
            watcher.lastDismissed = window;
            const unsigned flags = watcher.ownBoxPending ? watcher.pendingFlags : 0;
            watcher.ownBoxPending = false;
            watcher.boxes.push_back(
                {TextOf(window), TextOf(::GetDlgItem(window, kBoxTextControlId)), flags});
            int answer = watcher.captureAnswer;
            if (!watcher.queuedAnswers.empty()) {
                answer = watcher.queuedAnswers.front();
                watcher.queuedAnswers.pop_front();
            }
            ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
        }
    }
    return ::CallNextHookEx(watcher.hook, code, wParam, lParam);
}

} // namespace

int ShowMessageBox(void* owner, const char* text, const char* caption, unsigned flags) {
    BoxWatcher& watcher = Watcher();
    watcher.ownBoxPending = watcher.hook != nullptr;
    watcher.pendingFlags = flags;
    const int answer = ::MessageBoxA(static_cast<HWND>(owner), text, caption, flags);
    watcher.ownBoxPending = false;
    return answer;
}

namespace testing {

void BeginCapture(int answer) {
    BoxWatcher& watcher = Watcher();
    watcher.captureAnswer = answer;
    watcher.boxes.clear();
    if (!watcher.hook)
        watcher.hook = ::SetWindowsHookExA(WH_CBT, WatchBoxes, nullptr, ::GetCurrentThreadId());
}

void PushAnswer(int answer) {
    Watcher().queuedAnswers.push_back(answer);
}

std::vector<ShownBox> TakeBoxes() {
    std::vector<ShownBox> taken;
    taken.swap(Watcher().boxes);
    return taken;
}

void EndCapture() {
    BoxWatcher& watcher = Watcher();
    if (watcher.hook) ::UnhookWindowsHookEx(watcher.hook);
    watcher.hook = nullptr;
    watcher.boxes.clear();
    watcher.queuedAnswers.clear();
    watcher.lastDismissed = nullptr;
}

} // namespace testing
} // namespace dk
