// Headless message boxes: nothing is drawn and nobody sees them, so each is answered
// OK at once (a box with only an OK button can answer nothing else).
#include "dialogkit/backend.h"
#include "dialogkit/message_box.h"

namespace dk {
namespace backend {

int ShowMessageBox(void* /*owner*/, const char* /*text*/, const char* /*caption*/,
                   unsigned /*flags*/) {
    return kIdOk;
}

int ShowMessageBoxUtf8(void* owner, const char* text, const char* caption, unsigned flags) {
    return ShowMessageBox(owner, text, caption, flags);
}

} // namespace backend
} // namespace dk
