// The driver on the headless back end: a modal dialog's script runs as the dialog does
// (it has no loop to wait in), and every box is recorded and answered at once.
#include "dialogkit/headless/desktop.h"
#include "dialogkit/testing/driver.h"

namespace dk {
namespace testing {

void Driver::ModalStarting(WindowHandle dialog) {
    RunNextModalScript(dialog); // the back end cancels what the script leaves open
}

bool Driver::TakeMessageBox(void* /*owner*/, const char* text, const char* caption, unsigned flags,
                            int& answer) {
    boxes.push_back({caption ? caption : "Error", text ? text : "", flags}); // Win32's caption
    answer = NextAnswer();
    return true;
}

void StartBoxWatch() {}
void StopBoxWatch() {}

void PumpMessages() {}

void SendKeyDown(WindowHandle control, unsigned virtualKey, unsigned modifiers) {
    headless::SetHeldModifiers(modifiers);
    SendMsg(control, kWmKeyDown, virtualKey, 0);
    headless::SetHeldModifiers(0);
}

void BringToForeground(WindowHandle dialog) {
    headless::MakeForeground(dialog);
}

int FlashRequests(WindowHandle dialog) {
    return headless::FlashRequests(dialog);
}

} // namespace testing
} // namespace dk
