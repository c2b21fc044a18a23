// The headless session UI: the host menu is the host API's list of entries, and the
// settings dialog is answered by a dialogkit modal script, which runs when the dialog
// does. dialogkit's in-memory windows are shared with the plug-in because devhost
// exports dialogkit's symbols and the plug-in's references bind to them (the headless
// back end plays the part that USER32 plays on Windows: one window system per process).
#include "devhost/app/session_ui.h"

#include "dialogkit/testing.h"

namespace devhost {
namespace {

constexpr const char* kSettingsTitle = "Connection settings";

class HeadlessSessionUi : public SessionUi {
public:
    explicit HeadlessSessionUi(HostApi& api) : api_(api) {}

    std::vector<std::string> menuTexts() const override {
        std::vector<std::string> texts;
        for (const HostApi::MenuEntry& e : api_.menuEntries())
            texts.push_back(e.text);
        return texts;
    }
    bool chooseMenu(const std::string& text) override {
        for (const std::string& t : menuTexts())
            if (t == text) {
                api_.chooseMenuEntry(text); // the export's own result is not the user's concern
                return true;
            }
        return false;
    }
    dk::WindowHandle chatWindow() override {
        return dk::testing::FindDialogByTemplate(kChatDialogTemplate);
    }
    // Headless windows have no place on a screen: there is nothing to move.
    bool moveWindow(dk::WindowHandle, int, int) override { return true; }
    bool screenshot(dk::WindowHandle, const std::string&, std::string& error) override {
        error = "headless windows cannot be pictured; take screenshots under Win32";
        return false;
    }
    void queueSettingsAnswer(const SettingsAnswer& answer) override {
        dk::testing::PushModalScript([this, answer](dk::WindowHandle dialog) {
            std::string error;
            if (dk::testing::WindowTitle(dialog) != kSettingsTitle)
                problems_.push_back("settings answer of line " + std::to_string(answer.scriptLine) +
                                    " met a dialog titled \"" + dk::testing::WindowTitle(dialog) +
                                    "\"");
            else if (!AnswerSettingsDialog(dialog, answer, error))
                problems_.push_back(error);
        });
    }
    std::size_t pendingSettingsAnswers() const override {
        return dk::testing::PendingModalScripts();
    }
    std::vector<std::string> serviceModals() override {
        std::vector<std::string> out;
        out.swap(problems_);
        return out;
    }
    void setTicker(std::function<void()>) override {}
    bool hostWindowClosed() const override { return false; }

private:
    HostApi& api_; // not owned by us
    std::vector<std::string> problems_;
};

} // namespace

std::unique_ptr<SessionUi> MakeSessionUi(HostApi& api, bool /*interactive*/) {
    return std::make_unique<HeadlessSessionUi>(api);
}

} // namespace devhost
