// dialogkit's testing library: driving dialogkit's windows from tests and scripted
// sessions, the same on both back ends. On Win32 every call is a real window message
// (WM_SETTEXT, WM_COMMAND with BN_CLICKED, CB_SETCURSEL followed by CBN_SELCHANGE,
// WM_GETICON ...), so what a test reads is what a user would see; headless reads the
// in-memory windows. Modal scripts, captured message boxes and the template and shell
// switches work through the driver hook that this library installs in dialogkit on its
// first use (dialogkit/driver_hook.h); only tests and devhost link it, never a module.
#pragma once

#include "dialogkit/message_box.h"
#include "dialogkit/popup_menu.h"
#include "dialogkit/save_dialog.h"
#include "dialogkit/window.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dk {
namespace testing {

// A live dialog of this process by its window title or its template id; null if none.
WindowHandle FindDialog(const std::string& title);
WindowHandle FindDialogByTemplate(int templateId);

std::string WindowTitle(WindowHandle dialog);
bool IsVisible(WindowHandle dialog);
// The big icon (WM_GETICON ICON_BIG); 0 when none was set.
std::uintptr_t BigIcon(WindowHandle dialog);

bool HasControl(WindowHandle dialog, int id);
std::string ControlText(WindowHandle dialog, int id);
bool IsControlEnabled(WindowHandle dialog, int id);
bool IsControlVisible(WindowHandle dialog, int id);
// Types text as a user would end up with it: the whole text is replaced.
bool SetControlText(WindowHandle dialog, int id, const std::string& text);
// Clicks a button as a user would: refused (false) when it is disabled or hidden.
bool ClickButton(WindowHandle dialog, int id);
// Selects a combo box item and notifies the dialog (CBN_SELCHANGE); false when the
// combo box is disabled or the index is out of range.
bool SelectComboItem(WindowHandle dialog, int id, int index);
int ComboSelection(WindowHandle dialog, int id);
std::vector<std::string> ComboItems(WindowHandle dialog, int id);
// The close box (WM_CLOSE).
bool CloseDialog(WindowHandle dialog);
// The Escape key as dialog navigation delivers it: the Cancel command.
bool PressEscape(WindowHandle dialog);
// The control id that has the focus inside dialog, 0 when the focus is elsewhere.
int FocusedControlId(WindowHandle dialog);
// Selection of an edit control (EM_GETSEL).
void EditSelection(WindowHandle dialog, int id, int& start, int& end);
int FirstVisibleLine(WindowHandle dialog, int id);
// A check box or radio button: checks or unchecks it (BM_SETCHECK), reads it.
bool SetChecked(WindowHandle dialog, int id, bool checked);
bool IsChecked(WindowHandle dialog, int id);
// The context menu of a control asked for from the keyboard (WM_CONTEXTMENU at
// kKeyboardMenuPoint), and a key pressed in a control with modifiers held (kModShift,
// kModControl) as its WM_KEYDOWN; false when there is no such control.
bool AskContextMenu(WindowHandle dialog, int id);
bool PressKey(WindowHandle dialog, int id, unsigned virtualKey, unsigned modifiers = 0);

// Popup menus, once the library is in use, are never shown: each is recorded and
// answered with the next queued choice, or dismissed (0) when none is queued.
void PushMenuChoice(int id);
// The menus shown since the last call, oldest first.
std::vector<std::vector<MenuItem>> TakeMenus();

// Save As dialogs, likewise: each request is recorded and answered with the next
// queued path (nothing: cancelled), or cancelled when none is queued.
void PushSaveAsAnswer(std::optional<std::string> path);
std::vector<SaveAsRequest> TakeSaveAsRequests();

// Brings dialog (null: another program's window) to the foreground, as a click would.
void BringToForeground(WindowHandle dialog);
// How often dialog was asked to flash until brought forward; -1 on Win32, where only
// the window manager knows.
int FlashRequests(WindowHandle dialog);

// A modal dialog starts with the next queued script: it runs once the dialog is
// initialised and shown, acts on it (types, selects, clicks OK or Cancel) and may do
// anything else meanwhile. A dialog that the script leaves open is cancelled. With no
// script queued, headless dialogs are cancelled at once; Win32 ones wait for the user.
using ModalScript = std::function<void(WindowHandle dialog)>;
void PushModalScript(ModalScript script);
std::size_t PendingModalScripts();
void ClearModalScripts();

// Makes every template lookup fail (a missing resource) while on.
void SetTemplateLookupFails(bool fails);

// While capturing, ShellOpen records the address instead of opening it (headless has
// no shell and never opens).
void BeginShellCapture();
std::vector<std::string> TakeShellOpens();
void EndShellCapture();

// Win32: dispatches the thread's pending window messages; headless: nothing.
void PumpMessages();

// One message box as shown: its caption, its text and its flags.
struct ShownBox {
    std::string caption;
    std::string text;
    unsigned flags;
};

// Starts recording and auto-answering boxes. Headless: every box is recorded, and
// answered at once. Win32: a watcher finds each box window of this thread, reads its
// caption and the text that the user sees, and dismisses it with the answer; flags are
// known for the boxes of this module's dialogkit and read as 0 for another module's.
// Headless boxes are recorded once the library is in use, also outside a capture, and
// answered OK there unless an answer is queued.
void BeginCapture(int answer = kIdOk);
// Queues an answer for the next box only (before falling back to the capture's).
void PushAnswer(int answer);
// The boxes shown since BeginCapture (or the last TakeBoxes), oldest first.
std::vector<ShownBox> TakeBoxes();
void EndCapture();

} // namespace testing
} // namespace dk
