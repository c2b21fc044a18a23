// A child process for end-to-end tests: started with its output in files, waited for
// with a deadline, and killed when it overstays. The destructor kills and reaps a child
// that is still running, so that no test leaves a process behind.
#pragma once

#include <string>
#include <vector>

namespace e2e {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool start(const std::vector<std::string>& argv, const std::string& stdoutPath,
               const std::string& stderrPath, std::string& error);
    // True, with the exit code, when the child ended within timeoutMs.
    bool wait(int timeoutMs, int& exitCode);
    // Ends the child at once, as a crash or a kill by the user would.
    void kill();
    bool running() const { return running_; }
    long long processId() const { return id_; } // pid, or the process handle on Windows

private:
    bool running_ = false;
    long long id_ = 0; // pid, or the process handle on Windows
    int exitCode_ = -1;
};

// A path as the platform's programs want it (Wine: "Z:\\..." for an absolute one).
std::string PlatformPath(const std::string& path);

} // namespace e2e
