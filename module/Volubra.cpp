// The top of the module: the two module-wide objects, the application object, and
// the exports' bodies, thin doors that bind the host and register the module's
// functions, or hand the menu command and the socket callbacks over to the chat
// window. No exception crosses back into the host.
#include "module/exports.h"

#include "dialogkit/message_box.h"
#include "module/chat/ChatDlg.h"
#include "module/plugin/CExtAPI.h"
#include "module/plugin/CqFunc.h"

// The module-wide objects, constructed in this order when the module is loaded and
// living until it is unloaded: the host binding, the application, the chat window.
CExtAPI g_ExtAPI;

namespace {

constexpr const char* kAppName = "Volubra";

// The module's application object: its initialisation names the application, so
// that the framework's message boxes carry the module's base name as caption.
class CVolubraApp {
public:
    CVolubraApp() { InitInstance(); }
    bool InitInstance() {
        dk::SetAppName(kAppName);
        return true;
    }
};

CVolubraApp theApp;

} // namespace

CChatDlg g_ChatDlg;

namespace {

constexpr const char* kApiVersion = "2.5.4";
constexpr std::uint32_t kLoadFuncCode = 1;
constexpr const char* kMenuText = "Chat client";
constexpr const char* kSocketCallbacks[] = {"ExtOnConnect", "ExtOnAccept", "ExtOnRecv",
                                            "ExtOnClose"};

QBOOL ToQBool(bool value) {
    return value ? 1 : 0;
}

bool RegisterWithHost() {
    CqFunc registrar;
    registrar.LoadFunc("ExtShowWnd", kLoadFuncCode, 0);
    g_ExtAPI.menu_InsertItemEx("ExtShowWnd", kMenuText, 0);
    // Every socket callback takes one argument, the socket handle "hSock".
    CqList prototype;
    for (const char* name : kSocketCallbacks) {
        prototype.DelAll();
        prototype.CreateItem(TYPEID_HANDLE, "hSock");
        registrar.LoadFunc(name, kLoadFuncCode, prototype.GetHandle());
    }
    // The host refusing a registration stops nothing: the prototype list is deleted
    // here, then the registrar's own variables; the registered functions stay.
    return true;
}

// Reads the socket handle from item 0 of a callback's argument list and gives it
// to the chat window's handler; false when there is no readable, nonzero handle.
template <void (CChatDlg::*Handler)(QHANDLE)> bool DispatchSocketEvent(QARG hArgList) {
    QHANDLE hSock = 0;
    const QHANDLE item = g_ExtAPI.list_GetItemI(static_cast<QHANDLE>(hArgList), 0);
    if (!g_ExtAPI.var_GetValueEx(item, TYPEID_HANDLE, &hSock)) return false;
    if (hSock == 0) return false;
    (g_ChatDlg.*Handler)(hSock);
    return true;
}

} // namespace

extern "C" {

const char* QRV_CALL ExtGetApiVersion() {
    return kApiVersion;
}

QBOOL QRV_CALL ExtInitPlugin(QARG hCallback, QARG hID) {
    try {
        if (!g_ExtAPI.Init(hCallback, hID)) {
            dk::ShowAppMessageBox("Volubra::ExtInitPlugin error:\r\n - cannot load Mesaform "
                                  "functions",
                                  dk::kMbOk | dk::kMbIconWarning);
            return 0;
        }
        return ToQBool(RegisterWithHost());
    } catch (...) {
        return 0;
    }
}

QBOOL QRV_CALL ExtShowWnd(QARG, QARG) {
    try {
        g_ChatDlg.ShowChatWindow();
    } catch (...) {
        // The menu command has no failure to report; the window shows what it can.
    }
    return 1;
}

QBOOL QRV_CALL ExtOnConnect(QARG, QARG hArgList) {
    try {
        return ToQBool(DispatchSocketEvent<&CChatDlg::OnConnect>(hArgList));
    } catch (...) {
        return 0;
    }
}

QBOOL QRV_CALL ExtOnAccept(QARG, QARG hArgList) {
    try {
        return ToQBool(DispatchSocketEvent<&CChatDlg::OnAccept>(hArgList));
    } catch (...) {
        return 0;
    }
}

QBOOL QRV_CALL ExtOnRecv(QARG, QARG hArgList) {
    try {
        return ToQBool(DispatchSocketEvent<&CChatDlg::OnRecv>(hArgList));
    } catch (...) {
        return 0;
    }
}

QBOOL QRV_CALL ExtOnClose(QARG, QARG hArgList) {
    try {
        return ToQBool(DispatchSocketEvent<&CChatDlg::OnClose>(hArgList));
    } catch (...) {
        return 0;
    }
}

} // extern "C"
