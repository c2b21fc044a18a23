// The session's event loop. Scripted sessions capture message
// boxes (they are recorded and dismissed, and a script names each one it expects);
// interactive ones leave everything to the user.
#include "devhost/session/session.h"

#include "devhost/session/script_runner.h"
#include "devhost/session/session_ui.h"
#include "dialogkit/testing/testing.h"

#include <fstream>
#include <memory>
#include <sstream>

namespace devhost {
namespace {

// How long one pump of the socket plug-in may wait for events before the script is
// looked at again.
constexpr int kPumpMs = 5;
// The largest script devhost reads.
constexpr std::size_t kMaxScriptBytes = 1024 * 1024;

// Reads a script or a file of variables (what: "the script", "the variables").
bool ReadWhole(const std::string& path, const std::string& what, std::string& text,
               std::string& error) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        error = "cannot read " + what + " " + path;
        return false;
    }
    std::ostringstream s;
    s << f.rdbuf();
    text = s.str();
    if (text.size() > kMaxScriptBytes) {
        error = what + " " + path + " is larger than " + std::to_string(kMaxScriptBytes) + " bytes";
        return false;
    }
    return true;
}

bool WriteWhole(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
    return static_cast<bool>(f);
}

} // namespace

bool LoadSessionScript(const SessionOptions& options, ParsedScript& script, std::string& error) {
    if (options.scriptPath.empty()) return true;
    ScriptVariables vars;
    std::string text;
    for (const std::string& path : options.varsFiles) {
        if (!ReadWhole(path, "the variables", text, error)) return false;
        if (!ReadVariables(text, vars, error)) {
            error = path + ": " + error;
            return false;
        }
    }
    for (const auto& v : options.vars)
        vars[v.first] = v.second;
    if (!ReadWhole(options.scriptPath, "the script", text, error)) return false;
    script = ParseScript(text, vars);
    if (!script.ok()) {
        error = options.scriptPath + ": " + script.error;
        return false;
    }
    return true;
}

namespace {

// Runs the script with the plug-in's message boxes captured, pumping the sockets between
// its steps, and says how it ended.
int RunScript(SessionUi& ui, NxTcpSock& sockets, const SessionOptions& options,
              const ParsedScript& script, std::ostream& out, std::ostream& err) {
    dk::testing::BeginCapture(dk::kIdOk);
    RunnerOptions runnerOptions;
    runnerOptions.syncDir = options.syncDir;
    if (options.scriptLimitMs) runnerOptions.scriptLimitMs = options.scriptLimitMs;
    ScriptRunner runner(script.commands, ui, runnerOptions, out);
    ui.setTicker([&runner] { runner.tick(); });
    runner.tick();
    while (!runner.finished()) {
        sockets.pump(kPumpMs);
        runner.tick();
    }
    ui.setTicker(nullptr);
    dk::testing::EndCapture();

    if (!options.transcriptOut.empty() && !WriteWhole(options.transcriptOut, runner.transcript()))
        err << "devhost: cannot write the transcript to " << options.transcriptOut << "\n";
    if (runner.failed()) {
        err << "devhost: script failed: " << runner.failure() << "\n";
        err << "devhost: the transcript at that moment:\n"
            << TranscriptForConsole(runner.transcript()) << "devhost: (end of transcript)\n";
        err.flush();
        return kSessionScriptFailed;
    }
    return kSessionOk;
}

} // namespace

int RunSession(HostApi& api, NxTcpSock& sockets, const SessionOptions& options,
               const ParsedScript& script, std::ostream& out, std::ostream& err) {
#if !defined(_WIN32)
    if (options.interactive) {
        err << "devhost: --interactive needs real windows: run the Windows build of devhost\n";
        return kSessionUnusable;
    }
#endif
    api.setReportSink([&err](const std::string& text) {
        err << "devhost: report: " << text << "\n";
        err.flush();
    });
    std::unique_ptr<SessionUi> ui = MakeSessionUi(api, options.interactive);

    if (options.interactive) {
        while (!ui->hostWindowClosed())
            sockets.pump(kPumpMs);
        api.setReportSink(nullptr);
        return kSessionOk;
    }

    const int result = RunScript(*ui, sockets, options, script, out, err);
    api.setReportSink(nullptr);
    return result;
}

} // namespace devhost
