// The text devhost prints about a loaded plug-in: its name, API version and
// initialisation result, its menu entries, the functions it registered, the reports and message
// boxes it made and, on request, every host call it made. One item per line, so scripts and
// tests can compare the output line by line.
#pragma once

#include "devhost/hostapi/host_api.h"

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace devhost {

struct PluginSummary {
    std::string baseName;
    std::string apiVersion;
    bool initialised = false;
    // Message boxes the plug-in showed while loading, as {caption, text}: a listing
    // answers them itself, so that it never waits for a user.
    std::vector<std::pair<std::string, std::string>> boxes;
};

void printPluginListing(std::ostream& out, const HostApi& api, const PluginSummary& plugin,
                        bool withCallLog);

} // namespace devhost
