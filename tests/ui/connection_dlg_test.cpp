// The connection settings dialog run modally as the chat window runs it, with a
// script in the user's place: the first opening, the address box by mode, the port
// and address validation, and Cancel.
#include "tests/ui/ui_fixture.h"

#include "devhost/hostapi/app_icon.h"
#include "module/chat/ChatLines.h"
#include "module/ui/ConnectionDlg.h"
#include "module/ui/resource.h"

namespace ui_test {
namespace {

using dk::testing::ClickButton;
using dk::testing::ControlText;
using dk::testing::SetControlText;

constexpr const char* kBadPort = "Please enter a valid port number.";
constexpr const char* kNotANumber = "Please enter a positive integer.";
constexpr const char* kBadAddress = "Please enter a valid IP address.";
constexpr const char* kLongNickname = "Please enter a nickname of at most 256 bytes.";

class ConnectionDlgTest : public ModuleFixture {
protected:
    // Runs the dialog filled with the chat window's defaults; the script acts in it.
    int Run(dk::testing::ModalScript script) {
        dlg.m_nMode = ChatState().m_nMode;
        dlg.m_strHostAddr = ChatState().m_strHostAddr;
        dlg.m_nPort = static_cast<std::uint32_t>(ChatState().m_nPort);
        dlg.m_strNickname = ChatState().m_strNickname;
        dk::testing::PushModalScript(std::move(script));
        return dlg.DoModal();
    }
    // Types a port (and an address), clicks OK, and returns the boxes shown; the
    // dialog is then cancelled if it stayed open.
    Names TryPort(const std::string& port, ChatMode mode = ChatMode::Guest,
                  const std::string& address = "127.0.0.1") {
        bool stayedOpen = false;
        Run([&](dk::WindowHandle w) {
            if (mode == ChatMode::Host)
                dk::testing::SelectComboItem(w, IDC_MODE_COMBO, ModeItem(ChatMode::Host));
            SetControlText(w, IDC_HOST_ADDR_EDIT, address);
            SetControlText(w, IDC_PORT_EDIT, port);
            ClickButton(w, dk::kIdOkCommand);
            stayedOpen = dk::testing::IsVisible(w);
            if (stayedOpen) ClickButton(w, dk::kIdCancelCommand);
        });
        lastStayedOpen = stayedOpen;
        return BoxTexts();
    }

    CConnectionDlg dlg;
    bool lastStayedOpen = false;
};

TEST_F(ConnectionDlgTest, NicknameBoxTakesNoMoreThanAHostAccepts) {
    const std::string pasted(chatlines::kMaxNicknameBytes + 44, 'n');
    for (const ChatMode mode : {ChatMode::Guest, ChatMode::Host}) {
        Run([&](dk::WindowHandle w) {
            dk::testing::SelectComboItem(w, IDC_MODE_COMBO, ModeItem(mode));
            // Typing and pasting replace the selection, which honours the box's limit.
            dk::SendMsg(dk::ControlOf(w, IDC_NICKNAME_EDIT), dk::kEmReplaceSel, 0,
                        reinterpret_cast<dk::LParam>(pasted.c_str()));
            ClickButton(w, dk::kIdOkCommand);
        });
        EXPECT_EQ(dlg.m_strNickname, pasted.substr(0, chatlines::kMaxNicknameBytes))
            << "mode " << ModeItem(mode);
    }
}

// The box's limit counts characters where the box stores UTF-16 (200 double-byte
// characters are 400 bytes): OK counts the bytes. Setting the text passes the limit
// the same way here.
TEST_F(ConnectionDlgTest, NicknameOverTheLimitInBytesKeepsTheDialogOpen) {
    for (const std::size_t bytes : {chatlines::kMaxNicknameBytes + 1, std::size_t{400}}) {
        const std::string nickname(bytes, 'n');
        bool stayedOpen = false;
        Run([&](dk::WindowHandle w) {
            SetControlText(w, IDC_NICKNAME_EDIT, nickname);
            ClickButton(w, dk::kIdOkCommand);
            stayedOpen = dk::testing::IsVisible(w);
            if (stayedOpen) ClickButton(w, dk::kIdCancelCommand);
        });
        EXPECT_TRUE(stayedOpen) << bytes << " bytes";
        EXPECT_EQ(BoxTexts(), Names{kLongNickname}) << bytes << " bytes";
    }
    const std::string longest(chatlines::kMaxNicknameBytes, 'n');
    Run([&](dk::WindowHandle w) {
        SetControlText(w, IDC_NICKNAME_EDIT, longest);
        ClickButton(w, dk::kIdOkCommand);
    });
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(dlg.m_strNickname, longest);
}

TEST_F(ConnectionDlgTest, FirstOpeningShowsTheDefaults) {
    const int result = Run([](dk::WindowHandle w) {
        EXPECT_EQ(dk::testing::WindowTitle(w), "Connection settings");
        EXPECT_EQ(dk::testing::ComboItems(w, IDC_MODE_COMBO), (Names{"Guest", "Host"}));
        EXPECT_EQ(dk::testing::ComboSelection(w, IDC_MODE_COMBO), ModeItem(ChatMode::Guest));
        EXPECT_EQ(ControlText(w, IDC_HOST_ADDR_EDIT), "127.0.0.1");
        EXPECT_TRUE(dk::testing::IsControlEnabled(w, IDC_HOST_ADDR_EDIT));
        EXPECT_EQ(ControlText(w, IDC_PORT_EDIT), "8080");
        EXPECT_EQ(ControlText(w, IDC_NICKNAME_EDIT), "");
        EXPECT_EQ(dk::testing::FocusedControlId(w), dk::kIdOkCommand);
        EXPECT_EQ(dk::testing::BigIcon(w), devhost::applicationIconHandle());
        EXPECT_TRUE(ClickButton(w, dk::kIdOkCommand));
    });
    EXPECT_EQ(result, dk::kIdOkCommand);
    EXPECT_EQ(dlg.m_nMode, ChatMode::Guest);
    EXPECT_EQ(dlg.m_strHostAddr, "127.0.0.1");
    EXPECT_EQ(dlg.m_nPort, 8080u);
    EXPECT_EQ(dlg.m_strNickname, "");
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(ConnectionDlgTest, HostModeDisablesTheAddressAndKeepsItsText) {
    const int result = Run([](dk::WindowHandle w) {
        ASSERT_TRUE(dk::testing::SelectComboItem(w, IDC_MODE_COMBO, ModeItem(ChatMode::Host)));
        EXPECT_FALSE(dk::testing::IsControlEnabled(w, IDC_HOST_ADDR_EDIT));
        EXPECT_EQ(ControlText(w, IDC_HOST_ADDR_EDIT), "127.0.0.1");
        EXPECT_TRUE(dk::testing::IsControlEnabled(w, IDC_PORT_EDIT));
        EXPECT_TRUE(dk::testing::IsControlEnabled(w, IDC_NICKNAME_EDIT));
        ASSERT_TRUE(dk::testing::SelectComboItem(w, IDC_MODE_COMBO, ModeItem(ChatMode::Guest)));
        EXPECT_TRUE(dk::testing::IsControlEnabled(w, IDC_HOST_ADDR_EDIT));
        ASSERT_TRUE(dk::testing::SelectComboItem(w, IDC_MODE_COMBO, ModeItem(ChatMode::Host)));
        SetControlText(w, IDC_NICKNAME_EDIT, "Ann");
        EXPECT_TRUE(ClickButton(w, dk::kIdOkCommand));
    });
    EXPECT_EQ(result, dk::kIdOkCommand);
    EXPECT_EQ(dlg.m_nMode, ChatMode::Host);
    EXPECT_EQ(dlg.m_strHostAddr, "127.0.0.1") << "a disabled box is still exchanged";
    EXPECT_EQ(dlg.m_strNickname, "Ann");
}

TEST_F(ConnectionDlgTest, OpeningInHostModeStartsWithTheAddressDisabled) {
    ChatState().m_nMode = ChatMode::Host;
    Run([](dk::WindowHandle w) {
        EXPECT_EQ(dk::testing::ComboSelection(w, IDC_MODE_COMBO), ModeItem(ChatMode::Host));
        EXPECT_FALSE(dk::testing::IsControlEnabled(w, IDC_HOST_ADDR_EDIT));
    });
}

TEST_F(ConnectionDlgTest, PortValidation) {
    struct Case {
        const char* port;
        const char* box; // null: accepted
        std::uint32_t value;
    };
    const Case cases[] = {
        {"65535", nullptr, 65535},    {"1", nullptr, 1},    {"  8080abc", nullptr, 8080},
        {"65536", kBadPort, 0},       {"0", kBadPort, 0},   {"-1", kBadPort, 0},
        {"99999999999", kBadPort, 0}, {"", kNotANumber, 0}, {"abc", kNotANumber, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("port \"") + c.port + "\"");
        const Names boxes = TryPort(c.port);
        if (c.box) {
            EXPECT_EQ(boxes, Names{c.box});
            EXPECT_TRUE(lastStayedOpen);
        } else {
            EXPECT_TRUE(boxes.empty());
            EXPECT_FALSE(lastStayedOpen);
            EXPECT_EQ(dlg.m_nPort, c.value);
        }
    }
}

TEST_F(ConnectionDlgTest, PortWithoutNumberSelectsThePortBox) {
    Run([](dk::WindowHandle w) {
        SetControlText(w, IDC_PORT_EDIT, "port");
        SetControlText(w, IDC_NICKNAME_EDIT, "unread");
        ClickButton(w, dk::kIdOkCommand);
        EXPECT_EQ(dk::testing::FocusedControlId(w), IDC_PORT_EDIT);
        int start = -1, end = -1;
        dk::testing::EditSelection(w, IDC_PORT_EDIT, start, end);
        EXPECT_EQ(start, 0);
        EXPECT_EQ(end, 4);
    });
    EXPECT_EQ(dlg.m_nPort, 8080u) << "the port keeps its value";
    EXPECT_EQ(dlg.m_strNickname, "") << "the nickname after the port is not read";
    EXPECT_EQ(BoxTexts(), Names{kNotANumber});
}

TEST_F(ConnectionDlgTest, AddressRules) {
    EXPECT_TRUE(TryPort("8080", ChatMode::Guest, " ").empty())
        << "an address of one space is accepted";
    EXPECT_FALSE(lastStayedOpen);
    EXPECT_EQ(dlg.m_strHostAddr, " ");
    EXPECT_EQ(TryPort("8080", ChatMode::Guest, ""), Names{kBadAddress});
    EXPECT_TRUE(lastStayedOpen);
    EXPECT_EQ(TryPort("0", ChatMode::Guest, ""), Names{kBadPort}) << "the port is tested first";
    EXPECT_TRUE(TryPort("8080", ChatMode::Host, "").empty()) << "a host needs no address";
    EXPECT_FALSE(lastStayedOpen);
    EXPECT_EQ(TryPort("65536", ChatMode::Host, ""), Names{kBadPort});
}

TEST_F(ConnectionDlgTest, CancelKeepsEverySetting) {
    dlg.m_nMode = ChatMode::Guest;
    const int result = Run([](dk::WindowHandle w) {
        dk::testing::SelectComboItem(w, IDC_MODE_COMBO, ModeItem(ChatMode::Host));
        SetControlText(w, IDC_HOST_ADDR_EDIT, "10.1.2.3");
        SetControlText(w, IDC_PORT_EDIT, "1234");
        SetControlText(w, IDC_NICKNAME_EDIT, "Bob");
        EXPECT_TRUE(ClickButton(w, dk::kIdCancelCommand));
    });
    EXPECT_EQ(result, dk::kIdCancelCommand);
    EXPECT_EQ(dlg.m_strHostAddr, "127.0.0.1");
    EXPECT_EQ(dlg.m_nPort, 8080u);
    EXPECT_EQ(dlg.m_strNickname, "");
    // The close box cancels the same way.
    EXPECT_EQ(Run([](dk::WindowHandle w) { dk::testing::CloseDialog(w); }), dk::kIdCancelCommand);
    EXPECT_EQ(ChatState().m_strHostAddr, "127.0.0.1");
    EXPECT_EQ(ChatState().m_nPort, 8080);
    EXPECT_EQ(ChatState().m_nMode, ChatMode::Guest);
}

} // namespace
} // namespace ui_test
