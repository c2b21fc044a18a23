// The socket proxy: every operation binds one function of the socket plug-in by
// name, fills its argument list in index order (item 0 is always the socket handle),
// runs it and reads its result. The first step that fails ends the operation with
// one report and the operation's failure value.
#include "module/net/CqTcpSock.h"

#include "module/plugin/CExtAPI.h"
#include "module/plugin/CqFunc.h"

#include <cstring>
#include <string>

namespace {

constexpr const char* kCopyRecvQueueName = "nxTcpSock.CopyRecvQueue";

void Report(const char* lpOperation, const std::string& what) {
    const std::string message = std::string("CqTcpSock::") + lpOperation + " error:\r\n - " + what;
    g_ExtAPI.app_ReportError(message.c_str());
}

// One run of one plug-in function on behalf of one proxy operation. Each step reports
// its own failure in the operation's words. argFunc is the function's name as the
// binding and argument messages give it, runFunc as the run and result messages do;
// they differ only for Connect.
class SockCall {
public:
    SockCall(const char* lpOperation, const char* lpArgFunc, const char* lpRunFunc)
        : m_lpOperation(lpOperation), m_lpArgFunc(lpArgFunc), m_lpRunFunc(lpRunFunc) {}
    SockCall(const char* lpOperation, const char* lpFunc) : SockCall(lpOperation, lpFunc, lpFunc) {}

    // Binds the function by its registered name; lpSuffix ends the failure message.
    bool Bind(const char* lpSuffix = "") {
        if (m_Func.GetFunc(m_lpRunFunc)) return true;
        Report(m_lpOperation, std::string("cannot get ") + m_lpArgFunc + " function" + lpSuffix);
        return false;
    }
    // Binds a function handle looked up before.
    bool BindHandle(QHANDLE hFunc) {
        if (m_Func.Attach(hFunc)) return true;
        Report(m_lpOperation, std::string("cannot attach ") + m_lpArgFunc + " function");
        return false;
    }
    bool SetValue(std::uint32_t index, std::uint32_t TypeID, const void* pValue,
                  const char* lpArgName) {
        if (m_Func.m_ArgList.SetItemValueEx(index, TypeID, pValue)) return true;
        return ReportArg(lpArgName);
    }
    bool SetHandle(std::uint32_t index, QHANDLE hValue, const char* lpArgName) {
        return SetValue(index, TYPEID_HANDLE, &hValue, lpArgName);
    }
    bool SetNumber(std::uint32_t index, std::int32_t nValue, const char* lpArgName) {
        return SetValue(index, TYPEID_NUMBER, &nValue, lpArgName);
    }
    bool SetText(std::uint32_t index, const char* lpText, const char* lpArgName) {
        if (g_ExtAPI.str_SetText(m_Func.m_ArgList.GetItemI(index), lpText)) return true;
        return ReportArg(lpArgName);
    }
    bool Run() {
        if (m_Func.Execute(0, nullptr)) return true;
        Report(m_lpOperation, std::string(m_lpRunFunc) + " function failed");
        return false;
    }
    bool Read(std::uint32_t TypeID, void* pValue) {
        if (m_Func.m_RetVal.GetValueEx(TypeID, pValue)) return true;
        ReportResult();
        return false;
    }
    void ReportResult() {
        Report(m_lpOperation, std::string("cannot get ") + m_lpRunFunc + " function return value");
    }
    QHANDLE RetVal() const { return m_Func.m_RetVal.GetHandle(); }

private:
    bool ReportArg(const char* lpArgName) {
        Report(m_lpOperation,
               std::string("cannot set ") + lpArgName + " arg for " + m_lpArgFunc + " function");
        return false;
    }

    const char* m_lpOperation;
    const char* m_lpArgFunc;
    const char* m_lpRunFunc;
    CqFunc m_Func;
};

// Runs a plug-in function whose only argument is the socket and whose result is a
// 32-bit integer of the given type; failValue on any failure.
std::int32_t RunSockQuery(const char* lpOperation, const char* lpFunc, QHANDLE hSock,
                          std::uint32_t resultType, std::int32_t failValue) {
    SockCall call(lpOperation, lpFunc);
    std::int32_t result = 0;
    if (!call.Bind() || !call.SetHandle(0, hSock, "hSock") || !call.Run() ||
        !call.Read(resultType, &result)) {
        return failValue;
    }
    return result;
}

bool IsEmptyText(const char* lpText) {
    return lpText == nullptr || lpText[0] == '\0';
}

struct SockErrorName {
    std::int32_t code;
    const char* name;
};

constexpr SockErrorName kSockErrorNames[] = {
    {10014, "WSAEFAULT"},         {10022, "WSAEINVAL"},       {10024, "WSAEMFILE"},
    {10035, "WSAEWOULDBLOCK"},    {10036, "WSAEINPROGRESS"},  {10038, "WSAENOTSOCK"},
    {10039, "WSAEDESTADDRREQ"},   {10040, "WSAEMSGSIZE"},     {10042, "WSAENOPROTOOPT"},
    {10045, "WSAEOPNOTSUPP"},     {10047, "WSAEAFNOSUPPORT"}, {10048, "WSAEADDRINUSE"},
    {10049, "WSAEADDRNOTAVAIL"},  {10050, "WSAENETDOWN"},     {10051, "WSAENETUNREACH"},
    {10052, "WSAENETRESET"},      {10053, "WSAECONNABORTED"}, {10054, "WSAECONNRESET"},
    {10055, "WSAENOBUFS"},        {10056, "WSAEISCONN"},      {10057, "WSAENOTCONN"},
    {10058, "WSAESHUTDOWN"},      {10060, "WSAETIMEDOUT"},    {10061, "WSAECONNREFUSED"},
    {10093, "WSANOTINITIALISED"},
};

} // namespace

const char* GetSockErrorName(std::int32_t code) {
    for (const SockErrorName& entry : kSockErrorNames) {
        if (entry.code == code) return entry.name;
    }
    return "unknown";
}

CqTcpSock::~CqTcpSock() {
    try {
        Delete();
    } catch (...) {
        // A destructor lets nothing escape; the socket stays with the plug-in.
    }
}

bool CqTcpSock::Create() {
    if (m_hSock != 0) return false;
    SockCall call("Create", "nxTcpSock.new");
    QHANDLE hSock = 0;
    if (!call.Bind(" handle") || !call.Run() || !call.Read(TYPEID_HANDLE, &hSock)) return false;
    if (hSock == 0) {
        Report("Create", "invalid socket handle returned by nxTcpSock.new function");
        return false;
    }
    m_hSock = hSock;
    // A new socket gets a new property list. One left over from a Delete whose list
    // deletion failed is deleted first rather than forgotten.
    if (m_hPropList != 0) g_ExtAPI.var_Delete(&m_hPropList);
    m_hPropList = g_ExtAPI.var_CreateTemp(TYPEID_LIST);
    m_bOwnsSock = true;
    return true;
}

bool CqTcpSock::Attach(QHANDLE hSock) {
    if (hSock == 0) return false;
    m_hSock = hSock;
    if (m_hPropList != 0) {
        g_ExtAPI.list_DelAll(m_hPropList);
    } else {
        m_hPropList = g_ExtAPI.var_CreateTemp(TYPEID_LIST);
    }
    m_bOwnsSock = false;
    return true;
}

void CqTcpSock::Delete() {
    if (m_hSock == 0) return;
    // When the plug-in cannot delete the socket, everything is kept for another try.
    if (m_bOwnsSock && !DeleteOwnedSock()) return;
    m_hSock = 0;
    if (m_hPropList != 0) g_ExtAPI.var_Delete(&m_hPropList);
}

bool CqTcpSock::DeleteOwnedSock() {
    SockCall call("Delete", "nxTcpSock.delete");
    return call.Bind(" handle") && call.SetHandle(0, m_hSock, "hSock") && call.Run();
}

bool CqTcpSock::Connect(const char* lpPeerAddr, std::int32_t PeerPort, std::int32_t LocalPort) {
    if (m_hSock == 0) return false;
    SockCall call("Connect", "nxTcpSock.Create", "nxTcpSock.Connect");
    QBOOL result = 0;
    if (!call.Bind() || !call.SetHandle(0, m_hSock, "hSock") ||
        !call.SetText(1, lpPeerAddr, "lpPeerAddr") || !call.SetNumber(2, PeerPort, "PeerPort") ||
        !call.SetNumber(3, LocalPort, "LocalPort") || !call.Run() ||
        !call.Read(TYPEID_BOOL, &result)) {
        return false;
    }
    return result != 0;
}

bool CqTcpSock::Listen(std::int32_t LocalPort) {
    if (m_hSock == 0) return false;
    SockCall call("Listen", "nxTcpSock.Listen");
    QBOOL result = 0;
    if (!call.Bind() || !call.SetHandle(0, m_hSock, "hSock") ||
        !call.SetNumber(1, LocalPort, "LocalPort") || !call.Run() ||
        !call.Read(TYPEID_BOOL, &result)) {
        return false;
    }
    return result != 0;
}

bool CqTcpSock::Accept(CqTcpSock* pConnSock) {
    if (m_hSock == 0) return false;
    if (pConnSock == nullptr) {
        Report("Accept", "invalid sokcet handle argument");
        return false;
    }
    if (GetSockState() != SOCKSTATE_LISTENING) {
        Report("Accept", "socket is not listening");
        return false;
    }
    const QHANDLE hConnSock = pConnSock->GetHandle();
    if (hConnSock == 0) {
        Report("Accept", "cannot het connection socket handle");
        return false;
    }
    if (pConnSock->GetSockState() != SOCKSTATE_CLOSED) {
        Report("Accept", "connection socket is open");
        return false;
    }
    SockCall call("Accept", "nxTcpSock.Accept");
    QBOOL result = 0;
    if (!call.Bind() || !call.SetHandle(0, m_hSock, "hSock") ||
        !call.SetHandle(1, hConnSock, "hConnSock") || !call.Run() ||
        !call.Read(TYPEID_BOOL, &result)) {
        return false;
    }
    return result != 0;
}

void CqTcpSock::Close() {
    if (m_hSock == 0) return;
    SockCall call("Close", "nxTcpSock.Close");
    if (call.Bind() && call.SetHandle(0, m_hSock, "hSock")) call.Run();
}

bool CqTcpSock::SetCallback(std::int32_t CallbackID, QHANDLE hCallbackQFUNC) {
    if (m_hSock == 0) return false;
    SockCall call("SetCallback", "nxTcpSock.SetCallback");
    QBOOL result = 0;
    if (!call.Bind() || !call.SetHandle(0, m_hSock, "hSock") ||
        !call.SetNumber(1, CallbackID, "CallbackID") ||
        !call.SetValue(2, TYPEID_VARREF, &hCallbackQFUNC, "hCallbackQFUNC") || !call.Run() ||
        !call.Read(TYPEID_BOOL, &result)) {
        return false;
    }
    return result != 0;
}

std::int32_t CqTcpSock::GetSockState() {
    if (m_hSock == 0) return SOCKSTATE_NONE;
    return RunSockQuery("GetSockState", "nxTcpSock.GetSockState", m_hSock, TYPEID_INT,
                        SOCKSTATE_NONE);
}

std::int32_t CqTcpSock::GetLastError() {
    if (m_hSock == 0) return 0;
    return RunSockQuery("GetLastError", "nxTcpSock.GetLastError", m_hSock, TYPEID_INT, 0);
}

bool CqTcpSock::SendMsgA(const char* lpLabel, const char* lpMsgText) {
    return Send(lpLabel, lpMsgText) == SendOutcome::Sent;
}

SendOutcome CqTcpSock::Send(const char* lpLabel, const char* lpMsgText) {
    if (m_hSock == 0 || IsEmptyText(lpLabel) || IsEmptyText(lpMsgText)) return SendOutcome::NotSent;
    SockCall call("SendMsgA", "nxTcpSock.SendMsgA");
    QBOOL result = 0;
    if (!call.Bind() || !call.SetHandle(0, m_hSock, "hSock") ||
        !call.SetText(1, lpLabel, "lpLabel") || !call.SetText(2, lpMsgText, "lpMsgText") ||
        !call.Run() || !call.Read(TYPEID_BOOL, &result)) {
        return SendOutcome::NotSent;
    }
    return result != 0 ? SendOutcome::Sent : SendOutcome::Refused;
}

bool CqTcpSock::GetRecvQueue(QHANDLE hRecvQueue) {
    if (m_hSock == 0) return false;
    if (m_hCopyRecvQueueFunc == 0) {
        m_hCopyRecvQueueFunc = g_ExtAPI.qrvfunc_GetFunc(kCopyRecvQueueName);
        if (m_hCopyRecvQueueFunc == 0) {
            Report("GetRecvQueue", std::string("cannot get ") + kCopyRecvQueueName + " function");
            return false;
        }
    }
    SockCall call("GetRecvQueue", kCopyRecvQueueName);
    if (!call.BindHandle(m_hCopyRecvQueueFunc)) {
        // A handle that fails to attach has been given back to the host: forget it so
        // that the next call looks the function up again instead of using it.
        m_hCopyRecvQueueFunc = 0;
        return false;
    }
    QBOOL result = 0;
    if (!call.SetHandle(0, m_hSock, "hSock") ||
        !call.SetValue(1, TYPEID_VARREF, &hRecvQueue, "hRecvQueue") || !call.Run() ||
        !call.Read(TYPEID_BOOL, &result)) {
        return false;
    }
    return result != 0;
}

bool CqTcpSock::GetPeerAddr(QHANDLE hAddr) {
    try {
        return GetPeerAddrUnguarded(hAddr);
    } catch (...) {
        g_ExtAPI.app_ReportError("CqTcpSock::GetPeerAddr exception");
        return false;
    }
}

bool CqTcpSock::GetPeerAddrUnguarded(QHANDLE hAddr) {
    if (m_hSock == 0 || hAddr == 0) return false;
    SockCall call("GetPeerAddr", "nxTcpSock.GetPeerAddr");
    if (!call.Bind() || !call.SetHandle(0, m_hSock, "hSock") || !call.Run()) return false;
    // The whole return variable is the address text.
    if (!g_ExtAPI.var_CopyValue(hAddr, call.RetVal())) {
        call.ReportResult();
        return false; // the caller's variable holds no address
    }
    return true;
}

std::int32_t CqTcpSock::GetPeerPort() {
    try {
        return GetPeerPortUnguarded();
    } catch (...) {
        g_ExtAPI.app_ReportError("CqTcpSock::GetPeerPort exception");
        return 0;
    }
}

std::int32_t CqTcpSock::GetPeerPortUnguarded() {
    if (m_hSock == 0) return 0;
    return RunSockQuery("GetPeerPort", "nxTcpSock.GetPeerPort", m_hSock, TYPEID_NUMBER, 0);
}

bool CqTcpSock::GetPeerInfo(QHANDLE hAddr, std::int32_t* pPort) {
    if (!GetPeerAddr(hAddr)) {
        Report("GetPeerInfo", "cannot get peer address");
        return false;
    }
    const std::int32_t port = GetPeerPort();
    if (pPort != nullptr) *pPort = port;
    return true;
}
