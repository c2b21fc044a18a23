// The binding of the host's plug-in API: the lookup of every host function at
// initialisation, and the guarded calls through their slots.
#include "module/plugin/CExtAPI.h"

#include "dialogkit/message_box.h"

#include <string>

namespace {

constexpr bool SameName(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// The slot of a bound host function, found in the table at compile time; a name
// that is not in the table does not compile.
constexpr std::size_t SlotOf(const char* name) {
    for (std::size_t i = 0; i < CExtAPI::kBoundFunctionCount; ++i) {
        if (SameName(kQrvApiFunctionNames[i], name)) return i;
    }
    throw "host function is not bound";
}

template <std::size_t N> struct Slot { static constexpr std::size_t value = N; };
#define QRV_SLOT(name) Slot<SlotOf(name)>::value

constexpr std::size_t kAppReportError = QRV_SLOT("app.ReportError");
constexpr std::size_t kVarCreate = QRV_SLOT("var.Create");
constexpr std::size_t kVarCreateTemp = QRV_SLOT("var.CreateTemp");
constexpr std::size_t kVarDelete = QRV_SLOT("var.Delete");
constexpr std::size_t kVarIsType = QRV_SLOT("var.IsType");
constexpr std::size_t kVarGetValueEx = QRV_SLOT("var.GetValueEx");
constexpr std::size_t kVarSetValueEx = QRV_SLOT("var.SetValueEx");
constexpr std::size_t kVarCopyValue = QRV_SLOT("var.CopyValue");
constexpr std::size_t kStrGetText = QRV_SLOT("str.GetText");
constexpr std::size_t kStrSetText = QRV_SLOT("str.SetText");
constexpr std::size_t kListNItems = QRV_SLOT("list.nItems");
constexpr std::size_t kListCreateItem = QRV_SLOT("list.CreateItem");
constexpr std::size_t kListGetItemI = QRV_SLOT("list.GetItemI");
constexpr std::size_t kListGetItemA = QRV_SLOT("list.GetItemA");
constexpr std::size_t kListDelAll = QRV_SLOT("list.DelAll");
constexpr std::size_t kBufferNItems = QRV_SLOT("buffer.nItems");
constexpr std::size_t kBufferItemSize = QRV_SLOT("buffer.ItemSize");
constexpr std::size_t kBufferGetPtr = QRV_SLOT("buffer.GetPtr");
constexpr std::size_t kFuncLoadFunc = QRV_SLOT("qrvfunc.LoadFunc");
constexpr std::size_t kFuncGetFunc = QRV_SLOT("qrvfunc.GetFunc");
constexpr std::size_t kFuncGetReturnTypeID = QRV_SLOT("qrvfunc.GetReturnTypeID");
constexpr std::size_t kFuncGetArgListPrototype = QRV_SLOT("qrvfunc.GetArgListPrototype");
constexpr std::size_t kFuncExecute2 = QRV_SLOT("qrvfunc.Execute2");
constexpr std::size_t kMenuInsertItemEx = QRV_SLOT("menu.InsertItemEx");
#undef QRV_SLOT

constexpr const char* kInitCaption = "Quarzel initialisation";
constexpr const char* kErrorCaption = "Quarzel error";

} // namespace

CExtAPI::CExtAPI() {
    for (void*& slot : m_Slots)
        slot = nullptr;
}

bool CExtAPI::Init(QARG hCallback, QARG hIDArg) {
    if (hCallback == 0) {
        dk::ShowMessageBox(nullptr, "Invalid callback handle", kInitCaption,
                           dk::kMbOk | dk::kMbIconError);
        return false;
    }
    if (hIDArg == 0) {
        dk::ShowMessageBox(nullptr, "Invalid ID handle", kInitCaption,
                           dk::kMbOk | dk::kMbIconError);
        return false;
    }
    m_pfnLookup = reinterpret_cast<QrvLookupFn>(hCallback);
    hID = static_cast<QHANDLE>(hIDArg);
    // One slot at a time: app.ReportError comes first, so later lookups that fail
    // already report to the host when it has it.
    for (std::size_t i = 0; i < kBoundFunctionCount; ++i)
        m_Slots[i] = GetFuncHandle(kQrvApiFunctionNames[i]);
    return true;
}

void* CExtAPI::GetFuncHandle(const char* lpFuncName) {
    if (m_pfnLookup == nullptr) {
        app_ReportError("CExtAPI::GetFuncHandle error - API not initialised");
        return nullptr;
    }
    void* address = m_pfnLookup(hID, lpFuncName);
    if (address == nullptr) {
        app_ReportError("CExtAPI::GetFuncHandle error - Function not found");
        return nullptr;
    }
    return address;
}

namespace {

// Runs a report's after hook on every way out of the report.
class AfterReport {
public:
    explicit AfterReport(const CExtAPI::ReportHooks& hooks) : m_Hooks(hooks) {}
    ~AfterReport() {
        if (m_Hooks.pfnAfter != nullptr) m_Hooks.pfnAfter(m_Hooks.context);
    }
    AfterReport(const AfterReport&) = delete;
    AfterReport& operator=(const AfterReport&) = delete;

private:
    CExtAPI::ReportHooks m_Hooks;
};

} // namespace

CExtAPI::ReportHooks CExtAPI::SetReportHooks(ReportHooks hooks) {
    const ReportHooks previous = m_ReportHooks;
    m_ReportHooks = hooks;
    return previous;
}

void CExtAPI::app_ReportError(const char* lpText) {
    if (lpText == nullptr) lpText = "";
    // A copy: handlers run inside the report may set hooks of their own.
    const ReportHooks hooks = m_ReportHooks;
    if (hooks.pfnBefore != nullptr) {
        // Reports are also made from destructors and catch blocks: a hook that fails
        // (out of memory) is cut short, and the report still goes out.
        try {
            hooks.pfnBefore(hooks.context);
        } catch (...) {
        }
    }
    const AfterReport after(hooks);
    if (m_Slots[kAppReportError] != nullptr) {
        SlotAs<QrvAppReportError>(kAppReportError)(hID, lpText);
        return;
    }
    dk::ShowMessageBox(nullptr, lpText, kErrorCaption, dk::kMbOk | dk::kMbIconError);
}

bool CExtAPI::HasSlot(std::size_t slot) {
    if (m_Slots[slot] != nullptr) return true;
    // The guarded call is named after its host function: "var.Create" is var_Create.
    std::string callName = kQrvApiFunctionNames[slot];
    callName[callName.find('.')] = '_';
    const std::string message = "CExtAPI::" + callName + " error - function not found";
    app_ReportError(message.c_str());
    return false;
}

QHANDLE CExtAPI::var_Create(std::uint32_t TypeID, const char* lpVarName) {
    return Call<QrvVarCreate>(kVarCreate, TypeID, lpVarName);
}

QHANDLE CExtAPI::var_CreateTemp(std::uint32_t TypeID) {
    return Call<QrvVarCreateTemp>(kVarCreateTemp, TypeID);
}

bool CExtAPI::var_Delete(QHANDLE* phVar) {
    if (!HasSlot(kVarDelete) || phVar == nullptr) return false;
    if (SlotAs<QrvVarDelete>(kVarDelete)(hID, *phVar) == 0) return false;
    *phVar = 0;
    return true;
}

bool CExtAPI::var_IsType(QHANDLE hVar, std::uint32_t TypeID) {
    return Call<QrvVarIsType>(kVarIsType, hVar, TypeID) != 0;
}

bool CExtAPI::var_GetValueEx(QHANDLE hVar, std::uint32_t TypeID, void* pValue) {
    return Call<QrvVarGetValueEx>(kVarGetValueEx, hVar, TypeID, pValue) != 0;
}

bool CExtAPI::var_SetValueEx(QHANDLE hVar, std::uint32_t TypeID, const void* pValue) {
    return Call<QrvVarSetValueEx>(kVarSetValueEx, hVar, TypeID, pValue) != 0;
}

bool CExtAPI::var_CopyValue(QHANDLE hDest, QHANDLE hSrc) {
    return Call<QrvVarCopyValue>(kVarCopyValue, hDest, hSrc) != 0;
}

const char* CExtAPI::str_GetText(QHANDLE hStr) {
    return Call<QrvStrGetText>(kStrGetText, hStr);
}

bool CExtAPI::str_SetText(QHANDLE hStr, const char* lpText) {
    return Call<QrvStrSetText>(kStrSetText, hStr, lpText) != 0;
}

std::uint32_t CExtAPI::list_nItems(QHANDLE hList) {
    return Call<QrvListNItems>(kListNItems, hList);
}

QHANDLE CExtAPI::list_CreateItem(QHANDLE hList, std::uint32_t TypeID, const char* lpItemName) {
    return Call<QrvListCreateItem>(kListCreateItem, hList, TypeID, lpItemName);
}

QHANDLE CExtAPI::list_GetItemI(QHANDLE hList, std::uint32_t index) {
    return Call<QrvListGetItemI>(kListGetItemI, hList, index);
}

QHANDLE CExtAPI::list_GetItemA(QHANDLE hList, const char* lpItemName) {
    return Call<QrvListGetItemA>(kListGetItemA, hList, lpItemName);
}

bool CExtAPI::list_DelAll(QHANDLE hList) {
    return Call<QrvListDelAll>(kListDelAll, hList) != 0;
}

std::uint32_t CExtAPI::buffer_nItems(QHANDLE hBuffer) {
    return Call<QrvBufferNItems>(kBufferNItems, hBuffer);
}

std::uint32_t CExtAPI::buffer_ItemSize(QHANDLE hBuffer) {
    return Call<QrvBufferItemSize>(kBufferItemSize, hBuffer);
}

void* CExtAPI::buffer_GetPtr(QHANDLE hBuffer) {
    return Call<QrvBufferGetPtr>(kBufferGetPtr, hBuffer);
}

QHANDLE CExtAPI::qrvfunc_LoadFunc(const char* lpFuncName, std::uint32_t Code,
                                  QHANDLE hArgListPrototype) {
    return Call<QrvFuncLoadFunc>(kFuncLoadFunc, lpFuncName, Code, hArgListPrototype);
}

QHANDLE CExtAPI::qrvfunc_GetFunc(const char* lpFuncName) {
    return Call<QrvFuncGetFunc>(kFuncGetFunc, lpFuncName);
}

std::uint32_t CExtAPI::qrvfunc_GetReturnTypeID(QHANDLE hFunc) {
    return Call<QrvFuncGetReturnTypeID>(kFuncGetReturnTypeID, hFunc);
}

bool CExtAPI::qrvfunc_GetArgListPrototype(QHANDLE hFunc, QHANDLE hArgList) {
    return Call<QrvFuncGetArgListPrototype>(kFuncGetArgListPrototype, hFunc, hArgList) != 0;
}

bool CExtAPI::qrvfunc_Execute2(QHANDLE hFunc, QHANDLE hArgList, QHANDLE* phRetVal) {
    return Call<QrvFuncExecute2>(kFuncExecute2, hFunc, hArgList, phRetVal) != 0;
}

bool CExtAPI::menu_InsertItemEx(const char* lpExportName, const char* lpMenuText,
                                std::uint32_t Reserved) {
    return Call<QrvMenuInsertItemEx>(kMenuInsertItemEx, lpExportName, lpMenuText, Reserved) != 0;
}
