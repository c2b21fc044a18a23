// The guest list's container: an ordered, growable array of pointers to heap
// CqTcpSock objects. The array owns what it holds: whatever is still in it when it is
// destroyed is deleted. RemoveAt hands the entry back to the caller, who then owns it.
#pragma once

#include "module/net/CqTcpSock.h"

#include <cstddef>
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
    CqTcpSock* GetAt(int index) const {
        return index >= 0 && index < GetSize() ? m_Entries[static_cast<std::size_t>(index)]
                                               : nullptr;
    }
    // Appends an entry and takes ownership of it; its new index.
    int Add(CqTcpSock* pSock) {
        m_Entries.push_back(pSock);
        return GetSize() - 1;
    }
    // Removes the entry at index (later entries move down by one) and returns it; the
    // caller owns it from now on. Null when index is out of range.
    CqTcpSock* RemoveAt(int index) {
        CqTcpSock* entry = GetAt(index);
        if (index >= 0 && index < GetSize()) m_Entries.erase(m_Entries.begin() + index);
        return entry;
    }
    // Deletes every entry still held.
    void RemoveAll() {
        while (!m_Entries.empty())
            delete RemoveAt(0);
    }

private:
    std::vector<CqTcpSock*> m_Entries; // owned
};
