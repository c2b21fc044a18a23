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
    // whole entries: 0 while both limits hold. The caller removes them.
    //
    // The text may have changed since the last entry without passing through here. When
    // it is shorter, it lost its end (a capture keeps only what its box holds, which is
    // where entries end) or was emptied: the entries past it are forgotten, from the
    // back, so that every trim still starts at an entry's beginning. When it is longer,
    // the text no entry accounts for (a transcript set from elsewhere) counts as one
    // entry.
    //
    // What bounds an entry: a guest's line holds at most one message the socket
    // plug-in framed, with a name of at most 256 bytes; the host's own lines are
    // appended only once a guest has taken them, so they too are within what a frame
    // carries. An entry longer than kMaxBytes is kept whole, as the only one; an entry
    // of a frame's size never costs more than a trim that keeps the newest three
    // quarters of the limit.
    std::size_t Add(std::size_t entryBytes, std::size_t textBytes);

private:
    std::deque<std::size_t> m_Sizes; // oldest first
    std::size_t m_nBytes = 0;        // their sum: the text's length after the last Add
};
