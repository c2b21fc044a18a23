// The guest list's container: an ordered, growable array of pointers to heap
// CqTcpSock objects. The array owns what it holds: whatever is still in it when it is
// destroyed is deleted. RemoveAt hands the entry back to the caller, who then owns it.
//
// Every entry also carries its arrival number, which grows with each Add and so along
// the array. A walk over the list that may see it change under it (entries removed or
// added by handlers run inside a report's modal loop) keeps its place by that number.
#pragma once

#include "module/net/CqTcpSock.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

class CqTcpSockArray {
public:
    CqTcpSockArray() = default;
    ~CqTcpSockArray() { RemoveAll(); }
    CqTcpSockArray(const CqTcpSockArray&) = delete;
    CqTcpSockArray& operator=(const CqTcpSockArray&) = delete;

    int GetSize() const { return static_cast<int>(m_Entries.size()); }
    bool IsEmpty() const { return m_Entries.empty(); }
    // The entry at index, null when index is out of range.
    CqTcpSock* GetAt(int index) const { return IsIndex(index) ? At(index).pSock : nullptr; }
    // Appends an entry and takes ownership of it; its new index.
    int Add(CqTcpSock* pSock) {
        m_Entries.push_back({pSock, ++m_nLastArrival});
        return GetSize() - 1;
    }
    // Removes the entry at index (later entries move down by one) and returns it; the
    // caller owns it from now on. Null when index is out of range.
    CqTcpSock* RemoveAt(int index) {
        if (!IsIndex(index)) return nullptr;
        CqTcpSock* entry = At(index).pSock;
        m_Entries.erase(m_Entries.begin() + index);
        return entry;
    }
    // Deletes every entry still held.
    void RemoveAll() {
        while (!m_Entries.empty())
            delete RemoveAt(0);
    }

    // The arrival number of the entry at index (a valid index).
    std::uint64_t GetArrivalAt(int index) const { return At(index).nArrival; }
    // The index of the entry with that arrival number, -1 when it has gone. hint is
    // where it was last seen, and is tried first.
    int IndexOfArrival(std::uint64_t nArrival, int hint) const {
        if (IsIndex(hint) && At(hint).nArrival == nArrival) return hint;
        const int index = FirstArrivedAfter(nArrival - 1);
        return IsIndex(index) && At(index).nArrival == nArrival ? index : -1;
    }
    // The index of the first entry that arrived after the one with that arrival number
    // (GetSize() when none did), whether or not that one is still held. hint as above.
    int IndexAfterArrival(std::uint64_t nArrival, int hint) const {
        if (IsIndex(hint) && At(hint).nArrival == nArrival) return hint + 1;
        return FirstArrivedAfter(nArrival);
    }

private:
    struct Entry {
        CqTcpSock* pSock; // owned
        std::uint64_t nArrival;
    };

    bool IsIndex(int index) const { return index >= 0 && index < GetSize(); }
    const Entry& At(int index) const { return m_Entries[static_cast<std::size_t>(index)]; }
    int FirstArrivedAfter(std::uint64_t nArrival) const {
        const auto found = std::upper_bound(
            m_Entries.begin(), m_Entries.end(), nArrival,
            [](std::uint64_t n, const Entry& entry) { return n < entry.nArrival; });
        return static_cast<int>(found - m_Entries.begin());
    }

    std::vector<Entry> m_Entries;
    std::uint64_t m_nLastArrival = 0; // arrival numbers start at 1
};
