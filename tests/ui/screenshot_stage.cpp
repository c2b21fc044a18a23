// Puts one of the module's windows on the screen for a while, for the screenshots in
// docs/screenshots (see take_screenshots.sh): "chat" shows the chat window as it first
// opens, "settings [PORT]" runs the connection settings dialog as the host of the
// demo's chat (docs/screenshots/chat-session.png, host 'ada' on that chat's port)
// fills it in. The module runs in-process against devhost's host API, as in the tests.
#include "devhost/hostapi/host_api.h"
#include "dialogkit/testing/testing.h"
#include "module/exports.h"
#include "module/ui/ConnectionDlg.h"
#include "testkit/chat_dlg_access.h"
#include "tests/plugin/host_fixture.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

constexpr int kShowSeconds = 6;

void PumpFor(int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        dk::testing::PumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace

int main(int argc, char** argv) {
    const bool settings = argc > 1 && std::strcmp(argv[1], "settings") == 0;
    devhost::HostApi host;
    const QHANDLE hID = host.addPlugin("Volubra", &volubra_test::ResolveVolubraExport);
    if (!ExtInitPlugin(reinterpret_cast<QARG>(devhost::HostApi::lookupRoutine()), hID)) return 1;
    g_ChatDlg.ShowChatWindow();
    if (!settings) {
        PumpFor(kShowSeconds);
        return 0;
    }
    g_ChatDlg.HideAndEndSessions();
    CConnectionDlg dlg;
    dlg.m_nMode = ChatMode::Host;
    dlg.m_strHostAddr = ChatState().m_strHostAddr;
    dlg.m_nPort = argc > 2 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10))
                           : static_cast<std::uint32_t>(ChatState().m_nPort);
    dlg.m_strNickname = "ada";
    dk::testing::PushModalScript([](dk::WindowHandle w) {
        PumpFor(kShowSeconds);
        dk::testing::ClickButton(w, dk::kIdCancelCommand);
    });
    dlg.DoModal();
    return 0;
}
