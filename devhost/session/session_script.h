// The language of scripted devhost sessions: one command per line, the same on the
// headless and the Win32 back end. devhost knows no plug-in's windows: a script finds a
// dialog by its title and names controls by their ids, usually through session
// variables. It says what a user would do (choose a menu entry, type, select, click,
// fill in a modal dialog, dismiss a message box) and what the user should then see (a
// title, a control's text, a transcript line), each wait bounded.
//
//   menu "Chat client"                 dialog "Chat client - disconnected" 5000
//   transcript 15003                   wait caption 15002 "Listening" 5000
//   type 15004 "two\r\nlines"          click 15013
//   modal "Connection settings"        box expect "Cannot connect ..." 5000
//     select 15006 "Host"              wait transcript "Guest 'ann' says" 5000
//     type 15001 "8080"                wait transcript-count 2 "is 'ann'" 5000
//     click 1                          wait enabled 15013    wait disabled 15004 5000
//   end                                wait title "Chat host - Port 8080" 5000
//   signal ready                       wait signal ready 5000
//   print transcript    print title    print text 15001    sleep 200
//   closebox    move 10 10    screenshot FILE.png    screenshot-menu 15003 FILE.png
//   quit
//
// `dialog TITLE` waits for a shown dialog of this process with exactly that title; the
// lines after it act on that dialog, whatever its title becomes. `transcript ID` makes
// a control of that dialog the session's transcript, which `wait transcript`, `wait
// transcript-count`, `print transcript`, --transcript-out and a failure's report read.
// `select ID TEXT` chooses the entry with that text in a drop-down list. `click`,
// `type` and `select` are refused where a user could not act (a disabled control, a
// hidden button). `print text ID` prints a control's text. `closebox` is the close box
// in the dialog's caption; `move` and `screenshot` act on the dialog too.
// `screenshot-menu ID FILE` right-clicks the control and pictures its context menu
// open over the dialog, then dismisses the menu (Win32).
//
// `modal TITLE` up to `end` answers the next modal dialog that opens: it must have
// that title, the block's lines (type, select, click) act on it once it is shown, and
// they must close it. Blocks are queued in their order, one per dialog, before the line
// that opens the dialog; one that no dialog used fails the script at its end. A modal
// dialog with no block for it is cancelled at once (headless), or fails the script
// after 3 s (Win32).
//
// Message boxes are recorded and answered with OK; `box expect TEXT` takes one with
// exactly that text, shown before or within the wait. A box that no later `box expect`
// names fails the script at once, and so does one still unexpected at the end.
// `signal NAME` and `wait signal NAME` let scripts of several devhosts take turns
// through files in --sync-dir.
//
// Words are separated by blanks; texts in double quotes know the escapes \r \n \t \"
// and \\. $NAME and ${NAME} are replaced by session variables (--var NAME=VALUE, --vars
// FILE) before a line is read, so a port chosen by a test driver, or the control ids
// of a plug-in's dialogs, reach every script. A '#' at the start of a line makes it a
// comment.
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
    Dialog,              // text: exact title of the dialog that later lines act on
    Transcript,          // id: the control that holds the transcript
    Click,               // id: button
    Type,                // id: edit control, text: its new contents
    Select,              // id: drop-down list, text: the entry to choose
    Modal,               // text: exact title of the next modal dialog; body: its lines
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
    PrintText,      // id: control whose text is printed
    CloseBox,       // the close box in the dialog's caption
    Move,           // number, number2: screen position of the dialog
    Screenshot,     // text: file for a picture of the dialog
    MenuScreenshot, // id: control whose context menu is pictured, text: file
    Quit,
};

struct ScriptCommand {
    CommandKind kind = CommandKind::Quit;
    int line = 0; // 1-based line in the script, for messages
    std::string text;
    int id = 0;
    int number = 0;
    int number2 = 0;
    unsigned timeoutMs = kDefaultWaitMs;
    std::vector<ScriptCommand> body; // the lines of a modal block

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

// Reads NAME=VALUE lines (blank lines and '#' comments skipped) into vars; false with
// the line named on a malformed one.
bool ReadVariables(const std::string& text, ScriptVariables& vars, std::string& error);

// Shows CRLF (and lone CR or LF) as line breaks of the console: "\n".
std::string TranscriptForConsole(const std::string& transcript);

} // namespace devhost
