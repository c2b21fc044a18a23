// The driver's portable part: queued modal scripts, captured boxes and the template
// and shell switches, and the testing API calls that set them.
#include "dialogkit/testing/driver.h"

namespace dk {
namespace testing {

Driver& Driver::Get() {
    static Driver* driver = [] {
        auto* made = new Driver;
        SetDriverHook(made);
        return made;
    }();
    return *driver;
}

bool Driver::TakeShellOpen(const std::string& address) {
    if (!shellCapture) return false;
    shellOpens.push_back(address);
    return true;
}

bool Driver::TakePopupMenu(WindowHandle /*owner*/, const std::vector<MenuItem>& items,
                           int& chosen) {
    menus.push_back(items);
    chosen = 0;
    if (!menuChoices.empty()) {
        chosen = menuChoices.front();
        menuChoices.pop_front();
    }
    return true;
}

bool Driver::TakeSaveAs(const SaveAsRequest& request, std::optional<std::string>& chosen) {
    saveAsRequests.push_back(request);
    chosen.reset();
    if (!saveAsAnswers.empty()) {
        chosen = std::move(saveAsAnswers.front());
        saveAsAnswers.pop_front();
    }
    return true;
}

bool Driver::RunNextModalScript(WindowHandle dialog) {
    if (modalScripts.empty()) return false;
    ModalScript script = std::move(modalScripts.front());
    modalScripts.pop_front();
    if (script) script(dialog);
    return true;
}

int Driver::NextAnswer() {
    if (!queuedAnswers.empty()) {
        const int answer = queuedAnswers.front();
        queuedAnswers.pop_front();
        return answer;
    }
    return boxCapture ? captureAnswer : kIdOk;
}

void PushModalScript(ModalScript script) {
    Driver::Get().modalScripts.push_back(std::move(script));
}

std::size_t PendingModalScripts() {
    return Driver::Get().modalScripts.size();
}

void ClearModalScripts() {
    Driver::Get().modalScripts.clear();
}

void SetTemplateLookupFails(bool fails) {
    Driver::Get().templateLookupFails = fails;
}

void BeginShellCapture() {
    Driver& driver = Driver::Get();
    driver.shellCapture = true;
    driver.shellOpens.clear();
}

std::vector<std::string> TakeShellOpens() {
    std::vector<std::string> taken;
    taken.swap(Driver::Get().shellOpens);
    return taken;
}

void EndShellCapture() {
    Driver& driver = Driver::Get();
    driver.shellCapture = false;
    driver.shellOpens.clear();
}

void PushMenuChoice(int id) {
    Driver::Get().menuChoices.push_back(id);
}

std::vector<std::vector<MenuItem>> TakeMenus() {
    std::vector<std::vector<MenuItem>> taken;
    taken.swap(Driver::Get().menus);
    return taken;
}

void PushSaveAsAnswer(std::optional<std::string> path) {
    Driver::Get().saveAsAnswers.push_back(std::move(path));
}

std::vector<SaveAsRequest> TakeSaveAsRequests() {
    std::vector<SaveAsRequest> taken;
    taken.swap(Driver::Get().saveAsRequests);
    return taken;
}

void BeginCapture(int answer) {
    Driver& driver = Driver::Get();
    driver.boxCapture = true;
    driver.captureAnswer = answer;
    driver.boxes.clear();
    StartBoxWatch();
}

void PushAnswer(int answer) {
    Driver::Get().queuedAnswers.push_back(answer);
}

std::vector<ShownBox> TakeBoxes() {
    std::vector<ShownBox> taken;
    taken.swap(Driver::Get().boxes);
    return taken;
}

void EndCapture() {
    Driver& driver = Driver::Get();
    StopBoxWatch();
    driver.boxCapture = false;
    driver.boxes.clear();
    driver.queuedAnswers.clear();
}

} // namespace testing
} // namespace dk
