// Puts one of the module's windows on the screen for a while, for the screenshots in
// docs/screenshots (see take_screenshots.sh): "chat" shows the chat window as it first
// opens, "settings" runs the connection settings dialog as the host of the demo's chat
// (docs/screenshots/chat-session.png, host 'ada') fills it in, and "menu" opens the
// transcript's menu over that chat's transcript. The module runs in-process against
// devhost's host API, as in the tests; the menu is the real one (no driver is asked).
#include "devhost/hostapi/host_api.h"
#include "dialogkit/testing/testing.h"
#include "module/exports.h"
#include "module/ui/ConnectionDlg.h"
#include "module/ui/resource.h"
#include "testkit/chat_dlg_access.h"
#include "tests/plugin/host_fixture.h"

#include <windows.h>

#include <chrono>
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

// The host's transcript of the demo's chat.
constexpr const char* kDemoEntries[] = {
    "Guest 127.0.0.1:50412 has joined host\r\n\r\n",
    "Guest 127.0.0.1:50412 is 'Ben'\r\n\r\n",
    "Guest 127.0.0.1:50418 has joined host\r\n\r\n",
    "Guest 127.0.0.1:50418 is 'Cleo'\r\n\r\n",
    "Guest 'Ben' says: \"Hi all, the terrain tiles are uploaded.\"\r\n\r\n",
    "Guest 'Cleo' says: \"Thanks Ben! Is 100% of the \"north\" ridge in?\"\r\n\r\n",
};

// Opens the transcript's menu as a right click in the box would, and closes it when
// the picture has been taken.
void ShowTranscriptMenu() {
    for (const char* entry : kDemoEntries)
        g_ChatDlg.AppendText(entry);
    HWND box = ::GetDlgItem(static_cast<HWND>(g_ChatDlg.GetSafeHwnd()), IDC_TRANSCRIPT_EDIT);
    RECT frame{};
    ::GetWindowRect(box, &frame);
    ::SetTimer(nullptr, 0, kShowSeconds * 1000, [](HWND, UINT, UINT_PTR, DWORD) { ::EndMenu(); });
    ::PostMessageA(box, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(box),
                   MAKELPARAM(frame.left + 120, frame.top + 40));
    PumpFor(kShowSeconds + 1);
}

} // namespace

int main(int argc, char** argv) {
    const bool settings = argc > 1 && std::strcmp(argv[1], "settings") == 0;
    const bool menu = argc > 1 && std::strcmp(argv[1], "menu") == 0;
    devhost::HostApi host;
    const QHANDLE hID = host.addPlugin("Volubra", &volubra_test::ResolveVolubraExport);
    if (!ExtInitPlugin(reinterpret_cast<QARG>(devhost::HostApi::lookupRoutine()), hID)) return 1;
    g_ChatDlg.ShowChatWindow();
    if (menu) {
        ShowTranscriptMenu();
        return 0;
    }
    if (!settings) {
        PumpFor(kShowSeconds);
        return 0;
    }
    g_ChatDlg.HideAndEndSessions();
    CConnectionDlg dlg;
    dlg.m_nMode = ChatMode::Host;
    dlg.m_strHostAddr = ChatState().m_strHostAddr;
    dlg.m_nPort = static_cast<std::uint32_t>(ChatState().m_nPort);
    dlg.m_strNickname = "ada";
    dk::testing::PushModalScript([](dk::WindowHandle w) {
        PumpFor(kShowSeconds);
        dk::testing::ClickButton(w, dk::kIdCancelCommand);
    });
    dlg.DoModal();
    return 0;
}
