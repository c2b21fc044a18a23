// One participant of an end-to-end chat: a devhost process with the real plug-in and
// a scripted session, its output and transcript in the scenario's folder. A Scenario
// holds the folder, the signals the scripts exchange, and a deadline for everything;
// ExpectedChat builds the transcript each participant must end with.
#pragma once

#include "testkit/child_process.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace e2e {

// How long a wait inside a script may take, and how long a whole scenario may run.
// Wine starts processes slowly, so both are longer there.
#if defined(_WIN32)
constexpr int kScriptWaitMs = 30000;
constexpr int kScenarioMs = 120000;
#else
constexpr int kScriptWaitMs = 8000;
constexpr int kScenarioMs = 30000;
#endif

class Scenario;

class Participant {
public:
    Participant(Scenario& scenario, std::string name)
        : scenario_(scenario), name_(std::move(name)) {}

    // Writes the script and starts devhost with it; $WAIT, the chat's variables
    // (scripts/chat.vars) and the scenario's are known to the script.
    bool start(const std::string& script, std::string& error);
    // Waits for the end of the session; false when it overstayed (it is then killed).
    bool finish(int timeoutMs, int& exitCode);
    // Whether the session has ended (without waiting).
    bool ended();
    void kill() { process_.kill(); }

    const std::string& name() const { return name_; }
    std::string transcript() const; // as written by --transcript-out, CRLF kept
    std::string output() const;     // stdout
    std::string errors() const;     // stderr
    std::string path(const std::string& suffix) const;

private:
    Scenario& scenario_; // not owned
    std::string name_;
    ChildProcess process_;
};

class Scenario {
public:
    explicit Scenario(const std::string& name); // a fresh folder for it
    ~Scenario();

    Participant& add(const std::string& name);
    void set(const std::string& var, const std::string& value) { vars_[var] = value; }
    const std::map<std::string, std::string>& vars() const { return vars_; }
    const std::string& dir() const { return dir_; }
    std::string syncDir() const { return dir_ + "/signals"; }

    // Waits for a script's signal, within what is left of the scenario's time; a
    // participant that ends meanwhile ends the wait too (false).
    bool waitSignal(const std::string& name, Participant* unlessEnded = nullptr);
    // Starts a host whose script listens on $PORT and then signals `listening`. $PORT is
    // a candidate port (testkit/ports.h): when another program holds it, the
    // script ends on its WSAEADDRINUSE box and the host starts again on the next one.
    bool startListening(Participant& host, const std::string& script, std::string& error);
    std::uint16_t port() const;
    void signal(const std::string& name);
    int remainingMs() const;
    // Everything the participants wrote, for a failure message.
    std::string report() const;

private:
    std::string dir_;
    std::map<std::string, std::string> vars_;
    std::vector<std::unique_ptr<Participant>> participants_;
    long long startMs_;
};

// The entries a host appends, each with the guests that receive it; a guest's
// transcript is the entries it received, plus what it appends itself.
class ExpectedChat {
public:
    // A host entry (line + "\r\n\r\n"), received by the guests connected now.
    void hostLine(const std::string& line);
    void join(const std::string& guest) { connected_.insert(guest); }
    void leave(const std::string& guest) { connected_.erase(guest); }
    // An entry that only this guest makes ("Host has disconnected\r\n\r\n").
    void guestOwn(const std::string& guest, const std::string& entry);

    const std::string& host() const { return host_; }
    std::string guest(const std::string& name) const;

private:
    std::string host_;
    std::set<std::string> connected_;
    std::map<std::string, std::string> guests_;
};

// "\r\n" and lone "\r" or "\n" shown as "\n", as devhost prints a transcript.
std::string ConsoleForm(const std::string& transcript);

} // namespace e2e
