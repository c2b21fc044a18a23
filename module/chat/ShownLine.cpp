// The shortening of a long line for the transcript (see ShownLine.h).
#include "module/chat/ShownLine.h"

#include "dialogkit/box_text.h"

namespace shownline {

namespace {

// 983040 -> "983,040".
std::string WithThousands(std::size_t number) {
    std::string digits = std::to_string(number);
    for (std::size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, 1, ',');
    return digits;
}

} // namespace

std::string ShownLine(const std::string& line) {
    if (line.size() <= kMaxShownLineBytes) return line;
    const std::size_t shown = dk::WholeCharactersPrefix(line, kMaxShownLineBytes);
    return line.substr(0, shown) + " [... " + WithThousands(line.size() - shown) +
           " more bytes not shown]";
}

} // namespace shownline
