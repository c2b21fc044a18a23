// The tests' one way into the chat window's state: references to the members that
// tests arrange and check, through the friend declaration in CChatDlg. The module's
// own code never uses it.
#pragma once

#include "module/chat/ChatDlg.h"

#include <cstdint>
#include <string>

struct ChatDlgTestAccess {
    explicit ChatDlgTestAccess(CChatDlg& dlg)
        : m_ClientSock(dlg.m_ClientSock), m_ListenSock(dlg.m_ListenSock),
          m_GuestSocks(dlg.m_GuestSocks), m_bCreated(dlg.m_bCreated), m_nMode(dlg.m_nMode),
          m_strHostAddr(dlg.m_strHostAddr), m_nPort(dlg.m_nPort), m_strNickname(dlg.m_strNickname),
          m_strTranscript(dlg.m_strTranscript), m_strMessage(dlg.m_strMessage),
          m_bShowTimes(dlg.m_bShowTimes) {}

    CqTcpSock& m_ClientSock;
    CqTcpSock& m_ListenSock;
    CqTcpSockArray& m_GuestSocks;
    bool& m_bCreated;
    ChatMode& m_nMode;
    std::string& m_strHostAddr;
    std::int32_t& m_nPort;
    std::string& m_strNickname;
    std::string& m_strTranscript;
    std::string& m_strMessage;
    bool& m_bShowTimes;
};

// The state of the module's chat window.
inline ChatDlgTestAccess ChatState() {
    return ChatDlgTestAccess(g_ChatDlg);
}

// The settings dialog's mode list item for a mode.
inline int ModeItem(ChatMode mode) {
    return static_cast<int>(mode);
}
