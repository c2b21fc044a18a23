// Data exchange between dialog members and controls, including the "%u" reading of
// unsigned numbers and its failure message.
#include "dialogkit/controls.h"
#include "dialogkit/dialog.h"
#include "dialogkit/message_box.h"

#include <cctype>
#include <limits>

namespace dk {
namespace {

constexpr std::uint64_t kUnsignedLimit = 0xFFFFFFFFull;
constexpr const char* kNotAPositiveInteger = "Please enter a positive integer.";
// EM_SETLIMITTEXT's 0: the largest limit the box allows.
constexpr unsigned kNoTextLimit = 0;
// A selection position past any text: the box puts it at the end.
constexpr int kEndOfText = std::numeric_limits<int>::max();

} // namespace

WindowHandle CDataExchange::PrepareControl(int id) {
    if (m_bFailed) return nullptr;
    WindowHandle control = m_pDlgWnd->ControlWithId(id);
    if (!control) Fail();
    return control;
}

void DDX_Control(CDataExchange& dx, int id, CWnd& control) {
    if (WindowHandle window = dx.PrepareControl(id)) control.Attach(window);
}

void DDX_Text(CDataExchange& dx, int id, std::string& value) {
    WindowHandle window = dx.PrepareControl(id);
    if (!window) return;
    if (dx.m_bSaveAndValidate)
        value = GetText(window);
    else if (GetText(window) != value)
        // Setting an edit box's text, even the same text, scrolls it back to the top
        // and drops the caret: a box whose text is already right is left alone.
        SetText(window, value);
}

void DDX_Check(CDataExchange& dx, int id, bool& value) {
    WindowHandle window = dx.PrepareControl(id);
    if (!window) return;
    if (dx.m_bSaveAndValidate)
        value = SendMsg(window, kBmGetCheck) == kBstChecked;
    else
        SendMsg(window, kBmSetCheck, static_cast<WParam>(value ? kBstChecked : kBstUnchecked));
}

namespace {

// Removes the box's first `bytes` characters. A box whose characters are not the
// text's bytes (a multi-byte code page) is then not of the expected length: false.
bool RemoveHead(CEdit& box, std::size_t bytes, std::size_t remaining) {
    box.SetSel(0, static_cast<int>(bytes));
    box.ReplaceSel("");
    return static_cast<std::size_t>(box.SendMessage(kWmGetTextLength)) == remaining;
}

} // namespace

void DDX_GrowingText(CDataExchange& dx, int id, std::string& value, BoxPrefix& held) {
    WindowHandle window = dx.PrepareControl(id);
    if (!window) return;
    // A value shorter than the prefix has been replaced rather than grown.
    bool known = held.length != BoxPrefix::kUnknown && held.length <= value.size();
    if (dx.m_bSaveAndValidate) {
        // The box may still hold a trimmed head: it goes at the next write.
        if (known) {
            value.resize(held.length);
            return;
        }
        value = GetText(window);
        held.length = value.size();
        held.headCut = 0;
        return;
    }
    CEdit box;
    box.Attach(window);
    if (known && held.headCut > 0) known = RemoveHead(box, held.headCut, held.length);
    held.headCut = 0;
    if (!known) {
        if (GetText(window) != value) SetText(window, value);
    } else if (value.size() > held.length) {
        // Replacing a selection honours the text limit (setting the text does not).
        box.SetLimitText(kNoTextLimit);
        box.SetSel(kEndOfText, kEndOfText);
        box.ReplaceSel(value.c_str() + held.length);
    }
    held.length = value.size();
}

void DDX_Text(CDataExchange& dx, int id, std::uint32_t& value) {
    WindowHandle window = dx.PrepareControl(id);
    if (!window) return;
    if (!dx.m_bSaveAndValidate) {
        SetText(window, std::to_string(value));
        return;
    }
    std::uint32_t read = 0;
    if (ReadUnsigned(GetText(window), read)) {
        value = read;
        return;
    }
    ShowAppMessageBox(kNotAPositiveInteger, kMbOk | kMbIconWarning);
    SetFocus(window);
    SendMsg(window, kEmSetSel, 0, -1);
    dx.Fail();
}

bool ReadUnsigned(const std::string& text, std::uint32_t& value) {
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    const std::size_t firstDigit = at;
    std::uint64_t number = 0;
    bool overflow = false;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
        number = number * 10 + static_cast<unsigned>(text[at++] - '0');
        if (number > kUnsignedLimit) {
            overflow = true;
            number = kUnsignedLimit;
        }
    }
    if (at == firstDigit) return false;
    if (overflow)
        value = static_cast<std::uint32_t>(kUnsignedLimit);
    else
        value = negative ? static_cast<std::uint32_t>(0u - static_cast<std::uint32_t>(number))
                         : static_cast<std::uint32_t>(number);
    return true;
}

std::string CComboBox::GetLBText(int index) {
    if (!IsAttached()) return {};
    const LResult length = SendMessage(kCbGetLbTextLen, static_cast<WParam>(index));
    if (length < 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    SendMessage(kCbGetLbText, static_cast<WParam>(index), reinterpret_cast<LParam>(&text[0]));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

} // namespace dk
