// The module in-process with devhost's host API and socket plug-in, initialised
// through its exports with devhost's lookup routine, as the host would. Every test
// starts with the chat window hidden, default settings, an empty transcript, and
// message boxes and shell opens captured.
#pragma once

#include "devhost/hostapi/host_api.h"
#include "devhost/nxtcpsock/nx_tcp_sock.h"
#include "dialogkit/testing/testing.h"
#include "testkit/chat_dlg_access.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ui_test {

class ModuleFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes the next showing create the window anew (with this test's host).
    void ForgetWindow();
    // The menu entry, as the user chooses it.
    void ChooseChatClient();
    dk::WindowHandle ChatWindow() const { return g_ChatDlg.GetSafeHwnd(); }
    std::vector<std::string> Calls() const; // host calls since the last clear, no lookups
    std::vector<std::string> BoxTexts();

    devhost::HostApi host;
    devhost::NxTcpSock sockets{host};
    QHANDLE hID = 0;
};

using Names = std::vector<std::string>;

} // namespace ui_test
