// Window primitives that the portable part of dialogkit is written against: an
// opaque window handle and the few operations and messages the dialogs use. The
// win32/ back end maps each one to the USER32 call of the same meaning; the
// headless/ back end keeps the windows in memory and records what a user would see.
// Message numbers and flags are Win32's on every platform.
//
// (Names avoid the Win32 A/W macros: GetText, not GetWindowText.)
#pragma once

#include <cstdint>
#include <string>

namespace dk {

using WindowHandle = void*; // HWND on Win32
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

// Private window messages of dialogkit are numbered from here (WM_APP).
constexpr unsigned kWmApp = 0x8000;

enum : unsigned {
    kWmActivate = 0x0006,
    kWmSetText = 0x000C,
    kWmGetText = 0x000D,
    kWmGetTextLength = 0x000E,
    kWmClose = 0x0010,
    kWmContextMenu = 0x007B,
    kWmSetIcon = 0x0080,
    kWmGetIcon = 0x007F,
    kWmInitDialog = 0x0110,
    kWmCommand = 0x0111,
    kWmKeyDown = 0x0100,
    kWmKeyUp = 0x0101,
    kWmChar = 0x0102,
    kWmSysKeyDown = 0x0104,
    kWmSysKeyUp = 0x0105,
    kEmGetSel = 0x00B0,
    kEmSetSel = 0x00B1,
    kEmLineScroll = 0x00B6,
    kEmScrollCaret = 0x00B7,
    kEmGetLineCount = 0x00BA,
    kEmReplaceSel = 0x00C2,
    kEmGetFirstVisibleLine = 0x00CE,
    kEmSetLimitText = 0x00C5,
    kEmGetLimitText = 0x00D5,
    kCbAddString = 0x0143,
    kCbGetCount = 0x0146,
    kCbGetCurSel = 0x0147,
    kCbGetLbText = 0x0148,
    kCbGetLbTextLen = 0x0149,
    kCbSetCurSel = 0x014E,
    kBmGetCheck = 0x00F0,
    kBmSetCheck = 0x00F1,
    kBmClick = 0x00F5,
};

// Button check states (BM_GETCHECK, BM_SETCHECK).
enum : int { kBstUnchecked = 0, kBstChecked = 1 };

// Virtual key codes, Win32's.
enum : unsigned {
    kVkShift = 0x10,
    kVkControl = 0x11,
    kVkApps = 0x5D, // the menu key
    kVkF3 = 0x72,
    kVkF10 = 0x79,
};
// The modifier keys held down with a key (ControlKeyHandler).
enum : unsigned { kModShift = 1, kModControl = 2 };

// Notification codes (high word of WM_COMMAND's wParam).
enum : unsigned {
    kBnClicked = 0,
    kCbnSelChange = 1,
};

enum : int {
    kSwHide = 0,
    kSwShowNormal = 1,
    kSwShow = 5,
};

enum : int { kIconSmall = 0, kIconBig = 1 };

constexpr int kCbErr = -1;

// Command ids of the standard dialog buttons.
enum : int { kIdOkCommand = 1, kIdCancelCommand = 2 };

LResult SendMsg(WindowHandle window, unsigned message, WParam wParam = 0, LParam lParam = 0);
// The child of a dialog with that control id; null when there is none.
WindowHandle ControlOf(WindowHandle dialog, int id);
int ControlIdOf(WindowHandle window);
std::string GetText(WindowHandle window);
bool SetText(WindowHandle window, const std::string& text);
bool IsLiveWindow(WindowHandle window);
// ShowWindow's result: whether the window was visible before.
bool ShowWindow(WindowHandle window, int command);
bool IsWindowVisible(WindowHandle window);
// EnableWindow's result: whether the window was disabled before.
bool EnableWindow(WindowHandle window, bool enable);
bool IsWindowEnabled(WindowHandle window);
WindowHandle SetFocus(WindowHandle window);
WindowHandle GetFocus();
void DestroyWindow(WindowHandle window);

// Whether window is the foreground window, the one the user is working in.
bool IsForegroundWindow(WindowHandle window);
// Turn a visible window's drawing off and on again, as WM_SETREDRAW does: meanwhile
// its changes draw nothing, and turning it on invalidates it whole, frame included,
// for the next paint. PauseDrawing's result: whether it turned drawing off (false for
// a hidden window, or where nothing is drawn).
bool PauseDrawing(WindowHandle window);
void ResumeDrawing(WindowHandle window);
// Flashes the window's caption and taskbar button until the user brings it to the
// foreground (FlashWindowEx).
void FlashUntilForeground(WindowHandle window);

// Asks the shell to open a document or web address with the verb "Open", no
// parameters, no folder, shown normally, no owner. False when the shell could not open
// it (a file path the shell refuses in its long form is tried again in its short one).
bool ShellOpen(const std::string& address);

inline WParam MakeWParam(unsigned low, unsigned high) {
    return static_cast<WParam>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}
inline unsigned LowWord(WParam value) {
    return static_cast<unsigned>(value & 0xFFFFu);
}
inline unsigned HighWord(WParam value) {
    return static_cast<unsigned>((value >> 16) & 0xFFFFu);
}

} // namespace dk
