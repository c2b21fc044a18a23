// The module's shape, from the top down: this header and Volubra.cpp beside it hold
// the exports and the module-wide objects (g_ExtAPI, the application, g_ChatDlg);
// ui/ is the chat window's window side, the settings dialog and the resources; chat/
// the chat window's session side (joining, hosting, relaying, the transcript's
// lines); net/ the proxy for the socket plug-in's sockets and the guest array;
// plugin/ the binding to the host (CExtAPI, the host variable wrappers); the ABI
// itself is qrvapi/, shared with every host. Includes point down this list: CChatDlg's
// header lives in chat/, which ui/ includes for the window side.
//
// The seven functions through which the host reaches the module. On Windows they
// are exported by Volubra.def (ExtGetApiVersion under its decorated stdcall name
// _ExtGetApiVersion@0, the others plain); on ELF they are the only symbols with
// default visibility.
#pragma once

#include "qrvapi/qrv_abi.h"

#if defined(_WIN32)
#define QRV_EXPORT
#else
#define QRV_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
// The host plug-in API version the module is written against: "2.5.4".
QRV_EXPORT const char* QRV_CALL ExtGetApiVersion();
// Binds the host API, registers the module's functions and its menu entry.
QRV_EXPORT QBOOL QRV_CALL ExtInitPlugin(QARG hCallback, QARG hID);
// The menu command: shows the chat window.
QRV_EXPORT QBOOL QRV_CALL ExtShowWnd(QARG a, QARG b);
// Socket callbacks, run through the host registry; item 0 of hArgList is "hSock".
QRV_EXPORT QBOOL QRV_CALL ExtOnConnect(QARG a, QARG hArgList);
QRV_EXPORT QBOOL QRV_CALL ExtOnAccept(QARG a, QARG hArgList);
QRV_EXPORT QBOOL QRV_CALL ExtOnRecv(QARG a, QARG hArgList);
QRV_EXPORT QBOOL QRV_CALL ExtOnClose(QARG a, QARG hArgList);
}
