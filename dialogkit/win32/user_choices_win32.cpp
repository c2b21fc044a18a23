// Win32 popup menus, the common Save As dialog, the Documents folder and the
// subclassing of a control for its menu and keys.
#include "dialogkit/backend.h"
#include "dialogkit/control_keys.h"
#include "dialogkit/wide_text.h"

#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace dk {
namespace {

// A path buffer of the Save As dialog: far past MAX_PATH, as the wide calls allow.
constexpr DWORD kPathBufferChars = 32768;

struct ControlKeys {
    WNDPROC original = nullptr;
    ControlKeyHandler* handler = nullptr; // not owned
    bool swallowChar = false;             // the character of a handled key follows it
    bool menuKeyTaken = false;            // its key-up must not ask for the menu again
    SelectionShown selection = SelectionShown::WithFocus;
};

// The subclassed controls and what each keeps, looked up at every message they get. A
// window property would do, but under Wine each GetProp is a round trip to its server,
// and a transcript box gets several messages for every line shown. dialogkit's windows
// live on the one user-interface thread, where their procedures run.
class SubclassedControls {
public:
    static ControlKeys* Find(HWND window) {
        for (const auto& [control, keys] : Entries())
            if (control == window) return keys;
        return nullptr;
    }
    static void Add(HWND window, ControlKeys* keys) { Entries().emplace_back(window, keys); }
    static void Remove(HWND window) {
        auto& entries = Entries();
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (it->first != window) continue;
            entries.erase(it);
            return;
        }
    }

private:
    static std::vector<std::pair<HWND, ControlKeys*>>& Entries() {
        static std::vector<std::pair<HWND, ControlKeys*>> entries; // each owned until WM_NCDESTROY
        return entries;
    }
};

unsigned HeldModifiers() {
    unsigned modifiers = 0;
    if (::GetKeyState(VK_SHIFT) < 0) modifiers |= kModShift;
    if (::GetKeyState(VK_CONTROL) < 0) modifiers |= kModControl;
    return modifiers;
}

bool IsMenuKey(WPARAM key, unsigned modifiers) {
    return key == VK_APPS || (key == VK_F10 && modifiers == kModShift);
}

// WM_CONTEXTMENU's point: screen coordinates as two signed words.
int SignedLow(LPARAM value) {
    return static_cast<short>(LOWORD(value));
}
int SignedHigh(LPARAM value) {
    return static_cast<short>(HIWORD(value));
}

// An edit box's selection, start and end, read through EM_GETSEL's two pointers.
std::pair<DWORD, DWORD> SelectionOf(HWND box) {
    DWORD start = 0, end = 0;
    ::SendMessageA(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
    return {start, end};
}

bool HasSelection(HWND box) {
    const auto [start, end] = SelectionOf(box);
    return start != end;
}

// The selection of an edit box without the focus, which the box itself leaves
// unmarked: inverted over what the box painted, line by line on the lines in view,
// within clip (the part just painted, in client coordinates).
void InvertSelection(HWND box, HRGN clip) {
    const auto [start, end] = SelectionOf(box);
    if (start == end) return;
    HDC dc = ::GetDC(box);
    ::SelectClipRgn(dc, clip);
    TEXTMETRICA metrics{};
    HGDIOBJ font =
        ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(box, WM_GETFONT, 0, 0)));
    ::GetTextMetricsA(dc, &metrics);
    ::SelectObject(dc, font);
    RECT client{};
    ::GetClientRect(box, &client);
    const auto textLength = static_cast<DWORD>(::GetWindowTextLengthA(box));
    const auto xOf = [box](DWORD index) {
        return static_cast<short>(LOWORD(::SendMessageA(box, EM_POSFROMCHAR, index, 0)));
    };
    const int firstLine = static_cast<int>(::SendMessageA(box, EM_GETFIRSTVISIBLELINE, 0, 0));
    const int lines = static_cast<int>(::SendMessageA(box, EM_GETLINECOUNT, 0, 0));
    const int linesInView = metrics.tmHeight > 0 ? client.bottom / metrics.tmHeight + 1 : 0;
    for (int line = firstLine; line < lines && line <= firstLine + linesInView; ++line) {
        const auto lineStart = static_cast<DWORD>(::SendMessageA(box, EM_LINEINDEX, line, 0));
        const auto lineEnd =
            lineStart + static_cast<DWORD>(::SendMessageA(box, EM_LINELENGTH, lineStart, 0));
        const DWORD from = std::max(start, lineStart), to = std::min(end, lineEnd);
        if (from >= to) continue;
        const LRESULT at = ::SendMessageA(box, EM_POSFROMCHAR, from, 0);
        // The end of the text has no position of its own: one character past the last.
        const int right = to < textLength ? xOf(to) : xOf(to - 1) + metrics.tmAveCharWidth;
        const int top = static_cast<short>(HIWORD(at));
        RECT marked{static_cast<short>(LOWORD(at)), top, right, top + metrics.tmHeight};
        ::InvertRect(dc, &marked);
    }
    ::ReleaseDC(box, dc);
}

LRESULT CALLBACK ControlKeysProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ControlKeys* keys = SubclassedControls::Find(window);
    if (!keys) return ::DefWindowProcA(window, message, wParam, lParam);
    const WNDPROC original = keys->original;
    try {
        switch (message) {
        case WM_CONTEXTMENU:
            if (keys->handler->OnControlContextMenu(window, SignedLow(lParam), SignedHigh(lParam)))
                return 0;
            break;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN: {
            const unsigned modifiers = HeldModifiers();
            // The menu keys are taken here, and their key-up below, so that the control's
            // default processing does not ask for the menu a second time.
            if (IsMenuKey(wParam, modifiers) &&
                keys->handler->OnControlContextMenu(window, kKeyboardMenuPoint,
                                                    kKeyboardMenuPoint)) {
                keys->menuKeyTaken = true;
                return 0;
            }
            if (keys->handler->OnControlKey(window, static_cast<unsigned>(wParam), modifiers)) {
                keys->swallowChar = true;
                return 0;
            }
            keys->swallowChar = false;
            break;
        }
        case WM_KEYUP:
        case WM_SYSKEYUP:
            if (keys->menuKeyTaken && (wParam == VK_APPS || wParam == VK_F10)) {
                keys->menuKeyTaken = false;
                return 0;
            }
            break;
        case WM_CHAR:
            if (keys->swallowChar) {
                keys->swallowChar = false;
                return 0;
            }
            break;
        case WM_PAINT:
            if (keys->selection == SelectionShown::AlsoUnfocused && ::GetFocus() != window) {
                HRGN painted = ::CreateRectRgn(0, 0, 0, 0);
                const bool any = ::GetUpdateRgn(window, painted, FALSE) > NULLREGION;
                const LRESULT result = ::CallWindowProcA(original, window, message, wParam, lParam);
                if (any) InvertSelection(window, painted);
                ::DeleteObject(painted);
                return result;
            }
            break;
        case EM_SETSEL:
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            if (keys->selection == SelectionShown::AlsoUnfocused) {
                // The box repaints only what it marks itself: where a selection was or
                // is, the whole box is repainted and the selection marked anew.
                const bool hadSelection = HasSelection(window);
                const LRESULT result = ::CallWindowProcA(original, window, message, wParam, lParam);
                if (hadSelection || HasSelection(window)) ::InvalidateRect(window, nullptr, TRUE);
                return result;
            }
            break;
        case WM_NCDESTROY:
            ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
            SubclassedControls::Remove(window);
            delete keys;
            break;
        default:
            break;
        }
    } catch (...) {
        // nothing escapes a window procedure
    }
    return ::CallWindowProcA(original, window, message, wParam, lParam);
}

// The keyboard's menu point: the owner's top left corner, a little inside.
POINT KeyboardMenuPoint(HWND owner) {
    RECT frame{};
    ::GetWindowRect(owner, &frame);
    return POINT{frame.left + GetSystemMetrics(SM_CXSMICON),
                 frame.top + GetSystemMetrics(SM_CYSMICON)};
}

} // namespace

bool SubclassControl(WindowHandle control, ControlKeyHandler* handler, SelectionShown selection) {
    HWND window = static_cast<HWND>(control);
    if (!handler || !::IsWindow(window)) return false;
    if (ControlKeys* keys = SubclassedControls::Find(window)) {
        keys->handler = handler;
        keys->selection = selection;
        return true;
    }
    auto* keys = new ControlKeys;
    keys->handler = handler;
    keys->selection = selection;
    SubclassedControls::Add(window, keys);
    keys->original = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlKeysProc)));
    return true;
}

std::string DocumentsFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return {};
    return Utf8FromWide(folder);
}

namespace backend {

int TrackPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items, int x, int y) {
    HMENU menu = ::CreatePopupMenu();
    if (!menu) return 0;
    for (const MenuItem& item : items) {
        if (item.id == 0) {
            ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        UINT flags = MF_STRING | (item.enabled ? MF_ENABLED : MF_GRAYED);
        if (item.checked) flags |= MF_CHECKED;
        ::AppendMenuA(menu, flags, static_cast<UINT_PTR>(item.id), item.text.c_str());
    }
    HWND window = static_cast<HWND>(owner);
    POINT at{x, y};
    if (x == kKeyboardMenuPoint && y == kKeyboardMenuPoint) at = KeyboardMenuPoint(window);
    const int chosen = static_cast<int>(::TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr));
    ::DestroyMenu(menu);
    return chosen;
}

std::optional<std::string> AskSaveAsPath(WindowHandle owner, const SaveAsRequest& request) {
    std::wstring path = WideFromUtf8(request.fileName);
    path.resize(kPathBufferChars, L'\0');
    // "Text files (*.txt)\0*.txt\0\0"
    const std::wstring pattern = L"*." + WideFromUtf8(request.extension);
    std::wstring filter = WideFromUtf8(request.typeName) + L" (" + pattern + L")";
    filter.push_back(L'\0');
    filter += pattern;
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    const std::wstring folder = WideFromUtf8(request.folder);
    const std::wstring extension = WideFromUtf8(request.extension);

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = static_cast<HWND>(owner);
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = &path[0];
    dialog.nMaxFile = kPathBufferChars;
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrDefExt = extension.c_str();
    dialog.Flags =
        OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!::GetSaveFileNameW(&dialog)) return std::nullopt;
    path.resize(wcslen(path.c_str()));
    return Utf8FromWide(path);
}

} // namespace backend
} // namespace dk
