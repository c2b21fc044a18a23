// The Win32 back end: real dialogs made by USER32 from the module's RT_DIALOG
// resources (found in the module's own HINSTANCE, not the host executable's), one
// dialog procedure that hands every message to the CDialog, and the window
// primitives as the USER32 calls of the same meaning.
#include "dialogkit/backend.h"
#include "dialogkit/win32/module_instance.h"
#include "dialogkit/wide_text.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>

namespace dk {
namespace {

const DLGTEMPLATE* FindTemplate(int templateId) {
    if (detail::DriverHidesTemplate(templateId)) return nullptr;
    HINSTANCE module = ModuleInstance();
    HRSRC resource = ::FindResourceA(module, MAKEINTRESOURCEA(templateId), MAKEINTRESOURCEA(5));
    if (!resource) return nullptr;
    HGLOBAL loaded = ::LoadResource(module, resource);
    return loaded ? static_cast<const DLGTEMPLATE*>(::LockResource(loaded)) : nullptr;
}

// The placement of a dialog whose template is at (0, 0) without a centring style:
// centred on the primary monitor's work area, kept inside its left and top edges.
void CentreOnWorkArea(HWND window) {
    RECT work{}, frame{};
    if (!::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0) || !::GetWindowRect(window, &frame))
        return;
    const LONG width = frame.right - frame.left, height = frame.bottom - frame.top;
    const LONG x = std::max(work.left, work.left + (work.right - work.left - width) / 2);
    const LONG y = std::max(work.top, work.top + (work.bottom - work.top - height) / 2);
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_INITDIALOG) {
            auto* dialog = reinterpret_cast<CDialog*>(lParam);
            ::SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
            dialog->AttachWindow(window);
            bool handled = false;
            const LResult focusDefault =
                dialog->OnWindowMessage(kWmInitDialog, wParam, lParam, handled);
            if (::IsWindow(window)) {
                CentreOnWorkArea(window);
                if (dialog->IsModal()) detail::NotifyDriverModalStarting(window);
            }
            return focusDefault ? TRUE : FALSE;
        }
        auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
        if (!dialog) return FALSE;
        if (message == WM_NCDESTROY) {
            ::SetWindowLongPtrA(window, DWLP_USER, 0);
            if (dialog->GetSafeHwnd() == window) dialog->AttachWindow(nullptr);
            return FALSE;
        }
        bool handled = false;
        dialog->OnWindowMessage(message, wParam, lParam, handled);
        return handled ? TRUE : FALSE;
    } catch (...) {
        return FALSE; // nothing escapes a window procedure
    }
}

} // namespace

LResult SendMsg(WindowHandle window, unsigned message, WParam wParam, LParam lParam) {
    return ::SendMessageA(static_cast<HWND>(window), message, wParam, lParam);
}

WindowHandle ControlOf(WindowHandle dialog, int id) {
    return ::GetDlgItem(static_cast<HWND>(dialog), id);
}

int ControlIdOf(WindowHandle window) {
    return ::GetDlgCtrlID(static_cast<HWND>(window));
}

std::string GetText(WindowHandle window) {
    HWND hwnd = static_cast<HWND>(window);
    // Read back whole however long: a transcript has no length limit.
    const int length = ::GetWindowTextLengthA(hwnd);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = ::GetWindowTextA(hwnd, &text[0], length + 1);
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

bool SetText(WindowHandle window, const std::string& text) {
    return ::SetWindowTextA(static_cast<HWND>(window), text.c_str()) != FALSE;
}

bool IsLiveWindow(WindowHandle window) {
    return window && ::IsWindow(static_cast<HWND>(window)) != FALSE;
}

bool ShowWindow(WindowHandle window, int command) {
    return ::ShowWindow(static_cast<HWND>(window), command) != FALSE;
}

bool IsWindowVisible(WindowHandle window) {
    return ::IsWindowVisible(static_cast<HWND>(window)) != FALSE;
}

bool EnableWindow(WindowHandle window, bool enable) {
    return ::EnableWindow(static_cast<HWND>(window), enable ? TRUE : FALSE) != FALSE;
}

bool IsWindowEnabled(WindowHandle window) {
    return ::IsWindowEnabled(static_cast<HWND>(window)) != FALSE;
}

WindowHandle SetFocus(WindowHandle window) {
    return ::SetFocus(static_cast<HWND>(window));
}

WindowHandle GetFocus() {
    return ::GetFocus();
}

void DestroyWindow(WindowHandle window) {
    if (IsLiveWindow(window)) ::DestroyWindow(static_cast<HWND>(window));
}

bool IsForegroundWindow(WindowHandle window) {
    return window != nullptr && ::GetForegroundWindow() == static_cast<HWND>(window);
}

// WM_SETREDRAW would do, but Wine's edit control ignores it, and there every change
// of a box's text redraws its themed scroll bar at once, twice per append (the range,
// then the position), at about sixty server requests each. The visible style is what
// DefWindowProc's WM_SETREDRAW turns off and on, here and on Windows.
bool PauseDrawing(WindowHandle window) {
    HWND hwnd = static_cast<HWND>(window);
    const LONG_PTR style = ::GetWindowLongPtrA(hwnd, GWL_STYLE);
    if ((style & WS_VISIBLE) == 0) return false;
    ::SetWindowLongPtrA(hwnd, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_VISIBLE));
    return true;
}

void ResumeDrawing(WindowHandle window) {
    HWND hwnd = static_cast<HWND>(window);
    ::SetWindowLongPtrA(hwnd, GWL_STYLE, ::GetWindowLongPtrA(hwnd, GWL_STYLE) | WS_VISIBLE);
    ::RedrawWindow(hwnd, nullptr, nullptr,
                   RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void FlashUntilForeground(WindowHandle window) {
    FLASHWINFO flash = {};
    flash.cbSize = sizeof flash;
    flash.hwnd = static_cast<HWND>(window);
    flash.dwFlags = FLASHW_ALL | FLASHW_TIMERNOFG;
    ::FlashWindowEx(&flash);
}

namespace {

// ShellExecuteW answers with a value above this one when it succeeded.
constexpr INT_PTR kShellExecuteLastFailure = 32;

bool ShellExecuteOpens(const std::wstring& file) {
    const HINSTANCE result =
        ::ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > kShellExecuteLastFailure;
}

// The 8.3 form of an existing file's path, as the shell takes it; "" when the volume
// keeps no short names or the file is not there.
std::wstring ShortPathOf(const std::wstring& path) {
    const std::wstring longForm = LongPathForm(path);
    const DWORD size = ::GetShortPathNameW(longForm.c_str(), nullptr, 0);
    if (size == 0) return L"";
    std::wstring shortPath(size, L'\0');
    const DWORD length = ::GetShortPathNameW(longForm.c_str(), &shortPath[0], size);
    if (length == 0 || length >= size) return L"";
    shortPath.resize(length);
    return WithoutLongPathPrefix(shortPath);
}

} // namespace

namespace backend {

void FillCharacterLengths(detail::CharacterLengths& lengths) {
    // The A calls read text in the system's ANSI code page, UTF-8 included where the
    // system is set to it; GetCPInfo tells a double-byte page's lead-byte ranges.
    if (::GetACP() == CP_UTF8) {
        detail::FillUtf8CharacterLengths(lengths);
        return;
    }
    lengths.fill(1);
    CPINFO info{};
    if (!::GetCPInfo(CP_ACP, &info)) return;
    for (int i = 0; i + 1 < MAX_LEADBYTES && (info.LeadByte[i] != 0 || info.LeadByte[i + 1] != 0);
         i += 2) {
        for (unsigned lead = info.LeadByte[i]; lead <= info.LeadByte[i + 1]; ++lead)
            lengths[lead] = 2;
    }
}

// The shell is not expected to take a path of MAX_PATH or more: a refusal of the
// long form is tried again with the short one.
bool ShellOpen(const std::string& address) {
    const std::wstring wide = WideFromUtf8(address);
    if (ShellExecuteOpens(wide)) return true;
    const std::wstring shortPath = ShortPathOf(wide);
    return !shortPath.empty() && shortPath != wide && ShellExecuteOpens(shortPath);
}

WindowHandle CreateModeless(CDialog& dialog, WindowHandle owner) {
    const DLGTEMPLATE* dialogTemplate = FindTemplate(dialog.GetTemplateId());
    if (!dialogTemplate) return nullptr;
    HWND window =
        ::CreateDialogIndirectParamA(ModuleInstance(), dialogTemplate, static_cast<HWND>(owner),
                                     DialogProc, reinterpret_cast<LPARAM>(&dialog));
    if (!window) dialog.AttachWindow(nullptr);
    return window;
}

int RunModal(CDialog& dialog, WindowHandle owner) {
    const DLGTEMPLATE* dialogTemplate = FindTemplate(dialog.GetTemplateId());
    if (!dialogTemplate) return -1;
    const INT_PTR result =
        ::DialogBoxIndirectParamA(ModuleInstance(), dialogTemplate, static_cast<HWND>(owner),
                                  DialogProc, reinterpret_cast<LPARAM>(&dialog));
    dialog.AttachWindow(nullptr);
    return static_cast<int>(result);
}

void EndModal(WindowHandle window, int result) {
    ::EndDialog(static_cast<HWND>(window), result);
}

} // namespace backend

} // namespace dk
