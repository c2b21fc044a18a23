// The transcript's search: a plain scan of the text, a few milliseconds for the
// largest transcript the limits allow.
#include "module/chat/TextSearch.h"

#include <algorithm>

namespace {

char FoldCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The first match starting within [from, limit), or npos.
std::size_t FirstFrom(const std::string& text, const FindRequest& request, std::size_t from) {
    const std::string& what = request.text;
    if (from > text.size()) return std::string::npos;
    if (request.matchCase) return text.find(what, from);
    const auto found =
        std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), what.begin(),
                    what.end(), [](char a, char b) { return FoldCase(a) == FoldCase(b); });
    return found == text.end() ? std::string::npos : static_cast<std::size_t>(found - text.begin());
}

// The last match that starts before `before`, or npos.
std::size_t LastBefore(const std::string& text, const FindRequest& request, std::size_t before) {
    const std::string& what = request.text;
    if (before == 0) return std::string::npos;
    const std::size_t lastStart = std::min(before - 1, text.size());
    if (request.matchCase) return text.rfind(what, lastStart);
    const std::size_t rangeEnd = std::min(text.size(), lastStart + what.size());
    const auto end = text.begin() + static_cast<std::ptrdiff_t>(rangeEnd);
    const auto found = std::find_end(text.begin(), end, what.begin(), what.end(),
                                     [](char a, char b) { return FoldCase(a) == FoldCase(b); });
    return found == end ? std::string::npos : static_cast<std::size_t>(found - text.begin());
}

} // namespace

std::optional<TextMatch> FindMatch(const std::string& text, const FindRequest& request,
                                   std::size_t selStart, std::size_t selEnd) {
    if (request.text.empty() || request.text.size() > text.size()) return std::nullopt;
    std::size_t at =
        request.down ? FirstFrom(text, request, selEnd) : LastBefore(text, request, selStart);
    if (at == std::string::npos) // once round from the other end
        at = request.down ? FirstFrom(text, request, 0) : LastBefore(text, request, text.size());
    if (at == std::string::npos) return std::nullopt;
    return TextMatch{at, at + request.text.size()};
}
