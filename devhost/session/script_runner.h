// Runs a session script against a plug-in's windows while the host's event loop keeps
// going: the loop calls tick() often (natively after each socket pump, on Win32 from a
// timer), and each tick either starts the next command or checks the wait in progress.
// Waits never block; every one has a deadline, and a failed wait ends the script with a
// sentence that says what was expected and what was seen. The runner holds the dialog
// that the script found last and the control it named as the transcript.
#pragma once

#include "devhost/session/session_script.h"
#include "devhost/session/session_ui.h"
#include "dialogkit/testing/testing.h"
#include "dialogkit/window.h"

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

namespace devhost {

// The longest a whole script may run before the watchdog ends it.
constexpr unsigned kDefaultScriptLimitMs = 120000;

struct RunnerOptions {
    std::string syncDir; // where signal files live; empty: signals refused
    unsigned scriptLimitMs = kDefaultScriptLimitMs;
};

class ScriptRunner {
public:
    ScriptRunner(std::vector<ScriptCommand> commands, SessionUi& ui, RunnerOptions options,
                 std::ostream& out);

    // Runs what can run now. Re-entrant calls (a tick from inside a modal loop that a
    // click opened) only look after the modal dialogs.
    void tick();
    bool finished() const { return finished_; }
    bool failed() const { return !failure_.empty(); }
    const std::string& failure() const { return failure_; }
    int exitCode() const { return failed() ? 1 : 0; }
    // The transcript control's text as last read (kept when its dialog goes away).
    const std::string& transcript() const { return transcript_; }
    // Reads the transcript now if its dialog is there; the last read otherwise.
    const std::string& refreshTranscript();

private:
    using Clock = std::chrono::steady_clock;

    // Each returns true when the command is done; false to be asked again next tick.
    bool step(const ScriptCommand& c);
    bool waitFor(const ScriptCommand& c, bool satisfied, const std::string& seen);
    bool runMenu(const ScriptCommand& c);
    bool runWait(const ScriptCommand& c);
    bool waitInTranscript(const ScriptCommand& c);
    bool waitInDialog(const ScriptCommand& c); // a dialog has been found
    bool runBoxExpect(const ScriptCommand& c);
    bool runDialogAction(const ScriptCommand& c);
    bool runSignal(const ScriptCommand& c);
    // Runs a modal block's lines on the dialog it was handed; problems are kept for the
    // next tick, since this runs inside the dialog's modal loop.
    void answerModal(const ScriptCommand& block, dk::WindowHandle dialog);
    void fail(const ScriptCommand& c, const std::string& why);
    // Ends the script with the first problem a modal block met, if any.
    bool failedInModal();
    void finish();
    dk::WindowHandle dialogOrFail(const ScriptCommand& c);
    std::string signalPath(const std::string& name) const;
    void collectBoxes();
    std::string boxesSeen() const;
    // A shown box that no remaining 'box expect' names: the script cannot pass any more.
    const dk::testing::ShownBox* unexpectableBox() const;

    std::vector<ScriptCommand> commands_;
    SessionUi& ui_; // not owned
    RunnerOptions options_;
    std::ostream& out_; // not owned

    std::size_t next_ = 0;
    bool started_ = false; // the current command has begun (its deadline is set)
    Clock::time_point deadline_{};
    Clock::time_point scriptStart_{};
    bool running_ = false; // inside tick(): a nested tick only services modals
    bool finished_ = false;
    std::string failure_;
    std::vector<std::string> modalProblems_;
    dk::WindowHandle dialog_ = nullptr;           // found by the last 'dialog'; not owned
    dk::WindowHandle transcriptDialog_ = nullptr; // where the transcript control lives
    int transcriptId_ = 0;
    std::string transcript_;
    std::vector<dk::testing::ShownBox> boxes_; // shown and not yet expected
};

} // namespace devhost
