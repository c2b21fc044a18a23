// The transcript box's menu and keys in real windows (Windows, and Wine). The module is
// linked in and no driver is installed, so the menu is a real TrackPopupMenu, Save As
// the system's own dialog and every box a real MessageBox. The user's part is real
// input (SendInput: the mouse and the keyboard), given from a thread timer inside each
// modal loop, which dispatches it: a script of steps, each waiting for what a user would
// wait for (the menu open, a dialog shown, a match selected) before the next input, all
// within one deadline, past which everything open is cancelled and the test fails.
#include "devhost/hostapi/host_api.h"
#include "devhost/nxtcpsock/nx_tcp_sock.h"
#include "module/chat/ChatDlg.h"
#include "module/exports.h"
#include "module/plugin/CExtAPI.h"
#include "module/ui/TranscriptMenu.h"
#include "module/ui/resource.h"
#include "testkit/chat_dlg_access.h"
#include "testkit/text_file.h"
#include "testkit/volubra_exports.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace {

constexpr DWORD kScriptLimitMs = 20000;
constexpr UINT kTickMs = 10;
constexpr UINT kMnGetHMenu = 0x01E1; // a popup menu window's menu
constexpr int kBoxTextControlId = 0xFFFF;
constexpr int kEntriesOfAFullDay = 10000;

// --- Real input ---------------------------------------------------------------------

INPUT KeyInput(WORD virtualKey, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

void Send(std::vector<INPUT> inputs) {
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// A key pressed and let go, with a modifier (VK_SHIFT, VK_CONTROL) held around it.
void Press(WORD virtualKey, WORD modifier = 0) {
    std::vector<INPUT> inputs;
    if (modifier) inputs.push_back(KeyInput(modifier, false));
    inputs.push_back(KeyInput(virtualKey, false));
    inputs.push_back(KeyInput(virtualKey, true));
    if (modifier) inputs.push_back(KeyInput(modifier, true));
    Send(inputs);
}

// Typed as characters, whatever the keyboard layout.
void Type(const std::wstring& text) {
    std::vector<INPUT> inputs;
    for (wchar_t c : text)
        for (bool up : {false, true}) {
            INPUT input = {};
            input.type = INPUT_KEYBOARD;
            input.ki.wScan = c;
            input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
            inputs.push_back(input);
        }
    Send(inputs);
}

// Each event carries the point: a warped cursor may reach the window system later.
void ClickAt(POINT screen, bool right = false) {
    const int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
    std::vector<INPUT> inputs(3);
    const DWORD buttons[] = {
        MOUSEEVENTF_MOVE, static_cast<DWORD>(right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN),
        static_cast<DWORD>(right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP)};
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        inputs[i].type = INPUT_MOUSE;
        inputs[i].mi.dx = (screen.x * 65536 + width / 2) / width;
        inputs[i].mi.dy = (screen.y * 65536 + height / 2) / height;
        inputs[i].mi.dwFlags = buttons[i] | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    }
    Send(inputs);
}

POINT CentreOf(const RECT& r) {
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void ClickWindow(HWND window, bool right = false) {
    RECT r{};
    ::GetWindowRect(window, &r);
    ClickAt(CentreOf(r), right);
}

// --- What the user sees -------------------------------------------------------------

HWND OpenMenu() {
    HWND menu = ::FindWindowA("#32768", nullptr);
    return menu && ::IsWindowVisible(menu) ? menu : nullptr;
}

HMENU MenuOf(HWND menuWindow) {
    return reinterpret_cast<HMENU>(::SendMessageA(menuWindow, kMnGetHMenu, 0, 0));
}

// The open menu's item's state (MF_GRAYED, MF_CHECKED); ~0u when there is no such item.
UINT OpenItemState(int command) {
    HWND menu = OpenMenu();
    return menu ? ::GetMenuState(MenuOf(menu), command, MF_BYCOMMAND) : ~0u;
}

// Clicks the open menu's item.
void ClickItem(int command) {
    HMENU menu = MenuOf(OpenMenu());
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        RECT r{};
        if (static_cast<int>(::GetMenuItemID(menu, i)) == command &&
            ::GetMenuItemRect(nullptr, menu, i, &r))
            ClickAt(CentreOf(r));
    }
}

HWND ShownDialog(const char* title) {
    HWND dialog = ::FindWindowA("#32770", title);
    return dialog && ::IsWindowVisible(dialog) ? dialog : nullptr;
}

// The Find dialog, shown with the focus in its text box, where typing goes.
bool FindTakesTyping() {
    HWND find = ShownDialog("Find");
    return find && ::GetFocus() == ::GetDlgItem(find, IDC_FIND_TEXT_EDIT);
}

struct BoxSearch {
    std::string prefix;
    HWND found = nullptr;
};

BOOL CALLBACK TakeBox(HWND window, LPARAM search) {
    auto* s = reinterpret_cast<BoxSearch*>(search);
    char className[16] = {}, text[4096] = {};
    ::GetClassNameA(window, className, sizeof className);
    HWND textControl = ::GetDlgItem(window, kBoxTextControlId);
    if (std::string(className) != "#32770" || !::IsWindowVisible(window) || !textControl)
        return TRUE;
    ::GetWindowTextA(textControl, text, sizeof text);
    if (std::string(text).rfind(s->prefix, 0) != 0) return TRUE;
    s->found = window;
    return FALSE;
}

// A message box of this thread whose text begins with prefix.
HWND BoxSaying(const std::string& prefix) {
    BoxSearch search{prefix};
    ::EnumThreadWindows(::GetCurrentThreadId(), &TakeBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK TakeNameBox(HWND window, LPARAM found) {
    char className[16] = {}, text[MAX_PATH] = {};
    ::GetClassNameA(window, className, sizeof className);
    ::GetWindowTextA(window, text, sizeof text);
    if (_stricmp(className, "Edit") != 0 ||
        !std::regex_match(text, std::regex(R"(Chat \d{4}-\d\d-\d\d \d\d-\d\d\.txt)")))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The Save As dialog's file name box, which shows the proposed name.
HWND FileNameBox(HWND saveAs) {
    HWND found = nullptr;
    ::EnumChildWindows(saveAs, &TakeNameBox, reinterpret_cast<LPARAM>(&found));
    return found;
}

BOOL CALLBACK CancelOne(HWND window, LPARAM chat) {
    if (window != reinterpret_cast<HWND>(chat) && ::IsWindowVisible(window))
        ::PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

// --- Scripts of steps ---------------------------------------------------------------

// Steps run from a thread timer, which every modal loop dispatches: each waits until
// ready() holds, then gives its input. The input goes to whatever loop is running.
class Script {
public:
    using Check = std::function<bool()>;
    using Act = std::function<void()>;

    Script& Then(std::string waitingFor, Check ready, Act act = {}) {
        m_steps.push_back({std::move(waitingFor), std::move(ready), std::move(act)});
        return *this;
    }
    // Gives the first input, then runs the thread's messages until every step has run.
    // Empty when all ran; else the step still waited for at the deadline.
    std::string Run(HWND chat, const Act& first) {
        s_running = this;
        m_chat = chat;
        m_deadline = ::GetTickCount() + kScriptLimitMs;
        const UINT_PTR timer = ::SetTimer(nullptr, 0, kTickMs, &Script::Tick);
        first();
        // Back here, every modal loop has ended: once the steps are done (or dropped at
        // the deadline), nothing is left open.
        while (!m_steps.empty()) {
            MSG message;
            if (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            } else {
                ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kTickMs, QS_ALLINPUT);
            }
        }
        ::KillTimer(nullptr, timer);
        s_running = nullptr;
        return m_missed;
    }

private:
    struct Step {
        std::string waitingFor;
        Check ready;
        Act act;
    };

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (s_running) s_running->OnTick();
    }
    void OnTick() {
        if (!m_missed.empty()) {
            Cancel(); // until every loop has ended
            return;
        }
        if (m_steps.empty() || m_acting) return;
        if (static_cast<LONG>(::GetTickCount() - m_deadline) > 0) {
            m_missed = m_steps.front().waitingFor;
            m_steps.clear();
            Cancel();
            return;
        }
        if (!m_steps.front().ready()) return;
        const Step step = m_steps.front();
        m_steps.pop_front();
        m_acting = true;
        if (step.act) step.act();
        m_acting = false;
    }
    void Cancel() {
        ::EndMenu();
        ::EnumThreadWindows(::GetCurrentThreadId(), &CancelOne, reinterpret_cast<LPARAM>(m_chat));
    }

    static Script* s_running;
    std::deque<Step> m_steps;
    std::string m_missed;
    HWND m_chat = nullptr;
    DWORD m_deadline = 0;
    bool m_acting = false;
};

Script* Script::s_running = nullptr;

// --- Text as the box shows it and as the file holds it ------------------------------

std::wstring WideFrom(const std::string& text, UINT codePage) {
    const int n =
        ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::string BytesOf(const std::wstring& wide, UINT codePage) {
    BOOL lossy = FALSE;
    BOOL* lossyOut = codePage == CP_UTF8 ? nullptr : &lossy;
    const int n = ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                        nullptr, 0, nullptr, lossyOut);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), &bytes[0], n,
                          nullptr, lossyOut);
    return lossy ? std::string() : bytes;
}

std::string BoxText(HWND box) {
    std::string text(static_cast<std::size_t>(::GetWindowTextLengthA(box)) + 1, '\0');
    text.resize(
        static_cast<std::size_t>(::GetWindowTextA(box, &text[0], static_cast<int>(text.size()))));
    return text;
}

std::string ClipboardText() {
    std::string text;
    if (!::OpenClipboard(nullptr)) return text;
    if (HANDLE data = ::GetClipboardData(CF_TEXT)) {
        if (const char* locked = static_cast<const char*>(::GlobalLock(data))) text = locked;
        ::GlobalUnlock(data);
    }
    ::CloseClipboard();
    return text;
}

void EmptyClipboard() {
    if (!::OpenClipboard(nullptr)) return;
    ::EmptyClipboard();
    ::CloseClipboard();
}

std::pair<int, int> Selection(HWND box) {
    DWORD start = 0, end = 0;
    ::SendMessageA(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
    return {static_cast<int>(start), static_cast<int>(end)};
}

// The character at index is drawn inside the box's client area.
bool InView(HWND box, int index) {
    const LRESULT at = ::SendMessageA(box, EM_POSFROMCHAR, static_cast<WPARAM>(index), 0);
    if (at == -1) return false;
    RECT client{};
    ::GetClientRect(box, &client);
    const POINT p{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    return ::PtInRect(&client, p) != 0;
}

// The share of dark pixels along the top row of the characters [start, end) as the box
// shows them, above their letters: a selection is marked on dark, other text on light.
double DarkShare(HWND box, int start, int end) {
    const LRESULT from = ::SendMessageA(box, EM_POSFROMCHAR, static_cast<WPARAM>(start), 0);
    const LRESULT to = ::SendMessageA(box, EM_POSFROMCHAR, static_cast<WPARAM>(end), 0);
    HDC dc = ::GetDC(box);
    const int y = static_cast<short>(HIWORD(from));
    int dark = 0, all = 0;
    for (int x = static_cast<short>(LOWORD(from)); x < static_cast<short>(LOWORD(to)); ++x, ++all) {
        const COLORREF c = ::GetPixel(dc, x, y);
        if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128) ++dark;
    }
    ::ReleaseDC(box, dc);
    return all ? static_cast<double>(dark) / all : 0.0;
}

std::wstring TempFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring folder =
        std::wstring(buffer, length) + L"volubra-menu-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::string ReadWhole(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes(::GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ::ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    ::CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

// --- The fixture --------------------------------------------------------------------

class RealMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_ExtAPI = CExtAPI();
        hID = host.addPlugin("Volubra", &volubra_test::ResolveVolubraExport);
        ASSERT_TRUE(sockets.registerFunctions());
        ASSERT_TRUE(ExtInitPlugin(reinterpret_cast<QARG>(devhost::HostApi::lookupRoutine()), hID));
        g_ChatDlg.HideAndEndSessions();
        ChatState().m_strTranscript.clear();
        ChatState().m_bShowTimes = false;
        folder = TempFolder();
        EmptyClipboard();
    }
    void TearDown() override {
        g_ChatDlg.HideAndEndSessions();
        ChatState().m_bShowTimes = false;
        for (const wchar_t* name : {L"\\saved.txt", L"\\typed.txt"})
            ::DeleteFileW((folder + name).c_str());
        ::RemoveDirectoryW(folder.c_str());
        g_ExtAPI = CExtAPI();
    }

    // The entries go in while the window is hidden, where they touch no control; the
    // window then shows them in one piece, with the focus in the transcript box.
    void ShowWith(const std::vector<std::string>& lines) {
        for (const std::string& line : lines)
            g_ChatDlg.AppendText((line + "\r\n\r\n").c_str());
        ASSERT_TRUE(host.chooseMenuEntry("Chat client"));
        chat = static_cast<HWND>(g_ChatDlg.GetSafeHwnd());
        box = ::GetDlgItem(chat, IDC_TRANSCRIPT_EDIT);
        ::SetForegroundWindow(chat);
        ::SetFocus(box);
        ASSERT_EQ(::GetFocus(), box);
    }
    // Runs a script whose first input is given by first; fails the test on its deadline.
    void Run(Script& script, const Script::Act& first) {
        const std::string missed = script.Run(chat, first);
        EXPECT_EQ(missed, "") << "still waiting at the deadline";
    }
    static Script::Check MenuShown() {
        return [] { return OpenMenu() != nullptr; };
    }
    static Script::Check NothingOpen() {
        return [] { return !OpenMenu() && !ShownDialog("Find") && !ShownDialog("Save As"); };
    }
    Script::Check SelectionIs(std::pair<int, int> wanted) const {
        HWND b = box;
        return [b, wanted] { return Selection(b) == wanted; };
    }

    devhost::HostApi host;
    devhost::NxTcpSock sockets{host};
    QHANDLE hID = 0;
    HWND chat = nullptr;
    HWND box = nullptr;
    std::wstring folder;
};

// Lines of a transcript with characters of the code page beyond ASCII, where it has them.
std::vector<std::string> Lines(int count) {
    const std::string accents = BytesOf(L" caf\u00e9, na\u00efve \u00fcber \u00a3", CP_ACP);
    std::vector<std::string> lines;
    for (int i = 1; i <= count; ++i)
        lines.push_back("Guest 'ann' says: \"line " + std::to_string(i) + accents + "\"");
    return lines;
}

TEST_F(RealMenuTest, EveryItemWithTheMouseAndAFullTranscriptSavedByteForByte) {
    std::vector<std::string> lines = Lines(kEntriesOfAFullDay - 1);
    lines.insert(lines.begin() + 10, "Guest 'bob' says: \"find me\"");
    ShowWith(lines);
    const std::string shown = BoxText(box);
    ASSERT_EQ(shown, ChatState().m_strTranscript);
    ASSERT_TRUE(std::any_of(shown.begin(), shown.end(), [](char c) { return c & 0x80; }))
        << "the code page has none of the accented letters";
    const auto rightClick = [this] { ClickWindow(box, true); };

    {
        SCOPED_TRACE("Copy is grey without a selection; Select all");
        Script s;
        s.Then("the menu", MenuShown(), [] {
            EXPECT_TRUE(OpenItemState(kCopyCommand) & MF_GRAYED);
            EXPECT_FALSE(OpenItemState(kShowTimesCommand) & MF_CHECKED);
            ClickItem(kSelectAllCommand);
        });
        s.Then("all selected", SelectionIs({0, static_cast<int>(shown.size())}));
        Run(s, rightClick);
    }
    {
        SCOPED_TRACE("Copy");
        Script s;
        s.Then("the menu", MenuShown(), [] {
            EXPECT_FALSE(OpenItemState(kCopyCommand) & MF_GRAYED);
            ClickItem(kCopyCommand);
        });
        s.Then("the menu closed", NothingOpen());
        Run(s, rightClick);
        EXPECT_TRUE(ClipboardText() == shown) << "the clipboard holds another text";
    }
    {
        SCOPED_TRACE("Find...: the match selected and in view");
        const int match = static_cast<int>(shown.find("find me"));
        Script s;
        s.Then("the menu", MenuShown(), [] { ClickItem(kFindCommand); });
        s.Then("the Find dialog", &FindTakesTyping, [] { Type(L"Find ME"); });
        s.Then(
            "the text typed",
            [] {
                return BoxText(::GetDlgItem(ShownDialog("Find"), IDC_FIND_TEXT_EDIT)) == "Find ME";
            },
            [] { ClickWindow(::GetDlgItem(ShownDialog("Find"), IDOK)); });
        s.Then("the match selected", SelectionIs({match, match + 7}), [this, match] {
            EXPECT_TRUE(InView(box, match)) << "the match is not scrolled into view";
            EXPECT_NE(::GetFocus(), box);
            EXPECT_GT(DarkShare(box, match, match + 7), 0.5)
                << "the match is not shown selected while the Find dialog has the focus";
            ClickWindow(::GetDlgItem(ShownDialog("Find"), IDCANCEL));
        });
        s.Then("the Find dialog closed", NothingOpen());
        Run(s, rightClick);
        EXPECT_EQ(::GetFocus(), box) << "the box shows the match once it has the focus";
    }
    {
        SCOPED_TRACE("Save transcript as...: 10,000 entries");
        const std::wstring path = folder + L"\\saved.txt";
        Script s;
        s.Then("the menu", MenuShown(), [] { ClickItem(kSaveTranscriptCommand); });
        s.Then(
            "the Save As dialog with the proposed name",
            [] { return ShownDialog("Save As") && FileNameBox(ShownDialog("Save As")); },
            [path] {
                HWND saveAs = ShownDialog("Save As");
                ::SetWindowTextW(FileNameBox(saveAs), path.c_str());
                ClickWindow(::GetDlgItem(saveAs, IDOK));
            });
        s.Then("the Save As dialog closed", NothingOpen());
        Run(s, rightClick);
        const std::string saved = ReadWhole(path);
        const std::string expected = "\xEF\xBB\xBF" + BytesOf(WideFrom(shown, CP_ACP), CP_UTF8);
        EXPECT_EQ(saved.size(), expected.size());
        EXPECT_TRUE(saved == expected) << "the file is not the shown text in UTF-8";
        EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 2 * kEntriesOfAFullDay);
    }
    {
        SCOPED_TRACE("Show times, on and off");
        Script s;
        s.Then("the menu", MenuShown(), [] { ClickItem(kShowTimesCommand); });
        s.Then("the menu closed", NothingOpen());
        s.Then("on", [] { return ChatState().m_bShowTimes; });
        Run(s, rightClick);
        g_ChatDlg.AppendText("Guest 'ann' has left\r\n\r\n");
        const std::string now = BoxText(box);
        EXPECT_TRUE(std::regex_search(
            now, std::regex(R"(\r\n\r\n\[\d\d:\d\d\] Guest 'ann' has left\r\n\r\n$)")))
            << now.substr(now.size() - 40);
        EXPECT_NE(now.find(shown.substr(shown.size() - 1000) + "["), std::string::npos)
            << "what was shown is kept as it was";
        Script off;
        off.Then("the menu", MenuShown(), [] {
            EXPECT_TRUE(OpenItemState(kShowTimesCommand) & MF_CHECKED);
            ClickItem(kShowTimesCommand);
        });
        off.Then("off", [] { return !ChatState().m_bShowTimes; });
        Run(off, rightClick);
    }
    {
        SCOPED_TRACE("This computer's addresses...");
        std::string text;
        Script s;
        s.Then("the menu", MenuShown(), [] { ClickItem(kAddressesCommand); });
        s.Then(
            "the addresses box", [] { return BoxSaying("This computer's addresses:") != nullptr; },
            [&text] {
                HWND shownBox = BoxSaying("This computer's addresses:");
                text = BoxText(::GetDlgItem(shownBox, kBoxTextControlId));
                ClickWindow(::GetDlgItem(shownBox, IDOK));
            });
        s.Then("the box closed", [] { return !BoxSaying("This computer's addresses:"); });
        Run(s, rightClick);
        EXPECT_NE(text.find("127.0.0.1 (this computer only)"), std::string::npos) << text;
    }
    {
        SCOPED_TRACE("Clear transcript");
        Script s;
        s.Then("the menu", MenuShown(), [] { ClickItem(kClearTranscriptCommand); });
        s.Then("the box emptied", [this] { return ::GetWindowTextLengthA(box) == 0; });
        Run(s, rightClick);
        EXPECT_EQ(ChatState().m_strTranscript, "");
    }
    EXPECT_TRUE(host.reports().empty());
}

TEST_F(RealMenuTest, EveryItemAndKeyWithTheKeyboard) {
    ShowWith({"Guest 'ann' says: \"alpha\"", "Guest 'bob' says: \"beta alpha\""});
    const std::string shown = BoxText(box);
    const int first = static_cast<int>(shown.find("alpha"));
    const int second = static_cast<int>(shown.find("alpha", first + 1));
    const std::pair<int, int> all{0, static_cast<int>(shown.size())};

    {
        SCOPED_TRACE("the menu key: Select all; Shift+F10: Copy");
        Script s;
        s.Then("the menu", MenuShown(), [] { Press('A'); });
        s.Then("all selected", SelectionIs(all));
        s.Then("the menu closed", NothingOpen(), [] { Press(VK_F10, VK_SHIFT); });
        s.Then("the menu again", MenuShown(), [] { Press('C'); });
        s.Then("the menu closed", NothingOpen());
        Run(s, [] { Press(VK_APPS); });
        EXPECT_EQ(ClipboardText(), shown);
    }
    {
        SCOPED_TRACE("Ctrl+F: Find, Enter, a match; F3: the next; a text nowhere");
        Script s;
        s.Then("the Find dialog", &FindTakesTyping, [] {
            Type(L"alpha");
            Press(VK_RETURN);
        });
        s.Then("the first match", SelectionIs({first, first + 5}), [] { Press(VK_ESCAPE); });
        s.Then("the Find dialog closed", NothingOpen(), [] { Press(VK_F3); });
        s.Then("the second match", SelectionIs({second, second + 5}),
               [] { Press('F', VK_CONTROL); });
        s.Then(
            "the Find dialog again", [] { return ShownDialog("Find") != nullptr; },
            [] {
                HWND find = ShownDialog("Find");
                ::SetWindowTextA(::GetDlgItem(find, IDC_FIND_TEXT_EDIT), "gamma");
                Press(VK_RETURN);
            });
        s.Then(
            "Cannot find", [] { return BoxSaying("Cannot find \"gamma\"") != nullptr; },
            [] { Press(VK_RETURN); });
        s.Then(
            "the box answered", [] { return !BoxSaying("Cannot find"); }, [] { Press(VK_ESCAPE); });
        s.Then("the Find dialog closed", NothingOpen());
        Run(s, [] { Press('F', VK_CONTROL); });
        EXPECT_EQ(Selection(box), std::make_pair(second, second + 5)) << "the match is kept";
    }
    {
        SCOPED_TRACE("the menu: Find... and Save transcript as..., cancelled");
        Script s;
        s.Then("the menu", MenuShown(), [] { Press('F'); });
        s.Then(
            "the Find dialog", [] { return ShownDialog("Find") != nullptr; },
            [] { Press(VK_ESCAPE); });
        s.Then("the Find dialog closed", NothingOpen(), [] { Press(VK_APPS); });
        s.Then("the menu again", MenuShown(), [] { Press('S'); });
        s.Then(
            "the Save As dialog", [] { return ShownDialog("Save As") != nullptr; },
            [] { Press(VK_ESCAPE); });
        s.Then("the Save As dialog closed", NothingOpen());
        Run(s, [] { Press(VK_APPS); });
    }
    {
        SCOPED_TRACE("Ctrl+S: a path typed over the proposed name, Enter");
        const std::wstring path = folder + L"\\typed.txt";
        Script s;
        s.Then(
            "the Save As dialog with the proposed name",
            [] { return ShownDialog("Save As") && FileNameBox(ShownDialog("Save As")); },
            [path] {
                ::SetFocus(FileNameBox(ShownDialog("Save As")));
                Press(VK_HOME);
                Press(VK_END, VK_SHIFT);
                Type(path);
            });
        s.Then(
            "the path typed",
            [path] {
                HWND name = ::GetFocus();
                wchar_t text[MAX_PATH] = {};
                ::GetWindowTextW(name, text, MAX_PATH);
                return path == text;
            },
            [] { Press(VK_RETURN); });
        s.Then("the Save As dialog closed", NothingOpen());
        Run(s, [] { Press('S', VK_CONTROL); });
        EXPECT_TRUE(ReadWhole(path) == "\xEF\xBB\xBF" + BytesOf(WideFrom(shown, CP_ACP), CP_UTF8));
    }
    {
        SCOPED_TRACE("the menu: Show times, This computer's addresses..., Clear transcript");
        Script s;
        s.Then("the menu", MenuShown(), [] { Press('T'); });
        s.Then(
            "times on", [] { return ChatState().m_bShowTimes; }, [] { Press(VK_APPS); });
        s.Then("the menu again", MenuShown(), [] { Press('D'); });
        s.Then(
            "the addresses box", [] { return BoxSaying("This computer's addresses:") != nullptr; },
            [] { Press(VK_RETURN); });
        s.Then(
            "the box answered", [] { return !BoxSaying("This computer's addresses:"); },
            [] { Press(VK_APPS); });
        s.Then("the menu a third time", MenuShown(), [] { Press('L'); });
        s.Then("the box emptied", [this] { return ::GetWindowTextLengthA(box) == 0; });
        Run(s, [] { Press(VK_APPS); });
        EXPECT_EQ(ChatState().m_strTranscript, "");
    }
    EXPECT_TRUE(host.reports().empty());
}

} // namespace
