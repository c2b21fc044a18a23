// What the headless desktop tells and does for the testing library only: which window
// is in the foreground, and what was asked of the window manager.
#pragma once

#include "dialogkit/window.h"

namespace dk {
namespace headless {

// Brings window (null: another program's window) to the foreground, as a click would.
void MakeForeground(WindowHandle window);
// How often FlashUntilForeground was asked of window.
int FlashRequests(WindowHandle window);
// The modifier keys (kModShift, kModControl) held down while keys are sent.
void SetHeldModifiers(unsigned modifiers);

} // namespace headless
} // namespace dk
