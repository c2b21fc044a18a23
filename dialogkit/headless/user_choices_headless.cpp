// Headless popup menus and Save As dialogs: nobody is there to choose, so a menu is
// dismissed and a dialog cancelled, unless a driver answered first. The Documents
// folder is the home folder's, when there is one.
#include "dialogkit/backend.h"

#include <cstdlib>
#include <sys/stat.h>

namespace dk {

std::string DocumentsFolder() {
    const char* home = std::getenv("HOME");
    if (!home || !*home) return {};
    const std::string documents = std::string(home) + "/Documents";
    struct stat status {};
    if (::stat(documents.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return documents;
    return home;
}

namespace backend {

int TrackPopupMenu(WindowHandle /*owner*/, const std::vector<MenuItem>& /*items*/, int /*x*/,
                   int /*y*/) {
    return 0;
}

std::optional<std::string> AskSaveAsPath(WindowHandle /*owner*/, const SaveAsRequest& /*request*/) {
    return std::nullopt;
}

} // namespace backend
} // namespace dk
