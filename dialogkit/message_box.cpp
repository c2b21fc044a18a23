// The part of the message boxes common to both back ends: the installed driver's
// turn before the back end shows a box, the application's name and the framework's
// box, which is the plain box with that name as caption.
#include "dialogkit/message_box.h"

#include "dialogkit/backend.h"
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

int ShowMessageBox(void* owner, const char* text, const char* caption, unsigned flags) {
    int answer = 0;
    if (detail::DriverTakesMessageBox(owner, text, caption, flags, answer)) return answer;
    return backend::ShowMessageBox(owner, text, caption, flags);
}

int ShowAppMessageBox(const char* text, unsigned flags) {
    return ShowMessageBox(nullptr, text, AppName().c_str(), flags);
}

int ShowAppMessageBoxUtf8(const std::string& text, unsigned flags) {
    int answer = 0;
    if (detail::DriverTakesMessageBox(nullptr, text.c_str(), AppName().c_str(), flags, answer))
        return answer;
    return backend::ShowMessageBoxUtf8(nullptr, text.c_str(), AppName().c_str(), flags);
}

} // namespace dk
