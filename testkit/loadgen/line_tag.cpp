// Making and finding line tags.
#include "testkit/loadgen/line_tag.h"

#include <algorithm>

namespace loadgen {
namespace {

constexpr std::string_view kTagStart = "~L";
constexpr std::size_t kTagDigits = 9;
constexpr char kTagEnd = '~';
constexpr char kFiller = 'x';

} // namespace

std::string LineText(LineId id, std::size_t textBytes) {
    std::string text(std::max(textBytes, kLineTagBytes), kFiller);
    text.replace(0, kTagStart.size(), kTagStart);
    for (std::size_t i = 0; i < kTagDigits; ++i) {
        text[kTagStart.size() + kTagDigits - 1 - i] = static_cast<char>('0' + id % 10);
        id /= 10;
    }
    text[kTagStart.size() + kTagDigits] = kTagEnd;
    return text;
}

std::optional<LineId> FindLineTag(std::string_view text) {
    const std::size_t at = text.find(kTagStart);
    if (at == std::string_view::npos || text.size() - at < kLineTagBytes) return std::nullopt;
    LineId id = 0;
    for (std::size_t i = 0; i < kTagDigits; ++i) {
        const char c = text[at + kTagStart.size() + i];
        if (c < '0' || c > '9') return std::nullopt;
        id = id * 10 + static_cast<LineId>(c - '0');
    }
    if (text[at + kTagStart.size() + kTagDigits] != kTagEnd) return std::nullopt;
    return id;
}

} // namespace loadgen
