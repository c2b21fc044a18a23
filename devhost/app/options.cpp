// devhost's command line, declared once with CLI11: every option with its value's
// check, and the usage text made from the same declarations.
#include "devhost/app/options.h"

#include "devhost/hostapi/host_api.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace devhost {
namespace {

// The longest a whole script may run.
constexpr unsigned long kMaxScriptLimitMs = 3600000;

// "NAME:N" with N a positive count; the name is everything before the last colon.
bool parseCountedName(const std::string& text, std::pair<std::string, unsigned>& out) {
    std::string::size_type colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
    const std::string digits = text.substr(colon + 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    unsigned long n = std::strtoul(digits.c_str(), nullptr, 10);
    if (errno != 0 || n == 0 || n > 0xFFFFFFFFul) return false;
    out = {text.substr(0, colon), static_cast<unsigned>(n)};
    return true;
}

bool parseMilliseconds(const std::string& text, unsigned& out) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    const unsigned long ms = std::strtoul(text.c_str(), nullptr, 10);
    if (errno != 0 || ms == 0 || ms > kMaxScriptLimitMs) return false;
    out = static_cast<unsigned>(ms);
    return true;
}

// The largest --socket-budget (64 GiB); a 32-bit devhost takes less than 4 GiB.
constexpr unsigned long kMaxSocketBudgetMiB = 64 * 1024;

// A whole number of MiB, from 1 to kMaxSocketBudgetMiB, in bytes.
bool parseMebibytes(const std::string& text, std::size_t& bytes) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long mib = std::strtoul(text.c_str(), nullptr, 10);
    if (mib == 0 || mib > kMaxSocketBudgetMiB || mib > SIZE_MAX / (1024 * 1024)) return false;
    bytes = static_cast<std::size_t>(mib) * 1024 * 1024;
    return true;
}

// Checks of values; CLI11 puts the option's name before the message.
const CLI::Validator kCountedName(
    [](std::string& value) -> std::string {
        std::pair<std::string, unsigned> counted;
        if (parseCountedName(value, counted)) return {};
        return "wants NAME:N with N from 1, not \"" + value + "\"";
    },
    "");

const CLI::Validator kNameValue(
    [](std::string& value) -> std::string {
        const std::string::size_type eq = value.find('=');
        if (eq != std::string::npos && eq != 0) return {};
        return "wants NAME=VALUE, not \"" + value + "\"";
    },
    "");

const CLI::Validator kSocketBudget(
    [](std::string& value) -> std::string {
        std::size_t bytes = 0;
        if (parseMebibytes(value, bytes)) return {};
        return "wants a size in MiB from 1 to " + std::to_string(kMaxSocketBudgetMiB) + ", not \"" +
               value + "\"";
    },
    "");

const CLI::Validator kScriptLimit(
    [](std::string& value) -> std::string {
        unsigned ms = 0;
        if (parseMilliseconds(value, ms)) return {};
        return "wants milliseconds from 1 to " + std::to_string(kMaxScriptLimitMs) + ", not \"" +
               value + "\"";
    },
    "");

CLI::Option* Single(CLI::App& app, const char* name, std::string& value, const char* valueName,
                    const char* what) {
    // Given twice, the last one counts.
    return app.add_option(name, value, what)
        ->type_name(valueName)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

// An option that may be given again and again, one value each time.
CLI::Option* Repeated(CLI::App& app, const char* name, std::vector<std::string>& values,
                      const char* valueName, const char* what) {
    return app.add_option(name, values, what)
        ->type_name(valueName)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

// The raw texts of the options whose values are turned into something else after parsing.
struct RawValues {
    std::vector<std::string> failingCalls;
    std::vector<std::string> failingRuns;
    std::vector<std::string> vars;
    std::string scriptLimit;
    std::string socketBudget;
};

void declareHostOptions(CLI::App& app, Options& o, RawValues& raw) {
    Single(app, "--plugin", o.pluginPath, "PATH", "the plug-in to load")->required();
    app.add_flag("--log", o.printLog, "print every host call the plug-in made");
    Repeated(app, "--remove", o.removedNames, "NAME",
             "the lookup answers 0 for this host function");
    Repeated(app, "--fail", raw.failingCalls, "NAME:N",
             "this host function fails from its N-th call on")
        ->check(kCountedName);
    Repeated(app, "--fail-run", raw.failingRuns, "NAME:N",
             "this registered function fails from its N-th run on")
        ->check(kCountedName);
}

void declareSessionOptions(CLI::App& app, SessionOptions& s, RawValues& raw) {
    Single(app, "--script", s.scriptPath, "FILE", "run a scripted session (see session_script.h)");
    app.add_flag("--interactive", s.interactive, "open the host window for a person (Win32)");
    Single(app, "--bind", s.bindAddress, "ADDR",
           "listening sockets bind ADDR (default: all interfaces)");
    Single(app, "--transcript-out", s.transcriptOut, "FILE",
           "write the chat transcript there at the end");
    Single(app, "--sync-dir", s.syncDir, "DIR",
           "where 'signal' and 'wait signal' keep their files");
    Repeated(app, "--var", raw.vars, "NAME=VALUE", "$NAME in the script reads VALUE")
        ->check(kNameValue);
    Repeated(app, "--vars", s.varsFiles, "FILE",
             "NAME=VALUE lines, each as a --var (a --var wins)");
    Single(app, "--script-limit", raw.scriptLimit, "MS", "the longest the whole script may run")
        ->check(kScriptLimit);
    Single(app, "--socket-budget", raw.socketBudget, "MIB",
           "what a session's connections may hold in all (256)")
        ->check(kSocketBudget);
}

void declareOptions(CLI::App& app, Options& o, RawValues& raw) {
    // Values are often paths; on Windows "/work/chat.vars" must not read as an option.
    app.allow_windows_style_options(false);
    app.set_help_flag("-h,--help", "print this text and stop");
    app.set_version_flag("--version", versionText(), "print devhost's version and stop");
    declareHostOptions(app, o, raw);
    declareSessionOptions(app, o.session, raw);
}

// The checked raw texts, turned into their values.
void applyRawValues(const RawValues& raw, Options& o) {
    std::pair<std::string, unsigned> counted;
    for (const std::string& text : raw.failingCalls)
        if (parseCountedName(text, counted)) o.failingCalls.push_back(counted);
    for (const std::string& text : raw.failingRuns)
        if (parseCountedName(text, counted)) o.failingRuns.push_back(counted);
    for (const std::string& text : raw.vars) {
        const std::string::size_type eq = text.find('=');
        o.session.vars[text.substr(0, eq)] = text.substr(eq + 1);
    }
    if (!raw.scriptLimit.empty()) parseMilliseconds(raw.scriptLimit, o.session.scriptLimitMs);
    if (!raw.socketBudget.empty()) parseMebibytes(raw.socketBudget, o.socketBudgetBytes);
}

// CLI11 says "--script: 1 required TEXT missing"; we say what the user left out.
std::string describeParseError(const CLI::ParseError& e) {
    const std::string what = e.what();
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e))
        return what.substr(0, what.find(':')) + " needs a value";
    if (dynamic_cast<const CLI::RequiredError*>(&e)) return "--plugin PATH is required";
    return what;
}

} // namespace

std::string usageText() {
    Options o;
    RawValues raw;
    CLI::App app("devhost: loads a plug-in as the host would, lists what it registered, and "
                 "runs scripted or interactive sessions with it",
                 "devhost");
    declareOptions(app, o, raw);
    app.footer("The script language (--script) is described in devhost/session/session_script.h\n"
               "of the source tree; scripts/chat.vars names the chat's dialogs and controls.\n"
               "Exit status: 0 done; 1 a wrong command line or a failed script; 2 an unknown\n"
               "host function name; 3 the plug-in's initialisation failed; 4 the session\n"
               "could not run; 5 the plug-in could not be loaded.");
    return app.help();
}

std::string versionText() {
    return std::string("devhost ") + DEVHOST_VERSION;
}

bool checkHostFunctionNames(const Options& options, std::string& error) {
    const std::vector<std::string>& known = hostApiNames();
    std::string unknown;
    const auto check = [&](const char* option, const std::string& name) {
        if (std::find(known.begin(), known.end(), name) != known.end()) return;
        unknown += std::string(unknown.empty() ? "" : ", ") + option + " \"" + name + "\"";
    };
    for (const std::string& name : options.removedNames)
        check("--remove", name);
    for (const auto& failing : options.failingCalls)
        check("--fail", failing.first);
    if (unknown.empty()) return true;
    error = "no host API function has the name of " + unknown;
    return false;
}

bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    CLI::App app("devhost", "devhost");
    RawValues raw;
    declareOptions(app, options, raw);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        options.helpAsked = true;
        return true;
    } catch (const CLI::CallForVersion&) {
        options.versionAsked = true;
        return true;
    } catch (const CLI::ParseError& e) {
        error = describeParseError(e);
        return false;
    }
    applyRawValues(raw, options);
    if (options.session.interactive && !options.session.scriptPath.empty()) {
        error = "--script and --interactive exclude each other";
        return false;
    }
    return true;
}

} // namespace devhost
