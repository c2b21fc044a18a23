// Holders of host variables. Every value that crosses to the host lives in a host
// variable reached through a 32-bit handle; a CqVar holds one such handle and knows
// whether it created it (owned: deleted when the holder lets go of it) or was handed
// it (attached: never deleted by the holder). CqList, CqStr and CqBuffer are typed
// views that create a temporary variable of their type on construction.
#pragma once

#include "qrvapi/qrv_abi.h"

#include <cstdint>

class CqVar {
public:
    CqVar() = default;
    // Not virtual: holders are always destroyed through their own type.
    ~CqVar();
    CqVar(const CqVar&) = delete;
    CqVar& operator=(const CqVar&) = delete;

    // Holds hVar without owning it; an owned variable held before is deleted first.
    // False (and nothing more changes) when hVar is 0.
    virtual bool Attach(QHANDLE hVar);
    // Creates and owns a new variable, named when lpVarName is given, else temporary.
    bool Create(std::uint32_t TypeID, const char* lpVarName = nullptr);
    // Deletes the held variable whatever its ownership; the holder is empty afterwards.
    bool Free();

    QHANDLE GetHandle() const { return m_hVar; }
    bool IsType(std::uint32_t TypeID) const;
    bool GetValueEx(std::uint32_t TypeID, void* pValue) const;

protected:
    QHANDLE m_hVar = 0;
    bool m_bOwned = false;
};

class CqList : public CqVar {
public:
    CqList(); // owns a new temporary, empty list

    std::uint32_t nItems() const;
    QHANDLE CreateItem(std::uint32_t TypeID, const char* lpItemName) const;
    QHANDLE GetItemI(std::uint32_t index) const;
    QHANDLE GetItemA(const char* lpItemName) const;
    bool DelAll() const;
    bool SetItemValueEx(std::uint32_t index, std::uint32_t TypeID, const void* pValue) const;
    // The named item; created when absent, 0 when present with another type.
    QHANDLE GetOrCreateItem(std::uint32_t TypeID, const char* lpItemName) const;
};

class CqStr : public CqVar {
public:
    CqStr(); // owns a new temporary string

    // The host's zero-terminated text, null when nothing is held.
    const char* GetText() const;
    int GetLength() const;
    // The byte at pos; 0 outside the text.
    char GetAt(int pos) const;
    // 0 when lpText equals the held text, ignoring the case of letters and not
    // comparing positions where the held text has a non-letter; 1 otherwise.
    int CompareNoCase(const char* lpText) const;
};

class CqBuffer : public CqVar {
public:
    CqBuffer(); // owns a new temporary buffer

    std::uint32_t nItems() const;
    std::uint32_t ItemSize() const;
    // The address of element index, null when out of range or nothing is held.
    void* GetItemPtr(int index) const;
};
