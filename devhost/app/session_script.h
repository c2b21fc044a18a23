// The language of scripted devhost sessions: one command per line, the same on the
// headless and the Win32 back end. A script says what a user would do (choose a menu
// entry, type, click, answer the settings dialog, dismiss a message box) and what the
// user should then see (a title, a caption, a transcript line), each wait bounded.
//
//   menu "Chat client"                  settings guest "127.0.0.1" 8080 "ann"
//   type 15004 "two\r\nlines"           settings host 8080 ""     settings cancel
//   click 15002                         wait caption 15002 "Listening" 5000
//   box expect "Cannot connect ..."     wait transcript "Guest 'ann' says" 5000
//   signal ready                        wait signal ready 5000
//   wait transcript-count 2 "is 'ann'"  print transcript    print title    sleep 200
//   close    closebox    move 10 10    screenshot FILE.png    quit
//
// Words are separated by blanks; texts in double quotes know the escapes \r \n \t \"
// and \\. $NAME and ${NAME} are replaced by session variables (--var NAME=VALUE)
// before a line is read, so a port chosen by a test driver reaches every script.
// A '#' at the start of a line makes it a comment.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace devhost {

// The longest wait a script may ask for; a longer one is a mistake in the script.
constexpr unsigned kMaxWaitMs = 120000;
// The wait used when a wait or box command names none.
constexpr unsigned kDefaultWaitMs = 5000;

enum class CommandKind {
    Menu,                // text: menu entry
    Click,               // id: button
    Type,                // id: edit control, text: its new contents
    SettingsGuest,       // text: address, number: port, text2: nickname
    SettingsHost,        // number: port, text2: nickname
    SettingsCancel,      // the next settings dialog is left with Cancel
    WaitTitle,           // text: exact window title
    WaitCaption,         // id: control, text: exact control text
    WaitTranscript,      // text: a part of the transcript
    WaitTranscriptCount, // number: how many times at least, text: a part of the transcript
    WaitEnabled,         // id: control, number: 1 enabled / 0 disabled
    WaitSignal,          // text: signal name
    BoxExpect,           // text: exact message box text; dismissed with OK
    Signal,              // text: signal name
    Sleep,               // number: milliseconds, events keep being handled
    PrintTranscript,
    PrintTitle,
    Close,      // the Close button of the chat window
    CloseBox,   // the close box in the chat window's caption
    Move,       // number, number2: screen position of the chat window
    Screenshot, // text: file for a picture of the chat window
    Quit,
};

struct ScriptCommand {
    CommandKind kind = CommandKind::Quit;
    int line = 0; // 1-based line in the script, for messages
    std::string text;
    std::string text2;
    int id = 0;
    int number = 0;
    int number2 = 0;
    unsigned timeoutMs = kDefaultWaitMs;

    std::string describe() const; // "line 4: wait title \"Chat host - Port 8080\""
};

struct ParsedScript {
    std::vector<ScriptCommand> commands;
    std::string error; // empty when the whole script was read
    bool ok() const { return error.empty(); }
};

using ScriptVariables = std::map<std::string, std::string>;

// Reads a whole script. Stops at the first line it cannot read and says why there.
ParsedScript ParseScript(const std::string& source, const ScriptVariables& vars = {});

// Splits one line into words; quoted texts lose their quotes and have their escapes
// applied. False, with a reason, on an unterminated text or an unknown escape.
bool SplitScriptLine(const std::string& line, std::vector<std::string>& words, std::string& error);

// Replaces $NAME and ${NAME}; an unknown name is an error. "$$" gives one '$'.
bool SubstituteVariables(const std::string& line, const ScriptVariables& vars, std::string& out,
                         std::string& error);

// Shows CRLF (and lone CR or LF) as line breaks of the console: "\n".
std::string TranscriptForConsole(const std::string& transcript);

} // namespace devhost
