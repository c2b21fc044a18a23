// Holders of host variables: ownership rules of CqVar and the typed operations of
// CqList, CqStr and CqBuffer, all through the guarded calls of g_ExtAPI.
#include "module/plugin/CqVar.h"

#include "module/plugin/CExtAPI.h"

#include <cstring>

CqVar::~CqVar() {
    if (m_hVar != 0 && m_bOwned) Free();
}

bool CqVar::Attach(QHANDLE hVar) {
    if (m_hVar != 0 && m_bOwned) Free();
    if (hVar == 0) return false;
    m_hVar = hVar;
    m_bOwned = false;
    return true;
}

bool CqVar::Create(std::uint32_t TypeID, const char* lpVarName) {
    if (m_hVar != 0 && m_bOwned) Free();
    m_hVar = lpVarName != nullptr ? g_ExtAPI.var_Create(TypeID, lpVarName)
                                  : g_ExtAPI.var_CreateTemp(TypeID);
    if (m_hVar == 0) return false;
    m_bOwned = true;
    return true;
}

bool CqVar::Free() {
    if (m_hVar == 0) return true;
    const bool deleted = g_ExtAPI.var_Delete(&m_hVar);
    // A variable the host refuses to delete is dropped all the same.
    m_hVar = 0;
    return deleted;
}

bool CqVar::IsType(std::uint32_t TypeID) const {
    return m_hVar != 0 && g_ExtAPI.var_IsType(m_hVar, TypeID);
}

bool CqVar::GetValueEx(std::uint32_t TypeID, void* pValue) const {
    return m_hVar != 0 && g_ExtAPI.var_GetValueEx(m_hVar, TypeID, pValue);
}

// ---- CqList -------------------------------------------------------------------

CqList::CqList() {
    Create(TYPEID_LIST);
}

std::uint32_t CqList::nItems() const {
    return m_hVar != 0 ? g_ExtAPI.list_nItems(m_hVar) : 0;
}

QHANDLE CqList::CreateItem(std::uint32_t TypeID, const char* lpItemName) const {
    return m_hVar != 0 ? g_ExtAPI.list_CreateItem(m_hVar, TypeID, lpItemName) : 0;
}

QHANDLE CqList::GetItemI(std::uint32_t index) const {
    return m_hVar != 0 ? g_ExtAPI.list_GetItemI(m_hVar, index) : 0;
}

QHANDLE CqList::GetItemA(const char* lpItemName) const {
    return m_hVar != 0 ? g_ExtAPI.list_GetItemA(m_hVar, lpItemName) : 0;
}

bool CqList::DelAll() const {
    return m_hVar != 0 && g_ExtAPI.list_DelAll(m_hVar);
}

bool CqList::SetItemValueEx(std::uint32_t index, std::uint32_t TypeID, const void* pValue) const {
    if (m_hVar == 0) return false;
    const QHANDLE item = g_ExtAPI.list_GetItemI(m_hVar, index);
    return item != 0 && g_ExtAPI.var_SetValueEx(item, TypeID, pValue);
}

QHANDLE CqList::GetOrCreateItem(std::uint32_t TypeID, const char* lpItemName) const {
    if (m_hVar == 0) return 0;
    const QHANDLE item = GetItemA(lpItemName);
    if (item == 0) return CreateItem(TypeID, lpItemName);
    return g_ExtAPI.var_IsType(item, TypeID) ? item : 0;
}

// ---- CqStr --------------------------------------------------------------------

CqStr::CqStr() {
    Create(TYPEID_STRING);
}

const char* CqStr::GetText() const {
    return m_hVar != 0 ? g_ExtAPI.str_GetText(m_hVar) : nullptr;
}

int CqStr::GetLength() const {
    const char* text = GetText();
    return text != nullptr ? static_cast<int>(std::strlen(text)) : 0;
}

char CqStr::GetAt(int pos) const {
    if (pos < 0 || pos >= GetLength()) return 0;
    return GetText()[pos];
}

namespace {

bool IsAsciiLetter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

unsigned char AsciiLower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

} // namespace

int CqStr::CompareNoCase(const char* lpText) const {
    if (lpText == nullptr) lpText = ""; // no text compares as the empty text
    const int length = GetLength();
    if (static_cast<std::size_t>(length) != std::strlen(lpText)) return 1;
    for (int i = 0; i < length; ++i) {
        const auto a = static_cast<unsigned char>(GetAt(i));
        const auto b = static_cast<unsigned char>(lpText[i]);
        // Only letters of the held text are compared; any byte matches a non-letter.
        if (IsAsciiLetter(a) && AsciiLower(a) != AsciiLower(b)) return 1;
    }
    return 0;
}

// ---- CqBuffer -----------------------------------------------------------------

CqBuffer::CqBuffer() {
    Create(TYPEID_BUFFER);
}

std::uint32_t CqBuffer::nItems() const {
    return m_hVar != 0 ? g_ExtAPI.buffer_nItems(m_hVar) : 0;
}

std::uint32_t CqBuffer::ItemSize() const {
    return m_hVar != 0 ? g_ExtAPI.buffer_ItemSize(m_hVar) : 0;
}

void* CqBuffer::GetItemPtr(int index) const {
    if (m_hVar == 0 || index < 0) return nullptr;
    if (static_cast<std::uint32_t>(index) >= nItems()) return nullptr;
    auto* first = static_cast<unsigned char*>(g_ExtAPI.buffer_GetPtr(m_hVar));
    if (first == nullptr) return nullptr;
    return first + static_cast<std::size_t>(index) * ItemSize();
}
