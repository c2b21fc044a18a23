// Bookkeeping shared by both back ends: the live dialogs (a driver finds them by title
// or template), the installed driver hook, and the shell request, which a driver may
// take before the back end sees it.
#include "dialogkit/backend.h"
#include "dialogkit/driver_hook.h"

#include <algorithm>

namespace dk {
namespace {

struct SharedState {
    std::vector<CDialog*> dialogs; // not owned
    DriverHook* driver = nullptr;  // not owned
};

// Never destroyed: global dialogs unregister during static destruction.
SharedState& State() {
    static SharedState* state = new SharedState;
    return *state;
}

} // namespace

void SetDriverHook(DriverHook* hook) {
    State().driver = hook;
}

DriverHook* InstalledDriverHook() {
    return State().driver;
}

void ShellOpen(const std::string& address) {
    DriverHook* driver = State().driver;
    if (driver && driver->TakeShellOpen(address)) return;
    backend::ShellOpen(address);
}

namespace detail {

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

bool DriverHidesTemplate(int templateId) {
    DriverHook* driver = State().driver;
    return driver && driver->HidesTemplate(templateId);
}

void NotifyDriverModalStarting(WindowHandle dialog) {
    if (DriverHook* driver = State().driver) driver->ModalStarting(dialog);
}

} // namespace detail
} // namespace dk
