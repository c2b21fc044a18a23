// Runs a session script against the plug-in's windows while the host's event loop
// keeps going: the loop calls tick() often (natively after each socket pump, on Win32
// from a timer), and each tick either starts the next command or checks the wait in
// progress. Waits never block; every one has a deadline, and a failed wait ends the
// script with a sentence that says what was expected and what was seen.
#pragma once

#include "devhost/app/session_script.h"
#include "devhost/app/session_ui.h"
#include "dialogkit/message_box.h"

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
    // The chat window's transcript as last read (kept when the window goes away).
    const std::string& transcript() const { return transcript_; }
    // Reads the transcript now if the window is there; the last read otherwise.
    const std::string& refreshTranscript();

private:
    using Clock = std::chrono::steady_clock;

    // Each returns true when the command is done; false to be asked again next tick.
    bool step(const ScriptCommand& c);
    bool waitFor(const ScriptCommand& c, bool satisfied, const std::string& seen);
    bool runWait(const ScriptCommand& c);
    bool runBoxExpect(const ScriptCommand& c);
    bool runUserAction(const ScriptCommand& c);
    void fail(const ScriptCommand& c, const std::string& why);
    void finish();
    dk::WindowHandle chatWindowOrFail(const ScriptCommand& c);
    std::string signalPath(const std::string& name) const;
    void collectBoxes();
    std::string boxesSeen() const;

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
    std::string transcript_;
    std::vector<dk::testing::ShownBox> boxes_; // shown and not yet expected
};

} // namespace devhost
