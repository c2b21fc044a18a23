// The binary contract between the host application and its plug-ins: handle and
// boolean widths, the calling convention, the host type IDs, and the signature of
// every host function the module calls. devhost includes this header for the ABI
// alone; nothing else of the module is visible to it.
#pragma once

#include <cstdint>

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
