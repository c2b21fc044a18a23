// Bookkeeping shared by both back ends: the live dialogs (for finding them by title
// or template), the queued modal scripts and the test switches.
#include "dialogkit/backend.h"

#include <algorithm>
#include <deque>

namespace dk {
namespace {

struct SharedState {
    std::vector<CDialog*> dialogs; // not owned
    std::deque<testing::ModalScript> modalScripts;
    bool templateLookupFails = false;
    bool shellCapture = false;
    std::vector<std::string> shellOpens;
};

// Never destroyed: global dialogs unregister during static destruction.
SharedState& State() {
    static SharedState* state = new SharedState;
    return *state;
}

} // namespace

namespace detail {

bool TemplateLookupBlocked() {
    return State().templateLookupFails;
}

void RegisterDialog(CDialog* dialog) {
    auto& dialogs = State().dialogs;
    if (std::find(dialogs.begin(), dialogs.end(), dialog) == dialogs.end())
        dialogs.push_back(dialog);
}

void UnregisterDialog(CDialog* dialog) {
    auto& dialogs = State().dialogs;
    dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), dialog), dialogs.end());
}

const std::vector<CDialog*>& LiveDialogs() {
    return State().dialogs;
}

bool RunNextModalScript(WindowHandle window) {
    auto& scripts = State().modalScripts;
    if (scripts.empty()) return false;
    testing::ModalScript script = std::move(scripts.front());
    scripts.pop_front();
    if (script) script(window);
    return true;
}

bool ShellCaptureOn() {
    return State().shellCapture;
}

void RecordShellOpen(const std::string& address) {
    State().shellOpens.push_back(address);
}

} // namespace detail

namespace testing {

void PushModalScript(ModalScript script) {
    State().modalScripts.push_back(std::move(script));
}
std::size_t PendingModalScripts() {
    return State().modalScripts.size();
}
void ClearModalScripts() {
    State().modalScripts.clear();
}

void SetTemplateLookupFails(bool fails) {
    State().templateLookupFails = fails;
}

void BeginShellCapture() {
    State().shellCapture = true;
    State().shellOpens.clear();
}

std::vector<std::string> TakeShellOpens() {
    std::vector<std::string> taken;
    taken.swap(State().shellOpens);
    return taken;
}

void EndShellCapture() {
    State().shellCapture = false;
    State().shellOpens.clear();
}

} // namespace testing
} // namespace dk
