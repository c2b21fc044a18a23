// The shipped dialog templates 15000 and 15002, every field of the dialog and of
// each control: natively the bytes embedded from the compiled resource script, on
// Windows the RT_DIALOG resources of the built Volubra.qrv under language 3081.
#include "dialogkit/dialog_template.h"
#include "module/ui/resource.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include "dialogkit/embedded_templates.h"
const dk::EmbeddedTemplate* ModuleDialogTemplates();
#endif

namespace {

constexpr unsigned kLangEnglishAus = 3081;

struct ExpectedControl {
    const char* className;
    std::int32_t id;
    const char* text;
    std::int16_t x, y, cx, cy;
    std::uint32_t style;
};

struct ExpectedDialog {
    int id;
    const char* caption;
    std::uint32_t style;
    std::int16_t cx, cy;
    std::vector<ExpectedControl> controls;
};

const ExpectedDialog kChatDialog = {IDD_CHAT_DIALOG,
                                    "Chat dialog",
                                    0x80CA00C8,
                                    283,
                                    171,
                                    {
                                        {"button", 15002, "Connect", 54, 7, 47, 14, 0x50010000},
                                        {"edit", 15003, "", 7, 25, 269, 88, 0x50A00884},
                                        {"edit", 15004, "", 7, 117, 214, 47, 0x50A110C4},
                                        {"button", 15013, "Send", 226, 117, 50, 14, 0x50010000},
                                        {"button", 15005, "Help!", 226, 134, 50, 14, 0x50010000},
                                        {"button", 1, "Close", 226, 150, 50, 14, 0x50010000},
                                        {"static", -1, "Socket state:", 7, 10, 44, 8, 0x50020000},
                                    }};

const ExpectedDialog kSettingsDialog = {IDD_CONNECTION_SETTINGS,
                                        "Connection settings",
                                        0x80C800C8,
                                        148,
                                        113,
                                        {
                                            {"button", 1, "OK", 91, 92, 50, 14, 0x50010001},
                                            {"button", 2, "Cancel", 37, 92, 50, 14, 0x50010000},
                                            {"combobox", 15006, "", 46, 7, 47, 30, 0x50210003},
                                            {"edit", 15000, "", 46, 22, 95, 12, 0x50810080},
                                            {"edit", 15001, "", 45, 37, 37, 12, 0x50810081},
                                            {"static", -1, "Mode:", 7, 8, 21, 8, 0x50020000},
                                            {"static", -1, "IP address:", 7, 24, 38, 8, 0x50020000},
                                            {"static", -1, "Port No:", 7, 39, 28, 8, 0x50020000},
                                            {"edit", 15007, "", 45, 51, 96, 12, 0x50810080},
                                            {"static", -1, "Nickname:", 7, 52, 36, 10, 0x50020000},
                                        }};

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The template bytes as shipped, under resource language 3081.
std::vector<std::uint8_t> ShippedTemplate(int id) {
#if defined(_WIN32)
    std::string path = VOLUBRA_MODULE_PATH;
    if (!path.empty() && path[0] == '/') path = "Z:" + path; // a build-machine path under Wine
    HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return {};
    std::vector<std::uint8_t> bytes;
    HRSRC found = ::FindResourceExA(module, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(id),
                                    static_cast<WORD>(kLangEnglishAus));
    if (found) {
        const auto* data =
            static_cast<const std::uint8_t*>(::LockResource(::LoadResource(module, found)));
        if (data) bytes.assign(data, data + ::SizeofResource(module, found));
    }
    ::FreeLibrary(module);
    return bytes;
#else
    for (const dk::EmbeddedTemplate* t = ModuleDialogTemplates(); t->bytes; ++t)
        if (static_cast<int>(t->id) == id && t->language == kLangEnglishAus)
            return std::vector<std::uint8_t>(t->bytes, t->bytes + t->size);
    return {};
#endif
}

void CheckDialog(const ExpectedDialog& want) {
    const std::vector<std::uint8_t> bytes = ShippedTemplate(want.id);
    ASSERT_FALSE(bytes.empty()) << "template " << want.id << " not found under language 3081";
    dk::DialogTemplate t;
    ASSERT_TRUE(dk::ParseDialogTemplate(bytes.data(), bytes.size(), t))
        << "template " << want.id << " is not a well-formed DLGTEMPLATEEX";
    EXPECT_EQ(t.version, 1);
    EXPECT_EQ(t.signature, 0xFFFF);
    EXPECT_EQ(t.helpId, 0u);
    EXPECT_EQ(t.exStyle, 0u);
    EXPECT_EQ(t.style, want.style) << std::hex << "dialog style word of " << std::dec << want.id;
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
    EXPECT_EQ(t.cx, want.cx);
    EXPECT_EQ(t.cy, want.cy);
    EXPECT_TRUE(t.menu.isOrdinal ? t.menu.ordinal == 0 : t.menu.text.empty()) << "no menu";
    EXPECT_TRUE(t.windowClass.isOrdinal ? t.windowClass.ordinal == 0 : t.windowClass.text.empty())
        << "the default dialog class";
    EXPECT_EQ(t.title, want.caption);
    EXPECT_TRUE(t.hasFont);
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.weight, 400);
    EXPECT_EQ(t.italic, 0);
    EXPECT_EQ(t.charset, 1);
    EXPECT_EQ(t.typeface, "MS Shell Dlg");
    ASSERT_EQ(t.controls.size(), want.controls.size());
    for (std::size_t i = 0; i < want.controls.size(); ++i) {
        const ExpectedControl& w = want.controls[i];
        const dk::ControlTemplate& c = t.controls[i];
        SCOPED_TRACE("dialog " + std::to_string(want.id) + ", control #" + std::to_string(i + 1));
        EXPECT_EQ(Lower(c.ClassName()), w.className);
        EXPECT_EQ(c.id, w.id);
        EXPECT_FALSE(c.title.isOrdinal);
        EXPECT_EQ(c.title.text, w.text);
        EXPECT_EQ(c.x, w.x);
        EXPECT_EQ(c.y, w.y);
        EXPECT_EQ(c.cx, w.cx);
        EXPECT_EQ(c.cy, w.cy);
        EXPECT_EQ(c.style, w.style) << std::hex << "style word";
        EXPECT_EQ(c.exStyle, 0u);
        EXPECT_EQ(c.helpId, 0u);
        EXPECT_TRUE(c.creationData.empty());
    }
}

TEST(ShippedTemplates, ChatDialogIsExactlyAsDesigned) {
    CheckDialog(kChatDialog);
}

TEST(ShippedTemplates, ConnectionSettingsIsExactlyAsDesigned) {
    CheckDialog(kSettingsDialog);
}

} // namespace
