// The limits of the transcript and the bookkeeping that keeps it within them. The
// transcript lives inside the user's editor, a 32-bit process holding unsaved work,
// and every byte of it is held twice (the member and its box): a peer sending long
// lines must not be able to grow it without bound, nor an honest chat running for
// days. So it keeps whole entries, at most kMaxEntries and kMaxBytes of them; past
// either limit the oldest are dropped from the top in one step, down to three
// quarters of both limits, so that trimming is rare and each entry stays cheap.
#pragma once

#include <cstddef>
#include <deque>

class TranscriptEntries {
public:
    // Far more than anyone scrolls back through, and few enough that the edit control,
    // whose cost per change grows with its line count, stays quick.
    static constexpr std::size_t kMaxEntries = 10000;
    // Room for thousands of ordinary lines, and a small share of a 32-bit address space.
    static constexpr std::size_t kMaxBytes = 4 * 1024 * 1024;

    // Records one entry of entryBytes just appended to a transcript that is now
    // textBytes long. The number of bytes to remove from the transcript's head, always
    // whole entries: 0 while both limits hold. An entry longer than kMaxBytes is kept
    // whole, as the only one. Text at the head that no entry accounts for (a transcript
    // set from elsewhere) is the oldest entry of all.
    std::size_t Add(std::size_t entryBytes, std::size_t textBytes);

private:
    std::deque<std::size_t> m_Sizes; // oldest first
    std::size_t m_nBytes = 0;        // their sum
};
