// plugin/ binds the module to the host, on the ABI of qrvapi/qrv_abi.h: this table of
// host functions, the host variable wrappers (CqVar.h) and the function registry's
// caller (CqFunc.h). It includes nothing else of the module.
//
// The module's only path to the host. At initialisation CExtAPI looks up, by name,
// every host function of the plug-in API it knows and keeps their addresses in
// slots; afterwards the rest of the module calls the host only through the guarded
// calls below, which report a missing function instead of calling an empty slot.
// It also carries the module's one way of reporting an error to the user.
#pragma once

#include "qrvapi/qrv_abi.h"

#include <cstddef>
#include <cstdint>
#include <utility>

class CExtAPI {
public:
    // Host functions bound at initialisation: all of the API, in its order.
    static constexpr std::size_t kBoundFunctionCount = kQrvApiFunctionCount;

    CExtAPI();

    // Binds the API: checks both handles, then looks up every bound name in order.
    bool Init(QARG hCallback, QARG hID);
    // The address of the named host function, or null (reported).
    void* GetFuncHandle(const char* lpFuncName);
    // Reports a message to the user: the host's app.ReportError, or a message box
    // captioned "Quarzel error" when the host lacks it.
    void app_ReportError(const char* lpText);
    // What runs around every report, whose box may run a modal loop in which other
    // handlers run: before it, the chat window shows what it has held back, so that the
    // report never stands before lines the user has not seen, and stops holding back
    // for the loop's handlers; after it, it goes back to what it was doing. Returns the
    // hooks replaced, for the caller to put back.
    struct ReportHooks {
        void (*pfnBefore)(void* context) = nullptr; // one that throws is cut short
        void (*pfnAfter)(void* context) = nullptr;  // must not throw
        void* context = nullptr;                    // not owned by us
    };
    ReportHooks SetReportHooks(ReportHooks hooks);

    // Guarded calls: each returns the host's result, or reports
    // "CExtAPI::<name> error - function not found" and its failure value.
    QHANDLE var_Create(std::uint32_t TypeID, const char* lpVarName);
    QHANDLE var_CreateTemp(std::uint32_t TypeID);
    // Deletes *phVar; on success the handle at that address is set to 0.
    bool var_Delete(QHANDLE* phVar);
    bool var_IsType(QHANDLE hVar, std::uint32_t TypeID);
    bool var_GetValueEx(QHANDLE hVar, std::uint32_t TypeID, void* pValue);
    bool var_SetValueEx(QHANDLE hVar, std::uint32_t TypeID, const void* pValue);
    bool var_CopyValue(QHANDLE hDest, QHANDLE hSrc);
    const char* str_GetText(QHANDLE hStr);
    bool str_SetText(QHANDLE hStr, const char* lpText);
    std::uint32_t list_nItems(QHANDLE hList);
    QHANDLE list_CreateItem(QHANDLE hList, std::uint32_t TypeID, const char* lpItemName);
    QHANDLE list_GetItemI(QHANDLE hList, std::uint32_t index);
    QHANDLE list_GetItemA(QHANDLE hList, const char* lpItemName);
    bool list_DelAll(QHANDLE hList);
    std::uint32_t buffer_nItems(QHANDLE hBuffer);
    std::uint32_t buffer_ItemSize(QHANDLE hBuffer);
    void* buffer_GetPtr(QHANDLE hBuffer);
    QHANDLE qrvfunc_LoadFunc(const char* lpFuncName, std::uint32_t Code, QHANDLE hArgListPrototype);
    QHANDLE qrvfunc_GetFunc(const char* lpFuncName);
    std::uint32_t qrvfunc_GetReturnTypeID(QHANDLE hFunc);
    bool qrvfunc_GetArgListPrototype(QHANDLE hFunc, QHANDLE hArgList);
    bool qrvfunc_Execute2(QHANDLE hFunc, QHANDLE hArgList, QHANDLE* phRetVal);
    bool menu_InsertItemEx(const char* lpExportName, const char* lpMenuText,
                           std::uint32_t Reserved);

    QHANDLE hID = 0; // the module's identification handle, 0 until bound

private:
    template <typename Fn> Fn SlotAs(std::size_t slot) const {
        return reinterpret_cast<Fn>(m_Slots[slot]);
    }
    // True when the slot is filled; otherwise reports its guarded call as missing.
    bool HasSlot(std::size_t slot);
    // Runs the host function in `slot` with the module's ID first; when the host
    // lacks it, reports that and gives the result type's zero (0 or null).
    template <typename Fn, typename... Args>
    auto Call(std::size_t slot, Args... args) -> decltype(std::declval<Fn>()(QHANDLE{}, args...)) {
        if (!HasSlot(slot)) return {};
        return SlotAs<Fn>(slot)(hID, args...);
    }

    QrvLookupFn m_pfnLookup = nullptr; // the host's lookup routine, null until bound
    ReportHooks m_ReportHooks;
    void* m_Slots[kBoundFunctionCount];
};

extern CExtAPI g_ExtAPI;
