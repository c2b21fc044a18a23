// devhost's one command line: which plug-in to load, how the host API is to behave for
// it (names withheld, functions failing from their n-th call), what to print, and the
// session to run (session.h). Parsed with CLI11; one usage text covers it all.
#pragma once

#include "devhost/session/session.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace devhost {

struct Options {
    std::string pluginPath;
    bool printLog = false;
    std::vector<std::string> removedNames;
    // Host API function ("var.SetValueEx") and the call from which it fails.
    std::vector<std::pair<std::string, unsigned>> failingCalls;
    // Registered function ("nxTcpSock.Connect") and the run from which it fails.
    std::vector<std::pair<std::string, unsigned>> failingRuns;
    // What the socket plug-in may hold for all connections together; 0: its default.
    std::size_t socketBudgetBytes = 0;
    SessionOptions session;
    // --help or --version: print that and do nothing else.
    bool helpAsked = false;
    bool versionAsked = false;
};

// Parses argv; false with a one-line `error` when the command line is wrong.
bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error);

// False, naming every one, when --remove or --fail names no host API function: a
// misspelt name would otherwise leave the plug-in untouched without a word.
bool checkHostFunctionNames(const Options& options, std::string& error);

std::string usageText();
std::string versionText(); // "devhost 1.0.0"

} // namespace devhost
