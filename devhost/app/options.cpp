// Parsing of devhost's command line.
#include "devhost/app/options.h"

#include <cerrno>
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

} // namespace

const char* usageText() {
    return "usage: devhost --plugin PATH [--log] [--remove NAME]... [--fail NAME:N]...\n"
           "               [--fail-run FULLNAME:N]...\n"
           "  --plugin PATH        the plug-in to load\n"
           "  --log                print every host call the plug-in made\n"
           "  --remove NAME        the lookup answers 0 for this host function\n"
           "  --fail NAME:N        this host function fails from its N-th call on\n"
           "  --fail-run NAME:N    this registered function fails from its N-th run on\n";
}

bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--log") {
            options.printLog = true;
        } else if (arg == "--plugin" || arg == "--remove" || arg == "--fail" ||
                   arg == "--fail-run") {
            if (!hasValue) {
                error = arg + " needs a value";
                return false;
            }
            const std::string value = argv[++i];
            if (arg == "--plugin") {
                options.pluginPath = value;
            } else if (arg == "--remove") {
                options.removedNames.push_back(value);
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
