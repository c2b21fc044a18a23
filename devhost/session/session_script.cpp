// Reading session scripts: variables first, then words, then one command per line (a
// modal block gathering its lines up to 'end'), every argument checked so that a
// broken script fails before anything runs.
#include "devhost/session/session_script.h"

#include "devhost/hostapi/call_format.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

namespace devhost {
namespace {

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// A whole decimal number within [lo, hi].
bool ReadNumber(const std::string& word, long lo, long hi, int& out) {
    if (word.empty() || word.size() > 10) return false;
    std::size_t i = (word[0] == '-') ? 1 : 0;
    if (i == word.size()) return false;
    for (std::size_t k = i; k < word.size(); ++k)
        if (!std::isdigit(static_cast<unsigned char>(word[k]))) return false;
    long v = std::strtol(word.c_str(), nullptr, 10);
    if (v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

class LineReader {
public:
    LineReader(const std::vector<std::string>& words, ScriptCommand& cmd, std::string& error)
        : words_(words), cmd_(cmd), error_(error) {}

    // Exactly these many words after the command word(s) consumed so far.
    bool arity(std::size_t used, std::size_t minArgs, std::size_t maxArgs) {
        std::size_t n = words_.size() - used;
        if (n < minArgs || n > maxArgs) {
            error_ = "'" + name(used) + "' takes " + count(minArgs, maxArgs);
            return false;
        }
        return true;
    }
    bool controlId(std::size_t i, int& out) {
        if (ReadNumber(words_[i], 1, 65535, out)) return true;
        error_ = "'" + words_[i] + "' is not a control id (1 to 65535)";
        return false;
    }
    bool port(std::size_t i, int& out) {
        if (ReadNumber(words_[i], 0, 65535, out)) return true;
        error_ = "'" + words_[i] + "' is not a port number (0 to 65535)";
        return false;
    }
    bool milliseconds(std::size_t i, unsigned& out) {
        int v = 0;
        if (ReadNumber(words_[i], 0, kMaxWaitMs, v)) {
            out = static_cast<unsigned>(v);
            return true;
        }
        error_ = "'" + words_[i] + "' is not a time in milliseconds (0 to " +
                 std::to_string(kMaxWaitMs) + ")";
        return false;
    }
    bool count(std::size_t i, int& out) {
        if (ReadNumber(words_[i], 1, 100000, out)) return true;
        error_ = "'" + words_[i] + "' is not a count (1 to 100000)";
        return false;
    }
    bool coordinate(std::size_t i, int& out) {
        if (ReadNumber(words_[i], -10000, 10000, out)) return true;
        error_ = "'" + words_[i] + "' is not a screen coordinate";
        return false;
    }
    // An optional trailing timeout at position i.
    bool optionalTimeout(std::size_t i) {
        return i >= words_.size() || milliseconds(i, cmd_.timeoutMs);
    }

private:
    std::string name(std::size_t used) const {
        std::string s;
        for (std::size_t i = 0; i < used; ++i)
            s += (i ? " " : "") + words_[i];
        return s;
    }
    static std::string count(std::size_t lo, std::size_t hi) {
        auto n = [](std::size_t k) {
            return std::to_string(k) + (k == 1 ? " argument" : " arguments");
        };
        if (lo == hi) return lo == 0 ? "no arguments" : n(lo);
        return std::to_string(lo) + " to " + n(hi);
    }

    const std::vector<std::string>& words_;
    ScriptCommand& cmd_;
    std::string& error_;
};

bool ReadWait(const std::vector<std::string>& w, LineReader& r, ScriptCommand& c,
              std::string& error) {
    const std::string what = w.size() > 1 ? w[1] : "";
    if (what == "title" || what == "transcript" || what == "signal") {
        c.kind = what == "title"        ? CommandKind::WaitTitle
                 : what == "transcript" ? CommandKind::WaitTranscript
                                        : CommandKind::WaitSignal;
        if (!r.arity(2, 1, 2)) return false;
        c.text = w[2];
        return r.optionalTimeout(3);
    }
    if (what == "transcript-count") {
        c.kind = CommandKind::WaitTranscriptCount;
        if (!r.arity(2, 2, 3) || !r.count(2, c.number)) return false;
        c.text = w[3];
        if (c.text.empty()) {
            error = "'wait transcript-count' needs a text to count";
            return false;
        }
        return r.optionalTimeout(4);
    }
    if (what == "caption") {
        c.kind = CommandKind::WaitCaption;
        if (!r.arity(2, 2, 3) || !r.controlId(2, c.id)) return false;
        c.text = w[3];
        return r.optionalTimeout(4);
    }
    if (what == "enabled" || what == "disabled") {
        c.kind = CommandKind::WaitEnabled;
        c.number = what == "enabled" ? 1 : 0;
        if (!r.arity(2, 1, 2) || !r.controlId(2, c.id)) return false;
        return r.optionalTimeout(3);
    }
    error = "'wait' needs title, caption, transcript, transcript-count, enabled, disabled or "
            "signal";
    return false;
}

bool ReadCommand(const std::vector<std::string>& w, ScriptCommand& c, std::string& error) {
    LineReader r(w, c, error);
    const std::string& verb = w[0];
    struct TextCommand {
        const char* word;
        CommandKind kind;
    };
    static const TextCommand textCommands[] = {{"menu", CommandKind::Menu},
                                               {"modal", CommandKind::Modal},
                                               {"signal", CommandKind::Signal},
                                               {"screenshot", CommandKind::Screenshot}};
    for (const TextCommand& t : textCommands) {
        if (verb == t.word) {
            c.kind = t.kind;
            if (!r.arity(1, 1, 1)) return false;
            c.text = w[1];
            return true;
        }
    }
    if (verb == "dialog") {
        c.kind = CommandKind::Dialog;
        if (!r.arity(1, 1, 2)) return false;
        c.text = w[1];
        return r.optionalTimeout(2);
    }
    if (verb == "click" || verb == "transcript") {
        c.kind = verb == "click" ? CommandKind::Click : CommandKind::Transcript;
        return r.arity(1, 1, 1) && r.controlId(1, c.id);
    }
    if (verb == "type" || verb == "select") {
        c.kind = verb == "type" ? CommandKind::Type : CommandKind::Select;
        if (!r.arity(1, 2, 2) || !r.controlId(1, c.id)) return false;
        c.text = w[2];
        return true;
    }
    if (verb == "wait") return ReadWait(w, r, c, error);
    if (verb == "box") {
        c.kind = CommandKind::BoxExpect;
        if (w.size() < 2 || w[1] != "expect") {
            error = "'box' is followed by expect and the box's text";
            return false;
        }
        if (!r.arity(2, 1, 2)) return false;
        c.text = w[2];
        return r.optionalTimeout(3);
    }
    if (verb == "sleep") {
        c.kind = CommandKind::Sleep;
        unsigned ms = 0;
        if (!r.arity(1, 1, 1) || !r.milliseconds(1, ms)) return false;
        c.number = static_cast<int>(ms);
        return true;
    }
    if (verb == "print") {
        const std::string what = w.size() > 1 ? w[1] : "";
        if (what == "text") {
            c.kind = CommandKind::PrintText;
            return r.arity(2, 1, 1) && r.controlId(2, c.id);
        }
        if (!r.arity(1, 1, 1)) return false;
        if (what == "transcript")
            c.kind = CommandKind::PrintTranscript;
        else if (what == "title")
            c.kind = CommandKind::PrintTitle;
        else {
            error = "'print' shows transcript, title or text";
            return false;
        }
        return true;
    }
    if (verb == "move") {
        c.kind = CommandKind::Move;
        return r.arity(1, 2, 2) && r.coordinate(1, c.number) && r.coordinate(2, c.number2);
    }
    struct Bare {
        const char* word;
        CommandKind kind;
    };
    static const Bare bare[] = {{"closebox", CommandKind::CloseBox}, {"quit", CommandKind::Quit}};
    for (const Bare& b : bare) {
        if (verb == b.word) {
            c.kind = b.kind;
            return r.arity(1, 0, 0);
        }
    }
    error = "unknown command '" + verb + "'";
    return false;
}

bool NeedsSignalName(CommandKind k) {
    return k == CommandKind::Signal || k == CommandKind::WaitSignal;
}

bool ActsInModal(CommandKind k) {
    return k == CommandKind::Click || k == CommandKind::Type || k == CommandKind::Select;
}

} // namespace

bool SplitScriptLine(const std::string& line, std::vector<std::string>& words, std::string& error) {
    words.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        std::string word;
        if (c != '"') {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
                word += line[i++];
            words.push_back(word);
            continue;
        }
        ++i; // opening quote
        bool closed = false;
        while (i < line.size()) {
            char q = line[i++];
            if (q == '"') {
                closed = true;
                break;
            }
            if (q != '\\') {
                word += q;
                continue;
            }
            if (i >= line.size()) break;
            char e = line[i++];
            switch (e) {
            case 'r':
                word += '\r';
                break;
            case 'n':
                word += '\n';
                break;
            case 't':
                word += '\t';
                break;
            case '"':
                word += '"';
                break;
            case '\\':
                word += '\\';
                break;
            default:
                error = std::string("unknown escape \\") + e;
                return false;
            }
        }
        if (!closed) {
            error = "text without its closing quote";
            return false;
        }
        words.push_back(word);
    }
    return true;
}

bool SubstituteVariables(const std::string& line, const ScriptVariables& vars, std::string& out,
                         std::string& error) {
    out.clear();
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '$') {
            out += line[i];
            continue;
        }
        if (i + 1 < line.size() && line[i + 1] == '$') {
            out += '$';
            ++i;
            continue;
        }
        std::string name;
        std::size_t j = i + 1;
        if (j < line.size() && line[j] == '{') {
            std::size_t end = line.find('}', j);
            if (end == std::string::npos) {
                error = "'${' without its closing '}'";
                return false;
            }
            name = line.substr(j + 1, end - j - 1);
            i = end;
        } else {
            while (j < line.size() && IsNameChar(line[j]))
                name += line[j++];
            i = j - 1;
        }
        if (name.empty()) {
            error = "'$' without a variable name (write $$ for a dollar sign)";
            return false;
        }
        auto it = vars.find(name);
        if (it == vars.end()) {
            error = "unknown variable '" + name + "'";
            return false;
        }
        out += it->second;
    }
    return true;
}

bool ReadVariables(const std::string& text, ScriptVariables& vars, std::string& error) {
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq == first) {
            error = "line " + std::to_string(lineNo) + ": wants NAME=VALUE, not \"" + line + "\"";
            return false;
        }
        vars[line.substr(first, eq - first)] = line.substr(eq + 1);
    }
    return true;
}

ParsedScript ParseScript(const std::string& source, const ScriptVariables& vars) {
    ParsedScript result;
    std::istringstream in(source);
    std::string raw;
    int lineNo = 0;
    // The modal block being read; its lines go into its body until 'end'. Nothing is
    // added to the command list meanwhile, so the pointer stays valid.
    ScriptCommand* block = nullptr;
    auto fail = [&](int line, const std::string& why) {
        result.error = "line " + std::to_string(line) + ": " + why;
        result.commands.clear();
        return result;
    };
    while (std::getline(in, raw)) {
        ++lineNo;
        std::size_t first = raw.find_first_not_of(" \t\r");
        if (first == std::string::npos || raw[first] == '#') continue;
        std::string line, error;
        std::vector<std::string> words;
        if (!SubstituteVariables(raw, vars, line, error) || !SplitScriptLine(line, words, error))
            return fail(lineNo, error);
        if (words.empty())
            return fail(lineNo, "nothing is left of the line once its variables are replaced");
        if (words[0] == "end") {
            if (!block) return fail(lineNo, "'end' without its 'modal'");
            if (words.size() != 1) return fail(lineNo, "'end' takes no arguments");
            if (block->body.empty())
                return fail(lineNo, "the modal block has no line that acts on the dialog");
            block = nullptr;
            continue;
        }
        ScriptCommand cmd;
        cmd.line = lineNo;
        if (!ReadCommand(words, cmd, error)) return fail(lineNo, error);
        if (NeedsSignalName(cmd.kind) &&
            (cmd.text.empty() || cmd.text.find_first_of("/\\.:") != std::string::npos))
            return fail(lineNo, "a signal name is a plain word, without '/', '\\', '.' or ':'");
        if (block) {
            if (!ActsInModal(cmd.kind))
                return fail(lineNo, "a modal block holds only type, select and click, up to 'end'");
            block->body.push_back(cmd);
            continue;
        }
        result.commands.push_back(cmd);
        if (cmd.kind == CommandKind::Modal) block = &result.commands.back();
    }
    if (block) return fail(block->line, "'modal' without its 'end'");
    return result;
}

std::string ScriptCommand::describe() const {
    static const char* const names[] = {"menu",
                                        "dialog",
                                        "transcript",
                                        "click",
                                        "type",
                                        "select",
                                        "modal",
                                        "wait title",
                                        "wait caption",
                                        "wait transcript",
                                        "wait transcript-count",
                                        "wait enabled",
                                        "wait signal",
                                        "box expect",
                                        "signal",
                                        "sleep",
                                        "print transcript",
                                        "print title",
                                        "print text",
                                        "closebox",
                                        "move",
                                        "screenshot",
                                        "quit"};
    static_assert(sizeof(names) / sizeof(names[0]) == static_cast<int>(CommandKind::Quit) + 1,
                  "one name for each command kind");
    std::string s = "line " + std::to_string(line) + ": " + names[static_cast<int>(kind)];
    if (id) s += " " + std::to_string(id);
    if (!text.empty()) s += " " + quotedText(text);
    return s;
}

std::string TranscriptForConsole(const std::string& transcript) {
    std::string out;
    out.reserve(transcript.size());
    for (std::size_t i = 0; i < transcript.size(); ++i) {
        char c = transcript[i];
        if (c == '\r') {
            out += '\n';
            if (i + 1 < transcript.size() && transcript[i + 1] == '\n') ++i;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace devhost
