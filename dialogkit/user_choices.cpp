// The portable part of popup menus and the Save As dialog: the installed driver's turn
// before the back end asks the user.
#include "dialogkit/backend.h"
#include "dialogkit/popup_menu.h"
#include "dialogkit/save_dialog.h"

namespace dk {

int TrackPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items, int x, int y) {
    int chosen = 0;
    if (detail::DriverTakesPopupMenu(owner, items, chosen)) return chosen;
    return backend::TrackPopupMenu(owner, items, x, y);
}

std::optional<std::string> AskSaveAsPath(WindowHandle owner, const SaveAsRequest& request) {
    std::optional<std::string> chosen;
    if (detail::DriverTakesSaveAs(request, chosen)) return chosen;
    return backend::AskSaveAsPath(owner, request);
}

} // namespace dk
