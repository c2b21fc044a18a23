// Bookkeeping shared by both back ends: the live dialogs (a driver finds them by title
// or template), and the shell request, which a driver may take before the back end
// sees it.
#include "dialogkit/backend.h"

#include <algorithm>

namespace dk {
namespace {

struct SharedState {
    std::vector<CDialog*> dialogs; // not owned
};

// Never destroyed: global dialogs unregister during static destruction.
SharedState& State() {
    static SharedState* state = new SharedState;
    return *state;
}

} // namespace

bool ShellOpen(const std::string& address) {
    if (detail::DriverTakesShellOpen(address)) return true;
    return backend::ShellOpen(address);
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

} // namespace detail
} // namespace dk
