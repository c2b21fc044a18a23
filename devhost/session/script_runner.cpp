// The script runner: one command at a time, waits polled on every tick, message boxes
// collected as they are shown, modal blocks handed to the dialogs that open, and a
// last check at the end that nothing was left unanswered (a modal block no dialog
// used, a box nobody expected).
#include "devhost/session/script_runner.h"

#include "devhost/hostapi/call_format.h"

#include "dialogkit/testing/testing.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <sys/stat.h>

namespace devhost {
namespace {

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string UnexpectedBox(const dk::testing::ShownBox& box) {
    return "a message box that the script did not expect: [" + box.caption + "] " +
           quotedText(box.text);
}

// One user action on a control of dialog (click, type, select), with the checks a
// user meets: false with the reason when a user could not do it.
bool ActOnControl(dk::WindowHandle dialog, const ScriptCommand& c, std::string& why) {
    if (!dk::testing::HasControl(dialog, c.id)) {
        why = "the dialog has no such control";
        return false;
    }
    switch (c.kind) {
    case CommandKind::Click:
        if (dk::testing::ClickButton(dialog, c.id)) return true;
        why = "the button is disabled or hidden, a user cannot click it";
        return false;
    case CommandKind::Type:
        if (!dk::testing::IsControlEnabled(dialog, c.id))
            why = "the box is disabled, a user cannot type into it";
        else if (!dk::testing::SetControlText(dialog, c.id, c.text))
            why = "the text was refused";
        return why.empty();
    case CommandKind::Select: {
        const std::vector<std::string> entries = dk::testing::ComboItems(dialog, c.id);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i] != c.text) continue;
            if (dk::testing::SelectComboItem(dialog, c.id, static_cast<int>(i))) return true;
            why = "the list is disabled, a user cannot choose from it";
            return false;
        }
        why = "the list has no such entry; it has:";
        for (const std::string& e : entries)
            why += " " + quotedText(e);
        return false;
    }
    default:
        return true;
    }
}

} // namespace

ScriptRunner::ScriptRunner(std::vector<ScriptCommand> commands, SessionUi& ui,
                           RunnerOptions options, std::ostream& out)
    : commands_(std::move(commands)), ui_(ui), options_(std::move(options)), out_(out) {}

void ScriptRunner::tick() {
    if (finished_) return;
    for (const std::string& problem : ui_.serviceModals())
        modalProblems_.push_back(problem);
    if (failedInModal() || running_) return;
    running_ = true;
    if (scriptStart_ == Clock::time_point{}) scriptStart_ = Clock::now();
    collectBoxes();
    // Commands that finish at once run back to back; a wait ends the tick.
    while (!finished_ && next_ < commands_.size()) {
        if (Clock::now() - scriptStart_ > std::chrono::milliseconds(options_.scriptLimitMs)) {
            fail(commands_[next_], "the script ran longer than its limit of " +
                                       std::to_string(options_.scriptLimitMs) + " ms");
            break;
        }
        if (failedInModal()) break;
        if (const dk::testing::ShownBox* box = unexpectableBox()) {
            failure_ = UnexpectedBox(*box);
            finish();
            break;
        }
        const ScriptCommand& c = commands_[next_];
        if (!started_) {
            started_ = true;
            deadline_ = Clock::now() + std::chrono::milliseconds(c.timeoutMs);
            if (c.kind == CommandKind::Sleep)
                deadline_ = Clock::now() + std::chrono::milliseconds(c.number);
        }
        if (!step(c)) break;
        started_ = false;
        ++next_;
        collectBoxes();
    }
    if (!finished_ && next_ >= commands_.size()) finish();
    running_ = false;
}

const std::string& ScriptRunner::refreshTranscript() {
    if (dk::testing::HasControl(transcriptDialog_, transcriptId_))
        transcript_ = dk::testing::ControlText(transcriptDialog_, transcriptId_);
    return transcript_;
}

void ScriptRunner::collectBoxes() {
    for (dk::testing::ShownBox& box : dk::testing::TakeBoxes())
        boxes_.push_back(box);
}

std::string ScriptRunner::boxesSeen() const {
    if (boxes_.empty()) return "no message box was shown";
    std::string s = "boxes shown:";
    for (const dk::testing::ShownBox& b : boxes_)
        s += " [" + b.caption + "] " + quotedText(b.text);
    return s;
}

const dk::testing::ShownBox* ScriptRunner::unexpectableBox() const {
    std::map<std::string, int> expectable;
    for (std::size_t i = next_; i < commands_.size(); ++i)
        if (commands_[i].kind == CommandKind::BoxExpect) ++expectable[commands_[i].text];
    for (const dk::testing::ShownBox& box : boxes_)
        if (expectable[box.text]-- <= 0) return &box;
    return nullptr;
}

bool ScriptRunner::failedInModal() {
    if (modalProblems_.empty()) return false;
    if (failure_.empty()) failure_ = modalProblems_.front();
    finish();
    return true;
}

void ScriptRunner::fail(const ScriptCommand& c, const std::string& why) {
    if (failure_.empty()) failure_ = c.describe() + ": " + why;
    finish();
}

void ScriptRunner::finish() {
    if (finished_) return;
    refreshTranscript();
    if (failure_.empty() && ui_.pendingModals() != 0)
        failure_ = "the script ended with " + std::to_string(ui_.pendingModals()) +
                   " modal block(s) that no dialog used";
    collectBoxes();
    if (failure_.empty() && !boxes_.empty()) failure_ = UnexpectedBox(boxes_.front());
    finished_ = true;
}

dk::WindowHandle ScriptRunner::dialogOrFail(const ScriptCommand& c) {
    if (!dialog_)
        fail(c, "no dialog was found yet (find one with 'dialog' first)");
    else if (!dk::testing::IsVisible(dialog_))
        fail(c, "the dialog is hidden or gone, a user cannot reach it");
    else
        return dialog_;
    return nullptr;
}

std::string ScriptRunner::signalPath(const std::string& name) const {
    return options_.syncDir + "/" + name;
}

bool ScriptRunner::waitFor(const ScriptCommand& c, bool satisfied, const std::string& seen) {
    if (satisfied) return true;
    if (Clock::now() >= deadline_) {
        fail(c, "not seen within " + std::to_string(c.timeoutMs) + " ms; " + seen);
        return true;
    }
    return false;
}

bool ScriptRunner::runWait(const ScriptCommand& c) {
    if (c.kind == CommandKind::WaitSignal) {
        if (options_.syncDir.empty()) {
            fail(c, "signals need --sync-dir");
            return true;
        }
        return waitFor(c, FileExists(signalPath(c.text)), "no signal '" + c.text + "'");
    }
    if (c.kind == CommandKind::Dialog) {
        dk::WindowHandle found = ui_.findDialog(c.text);
        if (found) dialog_ = found;
        return waitFor(c, found != nullptr, "no shown dialog has that title");
    }
    if (c.kind == CommandKind::WaitTranscript || c.kind == CommandKind::WaitTranscriptCount)
        return waitInTranscript(c);
    if (!dialog_) {
        fail(c, "no dialog was found yet (find one with 'dialog' first)");
        return true;
    }
    return waitInDialog(c);
}

bool ScriptRunner::waitInTranscript(const ScriptCommand& c) {
    if (!transcriptId_) {
        fail(c, "no transcript was named (name its control with 'transcript' first)");
        return true;
    }
    const std::string& text = refreshTranscript();
    if (c.kind == CommandKind::WaitTranscript)
        return waitFor(c, text.find(c.text) != std::string::npos,
                       "the transcript is " + quotedText(text));
    int seen = 0;
    for (std::size_t at = text.find(c.text); at != std::string::npos;
         at = text.find(c.text, at + c.text.size()))
        ++seen;
    return waitFor(c, seen >= c.number,
                   "it occurs " + std::to_string(seen) + " time(s) in the transcript " +
                       quotedText(text));
}

bool ScriptRunner::waitInDialog(const ScriptCommand& c) {
    switch (c.kind) {
    case CommandKind::WaitTitle: {
        std::string title = dk::testing::WindowTitle(dialog_);
        return waitFor(c, title == c.text, "the title is " + quotedText(title));
    }
    case CommandKind::WaitCaption: {
        if (!dk::testing::HasControl(dialog_, c.id)) return waitFor(c, false, "no such control");
        std::string text = dk::testing::ControlText(dialog_, c.id);
        return waitFor(c, text == c.text, "the control reads " + quotedText(text));
    }
    case CommandKind::WaitEnabled: {
        bool enabled = dk::testing::IsControlEnabled(dialog_, c.id);
        return waitFor(c, enabled == (c.number == 1),
                       std::string("the control is ") + (enabled ? "enabled" : "disabled"));
    }
    default:
        return true;
    }
}

bool ScriptRunner::runBoxExpect(const ScriptCommand& c) {
    for (std::size_t i = 0; i < boxes_.size(); ++i) {
        if (boxes_[i].text == c.text) {
            boxes_.erase(boxes_.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return waitFor(c, false, boxesSeen());
}

bool ScriptRunner::runDialogAction(const ScriptCommand& c) {
    dk::WindowHandle dialog = dialogOrFail(c);
    if (!dialog) return true;
    std::string why;
    switch (c.kind) {
    case CommandKind::Click:
    case CommandKind::Type:
    case CommandKind::Select:
        if (!ActOnControl(dialog, c, why)) fail(c, why);
        return true;
    case CommandKind::Transcript:
        if (!dk::testing::HasControl(dialog, c.id)) {
            fail(c, "the dialog has no such control");
            return true;
        }
        transcriptDialog_ = dialog;
        transcriptId_ = c.id;
        refreshTranscript();
        return true;
    case CommandKind::PrintText:
        if (!dk::testing::HasControl(dialog, c.id)) {
            fail(c, "the dialog has no such control");
            return true;
        }
        out_ << TranscriptForConsole(dk::testing::ControlText(dialog, c.id)) << "\n";
        out_.flush();
        return true;
    case CommandKind::CloseBox:
        if (!dk::testing::CloseDialog(dialog)) fail(c, "the close request was not delivered");
        return true;
    case CommandKind::Move:
        if (!ui_.moveWindow(dialog, c.number, c.number2)) fail(c, "the window cannot be moved");
        return true;
    case CommandKind::Screenshot:
        if (!ui_.screenshot(dialog, c.text, why)) fail(c, why);
        return true;
    case CommandKind::MenuScreenshot:
        if (!ui_.menuScreenshot(dialog, c.id, c.text, why)) fail(c, why);
        return true;
    default:
        return true;
    }
}

void ScriptRunner::answerModal(const ScriptCommand& block, dk::WindowHandle dialog) {
    const std::string title = dk::testing::WindowTitle(dialog);
    std::string problem;
    if (title != block.text)
        problem = block.describe() + ": it met a dialog titled " + quotedText(title);
    for (std::size_t i = 0; problem.empty() && i < block.body.size(); ++i) {
        std::string why;
        if (!ActOnControl(dialog, block.body[i], why))
            problem = block.body[i].describe() + ": " + why;
    }
    if (problem.empty() && dk::testing::IsVisible(dialog))
        problem = block.describe() +
                  ": the dialog stayed open after the block's last line (it refused the values)";
    if (problem.empty()) return;
    modalProblems_.push_back(problem);
    if (dk::testing::IsVisible(dialog)) dk::testing::PressEscape(dialog); // no loop left behind
}

bool ScriptRunner::runSignal(const ScriptCommand& c) {
    if (options_.syncDir.empty()) {
        fail(c, "signals need --sync-dir");
        return true;
    }
    // Written under a temporary name and renamed, so a waiter never sees half a file.
    const std::string path = signalPath(c.text), temp = path + ".part";
    {
        std::ofstream f(temp, std::ios::binary | std::ios::trunc);
        f << "signalled\n";
        if (!f) {
            fail(c, "cannot write " + temp);
            return true;
        }
    }
    std::remove(path.c_str());
    if (std::rename(temp.c_str(), path.c_str()) != 0) fail(c, "cannot write " + path);
    return true;
}

bool ScriptRunner::runMenu(const ScriptCommand& c) {
    if (ui_.chooseMenu(c.text)) return true;
    if (!ui_.hasMenu()) {
        fail(c, "the host window or its menu bar does not exist, so no menu entry can be chosen");
        return true;
    }
    std::string known;
    for (const std::string& t : ui_.menuTexts())
        known += " " + quotedText(t);
    fail(c, "the host has no such menu entry; it has:" +
                (known.empty() ? std::string(" none") : known));
    return true;
}

bool ScriptRunner::step(const ScriptCommand& c) {
    switch (c.kind) {
    case CommandKind::Menu:
        return runMenu(c);
    case CommandKind::Modal:
        ui_.queueModal([this, &c](dk::WindowHandle dialog) { answerModal(c, dialog); });
        return true;
    case CommandKind::Dialog:
    case CommandKind::WaitTitle:
    case CommandKind::WaitCaption:
    case CommandKind::WaitTranscript:
    case CommandKind::WaitTranscriptCount:
    case CommandKind::WaitEnabled:
    case CommandKind::WaitSignal:
        return runWait(c);
    case CommandKind::BoxExpect:
        return runBoxExpect(c);
    case CommandKind::Signal:
        return runSignal(c);
    case CommandKind::Sleep:
        return Clock::now() >= deadline_;
    case CommandKind::PrintTranscript:
        out_ << TranscriptForConsole(refreshTranscript());
        out_.flush();
        return true;
    case CommandKind::PrintTitle:
        out_ << (dialog_ ? dk::testing::WindowTitle(dialog_) : std::string("(no dialog)")) << "\n";
        out_.flush();
        return true;
    case CommandKind::Quit:
        finish();
        return true;
    default:
        return runDialogAction(c);
    }
}

} // namespace devhost
