// The testing library's driver: the hook it installs in dialogkit (driver_hook.h) and
// the state behind the testing API. Its portable part is driver.cpp; what differs per
// back end (running a modal script, taking a message box, watching for box windows,
// pumping messages) is in win32/ or headless/. Internal to the testing library.
#pragma once

#include "dialogkit/driver_hook.h"
#include "dialogkit/testing/testing.h"

#include <deque>
#include <string>
#include <vector>

namespace dk {
namespace testing {

struct Driver final : public DriverHook {
    // Made and installed on first use. Never destroyed: global dialogs may still show
    // boxes during static destruction.
    static Driver& Get();

    void ModalStarting(WindowHandle dialog) override; // per back end
    bool TakeMessageBox(void* owner, const char* text, const char* caption, unsigned flags,
                        int& answer) override; // per back end
    bool HidesTemplate(int /*templateId*/) override { return templateLookupFails; }
    bool TakeShellOpen(const std::string& address) override;
    bool TakePopupMenu(WindowHandle owner, const std::vector<MenuItem>& items,
                       int& chosen) override;
    bool TakeSaveAs(const SaveAsRequest& request, std::optional<std::string>& chosen) override;

    // Pops and runs the next modal script on dialog; false when none was queued.
    bool RunNextModalScript(WindowHandle dialog);
    // The answer for the box shown now: a queued one, else the capture's, else OK.
    int NextAnswer();

    std::deque<ModalScript> modalScripts;
    bool templateLookupFails = false;
    bool shellCapture = false;
    std::vector<std::string> shellOpens;
    bool boxCapture = false;
    int captureAnswer = kIdOk;
    std::deque<int> queuedAnswers;
    std::vector<ShownBox> boxes;
    std::deque<int> menuChoices;
    std::vector<std::vector<MenuItem>> menus;
    std::deque<std::optional<std::string>> saveAsAnswers;
    std::vector<SaveAsRequest> saveAsRequests;
};

// Sends a key press to control with the modifiers held (per back end: Win32 sets the
// thread's keyboard state for its duration).
void SendKeyDown(WindowHandle control, unsigned virtualKey, unsigned modifiers);

// Win32: a hook on this thread that finds the box windows as they open; headless:
// nothing to watch, boxes are taken as they are asked for.
void StartBoxWatch();
void StopBoxWatch();

} // namespace testing
} // namespace dk
