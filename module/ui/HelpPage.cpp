// Finds the help page beside the module file and opens it. The path is UTF-8 from end
// to end, so an install folder named in any language, or deeper than MAX_PATH, works.
#include "module/ui/HelpPage.h"

#include "dialogkit/message_box.h"
#include "dialogkit/module_file.h"
#include "dialogkit/window.h"

std::string HelpPagePath() {
    std::string path = dk::ModulePath();
    if (path.empty()) return path;
    const std::size_t folder = path.find_last_of("/\\");
    const std::size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && (folder == std::string::npos || dot > folder + 1))
        path.erase(dot);
    return path + kHelpPageExtension;
}

void OpenHelpPage() {
    const std::string page = HelpPagePath();
    // A page that is there but that the shell cannot open (no browser, a path it
    // cannot take) gets the box too: Help! always answers.
    if (!page.empty() && dk::FileExists(page) && dk::ShellOpen(page)) return;
    dk::ShowAppMessageBoxUtf8(kHelpPageMissing + page, dk::kMbOk | dk::kMbIconWarning);
}
