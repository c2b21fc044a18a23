// Finding a text in the transcript as the Find dialog asks: from the selection down or
// up, with or without matching case, wrapping round the text once.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

struct FindRequest {
    std::string text;
    bool matchCase = false;
    bool down = true;
};

struct TextMatch {
    std::size_t start = 0;
    std::size_t end = 0;
};

// The next match of request.text in text after the selection [selStart, selEnd) going
// down (the first match from selEnd on), or before it going up (the last match that
// starts before selStart); past the end (the start) the search goes on once from the
// other end. Nothing when there is no match at all or request.text is empty. Without
// matching case, the letters A to Z equal their small letters.
std::optional<TextMatch> FindMatch(const std::string& text, const FindRequest& request,
                                   std::size_t selStart, std::size_t selEnd);
