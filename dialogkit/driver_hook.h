// The one point where a driver can reach into dialogkit's back ends. dialogkit's
// testing library installs one so that tests and scripted sessions can answer modal
// dialogs and message boxes, make a template look-up fail and keep the shell from
// opening documents. With no driver installed, every answer below is "not taken" and
// the back ends behave as the plain window system. The hook exists only in the builds
// that tests and devhost link (dialogkit_driven); the shipped Win32 library has none
// of it. It is process-wide only where dialogkit is (natively one shared library; on
// Win32 each module has its own copy, so a host's driver never reaches a plug-in's,
// and drives its windows through USER32 instead).
#pragma once

#include "dialogkit/popup_menu.h"
#include "dialogkit/save_dialog.h"
#include "dialogkit/window.h"

#include <optional>
#include <string>
#include <vector>

namespace dk {

class DriverHook {
public:
    virtual ~DriverHook() = default;

    // A modal dialog has been made and initialised; its modal loop is about to run
    // (Win32) or, headless, this call is its loop.
    virtual void ModalStarting(WindowHandle /*dialog*/) {}
    // A message box is about to be shown: true when the driver has shown or answered it
    // itself, with the answer; false lets the back end show it.
    virtual bool TakeMessageBox(void* /*owner*/, const char* /*text*/, const char* /*caption*/,
                                unsigned /*flags*/, int& /*answer*/) {
        return false;
    }
    // True makes the look-up of this template fail, as a missing resource does.
    virtual bool HidesTemplate(int /*templateId*/) { return false; }
    // True when the driver took the request to open address; the shell is then not asked.
    virtual bool TakeShellOpen(const std::string& /*address*/) { return false; }
    // A popup menu is about to be shown: true when the driver chose for the user, with
    // the chosen id (0: dismissed).
    virtual bool TakePopupMenu(WindowHandle /*owner*/, const std::vector<MenuItem>& /*items*/,
                               int& /*chosen*/) {
        return false;
    }
    // A Save As dialog is about to be shown: true when the driver answered it, with the
    // chosen path (nothing: cancelled).
    virtual bool TakeSaveAs(const SaveAsRequest& /*request*/,
                            std::optional<std::string>& /*chosen*/) {
        return false;
    }
};

// The installed driver, or null; SetDriverHook(nullptr) removes it. Not owned by us.
void SetDriverHook(DriverHook* hook);
DriverHook* InstalledDriverHook();

} // namespace dk
