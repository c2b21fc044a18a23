// The part of the message boxes common to both back ends: the application's name
// and the framework's box, which is the plain box with that name as caption.
#include "dialogkit/message_box.h"

#include "dialogkit/module_file.h"

namespace dk {
namespace {

std::string& AppNameStorage() {
    static std::string name = ModuleBaseName();
    return name;
}

} // namespace

void SetAppName(const std::string& name) {
    AppNameStorage() = name;
}

const std::string& AppName() {
    return AppNameStorage();
}

int ShowAppMessageBox(const char* text, unsigned flags) {
    return ShowMessageBox(nullptr, text, AppName().c_str(), flags);
}

} // namespace dk
