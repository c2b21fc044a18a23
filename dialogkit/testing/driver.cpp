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
