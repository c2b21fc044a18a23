// The transcript box's menu and keys: the items and their states, Find with its wrap
// and case, Save transcript as (the shown text as UTF-8, and a failed save that leaves
// no file), Clear and Show times within the transcript's limits, and the addresses box.
#include "tests/ui/ui_fixture.h"

#include "module/chat/TranscriptEntries.h"
#include "module/ui/TranscriptMenu.h"
#include "module/ui/resource.h"
#include "testkit/text_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace ui_test {
namespace {

namespace fs = std::filesystem;
using dk::testing::ControlText;
using dk::testing::EditSelection;

class TranscriptMenuTest : public ModuleFixture {
protected:
    void TearDown() override {
        SetShowTimes(false);
        ModuleFixture::TearDown();
    }

    dk::WindowHandle ShowWith(const std::vector<std::string>& entries) {
        ChooseChatClient();
        for (const std::string& entry : entries)
            g_ChatDlg.AppendText((entry + "\r\n\r\n").c_str());
        return ChatWindow();
    }
    // The menu over the transcript box, asked for from the keyboard; its items.
    std::vector<dk::MenuItem> OpenMenu(int choice = 0) {
        dk::testing::PushMenuChoice(choice);
        EXPECT_TRUE(dk::testing::AskContextMenu(ChatWindow(), IDC_TRANSCRIPT_EDIT));
        const auto menus = dk::testing::TakeMenus();
        return menus.size() == 1 ? menus.front() : std::vector<dk::MenuItem>();
    }
    void SetShowTimes(bool on) {
        if (ChatWindow() && ChatState().m_bShowTimes != on) OpenMenu(kShowTimesCommand);
    }
    std::pair<int, int> Selection() {
        int start = -1, end = -1;
        EditSelection(ChatWindow(), IDC_TRANSCRIPT_EDIT, start, end);
        return {start, end};
    }
    fs::path TempFolder(const std::string& name) {
        const fs::path folder = fs::temp_directory_path() / ("volubra-" + name);
        fs::remove_all(folder);
        fs::create_directories(folder);
        return folder;
    }
};

const dk::MenuItem* Item(const std::vector<dk::MenuItem>& items, int id) {
    for (const dk::MenuItem& item : items)
        if (item.id == id) return &item;
    return nullptr;
}

TEST_F(TranscriptMenuTest, MenuItemsTheirStatesAndKeys) {
    dk::WindowHandle w = ShowWith({"Guest 'ann' says: \"hi\""});
    auto items = OpenMenu();
    std::vector<std::string> texts;
    for (const dk::MenuItem& item : items)
        texts.push_back(item.text);
    EXPECT_EQ(texts, (Names{"&Copy", "Select &all", "", "&Find...\tCtrl+F",
                            "&Save transcript as...\tCtrl+S", "C&lear transcript", "",
                            "Show &times", "", "This computer's a&ddresses..."}));
    EXPECT_FALSE(Item(items, kCopyCommand)->enabled) << "Copy needs a selection";
    EXPECT_FALSE(Item(items, kShowTimesCommand)->checked) << "times are off at first";

    OpenMenu(kSelectAllCommand);
    const std::string shown = ControlText(w, IDC_TRANSCRIPT_EDIT);
    EXPECT_EQ(Selection(), std::make_pair(0, static_cast<int>(shown.size())));
    OpenMenu(kShowTimesCommand);
    items = OpenMenu();
    EXPECT_TRUE(Item(items, kCopyCommand)->enabled);
    EXPECT_TRUE(Item(items, kShowTimesCommand)->checked);
    EXPECT_EQ(ControlText(w, IDC_TRANSCRIPT_EDIT), shown) << "nothing shown changes";

    // Shift+F10 and the menu key open the same menu; the message box keeps its own.
    dk::testing::PressKey(w, IDC_TRANSCRIPT_EDIT, dk::kVkF10, dk::kModShift);
    dk::testing::PressKey(w, IDC_TRANSCRIPT_EDIT, dk::kVkApps);
    EXPECT_EQ(dk::testing::TakeMenus().size(), 2u);
    dk::testing::PressKey(w, IDC_MESSAGE_EDIT, dk::kVkApps);
    EXPECT_TRUE(dk::testing::TakeMenus().empty());

    // Ctrl+F in the message box opens Find; Ctrl+S proposes a dated name in Documents.
    bool findShown = false;
    dk::testing::PushModalScript(
        [&](dk::WindowHandle dialog) { findShown = dk::testing::WindowTitle(dialog) == "Find"; });
    dk::testing::PressKey(w, IDC_MESSAGE_EDIT, 'F', dk::kModControl);
    EXPECT_TRUE(findShown);
    dk::testing::PressKey(w, IDC_TRANSCRIPT_EDIT, 'S', dk::kModControl);
    const auto requests = dk::testing::TakeSaveAsRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(std::regex_match(requests[0].fileName,
                                 std::regex(R"(Chat \d{4}-\d\d-\d\d \d\d-\d\d\.txt)")))
        << requests[0].fileName;
    EXPECT_EQ(requests[0].folder, dk::DocumentsFolder());
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(TranscriptMenuTest, FindWrapsOnceAndMatchesCaseWhenAsked) {
    dk::WindowHandle w = ShowWith({"Alpha one", "beta alpha two"});
    const std::string& text = ChatState().m_strTranscript;
    const int first = 0, second = static_cast<int>(text.find("alpha"));
    // One Find dialog: each step types, sets the options and clicks Find Next.
    std::vector<std::pair<int, int>> found;
    dk::testing::PushModalScript([&](dk::WindowHandle find) {
        const auto findNext = [&](const std::string& what, bool matchCase, bool down) {
            dk::testing::SetControlText(find, IDC_FIND_TEXT_EDIT, what);
            dk::testing::SetChecked(find, IDC_FIND_MATCH_CASE, matchCase);
            dk::testing::SetChecked(find, IDC_FIND_UP, !down);
            dk::testing::SetChecked(find, IDC_FIND_DOWN, down);
            dk::testing::ClickButton(find, dk::kIdOkCommand);
            found.push_back(Selection());
        };
        findNext("alpha", false, true); // from the end: round to the top
        findNext("alpha", false, true);
        findNext("alpha", false, true); // past the last: round again
        findNext("alpha", true, true);  // only the small one matches
        findNext("alpha", true, false); // up from it: round to the bottom, itself
        findNext("ALPHA", true, true);  // nowhere: said once, selection kept
        findNext("", false, true);      // nothing to look for: nothing happens
        dk::testing::ClickButton(find, dk::kIdCancelCommand);
    });
    ASSERT_TRUE(dk::testing::PressKey(w, IDC_TRANSCRIPT_EDIT, 'F', dk::kModControl));
    const std::pair<int, int> atFirst{first, first + 5}, atSecond{second, second + 5};
    EXPECT_EQ(found, (std::vector<std::pair<int, int>>{atFirst, atSecond, atFirst, atSecond,
                                                       atSecond, atSecond, atSecond}));
    EXPECT_EQ(BoxTexts(), Names{"Cannot find \"ALPHA\""});
    // F3 searches again with the last text and options, without the dialog.
    dk::testing::PressKey(w, IDC_TRANSCRIPT_EDIT, dk::kVkF3);
    EXPECT_EQ(BoxTexts(), Names{"Cannot find \"ALPHA\""});
}

// EM_GETSEL's packed answer holds 16 bits a position: past 64 KiB the selection must be
// read whole, or F3 finds the same match again and again.
TEST_F(TranscriptMenuTest, FindNextGoesOnPastTheFirst64KiB) {
    std::vector<std::string> entries(2000, std::string(60, '.'));
    entries[1100] = entries[1999] = "needle";
    dk::WindowHandle w = ShowWith(entries);
    const std::string& text = ChatState().m_strTranscript;
    const int first = static_cast<int>(text.find("needle"));
    const int second = static_cast<int>(text.rfind("needle"));
    ASSERT_GT(first, 0xFFFF);
    dk::testing::PushModalScript([&](dk::WindowHandle find) {
        dk::testing::SetControlText(find, IDC_FIND_TEXT_EDIT, "needle");
        dk::testing::ClickButton(find, dk::kIdOkCommand);
    });
    dk::testing::PressKey(w, IDC_TRANSCRIPT_EDIT, 'F', dk::kModControl);
    EXPECT_EQ(Selection(), std::make_pair(first, first + 6));
    dk::testing::PressKey(w, IDC_TRANSCRIPT_EDIT, dk::kVkF3);
    EXPECT_EQ(Selection(), std::make_pair(second, second + 6));
    dk::testing::PressKey(w, IDC_TRANSCRIPT_EDIT, dk::kVkF3);
    EXPECT_EQ(Selection(), std::make_pair(first, first + 6)) << "round to the first again";
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(TranscriptMenuTest, SaveWritesTheShownTextAsUtf8AndAFailedSaveLeavesNoFile) {
#if defined(_WIN32)
    const bool westernCodePage = ::GetACP() == 1252;
#else
    const bool westernCodePage = false; // natively the text is UTF-8 already
#endif
    // "café" in the code page: é is one byte (0xE9) in Windows-1252, two in UTF-8.
    const std::string cafe = westernCodePage ? "caf\xE9" : "caf\xC3\xA9";
    ShowWith({"Guest 'ann' says: \"" + cafe + "\"", "Guest 'bob' has joined host"});
    const std::string shown = ControlText(ChatWindow(), IDC_TRANSCRIPT_EDIT);
    const fs::path folder = TempFolder("save");
    const fs::path target = folder / "chat.txt";
    dk::testing::PushSaveAsAnswer(target.u8string());
    OpenMenu(kSaveTranscriptCommand);
    std::string expected = "\xEF\xBB\xBF" + shown;
    const std::size_t at = expected.find(cafe);
    ASSERT_NE(at, std::string::npos);
    expected.replace(at, cafe.size(), "caf\xC3\xA9");
    EXPECT_TRUE(testsupport::ReadFile(target.string()) == expected)
        << "UTF-8 with a BOM, CRLF as shown";
    EXPECT_TRUE(BoxTexts().empty());

    // The chosen name is a folder: the write fails at its last step and leaves nothing.
    const fs::path taken = folder / "taken.txt";
    fs::create_directory(taken);
    dk::testing::PushSaveAsAnswer(taken.u8string());
    OpenMenu(kSaveTranscriptCommand);
    auto boxes = BoxTexts();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("Cannot save the transcript to \"" + taken.u8string() + "\".\r\n", 0),
              0u)
        << boxes[0];
    EXPECT_NE(boxes[0].find("(error "), std::string::npos) << "the system's error, with its number";
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2)
        << "no temporary file is left";

    // A read-only folder, where the system enforces it (not for an administrator).
    const fs::path readOnly = TempFolder("save-read-only");
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_exec);
    const bool enforced = !std::ofstream(readOnly / "probe");
    fs::remove(readOnly / "probe");
    if (enforced) {
        dk::testing::PushSaveAsAnswer((readOnly / "chat.txt").u8string());
        OpenMenu(kSaveTranscriptCommand);
        EXPECT_EQ(BoxTexts().size(), 1u);
        EXPECT_TRUE(fs::is_empty(readOnly));
    }
    fs::permissions(readOnly, fs::perms::owner_all);
    EXPECT_EQ(ControlText(ChatWindow(), IDC_TRANSCRIPT_EDIT), shown) << "the transcript is kept";
    fs::remove_all(readOnly);
    fs::remove_all(folder);
}

// The long entries are appended while the window is hidden, where they touch no
// control, and never shown, so that the real edit control under Wine is quick too
// (the box's own limits are the chat window's tests').
TEST_F(TranscriptMenuTest, ClearAndShowTimesKeepTheTranscriptLimits) {
    const auto shown = [&] { return ControlText(ChatWindow(), IDC_TRANSCRIPT_EDIT); };
    const auto appendHidden = [&](const std::string& line, int times) {
        g_ChatDlg.HideAndEndSessions();
        for (int i = 0; i < times; ++i)
            g_ChatDlg.AppendText((line + "\r\n\r\n").c_str());
        ChooseChatClient();
    };
    std::string& transcript = ChatState().m_strTranscript;
    // Three entries that fit within 4 MiB, and would not with a time before each.
    const std::string line(TranscriptEntries::kMaxBytes / 3 - 8, 'x');
    ChooseChatClient();
    appendHidden(line, 3);
    EXPECT_EQ(transcript.size(), 3 * (line.size() + 4));
    OpenMenu(kClearTranscriptCommand);
    EXPECT_TRUE(transcript.empty());
    EXPECT_EQ(shown(), "");
    g_ChatDlg.AppendText("after\r\n\r\n");
    EXPECT_EQ(transcript, "after\r\n\r\n") << "the next entry starts a fresh transcript";
    EXPECT_EQ(shown(), transcript);

    OpenMenu(kClearTranscriptCommand);
    OpenMenu(kShowTimesCommand);
    appendHidden(line, 3);
    EXPECT_EQ(transcript.size(), 2 * (8 + line.size() + 4)) << "the times count: one went";
    EXPECT_TRUE(std::regex_match(transcript.substr(0, 8), std::regex(R"(\[\d\d:\d\d\] )")))
        << transcript.substr(0, 8);
    EXPECT_TRUE(transcript.compare(8, line.size() + 4, line + "\r\n\r\n") == 0);
}

TEST_F(TranscriptMenuTest, TheAddressesBoxListsLoopbackLastAndWhatOutsideGuestsNeed) {
    ShowWith({});
    OpenMenu(kAddressesCommand);
    auto boxes = BoxTexts();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("This computer's addresses:\r\n", 0), 0u) << boxes[0];
    const std::size_t loopback = boxes[0].find("\r\n127.0.0.1 (this computer only)");
    EXPECT_NE(loopback, std::string::npos) << boxes[0];
    EXPECT_NE(boxes[0].find("127.0.0.1 (this computer only)\r\n\r\nGuests outside this network"),
              std::string::npos)
        << "loopback last, then the one sentence";
    EXPECT_NE(boxes[0].find("need the router's public address and a port forwarded to this "
                            "computer, and the firewall must let the port through."),
              std::string::npos);
}

} // namespace
} // namespace ui_test
