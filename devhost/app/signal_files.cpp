// Clearing a session's own signals from --sync-dir before it starts (signal_files.h).
#include "devhost/app/signal_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace devhost {

std::vector<std::string> SignalsGivenBy(const ParsedScript& script) {
    std::vector<std::string> names;
    for (const ScriptCommand& c : script.commands)
        if (c.kind == CommandKind::Signal &&
            std::find(names.begin(), names.end(), c.text) == names.end())
            names.push_back(c.text);
    return names;
}

bool RemoveEarlierSignals(const std::string& syncDir, const ParsedScript& script,
                          std::string& error) {
    if (syncDir.empty()) return true;
    for (const std::string& name : SignalsGivenBy(script)) {
        for (const std::string& file : {name, name + ".part"}) {
            const std::filesystem::path path = std::filesystem::path(syncDir + "/" + file);
            std::error_code ec;
            std::filesystem::remove(path, ec);
            if (ec) {
                error = "cannot remove the earlier signal " + path.string() + ": " + ec.message();
                return false;
            }
        }
    }
    return true;
}

} // namespace devhost
