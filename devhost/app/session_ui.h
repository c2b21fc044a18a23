// What a session script needs of the host beyond dialogkit's driving API (which reads
// and clicks the plug-in's windows the same way on both back ends): the host's menu,
// moving and picturing a window, and answering the modal settings dialog. Two
// implementations stand behind it: headless (modal dialogs answered from dialogkit's
// queue when they run) and Win32 (real windows, the settings dialog found on screen
// from inside its own modal loop and answered through window messages).
#pragma once

#include "devhost/hostapi/host_api.h"
#include "dialogkit/window.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace devhost {

// Control ids of the chat window and the settings dialog that scripts name.
enum : int {
    kChatDialogTemplate = 15000,
    kSettingsDialogTemplate = 15002,
    kIdCloseButton = 1,
    kIdOkButton = 1,
    kIdCancelButton = 2,
    kIdHostAddrEdit = 15000,
    kIdPortEdit = 15001,
    kIdTranscriptEdit = 15003,
    kIdModeCombo = 15006,
    kIdNicknameEdit = 15007,
};

// How the next "Connection settings" dialog is to be answered.
struct SettingsAnswer {
    bool ok = true; // false: Cancel
    int mode = 0;   // 0 Guest, 1 Host
    std::string address;
    int port = 0;
    std::string nickname;
    int scriptLine = 0; // for messages
};

class SessionUi {
public:
    virtual ~SessionUi() = default;

    // The host's menu entries, as shown, and choosing one as the user does.
    virtual std::vector<std::string> menuTexts() const = 0;
    virtual bool chooseMenu(const std::string& text) = 0;

    // The plug-in's chat window (the dialog made from template 15000), null if none.
    virtual dk::WindowHandle chatWindow() = 0;

    virtual bool moveWindow(dk::WindowHandle window, int x, int y) = 0;
    // A picture of the window as shown, to a file; false with a reason.
    virtual bool screenshot(dk::WindowHandle window, const std::string& path,
                            std::string& error) = 0;

    // Settings answers are queued and used, oldest first, by the dialogs that open.
    virtual void queueSettingsAnswer(const SettingsAnswer& answer) = 0;
    virtual std::size_t pendingSettingsAnswers() const = 0;
    // Looks after modal dialogs that are open now (Win32: called from the timer, also
    // inside modal loops). Problems found (a refused answer) are returned as messages.
    virtual std::vector<std::string> serviceModals() = 0;

    // Win32: a timer runs this often, also inside modal loops, so that a script can
    // answer the dialogs that a click opens. Headless: never run (modals answer at once).
    virtual void setTicker(std::function<void()> ticker) = 0;
    // Interactive use: the user closed the host window.
    virtual bool hostWindowClosed() const = 0;
};

// The session UI of this platform. interactive: the user works the windows, nothing
// is answered for them; the host window (Win32) is shown.
std::unique_ptr<SessionUi> MakeSessionUi(HostApi& api, bool interactive);

// Fills an open settings dialog with the answer and clicks OK or Cancel, through the
// same messages a user's input makes. Returns false with a reason when the dialog did
// not close (its validation refused the values).
bool AnswerSettingsDialog(dk::WindowHandle dialog, const SettingsAnswer& answer,
                          std::string& error);

} // namespace devhost
