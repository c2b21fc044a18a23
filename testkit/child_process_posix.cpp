// Child processes on POSIX: fork and exec with stdout and stderr sent to files,
// waitpid polled against the deadline, SIGKILL to end one.
#include "testkit/child_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace e2e {

namespace {
constexpr int kPollMs = 10;
}

std::string PlatformPath(const std::string& path) {
    return path;
}

ChildProcess::~ChildProcess() {
    if (running_) {
        kill();
        int code = 0;
        wait(5000, code);
    }
}

bool ChildProcess::start(const std::vector<std::string>& argv, const std::string& stdoutPath,
                         const std::string& stderrPath, std::string& error) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int out = ::open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) {
        error = "cannot create the output files of " + argv[0];
        if (out >= 0) ::close(out);
        if (err >= 0) ::close(err);
        return false;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(out);
    ::close(err);
    if (pid < 0) {
        error = std::string("fork failed: ") + std::strerror(errno);
        return false;
    }
    id_ = pid;
    running_ = true;
    return true;
}

bool ChildProcess::wait(int timeoutMs, int& exitCode) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (running_) {
        int status = 0;
        const pid_t r = ::waitpid(static_cast<pid_t>(id_), &status, WNOHANG);
        if (r == static_cast<pid_t>(id_)) {
            running_ = false;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (r < 0) {
            running_ = false;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    exitCode = exitCode_;
    return true;
}

void ChildProcess::kill() {
    if (running_) ::kill(static_cast<pid_t>(id_), SIGKILL);
}

} // namespace e2e
