// The chat window through the menu entry and its controls: the first showing, a
// second choice while shown, the Close paths ending every session, the transcript
// and settings surviving a reopening, Help!, the state display rules, and the
// window that cannot be created.
#include "tests/ui/ui_fixture.h"

#include "devhost/hostapi/app_icon.h"
#include "module/chat/TranscriptEntries.h"
#include "module/exports.h"
#include "module/plugin/CExtAPI.h"
#include "module/ui/HelpPage.h"
#include "module/ui/resource.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace ui_test {
namespace {

using dk::testing::ControlText;
using dk::testing::IsControlEnabled;

class ChatWindowTest : public ModuleFixture {};

TEST_F(ChatWindowTest, FirstShowingShowsTheIdleGuestState) {
    ForgetWindow();
    host.bench().clearCallLog();
    ChooseChatClient();
    dk::WindowHandle w = ChatWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(g_ChatDlg.IsShown());
    EXPECT_TRUE(ChatState().m_bCreated);
    EXPECT_TRUE(dk::testing::IsVisible(w));
    EXPECT_EQ(dk::testing::WindowTitle(w), "Chat client - disconnected");
    EXPECT_EQ(ControlText(w, IDC_CONNECT_BUTTON), "Closed");
    EXPECT_FALSE(IsControlEnabled(w, IDC_MESSAGE_EDIT));
    EXPECT_FALSE(IsControlEnabled(w, IDC_SEND_BUTTON));
    EXPECT_TRUE(IsControlEnabled(w, IDC_CONNECT_BUTTON));
    EXPECT_TRUE(IsControlEnabled(w, IDC_HELP_BUTTON));
    EXPECT_TRUE(IsControlEnabled(w, dk::kIdOkCommand));
    EXPECT_EQ(ControlText(w, IDC_TRANSCRIPT_EDIT), "");
    EXPECT_EQ(dk::testing::BigIcon(w), devhost::applicationIconHandle())
        << "the host's icon is the big window icon";
    // The icon comes from the host's registry function, read as a handle.
    const Names calls = Calls();
    const auto getFunc = std::find(calls.begin(), calls.end(), "qrvfunc.GetFunc");
    ASSERT_NE(getFunc, calls.end());
    const auto run = std::find(getFunc, calls.end(), "qrvfunc.Execute2");
    ASSERT_NE(run, calls.end());
    EXPECT_NE(std::find(run, calls.end(), "var.GetValueEx"), calls.end());
    EXPECT_TRUE(host.reports().empty());
}

TEST_F(ChatWindowTest, WithoutTheHostIconTheWindowKeepsItsOwn) {
    ForgetWindow();
    host.bench().removeName("qrvfunc.GetFunc");
    g_ExtAPI = CExtAPI();
    ASSERT_TRUE(ExtInitPlugin(reinterpret_cast<QARG>(devhost::HostApi::lookupRoutine()), hID));
    ChooseChatClient();
    ASSERT_NE(ChatWindow(), nullptr);
    EXPECT_EQ(dk::testing::BigIcon(ChatWindow()), 0u);
    EXPECT_TRUE(g_ChatDlg.IsShown());
}

TEST_F(ChatWindowTest, ChoosingAgainWhileShownChangesNothing) {
    ChooseChatClient();
    dk::WindowHandle w = ChatWindow();
    dk::SetText(w, "moved by nobody");
    host.bench().clearCallLog();
    ChooseChatClient();
    EXPECT_EQ(ChatWindow(), w);
    EXPECT_EQ(dk::testing::WindowTitle(w), "moved by nobody") << "the display is not refreshed";
    EXPECT_TRUE(Calls().empty());
}

TEST_F(ChatWindowTest, CloseButtonHidesAndKeepsTranscriptMessageAndSettings) {
    ChooseChatClient();
    dk::WindowHandle w = ChatWindow();
    g_ChatDlg.AppendText("Guest 127.0.0.1:5000 has joined host");
    g_ChatDlg.AppendText("\r\n\r\n");
    dk::testing::SetControlText(w, IDC_MESSAGE_EDIT, "half typed");
    ChatState().m_nMode = ChatMode::Host;
    ChatState().m_nPort = 9000;
    // The Close button is a real button: enable-independent of the session state.
    ASSERT_TRUE(dk::testing::ClickButton(w, dk::kIdOkCommand));
    EXPECT_FALSE(g_ChatDlg.IsShown());
    EXPECT_FALSE(dk::testing::IsVisible(w));
    EXPECT_EQ(ChatState().m_strMessage, "half typed") << "Close reads the boxes back";

    ChooseChatClient();
    EXPECT_EQ(ChatWindow(), w) << "the window is made once";
    EXPECT_TRUE(dk::testing::IsVisible(w));
    EXPECT_EQ(ControlText(w, IDC_TRANSCRIPT_EDIT), "Guest 127.0.0.1:5000 has joined host\r\n\r\n");
    EXPECT_EQ(ControlText(w, IDC_MESSAGE_EDIT), "half typed");
    EXPECT_EQ(ChatState().m_nMode, ChatMode::Host);
    EXPECT_EQ(ChatState().m_nPort, 9000);
    EXPECT_EQ(dk::testing::WindowTitle(w), "Chat host - closed");
}

TEST_F(ChatWindowTest, CloseBoxAndEscapeEndEverySession) {
    for (int path = 0; path < 2; ++path) {
        SCOPED_TRACE(path == 0 ? "close box" : "Escape");
        ChooseChatClient();
        ASSERT_TRUE(ChatState().m_ClientSock.Create());
        ASSERT_TRUE(ChatState().m_ListenSock.Create());
        for (int i = 0; i < 3; ++i) {
            auto* guest = new CqTcpSock;
            ASSERT_TRUE(guest->Create());
            ChatState().m_GuestSocks.Add(guest);
        }
        ChatState().m_GuestSocks.Add(nullptr); // an empty entry is skipped
        EXPECT_EQ(sockets.socketCount(), 5u);
        if (path == 0)
            ASSERT_TRUE(dk::testing::CloseDialog(ChatWindow()));
        else
            ASSERT_TRUE(dk::testing::PressEscape(ChatWindow()));
        EXPECT_FALSE(g_ChatDlg.IsShown());
        EXPECT_FALSE(dk::testing::IsVisible(ChatWindow()));
        EXPECT_EQ(ChatState().m_ClientSock.GetHandle(), 0u);
        EXPECT_EQ(ChatState().m_ListenSock.GetHandle(), 0u);
        EXPECT_TRUE(ChatState().m_GuestSocks.IsEmpty());
        EXPECT_EQ(sockets.socketCount(), 0u) << "every socket is deleted in the plug-in";
        EXPECT_TRUE(host.reports().empty());
    }
}

TEST_F(ChatWindowTest, HelpOpensThePageBesideTheModuleOrSaysItIsMissing) {
    ChooseChatClient();
    const std::string page = HelpPagePath();
    ASSERT_NE(page.find(".html"), std::string::npos) << page;
    std::remove(page.c_str());
    ASSERT_TRUE(dk::testing::ClickButton(ChatWindow(), IDC_HELP_BUTTON));
    EXPECT_TRUE(dk::testing::TakeShellOpens().empty()) << "nothing to open";
    EXPECT_EQ(BoxTexts(), Names{std::string(kHelpPageMissing) + page});

    std::ofstream(page) << "<html></html>";
    ASSERT_TRUE(dk::testing::ClickButton(ChatWindow(), IDC_HELP_BUTTON));
    std::remove(page.c_str());
    EXPECT_EQ(dk::testing::TakeShellOpens(), Names{page});
    EXPECT_TRUE(host.reports().empty());
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_TRUE(g_ChatDlg.IsShown());
}

TEST_F(ChatWindowTest, AppendTextShowsTheEndOnlyWhileShown) {
    ChooseChatClient();
    dk::WindowHandle w = ChatWindow();
    dk::testing::SetControlText(w, IDC_MESSAGE_EDIT, "half typed");
    std::string expected;
    for (int i = 0; i < 30; ++i) {
        const std::string line = "line " + std::to_string(i);
        g_ChatDlg.AppendText(line.c_str());
        g_ChatDlg.AppendText("\r\n\r\n");
        expected += line + "\r\n\r\n";
    }
    g_ChatDlg.AppendText(nullptr);
    EXPECT_EQ(ChatState().m_strTranscript, expected);
    EXPECT_EQ(ControlText(w, IDC_TRANSCRIPT_EDIT), expected);
    EXPECT_GT(dk::testing::FirstVisibleLine(w, IDC_TRANSCRIPT_EDIT), 10) << "scrolled to the end";
    EXPECT_TRUE(dk::IsWindowVisible(dk::ControlOf(w, IDC_TRANSCRIPT_EDIT)))
        << "the box's drawing, held back while it takes the entries, is on again";
    EXPECT_EQ(ControlText(w, IDC_MESSAGE_EDIT), "half typed") << "appending lost the typed text";
    g_ChatDlg.UpdateData(false); // the handlers refresh once more after appending
    EXPECT_GT(dk::testing::FirstVisibleLine(w, IDC_TRANSCRIPT_EDIT), 10)
        << "a refresh with the same transcript must not scroll it back to the top";

    g_ChatDlg.HideAndEndSessions();
    g_ChatDlg.AppendText("while hidden");
    EXPECT_EQ(ChatState().m_strTranscript, expected + "while hidden");
    EXPECT_EQ(ControlText(w, IDC_TRANSCRIPT_EDIT), expected) << "a hidden window is not touched";

    // Shown again, the box catches up, so that the next capture keeps what was
    // appended meanwhile, and the next append adds to it.
    ChooseChatClient();
    EXPECT_EQ(ControlText(w, IDC_TRANSCRIPT_EDIT), expected + "while hidden");
    ASSERT_TRUE(g_ChatDlg.UpdateData(true));
    EXPECT_EQ(ChatState().m_strTranscript, expected + "while hidden");
    g_ChatDlg.AppendText("after");
    EXPECT_EQ(ControlText(w, IDC_TRANSCRIPT_EDIT), expected + "while hiddenafter");
}

TEST_F(ChatWindowTest, LongTranscriptIsNotCutOff) {
    ChooseChatClient();
    const std::string block(1000, 'x');
    for (int i = 0; i < 40; ++i) {
        g_ChatDlg.AppendText(block.c_str());
        g_ChatDlg.AppendText("\r\n\r\n");
    }
    EXPECT_EQ(ControlText(ChatWindow(), IDC_TRANSCRIPT_EDIT).size(), 40u * 1004u);
}

// Past either limit the oldest whole entries go, down to three quarters of both, and
// the box shows exactly what the member holds. Most entries are appended hidden, where
// they touch no control, so that the real edit control under Wine is quick too.
TEST_F(ChatWindowTest, TranscriptKeepsItsLimitsInWholeEntries) {
    const auto entry = [](const std::string& text) { return text + "\r\n\r\n"; };
    const auto append = [&](const std::string& text) { g_ChatDlg.AppendText(entry(text).c_str()); };
    const auto shown = [&] { return ControlText(ChatWindow(), IDC_TRANSCRIPT_EDIT); };
    // Texts of megabytes are compared, not printed.
    ChooseChatClient();
    g_ChatDlg.HideAndEndSessions();
    for (std::size_t i = 0; i < TranscriptEntries::kMaxEntries; ++i)
        append("entry " + std::to_string(i));
    EXPECT_EQ(ChatState().m_strTranscript.rfind(entry("entry 0"), 0), 0u) << "trimmed too soon";

    ChooseChatClient();
    append("entry 10000");
    std::string& transcript = ChatState().m_strTranscript;
    EXPECT_EQ(transcript.rfind(entry("entry 2501"), 0), 0u) << "7,500 entries are kept";
    EXPECT_TRUE(shown() == transcript);

    const std::string third(TranscriptEntries::kMaxBytes / 3, 't');
    append(third);
    append(third);
    EXPECT_TRUE(shown() == transcript);
    append(third);
    EXPECT_TRUE(transcript == entry(third) + entry(third)) << "past 4 MiB: down to 3 MiB";
    EXPECT_TRUE(shown() == transcript) << "the box lost the same head";

    g_ChatDlg.HideAndEndSessions();
    const std::string huge(TranscriptEntries::kMaxBytes + 1, 'h');
    append(huge);
    EXPECT_TRUE(transcript == entry(huge)) << "a line over the limit is kept whole, alone";
}

// The text lost its last entry without the bookkeeping (a capture keeps only what the
// box holds): the trim that follows still cuts before an entry.
TEST(TranscriptEntriesTest, ATrimAfterTheTextLostItsEndStartsAtAnEntry) {
    TranscriptEntries entries;
    std::string text;
    std::size_t cut = 0;
    const auto add = [&](const std::string& entry) {
        text += entry;
        cut = entries.Add(entry.size(), text.size());
        text.erase(0, cut);
    };
    std::size_t i = 0;
    for (; i < TranscriptEntries::kMaxEntries / 2; ++i)
        add("entry " + std::to_string(i) + "\r\n\r\n");
    add("lost\r\n\r\n");
    text.resize(text.size() - 8); // the capture takes it back
    // On to the next add that trims.
    while (cut == 0)
        add("entry " + std::to_string(i++) + "\r\n\r\n");
    EXPECT_EQ(text.rfind("entry ", 0), 0u) << "cut inside an entry: " << text.substr(0, 12);
}

TEST_F(ChatWindowTest, AnEntryInTheBackgroundFlashesTheWindowUntilItIsBroughtForward) {
#if defined(_WIN32)
    GTEST_SKIP() << "only the window manager sees a flash";
#endif
    ChooseChatClient();
    dk::WindowHandle w = ChatWindow();
    g_ChatDlg.AppendText("in front\r\n\r\n");
    EXPECT_EQ(dk::testing::FlashRequests(w), 0) << "the window in front does not flash";
    dk::testing::BringToForeground(nullptr);
    g_ChatDlg.AppendText("behind\r\n\r\n");
    g_ChatDlg.AppendText("still behind\r\n\r\n");
    EXPECT_EQ(dk::testing::FlashRequests(w), 1) << "asked once, it flashes until brought forward";
    dk::testing::BringToForeground(w);
    dk::testing::BringToForeground(nullptr);
    g_ChatDlg.AppendText("behind again\r\n\r\n");
    EXPECT_EQ(dk::testing::FlashRequests(w), 2);
    g_ChatDlg.HideAndEndSessions();
    g_ChatDlg.AppendText("hidden\r\n\r\n");
    EXPECT_EQ(dk::testing::FlashRequests(w), 2) << "a hidden window does not flash";
}

TEST_F(ChatWindowTest, StateDisplayFollowsModeAndSocket) {
    ChooseChatClient();
    dk::WindowHandle w = ChatWindow();
    ChatState().m_nMode = ChatMode::Host;
    g_ChatDlg.UpdateStateDisplay();
    EXPECT_EQ(ControlText(w, IDC_CONNECT_BUTTON), "Closed");
    EXPECT_EQ(dk::testing::WindowTitle(w), "Chat host - closed");
    EXPECT_FALSE(IsControlEnabled(w, IDC_SEND_BUTTON));

    ASSERT_TRUE(ChatState().m_ListenSock.Create());
    g_ChatDlg.UpdateStateDisplay();
    EXPECT_EQ(dk::testing::WindowTitle(w), "Chat host - closed") << "made but not listening";

    ChatState().m_nMode = static_cast<ChatMode>(2);
    g_ChatDlg.UpdateStateDisplay();
    EXPECT_EQ(dk::testing::WindowTitle(w), "");
    EXPECT_EQ(ControlText(w, IDC_CONNECT_BUTTON), "Closed") << "unchanged for an unknown mode";

    ChatState().m_nMode = ChatMode::Guest;
    g_ChatDlg.UpdateStateDisplay();
    EXPECT_EQ(dk::testing::WindowTitle(w), "Chat client - disconnected");
}

TEST_F(ChatWindowTest, DeleteAllGuestsEmptiesTheListInOrder) {
    g_ChatDlg.DeleteAllGuests(); // empty: nothing happens
    for (int i = 0; i < 2; ++i) {
        auto* guest = new CqTcpSock;
        ASSERT_TRUE(guest->Create());
        ChatState().m_GuestSocks.Add(guest);
    }
    host.bench().clearCallLog();
    g_ChatDlg.DeleteAllGuests();
    EXPECT_TRUE(ChatState().m_GuestSocks.IsEmpty());
    EXPECT_EQ(sockets.socketCount(), 0u);
    EXPECT_TRUE(ChatState().m_strTranscript.empty()) << "nothing is appended";
}

TEST_F(ChatWindowTest, WindowThatCannotBeCreatedIsReportedAndTriedAgain) {
    ForgetWindow();
    dk::testing::SetTemplateLookupFails(true);
    ChooseChatClient();
    EXPECT_EQ(host.reports(),
              Names{"CChatDlg::ShowChatWindow error:\r\n - cannot create chat window"});
    EXPECT_FALSE(g_ChatDlg.IsShown());
    EXPECT_FALSE(ChatState().m_bCreated);
    EXPECT_FALSE(g_ChatDlg.HasWindow());
    // Every exchange with the missing window does nothing.
    g_ChatDlg.AppendText("kept");
    g_ChatDlg.UpdateStateDisplay();
    EXPECT_FALSE(g_ChatDlg.UpdateData(true));
    EXPECT_EQ(ChatState().m_strTranscript, "kept");
    g_ChatDlg.HideAndEndSessions();

    dk::testing::SetTemplateLookupFails(false);
    host.clearReports();
    ChooseChatClient();
    ASSERT_TRUE(g_ChatDlg.HasWindow());
    EXPECT_TRUE(g_ChatDlg.IsShown());
    EXPECT_TRUE(dk::testing::IsVisible(ChatWindow()));
    EXPECT_EQ(ControlText(ChatWindow(), IDC_TRANSCRIPT_EDIT), "kept");
    EXPECT_TRUE(host.reports().empty());
}

} // namespace
} // namespace ui_test
