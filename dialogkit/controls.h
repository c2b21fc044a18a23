// Control wrappers: each holds only its window handle, attached by the data
// exchange (DDX_Control), and each method is one message to that window. Nothing
// that the window knows is cached here. A method on an unattached control does
// nothing and answers as a failed message would (0, -1 for the combo box).
#pragma once

#include "dialogkit/window.h"

#include <cstdint>
#include <string>

namespace dk {

class CWnd {
public:
    void Attach(WindowHandle window) { m_hWnd = window; }
    void Detach() { m_hWnd = nullptr; }
    WindowHandle GetSafeHwnd() const { return m_hWnd; }
    bool IsAttached() const { return m_hWnd != nullptr && IsLiveWindow(m_hWnd); }

    bool ShowWindow(int command) { return IsAttached() && dk::ShowWindow(m_hWnd, command); }
    bool EnableWindow(bool enable) { return IsAttached() && dk::EnableWindow(m_hWnd, enable); }
    bool IsWindowEnabled() const { return IsAttached() && dk::IsWindowEnabled(m_hWnd); }
    bool IsWindowVisible() const { return IsAttached() && dk::IsWindowVisible(m_hWnd); }
    bool SetWindowText(const std::string& text) { return IsAttached() && SetText(m_hWnd, text); }
    std::string GetWindowText() const { return IsAttached() ? GetText(m_hWnd) : std::string(); }
    LResult SendMessage(unsigned message, WParam wParam = 0, LParam lParam = 0) {
        return IsAttached() ? SendMsg(m_hWnd, message, wParam, lParam) : 0;
    }

protected:
    WindowHandle m_hWnd = nullptr; // not owned: the dialog owns its controls
};

// Holds a window's drawing back for its scope (PauseDrawing): a run of changes that
// would each redraw part of it is drawn once, at the next paint.
class CDrawingPause {
public:
    explicit CDrawingPause(CWnd& window)
        : m_hWnd(window.IsAttached() && PauseDrawing(window.GetSafeHwnd()) ? window.GetSafeHwnd()
                                                                           : nullptr) {}
    ~CDrawingPause() {
        if (m_hWnd && IsLiveWindow(m_hWnd)) ResumeDrawing(m_hWnd);
    }
    CDrawingPause(const CDrawingPause&) = delete;
    CDrawingPause& operator=(const CDrawingPause&) = delete;

private:
    WindowHandle m_hWnd; // not owned; null when drawing was not turned off here
};

class CButton : public CWnd {
public:
    // BM_GETCHECK, BM_SETCHECK: kBstChecked or kBstUnchecked.
    int GetCheck() { return static_cast<int>(SendMessage(kBmGetCheck)); }
    void SetCheck(int check) { SendMessage(kBmSetCheck, static_cast<WParam>(check)); }
};

class CEdit : public CWnd {
public:
    // EM_GETLINECOUNT: lines of a multi-line box (1 when empty).
    int GetLineCount() { return static_cast<int>(SendMessage(kEmGetLineCount)); }
    // EM_LINESCROLL: scrolls by lines vertically and characters horizontally.
    bool LineScroll(int lines, int chars = 0) {
        return SendMessage(kEmLineScroll, static_cast<WParam>(chars), lines) != 0;
    }
    int GetFirstVisibleLine() { return static_cast<int>(SendMessage(kEmGetFirstVisibleLine)); }
    // EM_SETSEL: 0, -1 selects the whole text.
    void SetSel(int start, int end) {
        SendMessage(kEmSetSel, static_cast<WParam>(start), static_cast<LParam>(end));
    }
    // EM_GETSEL: the selection's start and end, read through its two pointers: the
    // packed answer holds 16 bits a position, and past 64 KiB Windows answers -1.
    void GetSel(int& start, int& end) {
        std::uint32_t from = 0, to = 0;
        SendMessage(kEmGetSel, reinterpret_cast<WParam>(&from), reinterpret_cast<LParam>(&to));
        start = static_cast<int>(from);
        end = static_cast<int>(to);
    }
    // EM_SCROLLCARET: scrolls the caret into view.
    void ScrollCaret() { SendMessage(kEmScrollCaret); }
    // EM_REPLACESEL without undo: text takes the selection's place (at the caret when
    // nothing is selected), cut to what the text limit leaves room for.
    void ReplaceSel(const char* text) {
        SendMessage(kEmReplaceSel, 0, reinterpret_cast<LParam>(text));
    }
    // EM_SETLIMITTEXT: 0 raises the limit to the maximum.
    void SetLimitText(unsigned limit) { SendMessage(kEmSetLimitText, limit); }
    unsigned GetLimitText() { return static_cast<unsigned>(SendMessage(kEmGetLimitText)); }
};

class CComboBox : public CWnd {
public:
    // CB_ADDSTRING: the index of the new item, kCbErr on failure.
    int AddString(const std::string& text) {
        return IsAttached() ? static_cast<int>(SendMessage(kCbAddString, 0,
                                                           reinterpret_cast<LParam>(text.c_str())))
                            : kCbErr;
    }
    // CB_SETCURSEL: the index selected, kCbErr when out of range (selection cleared).
    int SetCurSel(int index) {
        return IsAttached()
                   ? static_cast<int>(SendMessage(kCbSetCurSel, static_cast<WParam>(index)))
                   : kCbErr;
    }
    int GetCurSel() { return IsAttached() ? static_cast<int>(SendMessage(kCbGetCurSel)) : kCbErr; }
    int GetCount() { return IsAttached() ? static_cast<int>(SendMessage(kCbGetCount)) : kCbErr; }
    std::string GetLBText(int index);
};

} // namespace dk
