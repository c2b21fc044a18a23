// Finds the help page beside the module file.
#include "module/ui/HelpPage.h"

#include "dialogkit/module_file.h"

std::string HelpPagePath() {
    std::string path = dk::ModulePath();
    if (path.empty()) return path;
    const std::size_t folder = path.find_last_of("/\\");
    const std::size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && (folder == std::string::npos || dot > folder + 1))
        path.erase(dot);
    return path + kHelpPageExtension;
}
