// The driving API, written once over the window primitives: on Win32 each call is a
// real window message, headless it reaches the in-memory windows the same way.
#include "dialogkit/testing/testing.h"

#include "dialogkit/backend.h"
#include "dialogkit/testing/driver.h"

#include <cstdint>

namespace dk {
namespace testing {

WindowHandle FindDialog(const std::string& title) {
    for (CDialog* dialog : detail::LiveDialogs())
        if (dialog->HasWindow() && GetText(dialog->GetSafeHwnd()) == title)
            return dialog->GetSafeHwnd();
    return nullptr;
}

WindowHandle FindDialogByTemplate(int templateId) {
    for (CDialog* dialog : detail::LiveDialogs())
        if (dialog->HasWindow() && dialog->GetTemplateId() == templateId)
            return dialog->GetSafeHwnd();
    return nullptr;
}

std::string WindowTitle(WindowHandle dialog) {
    return IsLiveWindow(dialog) ? GetText(dialog) : std::string();
}

bool IsVisible(WindowHandle dialog) {
    return IsLiveWindow(dialog) && IsWindowVisible(dialog);
}

std::uintptr_t BigIcon(WindowHandle dialog) {
    if (!IsLiveWindow(dialog)) return 0;
    return static_cast<std::uintptr_t>(SendMsg(dialog, kWmGetIcon, kIconBig, 0));
}

bool HasControl(WindowHandle dialog, int id) {
    return IsLiveWindow(dialog) && ControlOf(dialog, id) != nullptr;
}

std::string ControlText(WindowHandle dialog, int id) {
    WindowHandle control = HasControl(dialog, id) ? ControlOf(dialog, id) : nullptr;
    return control ? GetText(control) : std::string();
}

bool IsControlEnabled(WindowHandle dialog, int id) {
    return HasControl(dialog, id) && IsWindowEnabled(ControlOf(dialog, id));
}

bool IsControlVisible(WindowHandle dialog, int id) {
    return HasControl(dialog, id) && IsWindowVisible(ControlOf(dialog, id));
}

bool SetControlText(WindowHandle dialog, int id, const std::string& text) {
    return HasControl(dialog, id) && SetText(ControlOf(dialog, id), text);
}

bool ClickButton(WindowHandle dialog, int id) {
    if (!IsControlEnabled(dialog, id) || !IsControlVisible(dialog, id)) return false;
    SendMsg(dialog, kWmCommand, MakeWParam(static_cast<unsigned>(id), kBnClicked),
            reinterpret_cast<LParam>(ControlOf(dialog, id)));
    return true;
}

bool SelectComboItem(WindowHandle dialog, int id, int index) {
    if (!IsControlEnabled(dialog, id)) return false;
    WindowHandle combo = ControlOf(dialog, id);
    if (SendMsg(combo, kCbSetCurSel, static_cast<WParam>(index)) != index) return false;
    SendMsg(dialog, kWmCommand, MakeWParam(static_cast<unsigned>(id), kCbnSelChange),
            reinterpret_cast<LParam>(combo));
    return true;
}

int ComboSelection(WindowHandle dialog, int id) {
    return HasControl(dialog, id) ? static_cast<int>(SendMsg(ControlOf(dialog, id), kCbGetCurSel))
                                  : kCbErr;
}

std::vector<std::string> ComboItems(WindowHandle dialog, int id) {
    std::vector<std::string> items;
    if (!HasControl(dialog, id)) return items;
    CComboBox combo;
    combo.Attach(ControlOf(dialog, id));
    const int count = combo.GetCount();
    for (int i = 0; i < count; ++i)
        items.push_back(combo.GetLBText(i));
    return items;
}

bool CloseDialog(WindowHandle dialog) {
    if (!IsLiveWindow(dialog)) return false;
    SendMsg(dialog, kWmClose);
    return true;
}

bool PressEscape(WindowHandle dialog) {
    if (!IsLiveWindow(dialog)) return false;
    SendMsg(dialog, kWmCommand, MakeWParam(kIdCancelCommand, kBnClicked), 0);
    return true;
}

int FocusedControlId(WindowHandle dialog) {
    WindowHandle focus = GetFocus();
    if (!focus || !IsLiveWindow(dialog)) return 0;
    const int id = ControlIdOf(focus);
    return ControlOf(dialog, id) == focus ? id : 0;
}

void EditSelection(WindowHandle dialog, int id, int& start, int& end) {
    start = end = -1;
    if (!HasControl(dialog, id)) return;
    std::uint32_t from = 0, to = 0;
    SendMsg(ControlOf(dialog, id), kEmGetSel, reinterpret_cast<WParam>(&from),
            reinterpret_cast<LParam>(&to));
    start = static_cast<int>(from);
    end = static_cast<int>(to);
}

int FirstVisibleLine(WindowHandle dialog, int id) {
    return HasControl(dialog, id)
               ? static_cast<int>(SendMsg(ControlOf(dialog, id), kEmGetFirstVisibleLine))
               : -1;
}

bool SetChecked(WindowHandle dialog, int id, bool checked) {
    if (!HasControl(dialog, id)) return false;
    SendMsg(ControlOf(dialog, id), kBmSetCheck,
            static_cast<WParam>(checked ? kBstChecked : kBstUnchecked));
    return true;
}

bool IsChecked(WindowHandle dialog, int id) {
    return HasControl(dialog, id) && SendMsg(ControlOf(dialog, id), kBmGetCheck) == kBstChecked;
}

bool AskContextMenu(WindowHandle dialog, int id) {
    if (!HasControl(dialog, id)) return false;
    WindowHandle control = ControlOf(dialog, id);
    SendMsg(control, kWmContextMenu, reinterpret_cast<WParam>(control),
            static_cast<LParam>(MakeWParam(0xFFFFu, 0xFFFFu)));
    return true;
}

bool PressKey(WindowHandle dialog, int id, unsigned virtualKey, unsigned modifiers) {
    if (!HasControl(dialog, id)) return false;
    SendKeyDown(ControlOf(dialog, id), virtualKey, modifiers);
    return true;
}

} // namespace testing
} // namespace dk
