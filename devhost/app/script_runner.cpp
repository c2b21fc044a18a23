// The script runner: one command at a time, waits polled on every tick, message boxes
// collected as they are shown, and a last check at the end that nothing was left
// unanswered (a settings answer no dialog used, a box nobody expected).
#include "devhost/app/script_runner.h"

#include "dialogkit/testing.h"

#include <cstdio>
#include <fstream>
#include <sys/stat.h>

namespace devhost {
namespace {

std::string Quoted(const std::string& text) {
    std::string s = "\"";
    for (char c : text) {
        if (c == '\r')
            s += "\\r";
        else if (c == '\n')
            s += "\\n";
        else if (c == '"')
            s += "\\\"";
        else
            s += c;
    }
    return s + "\"";
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

ScriptRunner::ScriptRunner(std::vector<ScriptCommand> commands, SessionUi& ui,
                           RunnerOptions options, std::ostream& out)
    : commands_(std::move(commands)), ui_(ui), options_(std::move(options)), out_(out) {}

void ScriptRunner::tick() {
    if (finished_) return;
    for (const std::string& problem : ui_.serviceModals()) {
        failure_ = problem;
        finish();
        return;
    }
    if (running_) return;
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
    dk::WindowHandle chat = ui_.chatWindow();
    if (chat) transcript_ = dk::testing::ControlText(chat, kIdTranscriptEdit);
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
        s += " [" + b.caption + "] " + Quoted(b.text);
    return s;
}

void ScriptRunner::fail(const ScriptCommand& c, const std::string& why) {
    if (failure_.empty()) failure_ = c.describe() + ": " + why;
    finish();
}

void ScriptRunner::finish() {
    if (finished_) return;
    refreshTranscript();
    if (failure_.empty() && ui_.pendingSettingsAnswers() != 0)
        failure_ = "the script ended with " + std::to_string(ui_.pendingSettingsAnswers()) +
                   " settings answer(s) that no dialog used";
    collectBoxes();
    if (failure_.empty() && !boxes_.empty())
        failure_ = "a message box that the script did not expect: [" + boxes_.front().caption +
                   "] " + Quoted(boxes_.front().text);
    finished_ = true;
}

dk::WindowHandle ScriptRunner::chatWindowOrFail(const ScriptCommand& c) {
    dk::WindowHandle chat = ui_.chatWindow();
    if (!chat)
        fail(c, "the chat window does not exist (choose its menu entry first)");
    else if (!dk::testing::IsVisible(chat)) {
        fail(c, "the chat window is hidden, a user cannot reach it");
        chat = nullptr;
    }
    return chat;
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
    dk::WindowHandle chat = ui_.chatWindow();
    if (!chat) return waitFor(c, false, "the chat window does not exist");
    switch (c.kind) {
    case CommandKind::WaitTitle: {
        std::string title = dk::testing::WindowTitle(chat);
        return waitFor(c, title == c.text, "the title is " + Quoted(title));
    }
    case CommandKind::WaitCaption: {
        if (!dk::testing::HasControl(chat, c.id)) return waitFor(c, false, "no such control");
        std::string text = dk::testing::ControlText(chat, c.id);
        return waitFor(c, text == c.text, "the control reads " + Quoted(text));
    }
    case CommandKind::WaitEnabled: {
        bool enabled = dk::testing::IsControlEnabled(chat, c.id);
        return waitFor(c, enabled == (c.number == 1),
                       std::string("the control is ") + (enabled ? "enabled" : "disabled"));
    }
    case CommandKind::WaitTranscript: {
        const std::string& text = refreshTranscript();
        return waitFor(c, text.find(c.text) != std::string::npos,
                       "the transcript is " + Quoted(text));
    }
    case CommandKind::WaitTranscriptCount: {
        const std::string& text = refreshTranscript();
        int seen = 0;
        for (std::size_t at = text.find(c.text); at != std::string::npos;
             at = text.find(c.text, at + c.text.size()))
            ++seen;
        return waitFor(c, seen >= c.number,
                       "it occurs " + std::to_string(seen) + " time(s) in the transcript " +
                           Quoted(text));
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

bool ScriptRunner::runUserAction(const ScriptCommand& c) {
    dk::WindowHandle chat = chatWindowOrFail(c);
    if (!chat) return true;
    switch (c.kind) {
    case CommandKind::Click:
    case CommandKind::Close: {
        const int id = c.kind == CommandKind::Close ? kIdCloseButton : c.id;
        if (!dk::testing::HasControl(chat, id))
            fail(c, "the chat window has no such control");
        else if (!dk::testing::ClickButton(chat, id))
            fail(c, "the button is disabled or hidden, a user cannot click it");
        return true;
    }
    case CommandKind::Type:
        if (!dk::testing::HasControl(chat, c.id))
            fail(c, "the chat window has no such control");
        else if (!dk::testing::IsControlEnabled(chat, c.id))
            fail(c, "the box is disabled, a user cannot type into it");
        else if (!dk::testing::SetControlText(chat, c.id, c.text))
            fail(c, "the text was refused");
        return true;
    case CommandKind::CloseBox:
        if (!dk::testing::CloseDialog(chat)) fail(c, "the close request was not delivered");
        return true;
    case CommandKind::Move:
        if (!ui_.moveWindow(chat, c.number, c.number2)) fail(c, "the window cannot be moved");
        return true;
    case CommandKind::Screenshot: {
        std::string error;
        if (!ui_.screenshot(chat, c.text, error)) fail(c, error);
        return true;
    }
    default:
        return true;
    }
}

bool ScriptRunner::step(const ScriptCommand& c) {
    switch (c.kind) {
    case CommandKind::Menu:
        if (!ui_.chooseMenu(c.text)) {
            std::string known;
            for (const std::string& t : ui_.menuTexts())
                known += " " + Quoted(t);
            fail(c, "the host has no such menu entry; it has:" +
                        (known.empty() ? std::string(" none") : known));
        }
        return true;
    case CommandKind::SettingsGuest:
    case CommandKind::SettingsHost:
    case CommandKind::SettingsCancel: {
        SettingsAnswer a;
        a.ok = c.kind != CommandKind::SettingsCancel;
        a.mode = c.kind == CommandKind::SettingsHost ? 1 : 0;
        a.address = c.text;
        a.port = c.number;
        a.nickname = c.text2;
        a.scriptLine = c.line;
        ui_.queueSettingsAnswer(a);
        return true;
    }
    case CommandKind::WaitTitle:
    case CommandKind::WaitCaption:
    case CommandKind::WaitTranscript:
    case CommandKind::WaitTranscriptCount:
    case CommandKind::WaitEnabled:
    case CommandKind::WaitSignal:
        return runWait(c);
    case CommandKind::BoxExpect:
        return runBoxExpect(c);
    case CommandKind::Signal: {
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
    case CommandKind::Sleep:
        return Clock::now() >= deadline_;
    case CommandKind::PrintTranscript:
        out_ << TranscriptForConsole(refreshTranscript());
        out_.flush();
        return true;
    case CommandKind::PrintTitle: {
        dk::WindowHandle chat = ui_.chatWindow();
        out_ << (chat ? dk::testing::WindowTitle(chat) : std::string("(no chat window)")) << "\n";
        out_.flush();
        return true;
    }
    case CommandKind::Quit:
        finish();
        return true;
    default:
        return runUserAction(c);
    }
}

} // namespace devhost
