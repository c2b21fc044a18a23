// The two relays the benchmark compares, each a process of its own on 127.0.0.1 so
// that its memory can be read and nothing of the load generator is counted in it:
// devhost hosting a chat with the plug-in (a scripted session that starts listening
// and waits for a signal to end), and the raw relay, the yardstick.
#pragma once

#include "testkit/child_process.h"

#include <cstdint>
#include <string>
#include <vector>

namespace relaybench {

// Where the programs are and where runs keep their files.
struct Programs {
    std::string devhost;
    std::string plugin;
    std::string rawRelay;
    std::string workDir;
    // The Windows build of devhost and its plug-in, run by the Wine loader; empty:
    // no run under Wine.
    std::string wineLoader;
    std::string wineDevhost;
    std::string winePlugin;
};

class RelayProcess {
public:
    virtual ~RelayProcess() = default;
    // Starts the relay in a fresh folder named after the run; true once it listens.
    virtual bool start(const std::string& runName, std::string& error) = 0;
    // Ends the relay, by its own way out if it has one, else by a kill.
    virtual void stop() = 0;

    std::uint16_t port() const { return port_; }
    long long pid() const { return process_.processId(); }
    // How the run ended, when that is worth a word ("killed: it did not end in 10 s").
    const std::string& notes() const { return notes_; }

protected:
    // Waits for a file that says the relay is ready; false when the process ended or
    // the deadline passed first.
    bool waitForFile(const std::string& path, int timeoutMs);
    void prepareFolder(const std::string& path);

    e2e::ChildProcess process_;
    std::uint16_t port_ = 0;
    std::string dir_;
    std::string notes_;
};

// devhost with the plug-in, hosting a chat: menu "Chat client", host mode, Connect.
// Headless natively, or the Windows build in real windows under Wine.
class DevhostRelay : public RelayProcess {
public:
    enum class Build { Headless, UnderWine };
    explicit DevhostRelay(const Programs& programs, Build build = Build::Headless)
        : programs_(programs), build_(build) {}
    bool start(const std::string& runName, std::string& error) override;
    void stop() override;
    // The socket memory budget of the runs started from now on; 0: devhost's default.
    void setBudgetMiB(int mib) { budgetMiB_ = mib; }

private:
    bool startOnPort(std::uint16_t port, std::string& error);
    // The command that starts devhost with these arguments after the program.
    std::vector<std::string> command(std::vector<std::string> args) const;
    // A path of this machine as the devhost started sees it.
    std::string hostPath(const std::string& path) const;

    const Programs& programs_; // not owned
    Build build_;
    int budgetMiB_ = 0;
};

class RawRelay : public RelayProcess {
public:
    explicit RawRelay(const Programs& programs) : programs_(programs) {}
    bool start(const std::string& runName, std::string& error) override;
    void stop() override;

private:
    const Programs& programs_; // not owned
};

} // namespace relaybench
