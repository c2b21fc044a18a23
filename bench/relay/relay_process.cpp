// Starting and ending the relays: folders, scripts, ready files, and kills for a
// relay that does not end by itself.
#include "bench/relay/relay_process.h"
#include "testkit/ports.h"
#include "testkit/text_file.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace relaybench {
namespace {

constexpr int kReadyTimeoutMs = 15000;
// Wine may first have to start its own processes for the prefix.
constexpr int kWineReadyTimeoutMs = 60000;
constexpr int kEndTimeoutMs = 10000;
constexpr int kReapTimeoutMs = 5000;
constexpr int kFilePollMs = 10;
// The whole devhost session, and the longest a load may run once the host listens.
constexpr int kScriptLimitMs = 600000;
constexpr int kLoadWaitMs = 120000;

// Hosts a chat with the plug-in's own windows, whose controls and settings dialog are
// named by the chat's variables (scripts/chat.vars, handed to devhost with --vars).
const char* const kHostScript = "menu \"Chat client\"\n"
                                "dialog \"Chat client - disconnected\" 5000\n"
                                "modal \"$SETTINGS_DIALOG\"\n"
                                "select $MODE_LIST \"Host\"\n"
                                "type $PORT_BOX \"$PORT\"\n"
                                "type $NICKNAME_BOX \"\"\n"
                                "click $OK_BUTTON\n"
                                "end\n"
                                "click $CONNECT_BUTTON\n"
                                "wait caption $CONNECT_BUTTON \"Listening\" 5000\n"
                                "signal listening\n"
                                "wait signal stop $LOADWAIT\n"
                                "quit\n";

using testsupport::ReadFile;
using testsupport::WriteFile;

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

} // namespace

void RelayProcess::prepareFolder(const std::string& path) {
    dir_ = path;
    notes_.clear();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    std::filesystem::create_directories(dir_ + "/signals", ec);
}

bool RelayProcess::waitForFile(const std::string& path, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!std::filesystem::exists(path)) {
        int code = 0;
        if (process_.wait(0, code) || std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(kFilePollMs));
    }
    return true;
}

bool DevhostRelay::start(const std::string& runName, std::string& error) {
    prepareFolder(programs_.workDir + "/" + runName);
    if (!WriteFile(dir_ + "/host.script", kHostScript)) {
        error = "cannot write " + dir_ + "/host.script";
        return false;
    }
    // A candidate port that another program holds makes the start fail; another is tried.
    for (int attempt = 0; attempt < testsupport::kPortAttempts; ++attempt) {
        if (startOnPort(testsupport::CandidatePort(), error)) return true;
    }
    return false;
}

std::string DevhostRelay::hostPath(const std::string& path) const {
    if (build_ == Build::Headless) return path;
    // Wine's drive Z: is the root of this machine's file system.
    std::string windows = "Z:" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

std::vector<std::string> DevhostRelay::command(std::vector<std::string> args) const {
    if (build_ == Build::Headless) {
        args.insert(args.begin(), programs_.devhost);
        return args;
    }
    args.insert(args.begin(), {programs_.wineLoader, programs_.wineDevhost});
    return args;
}

bool DevhostRelay::startOnPort(std::uint16_t port, std::string& error) {
    std::error_code ec;
    std::filesystem::remove(dir_ + "/signals/listening", ec);
    const std::string plugin = build_ == Build::Headless ? programs_.plugin : programs_.winePlugin;
    std::vector<std::string> argv = command(
        {"--plugin", hostPath(plugin), "--script", hostPath(dir_ + "/host.script"), "--vars",
         hostPath(VOLUBRA_CHAT_VARS), "--bind", "127.0.0.1", "--sync-dir",
         hostPath(dir_ + "/signals"), "--script-limit", std::to_string(kScriptLimitMs), "--var",
         "PORT=" + std::to_string(port), "--var", "LOADWAIT=" + std::to_string(kLoadWaitMs)});
    if (budgetMiB_ != 0) argv.insert(argv.end(), {"--socket-budget", std::to_string(budgetMiB_)});
    if (!process_.start(argv, dir_ + "/devhost.out", dir_ + "/devhost.err", error)) return false;
    const int readyMs = build_ == Build::Headless ? kReadyTimeoutMs : kWineReadyTimeoutMs;
    if (waitForFile(dir_ + "/signals/listening", readyMs)) {
        port_ = port;
        return true;
    }
    stop();
    error = "devhost did not start hosting on port " + std::to_string(port) + ": " +
            ReadFile(dir_ + "/devhost.err");
    return false;
}

void DevhostRelay::stop() {
    WriteFile(dir_ + "/signals/stop", "signalled\n");
    int code = 0;
    if (!process_.wait(kEndTimeoutMs, code)) {
        process_.kill();
        process_.wait(kReapTimeoutMs, code);
        notes_ = "devhost did not end within " + std::to_string(kEndTimeoutMs / 1000) +
                 " s of the end of the load and was killed";
    } else if (code != 0) {
        notes_ = "devhost's session ended with exit code " + std::to_string(code);
    }
    const std::size_t reports = CountOf(ReadFile(dir_ + "/devhost.err"), "report:");
    if (reports > 0) {
        if (!notes_.empty()) notes_ += "; ";
        notes_ += std::to_string(reports) + " error report(s), see " + dir_ + "/devhost.err";
    }
}

bool RawRelay::start(const std::string& runName, std::string& error) {
    prepareFolder(programs_.workDir + "/" + runName);
    const std::string ready = dir_ + "/signals/ready";
    if (!process_.start({programs_.rawRelay, "--ready", ready}, dir_ + "/relay.out",
                        dir_ + "/relay.err", error))
        return false;
    if (!waitForFile(ready, kReadyTimeoutMs)) {
        stop();
        error = "the raw relay did not start: " + ReadFile(dir_ + "/relay.err");
        return false;
    }
    port_ = static_cast<std::uint16_t>(std::stoi(ReadFile(ready)));
    return true;
}

void RawRelay::stop() {
    int code = 0;
    process_.kill(); // the yardstick keeps no state worth an orderly end
    process_.wait(kReapTimeoutMs, code);
}

} // namespace relaybench
