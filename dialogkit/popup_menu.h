// Popup menus: a list of items shown at a point of the screen until the user chooses one
// or dismisses the menu. On Win32 a real TrackPopupMenu; headless there is nobody to
// choose and the menu is dismissed. A driver (dialogkit's testing library) may take a
// menu first and choose for the user.
#pragma once

#include "dialogkit/window.h"

#include <string>
#include <vector>

namespace dk {

struct MenuItem {
    int id = 0; // 0: a separator
    std::string text;
    bool enabled = true;
    bool checked = false;

    static MenuItem Separator() { return MenuItem{}; }
};

// The point of a context menu asked for from the keyboard (Shift+F10, the menu key):
// WM_CONTEXTMENU's (-1, -1).
constexpr int kKeyboardMenuPoint = -1;

// Shows items at screen point (x, y), or beside owner when both are
// kKeyboardMenuPoint, and waits for the user: the chosen item's id, 0 when the menu was
// dismissed. Runs a modal loop, like a message box.
int TrackPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items, int x, int y);

} // namespace dk
