// devhost: the development host. Loads one plug-in as the host application would,
// sets up the host API's test bench from the command line, initialises the plug-in and
// prints what it did; or, with --script or --interactive, provides the socket plug-in
// and runs a session with the plug-in's windows (session.h).
#include "devhost/app/listing.h"
#include "devhost/app/options.h"
#include "devhost/app/plugin_loader.h"
#include "devhost/app/signal_files.h"
#include "devhost/hostapi/host_api.h"
#include "devhost/nxtcpsock/nx_tcp_sock.h"
#include "devhost/session/session.h"
#include "dialogkit/testing/testing.h"

#include <iostream>
#include <memory>
#include <vector>

namespace {

// The usage text's footer lists these (options.cpp); 4 is a session's (session.h).
enum ExitCode {
    kExitOk = 0,
    kExitUsage = 1,
    kExitUnknownName = 2,
    kExitInitFailed = 3,
    kExitLoadFailed = 5
};

// A wrong command line or script: the error, and where to read more (not the whole usage,
// which would bury the error).
int usageError(const std::string& error) {
    std::cerr << "devhost: " << error << "\n"
              << "Run 'devhost --help' for the options and the script language.\n";
    return kExitUsage;
}

void applyTestBench(devhost::HostApi& api, const devhost::Options& options) {
    api.setLogging(options.printLog);
    for (const std::string& name : options.removedNames)
        api.removeName(name);
    for (const auto& f : options.failingCalls)
        api.failFrom(f.first, f.second);
    for (const auto& f : options.failingRuns)
        api.failRunFrom(f.first, f.second);
}

// The socket plug-in of a session, registered with the host; null when it could not be.
std::unique_ptr<devhost::NxTcpSock> makeSockets(devhost::HostApi& api,
                                                const devhost::Options& options) {
    devhost::KeepLargeBuffersApart();
    devhost::NxTcpSockOptions socketOptions;
    const devhost::SessionOptions& session = options.session;
    if (!session.bindAddress.empty()) socketOptions.listenAddress = session.bindAddress;
    if (options.socketBudgetBytes != 0) socketOptions.memoryBudget = options.socketBudgetBytes;
    socketOptions.notice = [](const std::string& text) {
        std::cerr << "devhost: " << text << "\n";
        std::cerr.flush();
    };
    auto sockets = std::make_unique<devhost::NxTcpSock>(api, socketOptions);
    if (sockets->registerFunctions()) return sockets;
    std::cerr << "devhost: the socket plug-in's functions could not be registered\n";
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    devhost::Options options;
    devhost::ParsedScript script;
    std::string error;
    if (!devhost::parseOptions(argc, argv, options, error)) return usageError(error);
    if (options.helpAsked || options.versionAsked) {
        std::cout << (options.helpAsked ? devhost::usageText() : devhost::versionText() + "\n");
        return kExitOk;
    }
    if (!devhost::checkHostFunctionNames(options, error)) {
        std::cerr << "devhost: " << error << "\n";
        return kExitUnknownName;
    }
    if (!devhost::LoadSessionScript(options.session, script, error)) return usageError(error);
    const devhost::SessionOptions& session = options.session;
    if (!devhost::RemoveEarlierSignals(session.syncDir, script, error)) {
        std::cerr << "devhost: " << error << "\n";
        return devhost::kSessionUnusable;
    }

    devhost::HostApi api; // outlives the loader: unloading the plug-in calls the host
    applyTestBench(api, options);
    // A session provides the socket plug-in, which must outlive the plug-in too.
    std::unique_ptr<devhost::NxTcpSock> sockets;
    if (session.active() && !(sockets = makeSockets(api, options))) return kExitInitFailed;
    // A listing answers the plug-in's message boxes itself and prints them.
    if (!session.active()) dk::testing::BeginCapture();
    devhost::PluginLoader loader;
    if (!loader.load(options.pluginPath)) {
        std::cerr << "devhost: " << loader.error() << "\n";
        return kExitLoadFailed;
    }
    bool initialised = loader.init(api);
    if (session.active()) {
        if (!initialised) {
            std::cerr << "devhost: the plug-in's initialisation failed\n";
            return kExitInitFailed;
        }
        return devhost::RunSession(api, *sockets, session, script, std::cout, std::cerr);
    }
    devhost::PluginSummary summary{loader.baseName(), loader.apiVersion(), initialised, {}};
    for (const dk::testing::ShownBox& box : dk::testing::TakeBoxes())
        summary.boxes.emplace_back(box.caption, box.text);
    dk::testing::EndCapture();
    devhost::printPluginListing(std::cout, api, summary, options.printLog);
    std::cout.flush();
    return initialised ? kExitOk : kExitInitFailed;
}
