// The Win32 session UI: devhost's real top-level host window with a "Plug-ins" menu
// holding the plug-ins' entries, a thread timer that keeps the script going inside
// modal loops, the settings dialog found on screen and answered through window
// messages, and screenshots read back from the window's own pixels.
#include "devhost/app/png_writer.h"
#include "devhost/app/session_ui.h"

#include "dialogkit/testing.h"

#include <windows.h>

#include <cstring>
#include <deque>

namespace devhost {
namespace {

constexpr const char* kHostClassName = "VolubraDevhostWindow";
constexpr const char* kHostTitle = "devhost";
constexpr const char* kSettingsTitle = "Connection settings";
constexpr const char* kDialogClass = "#32770";
constexpr int kClassNameLength = 32;
constexpr int kTitleLength = 256;
// Menu command ids: the plug-in entries from here on, in the host API's order.
constexpr UINT kFirstPluginCommand = 40001;
constexpr UINT kExitCommand = 40000;
// How often the script is ticked from inside modal loops.
constexpr UINT kTickMs = 15;
constexpr int kHostWidth = 360;
constexpr int kHostHeight = 120;

bool IsDialogWindow(HWND window) {
    char className[kClassNameLength] = {};
    ::GetClassNameA(window, className, kClassNameLength);
    return std::strcmp(className, kDialogClass) == 0;
}

std::string TitleOf(HWND window) {
    char title[kTitleLength] = {};
    ::GetWindowTextA(window, title, kTitleLength);
    return title;
}

// The chat window is the dialog with a transcript box and a Send button; its title
// changes with the state, so it is found by its controls.
struct WindowSearch {
    HWND found = nullptr;
    bool settings = false; // the settings dialog instead of the chat window
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
    WindowSearch& s = *reinterpret_cast<WindowSearch*>(param);
    if (!IsDialogWindow(window)) return TRUE;
    const bool match = s.settings
                           ? (::IsWindowVisible(window) && TitleOf(window) == kSettingsTitle &&
                              ::GetDlgItem(window, kIdModeCombo) != nullptr)
                           : (::GetDlgItem(window, kIdTranscriptEdit) != nullptr &&
                              ::GetDlgItem(window, 15013) != nullptr);
    if (!match) return TRUE;
    s.found = window;
    return FALSE;
}

HWND FindThreadDialog(bool settings) {
    WindowSearch s;
    s.settings = settings;
    ::EnumThreadWindows(::GetCurrentThreadId(), MatchDialog, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

class Win32SessionUi;
Win32SessionUi* g_timerTarget = nullptr; // the one session UI of the process

class Win32SessionUi : public SessionUi {
public:
    Win32SessionUi(HostApi& api, bool interactive) : api_(api), interactive_(interactive) {
        createHostWindow();
        g_timerTarget = this;
        timer_ = ::SetTimer(nullptr, 0, kTickMs, OnTimer);
    }
    ~Win32SessionUi() override {
        if (timer_) ::KillTimer(nullptr, timer_);
        g_timerTarget = nullptr;
        if (window_) ::DestroyWindow(window_);
    }

    std::vector<std::string> menuTexts() const override {
        std::vector<std::string> texts;
        for (const HostApi::MenuEntry& e : api_.menuEntries())
            texts.push_back(e.text);
        return texts;
    }
    // Chosen through the menu itself: the item is looked up by its text in the real
    // menu and its command delivered to the host window, as a click on it does.
    bool chooseMenu(const std::string& text) override {
        rebuildMenu();
        HMENU bar = ::GetMenu(window_);
        HMENU plugins = bar ? ::GetSubMenu(bar, 0) : nullptr;
        if (!plugins) return false;
        const int count = ::GetMenuItemCount(plugins);
        for (int i = 0; i < count; ++i) {
            char itemText[kTitleLength] = {};
            ::GetMenuStringA(plugins, static_cast<UINT>(i), itemText, kTitleLength, MF_BYPOSITION);
            const UINT id = ::GetMenuItemID(plugins, i);
            if (text == itemText && id >= kFirstPluginCommand) {
                ::SendMessageA(window_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
                return true;
            }
        }
        return false;
    }
    dk::WindowHandle chatWindow() override { return FindThreadDialog(false); }
    bool moveWindow(dk::WindowHandle window, int x, int y) override {
        return ::SetWindowPos(static_cast<HWND>(window), nullptr, x, y, 0, 0,
                              SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) != 0;
    }
    bool screenshot(dk::WindowHandle window, const std::string& path, std::string& error) override;

    void queueSettingsAnswer(const SettingsAnswer& answer) override { answers_.push_back(answer); }
    std::size_t pendingSettingsAnswers() const override { return answers_.size(); }
    std::vector<std::string> serviceModals() override;
    void setTicker(std::function<void()> ticker) override { ticker_ = std::move(ticker); }
    bool hostWindowClosed() const override { return closed_; }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
        if (g_timerTarget && g_timerTarget->ticker_) g_timerTarget->ticker_();
    }
    static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void createHostWindow();
    void rebuildMenu();

    HostApi& api_; // not owned by us
    const bool interactive_;
    HWND window_ = nullptr;
    UINT_PTR timer_ = 0;
    std::function<void()> ticker_;
    std::deque<SettingsAnswer> answers_;
    std::vector<std::string> menuShown_; // entries in the menu now, command order
    bool closed_ = false;
    bool answering_ = false;
    HWND unanswered_ = nullptr; // a settings dialog that opened with no answer queued
    DWORD unansweredSince_ = 0;
};

// How long a script's settings dialog may wait for an answer before the script fails.
constexpr DWORD kUnansweredDialogMs = 3000;

std::vector<std::string> Win32SessionUi::serviceModals() {
    std::vector<std::string> problems;
    if (answering_ || interactive_) return problems;
    HWND dialog = FindThreadDialog(true);
    if (!dialog) {
        unanswered_ = nullptr;
        return problems;
    }
    if (answers_.empty()) {
        // A dialog the script did not foresee: give it a moment (an answer may follow in
        // the script), then fail rather than leave the session hanging in its loop.
        if (unanswered_ != dialog) {
            unanswered_ = dialog;
            unansweredSince_ = ::GetTickCount();
        } else if (::GetTickCount() - unansweredSince_ > kUnansweredDialogMs) {
            problems.push_back("the connection settings dialog opened, but the script gave no "
                               "settings answer for it");
            dk::testing::ClickButton(dialog, kIdCancelButton);
        }
        return problems;
    }
    const SettingsAnswer answer = answers_.front();
    answers_.pop_front();
    answering_ = true; // clicking OK runs the dialog's handlers, which may pump messages
    std::string error;
    if (!AnswerSettingsDialog(dialog, answer, error)) problems.push_back(error);
    answering_ = false;
    return problems;
}

LRESULT CALLBACK Win32SessionUi::HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Win32SessionUi* self =
        reinterpret_cast<Win32SessionUi*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
    case WM_NCCREATE: {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        break;
    }
    case WM_INITMENUPOPUP:
        if (self) self->rebuildMenu();
        return 0;
    case WM_COMMAND: {
        if (!self) break;
        const UINT id = LOWORD(wParam);
        if (id == kExitCommand) {
            ::DestroyWindow(window);
            return 0;
        }
        if (id >= kFirstPluginCommand && id - kFirstPluginCommand < self->menuShown_.size()) {
            const std::string text = self->menuShown_[id - kFirstPluginCommand];
            self->api_.chooseMenuEntry(text);
            return 0;
        }
        break;
    }
    case WM_DESTROY:
        if (self) {
            self->closed_ = true;
            self->window_ = nullptr;
        }
        return 0;
    default:
        break;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

void Win32SessionUi::createHostWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    wc.lpszClassName = kHostClassName;
    ::RegisterClassA(&wc);
    window_ = ::CreateWindowExA(0, kHostClassName, kHostTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, kHostWidth, kHostHeight, nullptr, nullptr,
                                wc.hInstance, this);
    if (!window_) return;
    rebuildMenu();
    // Scripted sessions keep the host window out of the way of the plug-in's windows.
    ::ShowWindow(window_, interactive_ ? SW_SHOWNORMAL : SW_SHOWMINNOACTIVE);
}

void Win32SessionUi::rebuildMenu() {
    if (!window_) return;
    const std::vector<std::string> texts = menuTexts();
    if (texts == menuShown_ && ::GetMenu(window_)) return;
    HMENU plugins = ::CreatePopupMenu();
    for (std::size_t i = 0; i < texts.size(); ++i)
        ::AppendMenuA(plugins, MF_STRING, kFirstPluginCommand + i, texts[i].c_str());
    if (!texts.empty()) ::AppendMenuA(plugins, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(plugins, MF_STRING, kExitCommand, "E&xit");
    HMENU bar = ::CreateMenu();
    ::AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(plugins), "&Plug-ins");
    HMENU old = ::GetMenu(window_);
    ::SetMenu(window_, bar);
    if (old) ::DestroyMenu(old);
    menuShown_ = texts;
}

// The window's pixels as shown on the screen, copied into a 32-bit top-down DIB, then
// PNG. The window is brought to the top first, so that nothing covers it.
bool Win32SessionUi::screenshot(dk::WindowHandle handle, const std::string& path,
                                std::string& error) {
    HWND window = static_cast<HWND>(handle);
    RECT r;
    if (!::GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top) {
        error = "the window has no area to picture";
        return false;
    }
    ::SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr); // the screen: what the user sees of the window
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height; // top-down rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = ::CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool copied = false;
    if (dib && bits) {
        HGDIOBJ previous = ::SelectObject(memory, dib);
        // A copy of the screen where the window lies; the script keeps it uncovered.
        copied = ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY) != 0;
        ::GdiFlush();
        ::SelectObject(memory, previous);
    }
    RgbImage image;
    if (copied) {
        image.width = width;
        image.height = height;
        image.rgb.resize(static_cast<std::size_t>(width) * height * 3);
        const auto* px = static_cast<const std::uint8_t*>(bits);
        for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
            image.rgb[i * 3 + 0] = px[i * 4 + 2];
            image.rgb[i * 3 + 1] = px[i * 4 + 1];
            image.rgb[i * 3 + 2] = px[i * 4 + 0];
        }
    }
    if (dib) ::DeleteObject(dib);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    if (!copied) {
        error = "the window's pixels could not be copied";
        return false;
    }
    return WritePngFile(image, path, error);
}

} // namespace

std::unique_ptr<SessionUi> MakeSessionUi(HostApi& api, bool interactive) {
    return std::make_unique<Win32SessionUi>(api, interactive);
}

} // namespace devhost
