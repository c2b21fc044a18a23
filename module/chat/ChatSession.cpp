// The session side of CChatDlg: joining and hosting, messages, guest arrivals and
// departures. OnConnect has nothing to do: a connect returns only once the
// connection stands.
#include "module/ui/ChatDlg.h"

void CChatDlg::OnConnect(QHANDLE /*hSock*/) {}

void CChatDlg::OnBnClickedConnectButton() {}

void CChatDlg::OnBnClickedSendButton() {}

void CChatDlg::OnRecv(QHANDLE /*hSock*/) {}

void CChatDlg::OnAccept(QHANDLE /*hSock*/) {}

void CChatDlg::OnClose(QHANDLE /*hSock*/) {}

void CChatDlg::BroadcastText(const char* /*lpText*/) {}
