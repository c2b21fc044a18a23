// The binding of the host's plug-in API: the list of host functions looked up at
// initialisation, in lookup order, and the guarded calls through their slots.
#include "module/plugin/CExtAPI.h"

#include "dialogkit/message_box.h"

#include <cstring>
#include <string>

namespace {

// Every host function of API 2.5.4 that the module binds, family by family. Slot i
// holds the function looked up i-th; only some are ever called (see SlotOf below).
constexpr const char* kBoundFunctions[CExtAPI::kBoundFunctionCount] = {
    // app
    "app.ReportError",
    "app.WriteToLog",
    // var
    "var.Create",
    "var.CreateTemp",
    "var.Delete",
    "var.ReInit",
    "var.Rename",
    "var.GetVar",
    "var.GetName",
    "var.GetTypeID",
    "var.IsType",
    "var.GetValue",
    "var.SetValue",
    "var.GetValueEx",
    "var.SetValueEx",
    "var.GetValueA",
    "var.SetValueA",
    "var.CopyValue",
    "var.SetVarRef",
    "var.EditUI",
    "var.EditUI2",
    "var.GetDataPtr",
    // type
    "type.GetTypeID",
    "type.GetTypeName",
    // str
    "str.GetText",
    "str.SetText",
    // list
    "list.nItems",
    "list.CreateItem",
    "list.GetItemI",
    "list.GetItemA",
    "list.DelItemI",
    "list.DelItemA",
    "list.DelAll",
    "list.SortI",
    "list.SortA",
    // map
    "map.Init",
    "map.Free",
    "map.GetMapType",
    "map.GetPixelSize",
    "map.GetWrapFlag",
    "map.SetWrapFlag",
    "map.GetBusyFlag",
    "map.SetBusyFlag",
    "map.GetWidth",
    "map.GetHeight",
    "map.GetPixel",
    "map.SetPixel",
    "map.GetMinMaxAlt",
    "map.SetMinMaxAlt",
    "map.GetHorizScale",
    "map.GetMosaicFlag",
    "map.GetMosaicTileSize",
    "map.GetMosaicTilesX",
    "map.GetMosaicTilesY",
    "map.GetFlag",
    "map.SetFlag",
    "map.GetSettingsList",
    "map.SaveFile",
    "map.LoadFile",
    "map.GetNameInProject",
    "map.InitMosaic",
    "map.LoadMosaic",
    "map.SaveMosaic",
    "map.GetFormat",
    "map.SetFormat",
    "map.GetFilename",
    "map.CombineMosaic",
    "map.SplitToMosaic",
    "map.SaveMosaicAs",
    "map.ExportMap",
    "map.ExportMosaic",
    "map.GetDataPtr",
    "map.LinInterp",
    "map.GetMosaicTile",
    "map.GenMipmaps2",
    "map.ClearMipmaps",
    "map.GetMipmapLevel",
    "map.GetMipmapResStep",
    "map.GetMipmapMaxLevel",
    // tile
    "tile.GetMinMaxAlt",
    "tile.GetPixel",
    "tile.SetPixel",
    "tile.GetTileCoords",
    "tile.SetLock",
    "tile.GetDataPtr",
    // format
    "format.Create",
    "format.CreateGeneric",
    "format.SetFlags",
    "format.SetInfoStr",
    "format.GetExt",
    "format.GetOptionList",
    "format.GetOptionValue",
    "format.SetOptionValue",
    "format.GetFormatByExt",
    "format.GetFormatList",
    "format.IsMosaic",
    "format.IsNative",
    // progbox
    "progbox.ShowWnd",
    "progbox.HideWnd",
    "progbox.SetTitle",
    "progbox.SetProgress",
    // filesel
    "filesel.InitFS",
    "filesel.GetFilename",
    // combosel
    "combosel.SetOptions",
    "combosel.GetOptions",
    "combosel.SetCurSel",
    "combosel.GetCurSel",
    // buffer
    "buffer.Init",
    "buffer.Free",
    "buffer.nItems",
    "buffer.MemSize",
    "buffer.ItemSize",
    "buffer.GetPtr",
    "buffer.GetValue",
    "buffer.SetValue",
    // view
    "view.ShowMap",
    "view.GetActiveMap",
    "view.GetSelectedArea",
    // file
    "file.GetExt",
    "file.GetFilenameNoExt",
    "file.GetDir",
    "file.GetFilenameNoDir",
    "file.FileExists",
    // qrvfunc
    "qrvfunc.LoadFunc",
    "qrvfunc.LoadFuncEx",
    "qrvfunc.GetFunc",
    "qrvfunc.GetReturnTypeID",
    "qrvfunc.GetArgListPrototype",
    "qrvfunc.Execute2",
    "qrvfunc.ExecuteThreaded",
    // menu
    "menu.InsertItem",
    "menu.InsertItemEx",
    // script
    "script.Execute",
};

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
        if (SameName(kBoundFunctions[i], name)) return i;
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

const char* const* CExtAPI::BoundFunctionNames() {
    return kBoundFunctions;
}

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
    // already report to the host when it has it. A slot is emptied before its lookup
    // so that a re-bind reports exactly as the first binding would.
    for (std::size_t i = 0; i < kBoundFunctionCount; ++i) {
        m_Slots[i] = nullptr;
        m_Slots[i] = GetFuncHandle(kBoundFunctions[i]);
    }
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

void CExtAPI::app_ReportError(const char* lpText) {
    if (lpText == nullptr) lpText = "";
    if (m_Slots[kAppReportError] != nullptr) {
        SlotAs<QrvAppReportError>(kAppReportError)(hID, lpText);
        return;
    }
    dk::ShowMessageBox(nullptr, lpText, kErrorCaption, dk::kMbOk | dk::kMbIconError);
}

bool CExtAPI::HasSlot(std::size_t slot, const char* lpCallName) {
    if (m_Slots[slot] != nullptr) return true;
    const std::string message =
        std::string("CExtAPI::") + lpCallName + " error - function not found";
    app_ReportError(message.c_str());
    return false;
}

QHANDLE CExtAPI::var_Create(std::uint32_t TypeID, const char* lpVarName) {
    if (!HasSlot(kVarCreate, "var_Create")) return 0;
    return SlotAs<QrvVarCreate>(kVarCreate)(hID, TypeID, lpVarName);
}

QHANDLE CExtAPI::var_CreateTemp(std::uint32_t TypeID) {
    if (!HasSlot(kVarCreateTemp, "var_CreateTemp")) return 0;
    return SlotAs<QrvVarCreateTemp>(kVarCreateTemp)(hID, TypeID);
}

bool CExtAPI::var_Delete(QHANDLE* phVar) {
    if (!HasSlot(kVarDelete, "var_Delete")) return false;
    if (phVar == nullptr) return false;
    if (SlotAs<QrvVarDelete>(kVarDelete)(hID, *phVar) == 0) return false;
    *phVar = 0;
    return true;
}

bool CExtAPI::var_IsType(QHANDLE hVar, std::uint32_t TypeID) {
    if (!HasSlot(kVarIsType, "var_IsType")) return false;
    return SlotAs<QrvVarIsType>(kVarIsType)(hID, hVar, TypeID) != 0;
}

bool CExtAPI::var_GetValueEx(QHANDLE hVar, std::uint32_t TypeID, void* pValue) {
    if (!HasSlot(kVarGetValueEx, "var_GetValueEx")) return false;
    return SlotAs<QrvVarGetValueEx>(kVarGetValueEx)(hID, hVar, TypeID, pValue) != 0;
}

bool CExtAPI::var_SetValueEx(QHANDLE hVar, std::uint32_t TypeID, const void* pValue) {
    if (!HasSlot(kVarSetValueEx, "var_SetValueEx")) return false;
    return SlotAs<QrvVarSetValueEx>(kVarSetValueEx)(hID, hVar, TypeID, pValue) != 0;
}

bool CExtAPI::var_CopyValue(QHANDLE hDest, QHANDLE hSrc) {
    if (!HasSlot(kVarCopyValue, "var_CopyValue")) return false;
    return SlotAs<QrvVarCopyValue>(kVarCopyValue)(hID, hDest, hSrc) != 0;
}

const char* CExtAPI::str_GetText(QHANDLE hStr) {
    if (!HasSlot(kStrGetText, "str_GetText")) return nullptr;
    return SlotAs<QrvStrGetText>(kStrGetText)(hID, hStr);
}

bool CExtAPI::str_SetText(QHANDLE hStr, const char* lpText) {
    if (!HasSlot(kStrSetText, "str_SetText")) return false;
    return SlotAs<QrvStrSetText>(kStrSetText)(hID, hStr, lpText) != 0;
}

std::uint32_t CExtAPI::list_nItems(QHANDLE hList) {
    if (!HasSlot(kListNItems, "list_nItems")) return 0;
    return SlotAs<QrvListNItems>(kListNItems)(hID, hList);
}

QHANDLE CExtAPI::list_CreateItem(QHANDLE hList, std::uint32_t TypeID, const char* lpItemName) {
    if (!HasSlot(kListCreateItem, "list_CreateItem")) return 0;
    return SlotAs<QrvListCreateItem>(kListCreateItem)(hID, hList, TypeID, lpItemName);
}

QHANDLE CExtAPI::list_GetItemI(QHANDLE hList, std::uint32_t index) {
    if (!HasSlot(kListGetItemI, "list_GetItemI")) return 0;
    return SlotAs<QrvListGetItemI>(kListGetItemI)(hID, hList, index);
}

QHANDLE CExtAPI::list_GetItemA(QHANDLE hList, const char* lpItemName) {
    if (!HasSlot(kListGetItemA, "list_GetItemA")) return 0;
    return SlotAs<QrvListGetItemA>(kListGetItemA)(hID, hList, lpItemName);
}

bool CExtAPI::list_DelAll(QHANDLE hList) {
    if (!HasSlot(kListDelAll, "list_DelAll")) return false;
    return SlotAs<QrvListDelAll>(kListDelAll)(hID, hList) != 0;
}

std::uint32_t CExtAPI::buffer_nItems(QHANDLE hBuffer) {
    if (!HasSlot(kBufferNItems, "buffer_nItems")) return 0;
    return SlotAs<QrvBufferNItems>(kBufferNItems)(hID, hBuffer);
}

std::uint32_t CExtAPI::buffer_ItemSize(QHANDLE hBuffer) {
    if (!HasSlot(kBufferItemSize, "buffer_ItemSize")) return 0;
    return SlotAs<QrvBufferItemSize>(kBufferItemSize)(hID, hBuffer);
}

void* CExtAPI::buffer_GetPtr(QHANDLE hBuffer) {
    if (!HasSlot(kBufferGetPtr, "buffer_GetPtr")) return nullptr;
    return SlotAs<QrvBufferGetPtr>(kBufferGetPtr)(hID, hBuffer);
}

QHANDLE CExtAPI::qrvfunc_LoadFunc(const char* lpFuncName, std::uint32_t Code,
                                  QHANDLE hArgListPrototype) {
    if (!HasSlot(kFuncLoadFunc, "qrvfunc_LoadFunc")) return 0;
    return SlotAs<QrvFuncLoadFunc>(kFuncLoadFunc)(hID, lpFuncName, Code, hArgListPrototype);
}

QHANDLE CExtAPI::qrvfunc_GetFunc(const char* lpFuncName) {
    if (!HasSlot(kFuncGetFunc, "qrvfunc_GetFunc")) return 0;
    return SlotAs<QrvFuncGetFunc>(kFuncGetFunc)(hID, lpFuncName);
}

std::uint32_t CExtAPI::qrvfunc_GetReturnTypeID(QHANDLE hFunc) {
    if (!HasSlot(kFuncGetReturnTypeID, "qrvfunc_GetReturnTypeID")) return 0;
    return SlotAs<QrvFuncGetReturnTypeID>(kFuncGetReturnTypeID)(hID, hFunc);
}

bool CExtAPI::qrvfunc_GetArgListPrototype(QHANDLE hFunc, QHANDLE hArgList) {
    if (!HasSlot(kFuncGetArgListPrototype, "qrvfunc_GetArgListPrototype")) return false;
    return SlotAs<QrvFuncGetArgListPrototype>(kFuncGetArgListPrototype)(hID, hFunc, hArgList) != 0;
}

bool CExtAPI::qrvfunc_Execute2(QHANDLE hFunc, QHANDLE hArgList, QHANDLE* phRetVal) {
    if (!HasSlot(kFuncExecute2, "qrvfunc_Execute2")) return false;
    return SlotAs<QrvFuncExecute2>(kFuncExecute2)(hID, hFunc, hArgList, phRetVal) != 0;
}

bool CExtAPI::menu_InsertItemEx(const char* lpExportName, const char* lpMenuText,
                                std::uint32_t Reserved) {
    if (!HasSlot(kMenuInsertItemEx, "menu_InsertItemEx")) return false;
    return SlotAs<QrvMenuInsertItemEx>(kMenuInsertItemEx)(hID, lpExportName, lpMenuText,
                                                          Reserved) != 0;
}
