// The transcript's entries counted from its end, and the trimming of its head.
#include "module/chat/TranscriptEntries.h"

namespace {

// Where a trim stops: three quarters of each limit.
constexpr std::size_t kTrimmedEntries = TranscriptEntries::kMaxEntries / 4 * 3;
constexpr std::size_t kTrimmedBytes = TranscriptEntries::kMaxBytes / 4 * 3;

} // namespace

std::size_t TranscriptEntries::Add(std::size_t entryBytes, std::size_t textBytes) {
    const std::size_t before = textBytes >= entryBytes ? textBytes - entryBytes : 0;
    // The text lost its end, or was emptied: forget the entries it no longer holds.
    while (!m_Sizes.empty() && m_nBytes > before) {
        m_nBytes -= m_Sizes.back();
        m_Sizes.pop_back();
    }
    // What the text holds beyond the entries known (the part of an entry left by a cut
    // inside it, or text set from elsewhere) is one entry of its own.
    if (before > m_nBytes) {
        m_Sizes.push_back(before - m_nBytes);
        m_nBytes = before;
    }
    m_Sizes.push_back(textBytes - before);
    m_nBytes = textBytes;
    if (m_Sizes.size() <= kMaxEntries && textBytes <= kMaxBytes) return 0;

    std::size_t cut = 0;
    while (m_Sizes.size() > 1 && (m_Sizes.size() > kTrimmedEntries || m_nBytes > kTrimmedBytes)) {
        cut += m_Sizes.front();
        m_nBytes -= m_Sizes.front();
        m_Sizes.pop_front();
    }
    return cut;
}
