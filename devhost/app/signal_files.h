// The signal files a session's script gives in --sync-dir. A rerun in the same folder
// would find its peers' waits met by the files of the run before; so each devhost
// removes, before it starts, the signals that its own script will give. It leaves every
// other file alone: a peer that started earlier may already have given its signals.
#pragma once

#include "devhost/session/session_script.h"

#include <string>
#include <vector>

namespace devhost {

// The names of the signals the script gives, each once, in the order of the script.
std::vector<std::string> SignalsGivenBy(const ParsedScript& script);

// Removes those signals' files (and any half-written ".part") from syncDir; false, with
// the file named, when one is there and cannot be removed.
bool RemoveEarlierSignals(const std::string& syncDir, const ParsedScript& script,
                          std::string& error);

} // namespace devhost
