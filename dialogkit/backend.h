// What the portable part of dialogkit needs from a back end, and the bookkeeping that
// both back ends share (live dialogs, the driver's turns). Internal to dialogkit and to
// its testing library.
#pragma once

#include "dialogkit/box_text.h"
#include "dialogkit/dialog.h"
#include "dialogkit/popup_menu.h"
#include "dialogkit/save_dialog.h"

#include <string>
#include <vector>

namespace dk {
namespace backend {

// Makes the window of a modeless dialog from its template and delivers
// kWmInitDialog to it; the window, or null when it could not be made.
WindowHandle CreateModeless(CDialog& dialog, WindowHandle owner);
// Makes the window, delivers kWmInitDialog, runs the modal loop (headless: lets the
// driver act on it) and destroys the window; the end result, or -1 when it could not
// be made.
int RunModal(CDialog& dialog, WindowHandle owner);
void EndModal(WindowHandle window, int result);

// The platform's own message box (MessageBoxA; headless: answered OK, nobody sees it).
int ShowMessageBox(void* owner, const char* text, const char* caption, unsigned flags);
// The same box for UTF-8 texts (MessageBoxW).
int ShowMessageBoxUtf8(void* owner, const char* text, const char* caption, unsigned flags);
// The shell's "Open" of a UTF-8 address (ShellExecuteW; headless: there is no shell).
bool ShellOpen(const std::string& address);
// The character lengths of the code page in which the boxes show text.
void FillCharacterLengths(detail::CharacterLengths& lengths);
// TrackPopupMenu (headless: dismissed), GetSaveFileNameW (headless: cancelled).
int TrackPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items, int x, int y);
std::optional<std::string> AskSaveAsPath(WindowHandle owner, const SaveAsRequest& request);

} // namespace backend

namespace detail {

void RegisterDialog(CDialog* dialog);
void UnregisterDialog(CDialog* dialog);
const std::vector<CDialog*>& LiveDialogs();

// The driver's turns (see driver_hook.h). With no driver installed, or in a build
// without the hook (the shipped Win32 library, driver_hook_absent.cpp), no template is
// hidden, nothing happens when a modal loop starts, and no box or shell request is taken.
bool DriverHidesTemplate(int templateId);
void NotifyDriverModalStarting(WindowHandle dialog);
bool DriverTakesMessageBox(void* owner, const char* text, const char* caption, unsigned flags,
                           int& answer);
bool DriverTakesShellOpen(const std::string& address);
bool DriverTakesPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items, int& chosen);
bool DriverTakesSaveAs(const SaveAsRequest& request, std::optional<std::string>& chosen);

} // namespace detail
} // namespace dk
