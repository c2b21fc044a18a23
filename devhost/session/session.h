// A devhost session: after the plug-in is initialised, the host runs its event loop
// (socket events, and on Win32 the message loop) with the plug-in's menu entries on
// offer, either for a script (--script FILE) or for a person (--interactive, Win32).
//
// devhost/session is the session runner that the program (devhost/app) calls: the
// script language (session_script.h), its runner (script_runner.h), the host's window
// per platform (session_ui.h) and this event loop. It knows no
// plug-in's windows: scripts name titles and control ids.
#pragma once

#include "devhost/hostapi/host_api.h"
#include "devhost/nxtcpsock/nx_tcp_sock.h"
#include "devhost/session/session_script.h"

#include <ostream>
#include <string>
#include <vector>

namespace devhost {

// The session's part of devhost's command line (devhost/app/options.h parses it).
struct SessionOptions {
    std::string scriptPath;
    bool interactive = false;
    std::string bindAddress;            // where the socket plug-in listens; empty: its default
    std::string transcriptOut;          // the chat transcript is written here at the end, CRLF kept
    std::string syncDir;                // signal files of scripts that work together
    unsigned scriptLimitMs = 0;         // 0: the runner's default
    ScriptVariables vars;               // --var, which wins over the files
    std::vector<std::string> varsFiles; // --vars, read in order with the script
    bool active() const { return interactive || !scriptPath.empty(); }
};

// Exit codes of a session.
enum SessionExit { kSessionOk = 0, kSessionScriptFailed = 1, kSessionUnusable = 4 };

// Reads the variable files and the script (before anything is loaded, so that a broken
// one fails at once).
bool LoadSessionScript(const SessionOptions& options, ParsedScript& script, std::string& error);

// Runs the session until the script ends or the user closes the host window.
int RunSession(HostApi& api, NxTcpSock& sockets, const SessionOptions& options,
               const ParsedScript& script, std::ostream& out, std::ostream& err);

} // namespace devhost
