// Answering the connection settings dialog, the same on both back ends: every step is
// a dialogkit driving call, which on Win32 is the window message a user's input makes.
#include "devhost/app/session_ui.h"

#include "dialogkit/testing.h"

namespace devhost {

bool AnswerSettingsDialog(dk::WindowHandle dialog, const SettingsAnswer& answer,
                          std::string& error) {
    const std::string where = "settings answer of line " + std::to_string(answer.scriptLine);
    if (answer.ok) {
        if (!dk::testing::SelectComboItem(dialog, kIdModeCombo, answer.mode)) {
            error = where + ": the mode list would not select item " + std::to_string(answer.mode);
            return false;
        }
        // In Host mode the address box is disabled, and a user cannot type there.
        if (answer.mode == 0 &&
            !dk::testing::SetControlText(dialog, kIdHostAddrEdit, answer.address)) {
            error = where + ": the address box refused the text";
            return false;
        }
        if (!dk::testing::SetControlText(dialog, kIdPortEdit, std::to_string(answer.port)) ||
            !dk::testing::SetControlText(dialog, kIdNicknameEdit, answer.nickname)) {
            error = where + ": the port or nickname box refused the text";
            return false;
        }
    }
    if (!dk::testing::ClickButton(dialog, answer.ok ? kIdOkButton : kIdCancelButton)) {
        error = where + ": the " + std::string(answer.ok ? "OK" : "Cancel") +
                " button could not be clicked";
        return false;
    }
    if (dk::testing::IsVisible(dialog)) {
        error = where + ": the dialog stayed open after OK (it refused the values)";
        dk::testing::ClickButton(dialog, kIdCancelButton); // never leave a modal loop behind
        return false;
    }
    return true;
}

} // namespace devhost
