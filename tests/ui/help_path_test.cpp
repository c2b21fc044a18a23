// Help! on any install path (Windows): the shipped Volubra.qrv, with its help page,
// is copied into a folder whose name lies outside the ANSI code page, and into one
// whose path is longer than MAX_PATH; there it is loaded with LoadLibraryW, bound to
// devhost's host API in-process, and its chat window is driven through USER32 as a
// user would. The module's imports of ShellExecuteW and MessageBoxW/A are pointed at
// recorders, so no browser starts and no box waits for an answer.
#include "devhost/hostapi/host_api.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kHelpButton = 15005;
constexpr const wchar_t* kChatTitle = L"Chat client - disconnected";
constexpr const wchar_t* kMissing = L"The help page is missing:\r\n";

std::vector<std::wstring> g_opened; // files the module asked the shell to open
std::vector<std::wstring> g_boxes;  // texts of the boxes the module showed
bool g_shellRefusesAll = false;     // else it refuses only paths of MAX_PATH or more

HINSTANCE WINAPI RecordShellExecuteW(HWND, LPCWSTR, LPCWSTR file, LPCWSTR, LPCWSTR, INT) {
    const std::wstring path = file ? file : L"";
    g_opened.push_back(path);
    // As the shell is documented to: no path of MAX_PATH or more.
    const bool refused = g_shellRefusesAll || path.size() >= MAX_PATH;
    return reinterpret_cast<HINSTANCE>(
        static_cast<INT_PTR>(refused ? ERROR_FILE_NOT_FOUND : 33)); // > 32: success
}
int WINAPI RecordMessageBoxW(HWND, LPCWSTR text, LPCWSTR, UINT) {
    g_boxes.push_back(text ? text : L"");
    return IDOK;
}
int WINAPI RecordMessageBoxA(HWND, LPCSTR text, LPCSTR, UINT) {
    const std::string narrow = text ? text : "";
    g_boxes.push_back(std::wstring(narrow.begin(), narrow.end()));
    return IDOK;
}

// Points the import `function` of `dll` in `module`'s import address table at
// `replacement`; false when the module does not import it by name.
bool ReplaceImport(HMODULE module, const char* dll, const char* function, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
    for (; imports.VirtualAddress && entry->Name; ++entry) {
        if (_stricmp(reinterpret_cast<char*>(base + entry->Name), dll) != 0) continue;
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; name->u1.AddressOfData; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char*>(byName->Name), function) != 0) continue;
            DWORD protection = 0;
            ::VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE,
                             &protection);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            ::VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), protection,
                             &protection);
            return true;
        }
    }
    return false;
}

// The wide file calls take a path past MAX_PATH with this prefix.
fs::path Prefixed(const std::wstring& path) {
    return fs::path(L"\\\\?\\" + path);
}

std::wstring TempFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring folder(buffer, length);
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder + L"\\volubra-help-" + std::to_wstring(::GetCurrentProcessId());
}

BOOL CALLBACK TakeChatWindow(HWND window, LPARAM found) {
    wchar_t title[64] = {};
    ::GetWindowTextW(window, title, 64);
    if (std::wstring(title) != kChatTitle) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

HWND FindChatWindow() {
    HWND found = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &TakeChatWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The built module; a build-machine path is reached through Wine's drive Z:.
fs::path BuiltModule() {
    std::string path = VOLUBRA_MODULE_PATH;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    return fs::path(path);
}

class HelpPathTest : public ::testing::Test {
protected:
    void TearDown() override {
        g_shellRefusesAll = false;
        std::error_code ignored;
        fs::remove_all(Prefixed(TempFolder()), ignored);
    }

    // Copies the module and its page into `folder` (made with its parents).
    void Install(const std::wstring& folder) {
        const fs::path built = BuiltModule();
        fs::create_directories(Prefixed(folder));
        fs::copy_file(built, Prefixed(folder + L"\\Volubra.qrv"));
        fs::copy_file(built.parent_path() / "Volubra.html", Prefixed(folder + L"\\Volubra.html"));
    }

    // Loads the module from `folder` as a host does, opens the chat window, clicks
    // Help! and unloads it again; g_opened and g_boxes say what Help! did.
    void ClickHelpIn(const std::wstring& folder) {
        g_opened.clear();
        g_boxes.clear();
        devhost::HostApi host;
        // Unloaded before the host goes: unloading runs the module's clean-up, which
        // calls the host.
        std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&::FreeLibrary)> loaded(
            ::LoadLibraryW(Prefixed(folder + L"\\Volubra.qrv").c_str()), &::FreeLibrary);
        HMODULE module = loaded.get();
        ASSERT_NE(module, nullptr) << "cannot load the copied module";
        ASSERT_TRUE(ReplaceImport(module, "SHELL32.dll", "ShellExecuteW",
                                  reinterpret_cast<void*>(&RecordShellExecuteW)));
        ASSERT_TRUE(ReplaceImport(module, "USER32.dll", "MessageBoxW",
                                  reinterpret_cast<void*>(&RecordMessageBoxW)));
        ReplaceImport(module, "USER32.dll", "MessageBoxA",
                      reinterpret_cast<void*>(&RecordMessageBoxA));
        const QHANDLE id = host.addPlugin("Volubra", [module](const char* name) {
            return reinterpret_cast<void*>(::GetProcAddress(module, name));
        });
        auto init = reinterpret_cast<QrvInitFn>(
            reinterpret_cast<void*>(::GetProcAddress(module, "ExtInitPlugin")));
        ASSERT_NE(init, nullptr);
        ASSERT_TRUE(init(reinterpret_cast<QARG>(devhost::HostApi::lookupRoutine()), id));
        ASSERT_TRUE(host.chooseMenuEntry("Chat client"));
        HWND chat = FindChatWindow();
        ASSERT_NE(chat, nullptr) << "no chat window";
        ::SendMessageW(chat, WM_COMMAND, MAKEWPARAM(kHelpButton, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(chat, kHelpButton)));
        EXPECT_TRUE(host.reports().empty());
    }
};

TEST_F(HelpPathTest, OpensThePageInAFolderNamedOutsideTheAnsiCodePage) {
    const std::wstring folder = TempFolder() + L"\\Плагины Ωμέγα 地形";
    Install(folder);
    ClickHelpIn(folder);
    EXPECT_TRUE(g_boxes.empty()) << "Help! said the installed page is missing";
    ASSERT_EQ(g_opened.size(), 1u);
    EXPECT_TRUE(g_opened[0] == folder + L"\\Volubra.html") << "opened another path";

    fs::remove(Prefixed(folder + L"\\Volubra.html"));
    ClickHelpIn(folder);
    EXPECT_TRUE(g_opened.empty());
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_TRUE(g_boxes[0] == kMissing + folder + L"\\Volubra.html")
        << "the box does not name the page's path";
}

// The shell refuses the long path: the short one is tried, and when the shell takes
// neither, the box says where the page is.
TEST_F(HelpPathTest, OpensThePageOnAPathLongerThanMaxPath) {
    std::wstring folder = TempFolder();
    while (folder.size() < MAX_PATH + 20)
        folder += L"\\a-folder-name-of-forty-characters-ëèê-x";
    Install(folder);
    const std::wstring page = folder + L"\\Volubra.html";
    wchar_t shortPage[MAX_PATH] = {};
    const DWORD length =
        ::GetShortPathNameW(Prefixed(page).c_str(), shortPage, static_cast<DWORD>(MAX_PATH));
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, static_cast<DWORD>(MAX_PATH)) << "no short form under MAX_PATH";
    std::wstring expectedShort(shortPage, length);
    if (expectedShort.compare(0, 4, L"\\\\?\\") == 0) expectedShort.erase(0, 4);

    ClickHelpIn(folder);
    EXPECT_TRUE(g_boxes.empty()) << "Help! said the installed page is missing";
    ASSERT_EQ(g_opened.size(), 2u);
    EXPECT_TRUE(g_opened[0] == page) << "the long path was not tried first";
    EXPECT_TRUE(g_opened[1] == expectedShort) << "the short path was not tried next";

    g_shellRefusesAll = true;
    ClickHelpIn(folder);
    EXPECT_EQ(g_opened.size(), 2u);
    ASSERT_EQ(g_boxes.size(), 1u) << "Help! did nothing";
    EXPECT_TRUE(g_boxes[0] == kMissing + page) << "the box does not name the page's path";
}

} // namespace
