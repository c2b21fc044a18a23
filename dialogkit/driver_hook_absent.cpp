// The back ends' driver turns in the shipped Win32 library, which has no driver hook:
// nothing can install one there, so every turn is "not taken" and the back ends behave
// as the plain window system.
#include "dialogkit/backend.h"

namespace dk {
namespace detail {

bool DriverHidesTemplate(int /*templateId*/) {
    return false;
}

void NotifyDriverModalStarting(WindowHandle /*dialog*/) {}

bool DriverTakesMessageBox(void* /*owner*/, const char* /*text*/, const char* /*caption*/,
                           unsigned /*flags*/, int& /*answer*/) {
    return false;
}

bool DriverTakesShellOpen(const std::string& /*address*/) {
    return false;
}

bool DriverTakesPopupMenu(WindowHandle /*owner*/, const std::vector<MenuItem>& /*items*/,
                          int& /*chosen*/) {
    return false;
}

bool DriverTakesSaveAs(const SaveAsRequest& /*request*/, std::optional<std::string>& /*chosen*/) {
    return false;
}

} // namespace detail
} // namespace dk
