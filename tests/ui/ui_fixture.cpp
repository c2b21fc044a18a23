// The in-process host for the window tests.
#include "tests/ui/ui_fixture.h"

#include "dialogkit/testing/testing.h"
#include "module/plugin/CExtAPI.h"
#include "testkit/host_fixture.h"

namespace ui_test {

void ModuleFixture::SetUp() {
    g_ExtAPI = CExtAPI();
    hID = host.addPlugin("Volubra", &volubra_test::ResolveVolubraExport);
    ASSERT_TRUE(sockets.registerFunctions());
    dk::testing::BeginCapture();
    dk::testing::BeginShellCapture();
    dk::testing::ClearModalScripts();
    ASSERT_TRUE(ExtInitPlugin(reinterpret_cast<QARG>(devhost::HostApi::lookupRoutine()), hID));
    volubra_test::ResetChatWindow();
    g_ChatDlg.UpdateData(false);
    dk::testing::TakeBoxes();
    host.bench().clearCallLog();
    host.clearReports();
}

void ModuleFixture::TearDown() {
    g_ChatDlg.HideAndEndSessions();
    dk::testing::SetTemplateLookupFails(false);
    dk::testing::ClearModalScripts();
    dk::testing::EndShellCapture();
    dk::testing::EndCapture();
    g_ExtAPI = CExtAPI();
}

void ModuleFixture::ForgetWindow() {
    g_ChatDlg.HideAndEndSessions();
    g_ChatDlg.DestroyWindow();
    ChatState().m_bCreated = false;
}

void ModuleFixture::ChooseChatClient() {
    ASSERT_TRUE(host.chooseMenuEntry("Chat client"));
}

std::vector<std::string> ModuleFixture::Calls() const {
    std::vector<std::string> names;
    for (const std::string& n : host.bench().callNames())
        if (n != "lookup") names.push_back(n);
    return names;
}

std::vector<std::string> ModuleFixture::BoxTexts() {
    std::vector<std::string> texts;
    for (const auto& box : dk::testing::TakeBoxes())
        texts.push_back(box.text);
    return texts;
}

} // namespace ui_test
