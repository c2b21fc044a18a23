// What a session script needs of the host beyond dialogkit's driving API (which reads
// and clicks a plug-in's windows the same way on both back ends): the host's menu,
// finding a dialog by its title, moving and picturing a window, and handing modal
// dialogs to the script as they open. Two implementations stand behind it: headless
// (a modal dialog is handed over by dialogkit's modal scripts when it runs) and Win32
// (real windows; a modal dialog is found on screen from inside its own modal loop).
// Neither knows any plug-in's dialogs: titles and control ids come from the script.
#pragma once

#include "devhost/hostapi/host_api.h"
#include "dialogkit/window.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace devhost {

class SessionUi {
public:
    // Acts on a modal dialog that has opened and is shown.
    using ModalHandler = std::function<void(dk::WindowHandle dialog)>;

    explicit SessionUi(HostApi& api) : api_(api) {}
    virtual ~SessionUi() = default;

    // The host's menu entries, as shown, and choosing one as the user does.
    std::vector<std::string> menuTexts() const {
        std::vector<std::string> texts;
        for (const HostApi::MenuEntry& e : api_.menuEntries())
            texts.push_back(e.text);
        return texts;
    }
    virtual bool chooseMenu(const std::string& text) = 0;
    // Whether there is a menu to choose from at all: a host window that could not be
    // made (no display, say) has none, whatever entries the plug-ins gave.
    virtual bool hasMenu() const { return true; }

    // A shown dialog of this process with exactly this title, null if none. Win32: a
    // dialog found this way is the script's own and never taken for a modal one.
    virtual dk::WindowHandle findDialog(const std::string& title) = 0;

    virtual bool moveWindow(dk::WindowHandle window, int x, int y) = 0;
    // A picture of the window as shown, to a file; false with a reason.
    virtual bool screenshot(dk::WindowHandle window, const std::string& path,
                            std::string& error) = 0;
    // The context menu of the window's control, opened as a right click opens it and
    // pictured over the window, to a file; the menu is then dismissed. False with a
    // reason.
    virtual bool menuScreenshot(dk::WindowHandle window, int controlId, const std::string& path,
                                std::string& error) = 0;

    // Handlers are queued and used, oldest first, by the modal dialogs that open.
    virtual void queueModal(ModalHandler handler) = 0;
    virtual std::size_t pendingModals() const = 0;
    // Looks after modal dialogs that are open now (Win32: called from the timer, also
    // inside modal loops). Problems found (a dialog nobody answers) are returned.
    virtual std::vector<std::string> serviceModals() = 0;

    // Win32: a timer runs this often, also inside modal loops, so that a script can
    // answer the dialogs that a click opens. Headless: never run (modals answer at once).
    virtual void setTicker(std::function<void()> ticker) = 0;
    // Interactive use: the user closed the host window.
    virtual bool hostWindowClosed() const = 0;

protected:
    HostApi& api_; // not owned by us
};

// The session UI of this platform. interactive: the user works the windows, nothing
// is answered for them; the host window (Win32) is shown.
std::unique_ptr<SessionUi> MakeSessionUi(HostApi& api, bool interactive);

} // namespace devhost
