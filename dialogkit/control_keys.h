// Subclassing a control for its context menu and keys: the dialog hears of them before
// the control's own handling does. This replaces an edit box's own menu, and catches
// keys such as Ctrl+F in a dialog that runs in a host's message loop, which has no
// accelerator table of ours. Shift+F10 and the menu key ask for the menu as a right
// click does, with the keyboard's point (kKeyboardMenuPoint).
#pragma once

#include "dialogkit/popup_menu.h"
#include "dialogkit/window.h"

namespace dk {

class ControlKeyHandler {
public:
    virtual ~ControlKeyHandler() = default;
    // The control's context menu is asked for, at screen point (x, y) or from the
    // keyboard (both kKeyboardMenuPoint): true when the handler showed its own, false
    // leaves it to the control (an edit box's Cut, Copy, Paste ...).
    virtual bool OnControlContextMenu(WindowHandle control, int x, int y) = 0;
    // A key went down in the control with the modifiers held (kModShift, kModControl):
    // true when it was handled, and the control then neither sees it nor the character
    // it makes.
    virtual bool OnControlKey(WindowHandle control, unsigned virtualKey, unsigned modifiers) = 0;
};

// How a subclassed edit box shows its selection.
enum class SelectionShown {
    WithFocus,     // as the box's style says (hidden without the focus, unless ES_NOHIDESEL)
    AlsoUnfocused, // also while another window has the focus, as ES_NOHIDESEL would, for
                   // a box whose style is fixed (Win32: drawn over the box's own painting)
};

// Routes control's context menu and keys to handler (not owned; it must outlive the
// control or be replaced) until the control is destroyed. A second call replaces the
// handler and the selection's showing. False when control is not a live window.
bool SubclassControl(WindowHandle control, ControlKeyHandler* handler,
                     SelectionShown selection = SelectionShown::WithFocus);

} // namespace dk
