// devhost: the development host. Loads one plug-in as the host application would,
// sets up the host API's test bench from the command line, initialises the plug-in and
// prints what it did.
#include "devhost/app/listing.h"
#include "devhost/app/options.h"
#include "devhost/app/plugin_loader.h"
#include "devhost/hostapi/host_api.h"

#include <iostream>

namespace {

enum ExitCode { kExitOk = 0, kExitUsage = 1, kExitLoadFailed = 2, kExitInitFailed = 3 };

void applyTestBench(devhost::HostApi& api, const devhost::Options& options) {
    api.setLogging(options.printLog);
    for (const std::string& name : options.removedNames)
        api.removeName(name);
    for (const auto& f : options.failingCalls)
        api.failFrom(f.first, f.second);
    for (const auto& f : options.failingRuns)
        api.failRunFrom(f.first, f.second);
}

} // namespace

int main(int argc, char** argv) {
    devhost::Options options;
    std::string error;
    if (!devhost::parseOptions(argc, argv, options, error)) {
        std::cerr << "devhost: " << error << "\n" << devhost::usageText();
        return kExitUsage;
    }

    devhost::HostApi api; // outlives the loader: unloading the plug-in calls the host
    applyTestBench(api, options);
    devhost::PluginLoader loader;
    if (!loader.load(options.pluginPath)) {
        std::cerr << "devhost: " << loader.error() << "\n";
        return kExitLoadFailed;
    }
    bool initialised = loader.init(api);
    devhost::printPluginListing(
        std::cout, api, {loader.baseName(), loader.apiVersion(), initialised}, options.printLog);
    std::cout.flush();
    return initialised ? kExitOk : kExitInitFailed;
}
