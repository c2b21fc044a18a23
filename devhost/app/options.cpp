// Parsing of devhost's command line.
#include "devhost/app/options.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace devhost {

namespace {

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

} // namespace

const char* usageText() {
    return "usage: devhost --plugin PATH [--log] [--remove NAME]... [--fail NAME:N]...\n"
           "               [--fail-run FULLNAME:N]... [--socket-budget MIB]\n"
           "  --plugin PATH        the plug-in to load\n"
           "  --log                print every host call the plug-in made\n"
           "  --remove NAME        the lookup answers 0 for this host function\n"
           "  --fail NAME:N        this host function fails from its N-th call on\n"
           "  --fail-run NAME:N    this registered function fails from its N-th run on\n"
           "  --socket-budget MIB  what a session's connections may hold in all (256)\n";
}

bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--log") {
            options.printLog = true;
        } else if (arg == "--plugin" || arg == "--remove" || arg == "--fail" ||
                   arg == "--fail-run" || arg == "--socket-budget") {
            if (!hasValue) {
                error = arg + " needs a value";
                return false;
            }
            const std::string value = argv[++i];
            if (arg == "--plugin") {
                options.pluginPath = value;
            } else if (arg == "--remove") {
                options.removedNames.push_back(value);
            } else if (arg == "--socket-budget") {
                if (!parseMebibytes(value, options.socketBudgetBytes)) {
                    error = arg + " wants a size in MiB from 1 to " +
                            std::to_string(kMaxSocketBudgetMiB) + ", not \"" + value + "\"";
                    return false;
                }
            } else {
                std::pair<std::string, unsigned> counted;
                if (!parseCountedName(value, counted)) {
                    error = arg + " wants NAME:N with N from 1, not \"" + value + "\"";
                    return false;
                }
                (arg == "--fail" ? options.failingCalls : options.failingRuns).push_back(counted);
            }
        } else {
            error = "unknown argument \"" + arg + "\"";
            return false;
        }
    }
    if (options.pluginPath.empty()) {
        error = "--plugin PATH is required";
        return false;
    }
    return true;
}

} // namespace devhost
