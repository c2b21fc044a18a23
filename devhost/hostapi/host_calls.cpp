// The call log's text form, and devhost's one-line texts.
#include "devhost/hostapi/call_format.h"
#include "devhost/hostapi/host_api.h"

namespace devhost {

std::string formatNumber(std::uint32_t value) {
    return std::to_string(value);
}

std::string formatBool(bool value) {
    return value ? "true" : "false";
}

namespace {

std::string escapedText(const std::string& text, bool quoted) {
    std::string out = quoted ? "\"" : "";
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (quoted && (c == '"' || c == '\\'))
            out += {'\\', c};
        else
            out += c;
    }
    return quoted ? out + "\"" : out;
}

} // namespace

std::string oneLineText(const std::string& text) {
    return escapedText(text, false);
}

std::string quotedText(const std::string& text) {
    return escapedText(text, true);
}

std::string formatText(const char* text) {
    return text ? quotedText(text) : "null";
}

std::string formatPointer(const void* p) {
    return p ? "ptr" : "null";
}

std::string HostCall::format() const {
    std::string out = name + "(";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i) out += ",";
        out += args[i];
    }
    return out + ")=" + result;
}

} // namespace devhost
