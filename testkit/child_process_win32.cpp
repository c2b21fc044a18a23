// Child processes on Windows (and Wine): CreateProcess with inheritable file handles
// for stdout and stderr, WaitForSingleObject against the deadline, TerminateProcess.
#include "testkit/child_process.h"

#include <windows.h>

namespace e2e {

std::string PlatformPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string p = "Z:" + path; // Wine maps the Unix root to drive Z:
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

namespace {

std::string QuoteArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string q = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"')
            q.append(backslashes * 2 + 1, '\\');
        else
            q.append(backslashes, '\\');
        backslashes = 0;
        q += c;
    }
    q.append(backslashes * 2, '\\');
    return q + "\"";
}

HANDLE OpenOutput(const std::string& path) {
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    return ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

ChildProcess::~ChildProcess() {
    if (running_) {
        kill();
        int code = 0;
        wait(5000, code);
    }
    if (id_) ::CloseHandle(reinterpret_cast<HANDLE>(id_));
}

bool ChildProcess::start(const std::vector<std::string>& argv, const std::string& stdoutPath,
                         const std::string& stderrPath, std::string& error) {
    std::string commandLine;
    for (const std::string& a : argv)
        commandLine += (commandLine.empty() ? "" : " ") + QuoteArgument(a);
    HANDLE out = OpenOutput(PlatformPath(stdoutPath));
    HANDLE err = OpenOutput(PlatformPath(stderrPath));
    if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) {
        error = "cannot create the output files of " + argv[0];
        if (out != INVALID_HANDLE_VALUE) ::CloseHandle(out);
        if (err != INVALID_HANDLE_VALUE) ::CloseHandle(err);
        return false;
    }
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi = {};
    const BOOL ok = ::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                     nullptr, &si, &pi);
    ::CloseHandle(out);
    ::CloseHandle(err);
    if (!ok) {
        error = "CreateProcess failed for " + commandLine + " (" +
                std::to_string(::GetLastError()) + ")";
        return false;
    }
    ::CloseHandle(pi.hThread);
    id_ = reinterpret_cast<long long>(pi.hProcess);
    running_ = true;
    return true;
}

bool ChildProcess::wait(int timeoutMs, int& exitCode) {
    if (running_) {
        HANDLE process = reinterpret_cast<HANDLE>(id_);
        if (::WaitForSingleObject(process, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0)
            return false;
        DWORD code = 0;
        ::GetExitCodeProcess(process, &code);
        exitCode_ = static_cast<int>(code);
        running_ = false;
    }
    exitCode = exitCode_;
    return true;
}

void ChildProcess::kill() {
    if (running_) ::TerminateProcess(reinterpret_cast<HANDLE>(id_), 137);
}

} // namespace e2e
