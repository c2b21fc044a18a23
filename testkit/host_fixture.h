// A development host in-process for the module's tests: the module is known to it
// as "Volubra" with its real exports, g_ExtAPI starts unbound for every test, and
// message boxes are captured instead of shown.
#pragma once

#include "devhost/hostapi/host_api.h"
#include "dialogkit/testing/testing.h"
#include "module/exports.h"
#include "module/plugin/CExtAPI.h"
#include "testkit/chat_dlg_access.h"
#include "testkit/volubra_exports.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace volubra_test {

// Puts g_ChatDlg back as the module made it: no session, the first settings, an
// empty transcript and message box. A window already made stays made.
inline void ResetChatWindow() {
    g_ChatDlg.HideAndEndSessions();
    ChatState().m_nMode = ChatMode::Guest;
    ChatState().m_strHostAddr = "127.0.0.1";
    ChatState().m_nPort = 8080;
    ChatState().m_strNickname.clear();
    ChatState().m_strTranscript.clear();
    ChatState().m_strMessage.clear();
}

class HostFixture : public ::testing::Test {
protected:
    void SetUp() override {
        g_ExtAPI = CExtAPI();
        hID = host.addPlugin("Volubra", &ResolveVolubraExport);
        dk::testing::BeginCapture();
    }
    void TearDown() override {
        dk::testing::EndCapture();
        g_ExtAPI = CExtAPI();
    }

    QARG Lookup() const { return reinterpret_cast<QARG>(devhost::HostApi::lookupRoutine()); }
    // Binds g_ExtAPI against the host and starts a clean log and report list.
    void Bind() {
        ASSERT_TRUE(g_ExtAPI.Init(Lookup(), hID));
        host.bench().clearCallLog();
        host.clearReports();
    }
    // The host calls logged since the last clear, without the lookups.
    std::vector<std::string> Calls() const {
        std::vector<std::string> names;
        for (const std::string& n : host.bench().callNames()) {
            if (n != "lookup") names.push_back(n);
        }
        return names;
    }
    std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const auto& box : dk::testing::TakeBoxes())
            texts.push_back(box.text);
        return texts;
    }

    devhost::HostApi host;
    QHANDLE hID = 0;
};

using Names = std::vector<std::string>;

} // namespace volubra_test
