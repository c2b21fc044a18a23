// Headless message boxes: nothing is drawn. Every box is recorded with its caption,
// text and flags and answered at once: by a queued answer, else by the capture's
// answer, else OK (a box with only an OK button can answer nothing else).
#include "dialogkit/message_box.h"

#include <deque>

namespace dk {
namespace {

struct BoxRecorder {
    bool capturing = false;
    int captureAnswer = kIdOk;
    std::deque<int> queuedAnswers;
    std::vector<testing::ShownBox> boxes;
};

BoxRecorder& Recorder() {
    static BoxRecorder recorder;
    return recorder;
}

} // namespace

int ShowMessageBox(void* /*owner*/, const char* text, const char* caption, unsigned flags) {
    BoxRecorder& rec = Recorder();
    // A null caption reads "Error" on Win32.
    rec.boxes.push_back({caption ? caption : "Error", text ? text : "", flags});
    int answer = rec.capturing ? rec.captureAnswer : kIdOk;
    if (!rec.queuedAnswers.empty()) {
        answer = rec.queuedAnswers.front();
        rec.queuedAnswers.pop_front();
    }
    return answer;
}

namespace testing {

void BeginCapture(int answer) {
    BoxRecorder& rec = Recorder();
    rec.capturing = true;
    rec.captureAnswer = answer;
    rec.boxes.clear();
}

void PushAnswer(int answer) {
    Recorder().queuedAnswers.push_back(answer);
}

std::vector<ShownBox> TakeBoxes() {
    std::vector<ShownBox> taken;
    taken.swap(Recorder().boxes);
    return taken;
}

void EndCapture() {
    BoxRecorder& rec = Recorder();
    rec.capturing = false;
    rec.boxes.clear();
    rec.queuedAnswers.clear();
}

} // namespace testing
} // namespace dk
