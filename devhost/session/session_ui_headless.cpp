// The headless session UI: the host menu is the host API's list of entries, and a
// modal dialog is handed to the script by a dialogkit modal script, which runs when the
// dialog does. dialogkit's in-memory windows are shared with the plug-in because devhost
// exports dialogkit's symbols and the plug-in's references bind to them (the headless
// back end plays the part that USER32 plays on Windows: one window system per process).
#include "devhost/session/session_ui.h"

#include "dialogkit/testing/testing.h"

namespace devhost {
namespace {

class HeadlessSessionUi : public SessionUi {
public:
    explicit HeadlessSessionUi(HostApi& api) : SessionUi(api) {}

    bool chooseMenu(const std::string& text) override {
        for (const std::string& t : menuTexts())
            if (t == text) {
                api_.chooseMenuEntry(text); // the export's own result is not the user's concern
                return true;
            }
        return false;
    }
    dk::WindowHandle findDialog(const std::string& title) override {
        dk::WindowHandle dialog = dk::testing::FindDialog(title);
        return dk::testing::IsVisible(dialog) ? dialog : nullptr;
    }
    // Headless windows have no place on a screen: there is nothing to move.
    bool moveWindow(dk::WindowHandle, int, int) override { return true; }
    bool screenshot(dk::WindowHandle, const std::string&, std::string& error) override {
        error = "headless windows cannot be pictured; take screenshots under Win32";
        return false;
    }
    bool menuScreenshot(dk::WindowHandle window, int, const std::string& path,
                        std::string& error) override {
        return screenshot(window, path, error);
    }
    void queueModal(ModalHandler handler) override {
        dk::testing::PushModalScript(std::move(handler));
    }
    std::size_t pendingModals() const override { return dk::testing::PendingModalScripts(); }
    // A headless modal dialog runs its script, or is cancelled, as it opens.
    std::vector<std::string> serviceModals() override { return {}; }
    void setTicker(std::function<void()>) override {}
    bool hostWindowClosed() const override { return false; }
};

} // namespace

std::unique_ptr<SessionUi> MakeSessionUi(HostApi& api, bool /*interactive*/) {
    return std::make_unique<HeadlessSessionUi>(api);
}

} // namespace devhost
