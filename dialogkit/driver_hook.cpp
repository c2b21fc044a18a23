// The installed driver hook and the back ends' turns that consult it. Compiled into
// the builds that tests and devhost use (natively the one shared dialogkit; on Win32
// the dialogkit_driven library); the shipped Win32 library has driver_hook_absent.cpp
// in its place.
#include "dialogkit/driver_hook.h"
#include "dialogkit/backend.h"

namespace dk {
namespace {

// Constant-initialised, so it is valid before and after every static object's life.
DriverHook* installedDriver = nullptr; // not owned by us

DriverHook*& Installed() {
    return installedDriver;
}

} // namespace

void SetDriverHook(DriverHook* hook) {
    Installed() = hook;
}

DriverHook* InstalledDriverHook() {
    return Installed();
}

namespace detail {

bool DriverHidesTemplate(int templateId) {
    DriverHook* driver = Installed();
    return driver && driver->HidesTemplate(templateId);
}

void NotifyDriverModalStarting(WindowHandle dialog) {
    if (DriverHook* driver = Installed()) driver->ModalStarting(dialog);
}

bool DriverTakesMessageBox(void* owner, const char* text, const char* caption, unsigned flags,
                           int& answer) {
    DriverHook* driver = Installed();
    return driver && driver->TakeMessageBox(owner, text, caption, flags, answer);
}

bool DriverTakesShellOpen(const std::string& address) {
    DriverHook* driver = Installed();
    return driver && driver->TakeShellOpen(address);
}

bool DriverTakesPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items, int& chosen) {
    DriverHook* driver = Installed();
    return driver && driver->TakePopupMenu(owner, items, chosen);
}

bool DriverTakesSaveAs(const SaveAsRequest& request, std::optional<std::string>& chosen) {
    DriverHook* driver = Installed();
    return driver && driver->TakeSaveAs(request, chosen);
}

} // namespace detail
} // namespace dk
