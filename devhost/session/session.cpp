// The session's event loop and its command line. Scripted sessions capture message
// boxes (they are recorded and dismissed, and a script names each one it expects);
// interactive ones leave everything to the user.
#include "devhost/session/session.h"

#include "devhost/session/script_runner.h"
#include "devhost/session/session_ui.h"
#include "dialogkit/testing/testing.h"

#include <cstdlib>
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

const char* SessionUsageText() {
    return "session: devhost --plugin PATH (--script FILE | --interactive) [options]\n"
           "  --script FILE          run a scripted session (see session_script.h)\n"
           "  --interactive          open the host window for a person (Win32)\n"
           "  --bind ADDR            listening sockets bind ADDR (default: all interfaces)\n"
           "  --transcript-out FILE  write the chat transcript there at the end\n"
           "  --sync-dir DIR         where 'signal' and 'wait signal' keep their files\n"
           "  --var NAME=VALUE       $NAME in the script reads VALUE\n"
           "  --vars FILE            NAME=VALUE lines, each as a --var (a --var wins)\n"
           "  --script-limit MS      the longest the whole script may run\n";
}

bool ExtractSessionOptions(std::vector<std::string>& args, SessionOptions& options,
                           std::string& error) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--interactive") {
            options.interactive = true;
            continue;
        }
        const bool takesValue = arg == "--script" || arg == "--bind" || arg == "--transcript-out" ||
                                arg == "--sync-dir" || arg == "--var" || arg == "--vars" ||
                                arg == "--script-limit";
        if (!takesValue) {
            rest.push_back(arg);
            continue;
        }
        if (i + 1 >= args.size()) {
            error = arg + " needs a value";
            return false;
        }
        const std::string value = args[++i];
        if (arg == "--script")
            options.scriptPath = value;
        else if (arg == "--bind")
            options.bindAddress = value;
        else if (arg == "--transcript-out")
            options.transcriptOut = value;
        else if (arg == "--sync-dir")
            options.syncDir = value;
        else if (arg == "--vars")
            options.varsFiles.push_back(value);
        else if (arg == "--script-limit") {
            char* end = nullptr;
            unsigned long ms = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || ms == 0 || ms > 3600000ul) {
                error =
                    "--script-limit wants milliseconds from 1 to 3600000, not \"" + value + "\"";
                return false;
            }
            options.scriptLimitMs = static_cast<unsigned>(ms);
        } else {
            const std::string::size_type eq = value.find('=');
            if (eq == std::string::npos || eq == 0) {
                error = "--var wants NAME=VALUE, not \"" + value + "\"";
                return false;
            }
            options.vars[value.substr(0, eq)] = value.substr(eq + 1);
        }
    }
    if (options.interactive && !options.scriptPath.empty()) {
        error = "--script and --interactive exclude each other";
        return false;
    }
    args.swap(rest);
    return true;
}

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
