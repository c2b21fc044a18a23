// What the portable part of dialogkit needs from a back end, and the bookkeeping
// that both back ends share (live dialogs, queued modal scripts, the test switches).
// Internal to dialogkit.
#pragma once

#include "dialogkit/dialog.h"
#include "dialogkit/testing.h"

#include <string>
#include <vector>

namespace dk {
namespace backend {

// Makes the window of a modeless dialog from its template and delivers
// kWmInitDialog to it; the window, or null when it could not be made.
WindowHandle CreateModeless(CDialog& dialog, WindowHandle owner);
// Makes the window, delivers kWmInitDialog, runs the modal loop (the queued script on
// headless) and destroys the window; the end result, or -1 when it could not be made.
int RunModal(CDialog& dialog, WindowHandle owner);
void EndModal(WindowHandle window, int result);

} // namespace backend

namespace detail {

bool TemplateLookupBlocked();

void RegisterDialog(CDialog* dialog);
void UnregisterDialog(CDialog* dialog);
const std::vector<CDialog*>& LiveDialogs();

// Pops and runs the next modal script on window; false when none was queued.
bool RunNextModalScript(WindowHandle window);

bool ShellCaptureOn();
void RecordShellOpen(const std::string& address);

} // namespace detail
} // namespace dk
