// The Win32 session UI: devhost's real top-level host window with a "Plug-ins" menu
// holding the plug-ins' entries, a thread timer that keeps the script going inside
// modal loops, dialogs found on screen by their titles, and screenshots read back from
// the window's own pixels. A modal dialog is any shown dialog of the thread that the
// script did not find itself and that is not a message box (those are captured).
#include "devhost/hostapi/call_format.h"
#include "devhost/session/png_writer.h"
#include "devhost/session/session_ui.h"

#include "dialogkit/testing/testing.h"

#include <windows.h>

#include <cstring>
#include <deque>
#include <functional>
#include <set>

namespace devhost {
namespace {

constexpr const char* kHostClassName = "VolubraDevhostWindow";
constexpr const char* kHostTitle = "devhost";
constexpr const char* kDialogClass = "#32770";
// The static control that holds a message box's text, on Windows and in Wine.
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kClassNameLength = 32;
constexpr int kTitleLength = 256;
// Menu command ids: the plug-in entries from here on, in the host API's order.
constexpr UINT kFirstPluginCommand = 40001;
constexpr UINT kExitCommand = 40000;
// How often the script is ticked from inside modal loops.
constexpr UINT kTickMs = 15;
constexpr int kHostWidth = 360;
constexpr int kHostHeight = 120;
// How long a modal dialog may wait for a block before the script fails.
constexpr DWORD kUnansweredDialogMs = 3000;

bool IsShownDialog(HWND window) {
    char className[kClassNameLength] = {};
    ::GetClassNameA(window, className, kClassNameLength);
    return std::strcmp(className, kDialogClass) == 0 && ::IsWindowVisible(window) &&
           ::GetDlgItem(window, kMessageBoxTextId) == nullptr;
}

std::string TitleOf(HWND window) {
    char title[kTitleLength] = {};
    ::GetWindowTextA(window, title, kTitleLength);
    return title;
}

struct DialogSearch {
    const std::function<bool(HWND)>& match;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
    DialogSearch& s = *reinterpret_cast<DialogSearch*>(param);
    if (!IsShownDialog(window) || !s.match(window)) return TRUE;
    s.found = window;
    return FALSE;
}

// The first shown dialog of this thread that the match accepts.
HWND FindThreadDialog(const std::function<bool(HWND)>& match) {
    DialogSearch search{match, nullptr};
    ::EnumThreadWindows(::GetCurrentThreadId(), MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The pixels that draw paints into a width x height DIB, as RGB; false when it could
// not paint them.
bool DrawnPixels(int width, int height, const std::function<bool(HDC)>& draw, RgbImage& image) {
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    ::ReleaseDC(nullptr, screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height; // top-down rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = ::CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool drawn = false;
    if (dib && bits) {
        HGDIOBJ previous = ::SelectObject(memory, dib);
        drawn = draw(memory);
        ::GdiFlush();
        ::SelectObject(memory, previous);
    }
    if (drawn) {
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
    return drawn;
}

// The pixels of the screen where r lies, what the user sees there (a script keeps the
// window uncovered); false when they could not be copied.
bool CopyScreenArea(const RECT& r, RgbImage& image) {
    return DrawnPixels(
        r.right - r.left, r.bottom - r.top,
        [&r](HDC memory) {
            HDC screen = ::GetDC(nullptr);
            const bool copied = ::BitBlt(memory, 0, 0, r.right - r.left, r.bottom - r.top, screen,
                                         r.left, r.top, SRCCOPY) != 0;
            ::ReleaseDC(nullptr, screen);
            return copied;
        },
        image);
}

// The window as it paints itself (WM_PRINT), whatever the screen shows of it.
bool PrintedWindow(HWND window, RgbImage& image) {
    RECT r{};
    if (!::GetWindowRect(window, &r)) return false;
    return DrawnPixels(
        r.right - r.left, r.bottom - r.top,
        [window](HDC memory) { return ::PrintWindow(window, memory, 0) != 0; }, image);
}

// Puts part into image with its top left corner at (x, y), clipped to image.
void Paste(const RgbImage& part, int x, int y, RgbImage& image) {
    for (int row = 0; row < part.height; ++row)
        for (int col = 0; col < part.width; ++col) {
            const int tx = x + col, ty = y + row;
            if (tx < 0 || ty < 0 || tx >= image.width || ty >= image.height) continue;
            const std::size_t from = (static_cast<std::size_t>(row) * part.width + col) * 3;
            const std::size_t to = (static_cast<std::size_t>(ty) * image.width + tx) * 3;
            for (int c = 0; c < 3; ++c)
                image.rgb[to + c] = part.rgb[from + c];
        }
}

class Win32SessionUi;
Win32SessionUi* g_timerTarget = nullptr; // the one session UI of the process

class Win32SessionUi : public SessionUi {
public:
    Win32SessionUi(HostApi& api, bool interactive) : SessionUi(api), interactive_(interactive) {
        createHostWindow();
        g_timerTarget = this;
        timer_ = ::SetTimer(nullptr, 0, kTickMs, OnTimer);
    }
    ~Win32SessionUi() override {
        if (timer_) ::KillTimer(nullptr, timer_);
        g_timerTarget = nullptr;
        if (window_) ::DestroyWindow(window_);
    }

    // Chosen through the menu itself: the item is looked up by its text in the real
    // menu and its command delivered to the host window, as a click on it does.
    bool chooseMenu(const std::string& text) override {
        rebuildMenu();
        HMENU plugins = pluginsMenu();
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
    bool hasMenu() const override { return pluginsMenu() != nullptr; }
    dk::WindowHandle findDialog(const std::string& title) override {
        HWND dialog = FindThreadDialog([&title](HWND w) { return TitleOf(w) == title; });
        if (dialog) found_.insert(dialog);
        return dialog;
    }
    bool moveWindow(dk::WindowHandle window, int x, int y) override {
        return ::SetWindowPos(static_cast<HWND>(window), nullptr, x, y, 0, 0,
                              SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) != 0;
    }
    bool screenshot(dk::WindowHandle window, const std::string& path, std::string& error) override;
    bool menuScreenshot(dk::WindowHandle window, int controlId, const std::string& path,
                        std::string& error) override;

    void queueModal(ModalHandler handler) override { modals_.push_back(std::move(handler)); }
    std::size_t pendingModals() const override { return modals_.size(); }
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
    // The menu bar's "Plug-ins" menu, null while the window or its bar does not exist.
    HMENU pluginsMenu() const {
        HMENU bar = window_ ? ::GetMenu(window_) : nullptr;
        return bar ? ::GetSubMenu(bar, 0) : nullptr;
    }

    const bool interactive_;
    HWND window_ = nullptr;
    UINT_PTR timer_ = 0;
    std::function<void()> ticker_;
    std::deque<ModalHandler> modals_;
    std::set<HWND> found_;               // dialogs the script found by title: never modal ones
    std::vector<std::string> menuShown_; // entries in the menu now, command order
    bool closed_ = false;
    bool answering_ = false;
    HWND unanswered_ = nullptr; // a modal dialog that opened with no block queued
    DWORD unansweredSince_ = 0;
};

std::vector<std::string> Win32SessionUi::serviceModals() {
    std::vector<std::string> problems;
    if (answering_ || interactive_) return problems;
    HWND dialog = FindThreadDialog([this](HWND w) { return found_.count(w) == 0; });
    if (!dialog) {
        unanswered_ = nullptr;
        return problems;
    }
    if (modals_.empty()) {
        // A dialog the script did not foresee: give it a moment (a block may follow in
        // the script), then fail rather than leave the session hanging in its loop.
        if (unanswered_ != dialog) {
            unanswered_ = dialog;
            unansweredSince_ = ::GetTickCount();
        } else if (::GetTickCount() - unansweredSince_ > kUnansweredDialogMs) {
            problems.push_back("a dialog titled " + quotedText(TitleOf(dialog)) +
                               " opened, but the script gave no modal block for it");
            dk::testing::PressEscape(dialog);
        }
        return problems;
    }
    const ModalHandler handler = std::move(modals_.front());
    modals_.pop_front();
    answering_ = true; // its clicks run the dialog's handlers, which may pump messages
    handler(dialog);
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

// Brings the window to the top, so that nothing covers it, drawn whole before its
// picture is taken.
void RaiseDrawn(HWND window) {
    ::SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

// The window's pixels as shown on the screen, copied into a 32-bit top-down DIB, then
// PNG.
bool Win32SessionUi::screenshot(dk::WindowHandle handle, const std::string& path,
                                std::string& error) {
    HWND window = static_cast<HWND>(handle);
    RECT r;
    if (!::GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top) {
        error = "the window has no area to picture";
        return false;
    }
    RaiseDrawn(window);
    RgbImage image;
    if (!CopyScreenArea(r, image)) {
        error = "the window's pixels could not be copied";
        return false;
    }
    return WritePngFile(image, path, error);
}

// A popup menu's picture, taken from inside the menu's own modal loop by a thread
// timer, which the loop dispatches: once the menu has been shown and drawn, the screen
// where the window and the menu lie is copied and the menu dismissed.
struct MenuPicture {
    HWND window = nullptr;
    std::string path;
    int ticks = 0;
    int ticksShown = 0;
    bool tried = false; // one try: the menu is dismissed after it
    std::string error;
};

MenuPicture* g_menuPicture = nullptr;
constexpr UINT kMenuTickMs = 50;
constexpr int kMenuTicksLimit = 100; // 5 s for the menu to open
constexpr int kMenuTicksToDraw = 4;  // shown this long before its picture is taken

HWND ShownPopupMenu() {
    HWND menu = ::FindWindowA("#32768", nullptr);
    return menu && ::IsWindowVisible(menu) ? menu : nullptr;
}

void CALLBACK PictureMenu(HWND, UINT, UINT_PTR, DWORD) {
    MenuPicture* p = g_menuPicture;
    if (!p || p->tried) return;
    HWND menu = ShownPopupMenu();
    if (!menu) {
        if (++p->ticks > kMenuTicksLimit) ::EndMenu();
        return;
    }
    ::RedrawWindow(menu, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
    if (++p->ticksShown < kMenuTicksToDraw) return;
    RECT area{}, menuArea{};
    ::GetWindowRect(p->window, &area);
    ::GetWindowRect(menu, &menuArea);
    ::UnionRect(&area, &area, &menuArea);
    // Wine in a virtual desktop leaves the open menu out of the screen's pixels: the
    // menu is painted over them as it paints itself.
    RgbImage image, menuImage;
    if (CopyScreenArea(area, image) && PrintedWindow(menu, menuImage)) {
        Paste(menuImage, menuArea.left - area.left, menuArea.top - area.top, image);
        WritePngFile(image, p->path, p->error); // names its failure in error
    } else {
        p->error = "the screen's pixels could not be copied";
    }
    p->tried = true;
    ::EndMenu();
}

// The control is right-clicked where a user would, a third into it; the menu's loop
// runs inside this call and ends once the picture is taken.
bool Win32SessionUi::menuScreenshot(dk::WindowHandle handle, int controlId, const std::string& path,
                                    std::string& error) {
    HWND window = static_cast<HWND>(handle);
    HWND control = ::GetDlgItem(window, controlId);
    RECT box{};
    if (!control || !::GetWindowRect(control, &box)) {
        error = "the dialog has no such control";
        return false;
    }
    RaiseDrawn(window);
    MenuPicture picture;
    picture.window = window;
    picture.path = path;
    g_menuPicture = &picture;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, kMenuTickMs, &PictureMenu);
    const int x = box.left + (box.right - box.left) / 3, y = box.top + (box.bottom - box.top) / 3;
    ::SendMessageA(control, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(control), MAKELPARAM(x, y));
    ::KillTimer(nullptr, timer);
    g_menuPicture = nullptr;
    if (picture.tried && picture.error.empty()) return true;
    error = !picture.error.empty() ? picture.error : "the control showed no menu";
    return false;
}

} // namespace

std::unique_ptr<SessionUi> MakeSessionUi(HostApi& api, bool interactive) {
    return std::make_unique<Win32SessionUi>(api, interactive);
}

} // namespace devhost
