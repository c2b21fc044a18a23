// Participants and scenarios: folders, scripts, the devhost command line, signals.
#include "tests/e2e/participant.h"

#include "devhost/session/session_script.h"
#include "testkit/ports.h"
#include "testkit/text_file.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace e2e {
namespace {

constexpr int kSignalPollMs = 20;

long long NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

using testsupport::ReadFile;
using testsupport::WriteFile;

} // namespace

std::string Participant::path(const std::string& suffix) const {
    return scenario_.dir() + "/" + name_ + suffix;
}

bool Participant::start(const std::string& script, std::string& error) {
    if (!WriteFile(path(".script"), script)) {
        error = "cannot write " + path(".script");
        return false;
    }
    std::vector<std::string> argv{PlatformPath(VOLUBRA_DEVHOST_PATH),
                                  "--plugin",
                                  PlatformPath(VOLUBRA_PLUGIN_PATH),
                                  "--script",
                                  PlatformPath(path(".script")),
                                  "--bind",
                                  "127.0.0.1",
                                  "--transcript-out",
                                  PlatformPath(path(".transcript")),
                                  "--sync-dir",
                                  PlatformPath(scenario_.syncDir()),
                                  "--script-limit",
                                  std::to_string(kScenarioMs),
                                  "--vars",
                                  PlatformPath(VOLUBRA_CHAT_VARS),
                                  "--var",
                                  "WAIT=" + std::to_string(kScriptWaitMs)};
    for (const auto& v : scenario_.vars()) {
        argv.push_back("--var");
        argv.push_back(v.first + "=" + v.second);
    }
    return process_.start(argv, path(".out"), path(".err"), error);
}

bool Participant::finish(int timeoutMs, int& exitCode) {
    if (process_.wait(timeoutMs, exitCode)) return true;
    process_.kill();
    process_.wait(5000, exitCode);
    return false;
}

bool Participant::ended() {
    int exitCode = 0;
    return process_.wait(0, exitCode);
}

std::string Participant::transcript() const {
    return ReadFile(path(".transcript"));
}
std::string Participant::output() const {
    return ReadFile(path(".out"));
}
std::string Participant::errors() const {
    return ReadFile(path(".err"));
}

Scenario::Scenario(const std::string& name) : startMs_(NowMs()) {
    dir_ = std::string(VOLUBRA_E2E_WORK_DIR) + "/" + name;
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    std::filesystem::create_directories(syncDir(), ec);
}

Scenario::~Scenario() = default; // participants kill what still runs

Participant& Scenario::add(const std::string& name) {
    participants_.push_back(std::make_unique<Participant>(*this, name));
    return *participants_.back();
}

int Scenario::remainingMs() const {
    const long long left = startMs_ + kScenarioMs - NowMs();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool Scenario::waitSignal(const std::string& name, Participant* unlessEnded) {
    const std::string path = syncDir() + "/" + name;
    while (!std::filesystem::exists(path)) {
        if (remainingMs() == 0 || (unlessEnded && unlessEnded->ended())) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(kSignalPollMs));
    }
    return true;
}

bool Scenario::startListening(Participant& host, const std::string& script, std::string& error) {
    for (int attempt = 0; attempt < testsupport::kPortAttempts; ++attempt) {
        set("PORT", std::to_string(testsupport::CandidatePort()));
        if (!host.start(script, error)) return false;
        if (waitSignal("listening", &host)) return true;
        if (!host.ended() || host.errors().find("WSAEADDRINUSE") == std::string::npos) {
            error = "the host never listened on port " + vars_.at("PORT") + "\n" + report();
            return false;
        }
    }
    error = "every candidate port was taken by another program";
    return false;
}

std::uint16_t Scenario::port() const {
    auto it = vars_.find("PORT");
    return it == vars_.end() ? 0 : static_cast<std::uint16_t>(std::stoi(it->second));
}

void Scenario::signal(const std::string& name) {
    WriteFile(syncDir() + "/" + name + ".part", "signalled\n");
    std::filesystem::rename(syncDir() + "/" + name + ".part", syncDir() + "/" + name);
}

std::string Scenario::report() const {
    std::string s;
    for (const auto& p : participants_) {
        s += "---- " + p->name() + " stdout:\n" + p->output();
        s += "---- " + p->name() + " stderr:\n" + p->errors();
    }
    return s;
}

void ExpectedChat::hostLine(const std::string& line) {
    const std::string entry = line + "\r\n\r\n";
    host_ += entry;
    for (const std::string& g : connected_)
        guests_[g] += entry;
}

void ExpectedChat::guestOwn(const std::string& guest, const std::string& entry) {
    guests_[guest] += entry;
}

std::string ExpectedChat::guest(const std::string& name) const {
    auto it = guests_.find(name);
    return it == guests_.end() ? std::string() : it->second;
}

std::string ConsoleForm(const std::string& transcript) {
    return devhost::TranscriptForConsole(transcript);
}

} // namespace e2e
