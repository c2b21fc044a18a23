// The call log's text form.
#include "devhost/hostapi/call_format.h"
#include "devhost/hostapi/host_api.h"

namespace devhost {

std::string formatNumber(std::uint32_t value) {
    return std::to_string(value);
}

std::string formatBool(bool value) {
    return value ? "true" : "false";
}

std::string formatText(const char* text) {
    if (!text) return "null";
    std::string out = "\"";
    for (const char* p = text; *p; ++p) {
        switch (*p) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += *p;
        }
    }
    return out + "\"";
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
