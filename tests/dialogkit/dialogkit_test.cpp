// dialogkit on a dialog of its own: template reading, data exchange both ways with
// the "%u" reading and its failure, message table routing, modal runs driven by
// scripts, modeless ending, missing templates and the edit and combo messages. The
// same tests run headless and, under Wine, on real USER32 windows.
#include "dialogkit/dialog.h"
#include "dialogkit/dialog_template.h"
#include "dialogkit/message_box.h"
#include "dialogkit/testing/testing.h"

#include <gtest/gtest.h>

#if defined(DK_TEST_EMBEDDED_TEMPLATES)
#include "dialogkit/embedded_templates.h"
const dk::EmbeddedTemplate* TestDialogTemplates();
#endif

namespace {

constexpr int kTestDialog = 100;
constexpr int kNameEdit = 101, kNumberEdit = 102, kAfterEdit = 103;
constexpr int kPressButton = 104, kCombo = 105, kMultiline = 106;

class TestDialog : public dk::CDialog {
public:
    TestDialog() : dk::CDialog(kTestDialog) {}

    std::string m_strName = "first";
    std::uint32_t m_nNumber = 42;
    std::string m_strAfter = "after";
    dk::CEdit m_editMultiline;
    dk::CComboBox m_combo;
    int presses = 0;
    int selChanges = 0;
    int closeRequests = 0;

protected:
    bool OnInitDialog() override {
        dk::CDialog::OnInitDialog();
        m_combo.AddString("zero");
        m_combo.AddString("one");
        return true;
    }
    void DoDataExchange(dk::CDataExchange& dx) override {
        dk::DDX_Text(dx, kNameEdit, m_strName);
        dk::DDX_Text(dx, kNumberEdit, m_nNumber);
        dk::DDX_Text(dx, kAfterEdit, m_strAfter);
        dk::DDX_Control(dx, kMultiline, m_editMultiline);
        dk::DDX_Control(dx, kCombo, m_combo);
    }
    bool RouteMessage(unsigned message, unsigned code, int id) override {
        static const dk::MessageEntry<TestDialog> kTable[] = {
            {dk::kWmCommand, dk::kBnClicked, kPressButton, &TestDialog::OnPress},
            {dk::kWmCommand, dk::kCbnSelChange, kCombo, &TestDialog::OnSelChange},
        };
        return dk::RouteThroughTable(this, kTable, message, code, id);
    }

private:
    void OnPress() { ++presses; }
    void OnSelChange() { ++selChanges; }
};

// The multi-line box as a transcript: a text that only grows at its end.
class GrowingTextDialog : public TestDialog {
public:
    std::string m_strGrowing;

protected:
    bool OnInitDialog() override {
        m_held.Forget();
        return TestDialog::OnInitDialog();
    }
    void DoDataExchange(dk::CDataExchange& dx) override {
        TestDialog::DoDataExchange(dx);
        dk::DDX_GrowingText(dx, kMultiline, m_strGrowing, m_held);
    }

private:
    dk::BoxPrefix m_held;
};

class DialogkitTest : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(DK_TEST_EMBEDDED_TEMPLATES)
        dk::AddEmbeddedTemplates(TestDialogTemplates());
#endif
        dk::testing::BeginCapture();
        dk::testing::ClearModalScripts();
    }
    void TearDown() override {
        dk::testing::SetTemplateLookupFails(false);
        dk::testing::ClearModalScripts();
        dk::testing::EndCapture();
    }
};

TEST(ReadUnsigned, ReadsAsPercentU) {
    struct Case {
        const char* text;
        bool ok;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"8080", true, 8080},
        {"  8080abc", true, 8080},
        {"\t+12", true, 12},
        {"-1", true, 0xFFFFFFFFu},
        {"-65535", true, 4294901761u},
        {"0", true, 0},
        {"4294967295", true, 0xFFFFFFFFu},
        {"4294967296", true, 0xFFFFFFFFu},
        {"-99999999999999999999", true, 0xFFFFFFFFu},
        {"", false, 0},
        {"   ", false, 0},
        {"abc", false, 0},
        {"-", false, 0},
        {"+ 5", false, 0},
    };
    for (const Case& c : cases) {
        std::uint32_t value = 7;
        EXPECT_EQ(dk::ReadUnsigned(c.text, value), c.ok) << "text \"" << c.text << "\"";
        if (c.ok) {
            EXPECT_EQ(value, c.value) << "text \"" << c.text << "\"";
        }
    }
}

TEST(DialogTemplate, RefusesTruncatedAndOldTemplates) {
    const std::uint8_t oldStyle[] = {0xC8, 0x00, 0xC8, 0x80, 0, 0, 0, 0, 0, 0};
    dk::DialogTemplate t;
    EXPECT_FALSE(dk::ParseDialogTemplate(oldStyle, sizeof oldStyle, t));
    const std::uint8_t truncated[] = {1, 0, 0xFF, 0xFF, 0, 0, 0, 0};
    EXPECT_FALSE(dk::ParseDialogTemplate(truncated, sizeof truncated, t));
}

TEST_F(DialogkitTest, ModelessDialogExchangesBothWays) {
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create());
    dk::WindowHandle w = dlg.GetSafeHwnd();
    EXPECT_EQ(dk::testing::FindDialogByTemplate(kTestDialog), w);
    EXPECT_EQ(dk::testing::FindDialog("Test dialog"), w);
    EXPECT_FALSE(dk::testing::IsVisible(w)) << "a template without WS_VISIBLE starts hidden";
    EXPECT_EQ(dk::testing::ControlText(w, kNameEdit), "first");
    EXPECT_EQ(dk::testing::ControlText(w, kNumberEdit), "42");

    dk::testing::SetControlText(w, kNameEdit, "second");
    dk::testing::SetControlText(w, kNumberEdit, "  8080abc");
    dk::testing::SetControlText(w, kAfterEdit, "later");
    EXPECT_TRUE(dlg.UpdateData(true));
    EXPECT_EQ(dlg.m_strName, "second");
    EXPECT_EQ(dlg.m_nNumber, 8080u);
    EXPECT_EQ(dlg.m_strAfter, "later");
    EXPECT_TRUE(dk::testing::TakeBoxes().empty());
}

TEST_F(DialogkitTest, NumberWithoutDigitsFailsTheExchangeAndSelectsTheBox) {
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create());
    dlg.ShowWindow(dk::kSwShowNormal);
    dk::WindowHandle w = dlg.GetSafeHwnd();
    dk::testing::SetControlText(w, kNumberEdit, "letters");
    dk::testing::SetControlText(w, kAfterEdit, "not read");
    EXPECT_FALSE(dlg.UpdateData(true));
    EXPECT_EQ(dlg.m_nNumber, 42u) << "a failed read keeps the old value";
    EXPECT_EQ(dlg.m_strAfter, "after") << "fields after the failing one are not read";
    const auto boxes = dk::testing::TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Please enter a positive integer.");
    EXPECT_EQ(boxes[0].caption, dk::AppName());
    EXPECT_EQ(boxes[0].flags, unsigned(dk::kMbOk | dk::kMbIconWarning));
    EXPECT_EQ(dk::testing::FocusedControlId(w), kNumberEdit);
    int start = 0, end = 0;
    dk::testing::EditSelection(w, kNumberEdit, start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 7) << "the whole text is selected";
}

TEST_F(DialogkitTest, MessageTableRoutesClicksAndSelections) {
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create());
    dk::WindowHandle w = dlg.GetSafeHwnd();
    EXPECT_FALSE(dk::testing::ClickButton(w, kPressButton)) << "nobody clicks a hidden window";
    dlg.ShowWindow(dk::kSwShowNormal);
    EXPECT_TRUE(dk::testing::ClickButton(w, kPressButton));
    EXPECT_EQ(dlg.presses, 1);
    EXPECT_EQ(dk::testing::ComboItems(w, kCombo), (std::vector<std::string>{"zero", "one"}));
    EXPECT_TRUE(dk::testing::SelectComboItem(w, kCombo, 1));
    EXPECT_EQ(dlg.selChanges, 1);
    EXPECT_EQ(dlg.m_combo.GetCurSel(), 1);
    EXPECT_FALSE(dk::testing::SelectComboItem(w, kCombo, 5)) << "no such item";
    EXPECT_EQ(dlg.selChanges, 1);

    dk::EnableWindow(dk::ControlOf(w, kPressButton), false);
    EXPECT_FALSE(dk::testing::ClickButton(w, kPressButton))
        << "a disabled button cannot be clicked";
    EXPECT_EQ(dlg.presses, 1);
}

TEST_F(DialogkitTest, EndingAModelessDialogOnlyHidesIt) {
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create());
    dlg.ShowWindow(dk::kSwShowNormal);
    dk::WindowHandle w = dlg.GetSafeHwnd();
    EXPECT_TRUE(dk::testing::IsVisible(w));
    EXPECT_TRUE(dk::testing::ClickButton(w, dk::kIdCancelCommand));
    EXPECT_FALSE(dk::testing::IsVisible(w));
    EXPECT_TRUE(dk::IsLiveWindow(w));
    dlg.ShowWindow(dk::kSwShowNormal);
    EXPECT_TRUE(dk::testing::CloseDialog(w)) << "the close box ends it the same way";
    EXPECT_FALSE(dk::testing::IsVisible(w));
    dlg.DestroyWindow();
    EXPECT_FALSE(dlg.HasWindow());
    EXPECT_FALSE(dk::IsLiveWindow(w));
}

TEST_F(DialogkitTest, ModalScriptsEndWithOkOrCancel) {
    TestDialog dlg;
    dk::testing::PushModalScript([](dk::WindowHandle w) {
        EXPECT_TRUE(dk::testing::IsVisible(w));
        EXPECT_EQ(dk::testing::FocusedControlId(w), dk::kIdOkCommand) << "first tab stop";
        dk::testing::SetControlText(w, kNameEdit, "typed");
        EXPECT_TRUE(dk::testing::ClickButton(w, dk::kIdOkCommand));
    });
    EXPECT_EQ(dlg.DoModal(), dk::kIdOkCommand);
    EXPECT_EQ(dlg.m_strName, "typed");
    EXPECT_FALSE(dlg.HasWindow());

    dk::testing::PushModalScript([](dk::WindowHandle w) {
        dk::testing::SetControlText(w, kNameEdit, "discarded");
        dk::testing::ClickButton(w, dk::kIdCancelCommand);
    });
    EXPECT_EQ(dlg.DoModal(), dk::kIdCancelCommand);
    EXPECT_EQ(dlg.m_strName, "typed") << "Cancel reads nothing back";

    dk::testing::PushModalScript([](dk::WindowHandle) {});
    EXPECT_EQ(dlg.DoModal(), dk::kIdCancelCommand) << "a script that leaves it open cancels it";

    dk::testing::PushModalScript([](dk::WindowHandle w) {
        dk::testing::SetControlText(w, kNumberEdit, "");
        EXPECT_TRUE(dk::testing::ClickButton(w, dk::kIdOkCommand));
        EXPECT_TRUE(dk::testing::IsVisible(w)) << "a failed exchange keeps the dialog open";
        dk::testing::SetControlText(w, kNumberEdit, "9");
        EXPECT_TRUE(dk::testing::ClickButton(w, dk::kIdOkCommand));
    });
    EXPECT_EQ(dlg.DoModal(), dk::kIdOkCommand);
    EXPECT_EQ(dlg.m_nNumber, 9u);
    EXPECT_EQ(dk::testing::TakeBoxes().size(), 1u);
    EXPECT_EQ(dk::testing::PendingModalScripts(), 0u);
}

TEST_F(DialogkitTest, MissingTemplateMakesNoWindow) {
    dk::testing::SetTemplateLookupFails(true);
    TestDialog dlg;
    EXPECT_FALSE(dlg.Create());
    EXPECT_FALSE(dlg.HasWindow());
    EXPECT_EQ(dlg.DoModal(), -1);
    EXPECT_FALSE(dlg.UpdateData(true)) << "no exchange without a window";
    EXPECT_FALSE(dlg.SetWindowText("x"));
    dk::testing::SetTemplateLookupFails(false);
    EXPECT_TRUE(dlg.Create());
}

TEST_F(DialogkitTest, MultilineEditCountsAndScrollsLines) {
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create());
    dk::WindowHandle w = dlg.GetSafeHwnd();
    EXPECT_EQ(dlg.m_editMultiline.GetLineCount(), 1);
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "line " + std::to_string(i) + "\r\n";
    dk::testing::SetControlText(w, kMultiline, text);
    EXPECT_EQ(dlg.m_editMultiline.GetLineCount(), 41);
    EXPECT_EQ(dlg.m_editMultiline.GetFirstVisibleLine(), 0);
    dlg.m_editMultiline.LineScroll(41, 0);
    EXPECT_GT(dk::testing::FirstVisibleLine(w, kMultiline), 30) << "the end is in view";
    dlg.m_editMultiline.SetLimitText(0);
    EXPECT_GE(dlg.m_editMultiline.GetLimitText(), 0x7FFFFFFEu);
}

TEST_F(DialogkitTest, GrowingTextAddsWhatWasAppendedAtTheEnd) {
    GrowingTextDialog dlg;
    ASSERT_TRUE(dlg.Create());
    dk::WindowHandle w = dlg.GetSafeHwnd();
    const std::string block(1000, 'x');
    for (int i = 0; i < 40; ++i) { // past the box's default text limit
        dlg.m_strGrowing += block + "\r\n";
        ASSERT_TRUE(dlg.UpdateData(false));
    }
    EXPECT_EQ(dk::testing::ControlText(w, kMultiline), dlg.m_strGrowing);
    EXPECT_EQ(dlg.m_editMultiline.GetLineCount(), 41);
    dlg.m_editMultiline.LineScroll(41, 0);
    dlg.m_strGrowing += "more";
    ASSERT_TRUE(dlg.UpdateData(false));
    EXPECT_EQ(dk::testing::ControlText(w, kMultiline), dlg.m_strGrowing);
    EXPECT_GT(dk::testing::FirstVisibleLine(w, kMultiline), 30)
        << "the box was written whole, which scrolls it back to the top";

    // Grown but not written: reading back keeps what the box holds.
    const std::string shown = dlg.m_strGrowing;
    dlg.m_strGrowing += "unseen";
    ASSERT_TRUE(dlg.UpdateData(true));
    EXPECT_EQ(dlg.m_strGrowing, shown);

    // Replaced rather than grown: written whole.
    dlg.m_strGrowing = "new\r\nstart";
    ASSERT_TRUE(dlg.UpdateData(false));
    EXPECT_EQ(dk::testing::ControlText(w, kMultiline), "new\r\nstart");
    EXPECT_EQ(dlg.m_editMultiline.GetLineCount(), 2);
}

TEST_F(DialogkitTest, TextOver16MiBReadsBackWhole) {
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create());
    const std::string text = std::string(16u * 1024u * 1024u, 'y') + "z";
    ASSERT_TRUE(dk::testing::SetControlText(dlg.GetSafeHwnd(), kNameEdit, text));
    EXPECT_TRUE(dk::testing::ControlText(dlg.GetSafeHwnd(), kNameEdit) == text);
}

TEST_F(DialogkitTest, UnattachedControlsDoNothing) {
    dk::CEdit edit;
    dk::CComboBox combo;
    EXPECT_FALSE(edit.EnableWindow(true));
    EXPECT_EQ(edit.GetWindowText(), "");
    EXPECT_EQ(combo.AddString("x"), dk::kCbErr);
    EXPECT_EQ(combo.GetCurSel(), dk::kCbErr);
}

TEST_F(DialogkitTest, ShellOpenIsRecordedWhileCapturing) {
    dk::testing::BeginShellCapture();
    dk::ShellOpen("https://volubra.invalid/test");
    EXPECT_EQ(dk::testing::TakeShellOpens(),
              (std::vector<std::string>{"https://volubra.invalid/test"}));
    dk::testing::EndShellCapture();
}

} // namespace
