// libFuzzer target: the session script reader (devhost/session/session_script.h), which
// reads files a user writes (--script, --vars). Input: a variables file, a NUL byte,
// then the script; without a NUL byte the whole input is the script. The variables are
// read as --vars reads them, with two always there (PORT, and EMPTY, which is blank).
//
// Besides the sanitizers' findings, a run fails when a script is read two ways at
// once (an error and commands), a command breaks the limits the runner relies on (its
// line, id, timeout, a modal block's lines), or a command's text, written back the way
// devhost writes it in its messages, does not read back as the same text.
#include "devhost/hostapi/call_format.h"
#include "devhost/session/session_script.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using devhost::CommandKind;
using devhost::ScriptCommand;

void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "session script: %s\n", what);
    std::abort();
}

bool ActsInModal(CommandKind k) {
    return k == CommandKind::Click || k == CommandKind::Type || k == CommandKind::Select;
}

void Check(const ScriptCommand& c, int lines, bool inModal) {
    Require(c.line >= 1 && c.line <= lines, "a command names a line the script does not have");
    Require(c.id >= 0 && c.id <= 65535, "a control id out of range");
    Require(c.timeoutMs <= devhost::kMaxWaitMs, "a wait longer than the longest allowed");
    Require(static_cast<int>(c.kind) >= 0 && c.kind <= CommandKind::Quit, "an unknown kind");
    if (inModal) Require(ActsInModal(c.kind), "a modal block holds a line that does not act");
    if (c.kind == CommandKind::Modal)
        Require(!c.body.empty(), "a modal block without a line");
    else
        Require(c.body.empty(), "a command other than modal has a body");
    Require(!c.describe().empty(), "a command describes itself as nothing");
    if (!c.text.empty()) {
        std::vector<std::string> words;
        std::string error;
        Require(devhost::SplitScriptLine(devhost::quotedText(c.text), words, error) &&
                    words.size() == 1 && words[0] == c.text,
                "a text written as devhost writes it does not read back");
    }
    for (const ScriptCommand& inner : c.body)
        Check(inner, lines, true);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string script = nul == std::string::npos ? input : input.substr(nul + 1);

    devhost::ScriptVariables vars{{"PORT", "8080"}, {"EMPTY", ""}};
    std::string error;
    if (nul != std::string::npos && !devhost::ReadVariables(input.substr(0, nul), vars, error))
        Require(!error.empty(), "a refused variables file says nothing");

    const devhost::ParsedScript parsed = devhost::ParseScript(script, vars);
    if (!parsed.ok()) {
        Require(parsed.commands.empty(), "a refused script yields commands");
        Require(parsed.error.compare(0, 5, "line ") == 0, "an error names no line");
        return 0;
    }
    int lines = 1;
    for (char c : script)
        lines += c == '\n';
    for (const ScriptCommand& c : parsed.commands)
        Check(c, lines, false);

    const devhost::ParsedScript again = devhost::ParseScript(script, vars);
    Require(again.ok() && again.commands.size() == parsed.commands.size(),
            "the same script read twice reads differently");
    return 0;
}
