// The character-boundary cut of box_text.h; the code page comes from the back end.
#include "dialogkit/box_text.h"

#include "dialogkit/backend.h"

namespace dk {

namespace detail {

void FillUtf8CharacterLengths(CharacterLengths& lengths) {
    for (std::size_t lead = 0; lead < lengths.size(); ++lead) {
        if (lead >= 0xF0 && lead <= 0xF7)
            lengths[lead] = 4;
        else if (lead >= 0xE0 && lead <= 0xEF)
            lengths[lead] = 3;
        else if (lead >= 0xC0 && lead <= 0xDF)
            lengths[lead] = 2;
        else
            lengths[lead] = 1;
    }
}

} // namespace detail

std::size_t WholeCharactersPrefix(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text.size();
    // A byte below 0x80 always ends a character: in UTF-8 it is one, and in the
    // double-byte code pages every lead byte is 0x81 or above, so such a byte is a
    // character of its own or the last byte of a pair. Reading starts after the last
    // one before the cut, and walks whole characters up to it.
    std::size_t start = maxBytes;
    while (start > 0 && static_cast<unsigned char>(text[start - 1]) >= 0x80)
        --start;
    detail::CharacterLengths lengths;
    backend::FillCharacterLengths(lengths);
    std::size_t end = start;
    while (end < maxBytes) {
        const std::size_t next = end + lengths[static_cast<unsigned char>(text[end])];
        if (next > maxBytes) break;
        end = next;
    }
    return end;
}

} // namespace dk
