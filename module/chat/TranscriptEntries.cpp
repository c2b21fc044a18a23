// The transcript's entries counted from its end, and the trimming of its head.
#include "module/chat/TranscriptEntries.h"

namespace {

// Where a trim stops: three quarters of each limit.
constexpr std::size_t kTrimmedEntries = TranscriptEntries::kMaxEntries / 4 * 3;
constexpr std::size_t kTrimmedBytes = TranscriptEntries::kMaxBytes / 4 * 3;

} // namespace

std::size_t TranscriptEntries::Add(std::size_t entryBytes, std::size_t textBytes) {
    // Entries that the text no longer holds (it was emptied or replaced) are forgotten.
    while (!m_Sizes.empty() && m_nBytes + entryBytes > textBytes) {
        m_nBytes -= m_Sizes.front();
        m_Sizes.pop_front();
    }
    m_Sizes.push_back(entryBytes);
    m_nBytes += entryBytes;
    if (m_Sizes.size() <= kMaxEntries && textBytes <= kMaxBytes) return 0;

    std::size_t cut = textBytes - m_nBytes; // the head no entry accounts for
    while (m_Sizes.size() > 1 && (m_Sizes.size() > kTrimmedEntries || m_nBytes > kTrimmedBytes)) {
        cut += m_Sizes.front();
        m_nBytes -= m_Sizes.front();
        m_Sizes.pop_front();
    }
    return cut;
}
