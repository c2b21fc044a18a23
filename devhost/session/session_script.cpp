// Reading session scripts: variables first, then words, then one command per line (a
// modal block gathering its lines up to 'end'), every argument checked so that a
// broken script fails before anything runs.
#include "devhost/session/session_script.h"

#include "devhost/hostapi/call_format.h"

#include <cctype>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace devhost {
namespace {

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// The character an escape in a quoted text stands for ("\r" ...); 0 for an unknown one.
char Unescaped(char e) {
    static const char kEscapes[][2] = {
        {'r', '\r'}, {'n', '\n'}, {'t', '\t'}, {'"', '"'}, {'\\', '\\'}};
    for (const auto& pair : kEscapes)
        if (pair[0] == e) return pair[1];
    return 0;
}

// Reads the quoted text that starts at line[i] into word, escapes applied, and moves i
// past its closing quote.
bool ReadQuotedText(const std::string& line, std::size_t& i, std::string& word,
                    std::string& error) {
    ++i; // the opening quote
    while (i < line.size()) {
        const char q = line[i++];
        if (q == '"') return true;
        if (q != '\\') {
            word += q;
            continue;
        }
        if (i >= line.size()) break;
        const char e = line[i++];
        const char c = Unescaped(e);
        if (c == 0) {
            error = std::string("unknown escape \\") + e;
            return false;
        }
        word += c;
    }
    error = "text without its closing quote";
    return false;
}

// Reads the name of the variable whose '$' is at line[i] ("$NAME" or "${NAME}") and
// leaves i at the name's last character.
bool ReadVariableName(const std::string& line, std::size_t& i, std::string& name,
                      std::string& error) {
    std::size_t j = i + 1;
    if (j < line.size() && line[j] == '{') {
        const std::size_t end = line.find('}', j);
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
    if (!name.empty()) return true;
    error = "'$' without a variable name (write $$ for a dollar sign)";
    return false;
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

// The arguments of one script line, after its command's spelling (one or two words),
// each read and checked with a message that names the word.
class ArgReader {
public:
    ArgReader(const std::vector<std::string>& words, std::size_t used, ScriptCommand& cmd,
              std::string& error)
        : words_(words), used_(used), cmd_(cmd), error_(error) {}

    // Between minArgs and maxArgs words after the spelling.
    bool arity(std::size_t minArgs, std::size_t maxArgs) {
        std::size_t n = words_.size() - used_;
        if (n < minArgs || n > maxArgs) {
            error_ = "'" + spelling() + "' takes " + count(minArgs, maxArgs);
            return false;
        }
        return true;
    }
    bool text(std::size_t k, std::string& out) {
        out = word(k);
        return true;
    }
    bool controlId(std::size_t k, int& out) {
        return number(k, 1, 65535, out, "is not a control id (1 to 65535)");
    }
    bool milliseconds(std::size_t k, unsigned& out) {
        int v = 0;
        if (!number(k, 0, kMaxWaitMs, v,
                    "is not a time in milliseconds (0 to " + std::to_string(kMaxWaitMs) + ")"))
            return false;
        out = static_cast<unsigned>(v);
        return true;
    }
    bool count(std::size_t k, int& out) {
        return number(k, 1, 100000, out, "is not a count (1 to 100000)");
    }
    bool coordinate(std::size_t k, int& out) {
        return number(k, -10000, 10000, out, "is not a screen coordinate");
    }
    // An optional trailing timeout at argument k.
    bool optionalTimeout(std::size_t k) {
        return used_ + k >= words_.size() || milliseconds(k, cmd_.timeoutMs);
    }
    bool fail(const std::string& why) {
        error_ = why;
        return false;
    }

private:
    const std::string& word(std::size_t k) const { return words_[used_ + k]; }
    bool number(std::size_t k, long lo, long hi, int& out, const std::string& what) {
        if (ReadNumber(word(k), lo, hi, out)) return true;
        return fail("'" + word(k) + "' " + what);
    }
    std::string spelling() const {
        std::string s;
        for (std::size_t i = 0; i < used_; ++i)
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
    std::size_t used_; // words of the spelling
    ScriptCommand& cmd_;
    std::string& error_;
};

// The readers of the argument shapes that commands share.
using ArgsReader = bool (*)(ArgReader&, ScriptCommand&);

bool NoArgs(ArgReader&, ScriptCommand&) {
    return true;
}
bool Text(ArgReader& r, ScriptCommand& c) {
    return r.text(0, c.text);
}
bool TextTimeout(ArgReader& r, ScriptCommand& c) {
    return r.text(0, c.text) && r.optionalTimeout(1);
}
bool Id(ArgReader& r, ScriptCommand& c) {
    return r.controlId(0, c.id);
}
bool IdText(ArgReader& r, ScriptCommand& c) {
    return r.controlId(0, c.id) && r.text(1, c.text);
}
bool IdTextTimeout(ArgReader& r, ScriptCommand& c) {
    return IdText(r, c) && r.optionalTimeout(2);
}
bool IdTimeout(ArgReader& r, ScriptCommand& c) {
    return r.controlId(0, c.id) && r.optionalTimeout(1);
}
bool CountTextTimeout(ArgReader& r, ScriptCommand& c) {
    if (!r.count(0, c.number) || !r.text(1, c.text)) return false;
    if (c.text.empty()) return r.fail("'wait transcript-count' needs a text to count");
    return r.optionalTimeout(2);
}
bool Milliseconds(ArgReader& r, ScriptCommand& c) {
    unsigned ms = 0;
    if (!r.milliseconds(0, ms)) return false;
    c.number = static_cast<int>(ms);
    return true;
}
bool Position(ArgReader& r, ScriptCommand& c) {
    return r.coordinate(0, c.number) && r.coordinate(1, c.number2);
}

// One row per command: its spelling, the kind it makes (with a preset number), how many
// arguments follow, and their reader.
struct CommandRow {
    const char* spelling;
    CommandKind kind;
    int number;
    std::size_t minArgs;
    std::size_t maxArgs;
    ArgsReader read;
};

const CommandRow kCommands[] = {
    {"menu", CommandKind::Menu, 0, 1, 1, Text},
    {"dialog", CommandKind::Dialog, 0, 1, 2, TextTimeout},
    {"transcript", CommandKind::Transcript, 0, 1, 1, Id},
    {"click", CommandKind::Click, 0, 1, 1, Id},
    {"type", CommandKind::Type, 0, 2, 2, IdText},
    {"select", CommandKind::Select, 0, 2, 2, IdText},
    {"modal", CommandKind::Modal, 0, 1, 1, Text},
    {"wait title", CommandKind::WaitTitle, 0, 1, 2, TextTimeout},
    {"wait caption", CommandKind::WaitCaption, 0, 2, 3, IdTextTimeout},
    {"wait transcript", CommandKind::WaitTranscript, 0, 1, 2, TextTimeout},
    {"wait transcript-count", CommandKind::WaitTranscriptCount, 0, 2, 3, CountTextTimeout},
    {"wait enabled", CommandKind::WaitEnabled, 1, 1, 2, IdTimeout},
    {"wait disabled", CommandKind::WaitEnabled, 0, 1, 2, IdTimeout},
    {"wait signal", CommandKind::WaitSignal, 0, 1, 2, TextTimeout},
    {"box expect", CommandKind::BoxExpect, 0, 1, 2, TextTimeout},
    {"signal", CommandKind::Signal, 0, 1, 1, Text},
    {"sleep", CommandKind::Sleep, 0, 1, 1, Milliseconds},
    {"print transcript", CommandKind::PrintTranscript, 0, 0, 0, NoArgs},
    {"print title", CommandKind::PrintTitle, 0, 0, 0, NoArgs},
    {"print text", CommandKind::PrintText, 0, 1, 1, Id},
    {"closebox", CommandKind::CloseBox, 0, 0, 0, NoArgs},
    {"move", CommandKind::Move, 0, 2, 2, Position},
    {"screenshot", CommandKind::Screenshot, 0, 1, 1, Text},
    {"screenshot-menu", CommandKind::MenuScreenshot, 0, 2, 2, IdText},
    {"quit", CommandKind::Quit, 0, 0, 0, NoArgs},
};

// Commands spelt with two words, and what is said when the second one is wrong.
struct CommandFamily {
    const char* word;
    const char* hint;
};

const CommandFamily kFamilies[] = {
    {"wait", "'wait' needs title, caption, transcript, transcript-count, enabled, disabled or "
             "signal"},
    {"box", "'box' is followed by expect and the box's text"},
    {"print", "'print' shows transcript, title or text"},
};

// The row whose spelling opens the line, and how many words that spelling takes.
const CommandRow* FindCommand(const std::vector<std::string>& w, std::size_t& used) {
    const std::string two = w.size() > 1 ? w[0] + " " + w[1] : "";
    for (const CommandRow& row : kCommands) {
        used = row.spelling == two ? 2 : row.spelling == w[0] ? 1 : 0;
        if (used) return &row;
    }
    return nullptr;
}

bool ReadCommand(const std::vector<std::string>& w, ScriptCommand& c, std::string& error) {
    std::size_t used = 0;
    const CommandRow* row = FindCommand(w, used);
    if (!row) {
        for (const CommandFamily& family : kFamilies)
            if (w[0] == family.word) error = family.hint;
        if (error.empty()) error = "unknown command '" + w[0] + "'";
        return false;
    }
    c.kind = row->kind;
    c.number = row->number;
    ArgReader r(w, used, c, error);
    return r.arity(row->minArgs, row->maxArgs) && row->read(r, c);
}

bool NeedsSignalName(CommandKind k) {
    return k == CommandKind::Signal || k == CommandKind::WaitSignal;
}

bool ActsInModal(CommandKind k) {
    return k == CommandKind::Click || k == CommandKind::Type || k == CommandKind::Select;
}

// Reads a script line by line. A modal block gathers the lines up to its 'end'; while
// it is open nothing else is added to the command list.
class ScriptReader {
public:
    explicit ScriptReader(const ScriptVariables& vars) : vars_(vars) {}

    // False, with the error set and no commands kept, at a line that cannot be read.
    bool readLine(const std::string& raw, int lineNo) {
        const std::size_t first = raw.find_first_not_of(" \t\r");
        if (first == std::string::npos || raw[first] == '#') return true;
        std::string line, error;
        std::vector<std::string> words;
        if (!SubstituteVariables(raw, vars_, line, error) || !SplitScriptLine(line, words, error))
            return fail(lineNo, error);
        if (words.empty())
            return fail(lineNo, "nothing is left of the line once its variables are replaced");
        if (words[0] == "end") return endBlock(words, lineNo);
        ScriptCommand cmd;
        cmd.line = lineNo;
        if (!ReadCommand(words, cmd, error)) return fail(lineNo, error);
        return add(cmd);
    }
    // At the end of the script: a block still open is an error.
    bool finish() { return !inBlock() || fail(block().line, "'modal' without its 'end'"); }
    ParsedScript take() { return std::move(result_); }

private:
    static constexpr std::size_t kNoBlock = static_cast<std::size_t>(-1);

    bool inBlock() const { return block_ != kNoBlock; }
    ScriptCommand& block() { return result_.commands[block_]; }

    bool fail(int line, const std::string& why) {
        result_.error = "line " + std::to_string(line) + ": " + why;
        result_.commands.clear();
        return false;
    }
    bool endBlock(const std::vector<std::string>& words, int lineNo) {
        if (!inBlock()) return fail(lineNo, "'end' without its 'modal'");
        if (words.size() != 1) return fail(lineNo, "'end' takes no arguments");
        if (block().body.empty())
            return fail(lineNo, "the modal block has no line that acts on the dialog");
        block_ = kNoBlock;
        return true;
    }
    bool add(const ScriptCommand& cmd) {
        if (NeedsSignalName(cmd.kind) &&
            (cmd.text.empty() || cmd.text.find_first_of("/\\.:") != std::string::npos))
            return fail(cmd.line, "a signal name is a plain word, without '/', '\\', '.' or ':'");
        if (inBlock()) {
            if (!ActsInModal(cmd.kind))
                return fail(cmd.line,
                            "a modal block holds only type, select and click, up to 'end'");
            block().body.push_back(cmd);
            return true;
        }
        result_.commands.push_back(cmd);
        if (cmd.kind == CommandKind::Modal) block_ = result_.commands.size() - 1;
        return true;
    }

    const ScriptVariables& vars_;
    ParsedScript result_;
    std::size_t block_ = kNoBlock; // index of the open modal block in the commands
};

} // namespace

bool SplitScriptLine(const std::string& line, std::vector<std::string>& words, std::string& error) {
    words.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        if (IsBlank(line[i])) {
            ++i;
            continue;
        }
        std::string word;
        if (line[i] == '"') {
            if (!ReadQuotedText(line, i, word, error)) return false;
        } else {
            while (i < line.size() && !IsBlank(line[i]))
                word += line[i++];
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
        if (!ReadVariableName(line, i, name, error)) return false;
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
    ScriptReader reader(vars);
    std::istringstream in(source);
    std::string raw;
    int lineNo = 0;
    while (std::getline(in, raw))
        if (!reader.readLine(raw, ++lineNo)) return reader.take();
    reader.finish();
    return reader.take();
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
                                        "screenshot-menu",
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
