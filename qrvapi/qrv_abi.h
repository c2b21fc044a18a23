// The binary contract between the host application and its plug-ins: handle and
// boolean widths, the calling convention, the host type IDs, and the signature of
// every host function a plug-in calls, and the names of the whole host API with their
// count checked. It belongs to neither side: the module and devhost both include it,
// and it includes nothing of either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#if defined(_WIN32)
#define QRV_CALL __stdcall
#else
#define QRV_CALL
#endif

// A host handle names a host variable (number, text, list, buffer, function); 0 is none.
using QHANDLE = std::uint32_t;
// Booleans that cross the ABI are one byte; nonzero is true.
using QBOOL = unsigned char;
// The two values every export but the version query receives: 32-bit on Win32,
// pointer-sized everywhere so that addresses fit.
using QARG = std::uintptr_t;

// The host functions of plug-in API 2.5.4, family by family, in the order a plug-in
// binds them: the host answers a lookup for each of these names.
inline constexpr const char* kQrvApiFunctionNames[] = {
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
inline constexpr std::size_t kQrvApiFunctionCount = 133;
static_assert(std::size(kQrvApiFunctionNames) == kQrvApiFunctionCount,
              "plug-in API 2.5.4 has 133 host functions");

enum QrvTypeId : std::uint32_t {
    TYPEID_BOOL = 3,
    TYPEID_INT = 7,
    TYPEID_STRING = 11,
    TYPEID_BUFFER = 15,
    TYPEID_HANDLE = 20,
    TYPEID_VARREF = 25,
    TYPEID_LIST = 31,
    TYPEID_NUMBER = 106,
    TYPEID_FUNC = 510,
};

extern "C" {
// The host's lookup routine, handed to ExtInitPlugin as hCallback.
typedef void*(QRV_CALL* QrvLookupFn)(QHANDLE hID, const char* lpFuncName);

// A plug-in export as the host runs it: menu entries, registered callbacks.
typedef QBOOL(QRV_CALL* QrvExportFn)(QARG a, QARG hArgList);
typedef const char*(QRV_CALL* QrvVersionFn)();
typedef QBOOL(QRV_CALL* QrvInitFn)(QARG hCallback, QARG hID);

// Host functions; each takes the module's hID first.
typedef QBOOL(QRV_CALL* QrvAppReportError)(QHANDLE hID, const char* lpText);
typedef QHANDLE(QRV_CALL* QrvVarCreate)(QHANDLE hID, std::uint32_t TypeID, const char* lpName);
typedef QHANDLE(QRV_CALL* QrvVarCreateTemp)(QHANDLE hID, std::uint32_t TypeID);
typedef QBOOL(QRV_CALL* QrvVarDelete)(QHANDLE hID, QHANDLE hVar);
typedef QBOOL(QRV_CALL* QrvVarIsType)(QHANDLE hID, QHANDLE hVar, std::uint32_t TypeID);
typedef QBOOL(QRV_CALL* QrvVarGetValueEx)(QHANDLE hID, QHANDLE hVar, std::uint32_t TypeID,
                                          void* pValue);
typedef QBOOL(QRV_CALL* QrvVarSetValueEx)(QHANDLE hID, QHANDLE hVar, std::uint32_t TypeID,
                                          const void* pValue);
typedef QBOOL(QRV_CALL* QrvVarCopyValue)(QHANDLE hID, QHANDLE hDest, QHANDLE hSrc);
typedef const char*(QRV_CALL* QrvStrGetText)(QHANDLE hID, QHANDLE hStr);
typedef QBOOL(QRV_CALL* QrvStrSetText)(QHANDLE hID, QHANDLE hStr, const char* lpText);
typedef std::uint32_t(QRV_CALL* QrvListNItems)(QHANDLE hID, QHANDLE hList);
typedef QHANDLE(QRV_CALL* QrvListCreateItem)(QHANDLE hID, QHANDLE hList, std::uint32_t TypeID,
                                             const char* lpName);
typedef QHANDLE(QRV_CALL* QrvListGetItemI)(QHANDLE hID, QHANDLE hList, std::uint32_t index);
typedef QHANDLE(QRV_CALL* QrvListGetItemA)(QHANDLE hID, QHANDLE hList, const char* lpName);
typedef QBOOL(QRV_CALL* QrvListDelAll)(QHANDLE hID, QHANDLE hList);
typedef std::uint32_t(QRV_CALL* QrvBufferNItems)(QHANDLE hID, QHANDLE hBuf);
typedef std::uint32_t(QRV_CALL* QrvBufferItemSize)(QHANDLE hID, QHANDLE hBuf);
typedef void*(QRV_CALL* QrvBufferGetPtr)(QHANDLE hID, QHANDLE hBuf);
typedef QHANDLE(QRV_CALL* QrvFuncLoadFunc)(QHANDLE hID, const char* lpExportName,
                                           std::uint32_t Code, QHANDLE hArgListPrototype);
typedef QHANDLE(QRV_CALL* QrvFuncGetFunc)(QHANDLE hID, const char* lpFuncName);
typedef std::uint32_t(QRV_CALL* QrvFuncGetReturnTypeID)(QHANDLE hID, QHANDLE hFunc);
typedef QBOOL(QRV_CALL* QrvFuncGetArgListPrototype)(QHANDLE hID, QHANDLE hFunc, QHANDLE hList);
typedef QBOOL(QRV_CALL* QrvFuncExecute2)(QHANDLE hID, QHANDLE hFunc, QHANDLE hArgList,
                                         QHANDLE* phRetVal);
typedef QBOOL(QRV_CALL* QrvMenuInsertItemEx)(QHANDLE hID, const char* lpExportName,
                                             const char* lpMenuText, std::uint32_t Reserved);
}
