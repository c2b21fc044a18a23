// net/ holds the module's sockets: this proxy, and CqTcpSockArray, the host's guest
// list of owned proxies. Both know the host only through plugin/.
//
// The module's proxy for one socket of the socket plug-in nxTcpSock. The module
// opens no sockets of its own: each operation here runs one plug-in function
// ("nxTcpSock.Connect" ...) through the host's function registry. A proxy also
// carries the socket's property list, a host list where the chat keeps values that
// belong to one connection (a guest's "DisplayName").
#pragma once

#include "qrvapi/qrv_abi.h"
#include "qrvapi/socket_plugin.h"

#include <cstdint>

// What became of a message handed to the proxy: sent; refused by the plug-in, which
// then tells why through GetLastError; or never put to the plug-in (no socket, an empty
// label or text, or a failed call, which the proxy has reported).
enum class SendOutcome { Sent, Refused, NotSent };

// The symbolic name of a Winsock error number, "unknown" for numbers not in the table.
const char* GetSockErrorName(std::int32_t code);

class CqTcpSock {
public:
    CqTcpSock() = default;
    ~CqTcpSock(); // as Delete
    CqTcpSock(const CqTcpSock&) = delete;
    CqTcpSock& operator=(const CqTcpSock&) = delete;

    // Makes a new socket in the plug-in and owns it; false when one is already held.
    bool Create();
    // Refers to a socket owned elsewhere; false only when hSock is 0.
    bool Attach(QHANDLE hSock);
    // Forgets the socket and its property list; an owned socket is deleted in the
    // plug-in first (when that fails, everything is kept for a later try).
    void Delete();
    QHANDLE GetHandle() const { return m_hSock; }
    // The property list, 0 while no socket is held. Owned by this object.
    QHANDLE GetPropList() const { return m_hPropList; }
    bool OwnsSock() const { return m_bOwnsSock; }

    bool Connect(const char* lpPeerAddr, std::int32_t PeerPort, std::int32_t LocalPort);
    bool Listen(std::int32_t LocalPort);
    // Lets pConnSock (a socket in state 0 with its callbacks set) take over the
    // pending connection of this listening socket.
    bool Accept(CqTcpSock* pConnSock);
    void Close();
    bool SetCallback(std::int32_t CallbackID, QHANDLE hCallbackQFUNC);
    std::int32_t GetSockState(); // -1 on failure
    std::int32_t GetLastError(); // Winsock error number; 0 on failure
    bool SendMsgA(const char* lpLabel, const char* lpMsgText);
    // SendMsgA, telling a refusal from a message never put to the plug-in.
    SendOutcome Send(const char* lpLabel, const char* lpMsgText);
    // Moves the messages received and not yet handed over into the host list hRecvQueue.
    bool GetRecvQueue(QHANDLE hRecvQueue);
    // Copies the peer's address into the host variable hAddr.
    bool GetPeerAddr(QHANDLE hAddr);
    std::int32_t GetPeerPort(); // 0 on failure
    // Address into hAddr and port into *pPort; false (port untouched) without address.
    bool GetPeerInfo(QHANDLE hAddr, std::int32_t* pPort);

private:
    bool DeleteOwnedSock();
    bool GetPeerAddrUnguarded(QHANDLE hAddr);
    std::int32_t GetPeerPortUnguarded();

    QHANDLE m_hPropList = 0;          // temporary host list, owned; 0 = none
    QHANDLE m_hSock = 0;              // handle inside the plug-in; 0 = no socket
    bool m_bOwnsSock = true;          // false: the socket belongs to another object
    QHANDLE m_hCopyRecvQueueFunc = 0; // "nxTcpSock.CopyRecvQueue", cached once found
};
