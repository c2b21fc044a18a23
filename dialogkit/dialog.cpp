// CDialog's portable part: creation through the back end, the standard OK, Cancel
// and close processing, message routing and EndDialog.
#include "dialogkit/dialog.h"

#include "dialogkit/backend.h"

namespace dk {

CDialog::~CDialog() {
    DestroyWindow();
    detail::UnregisterDialog(this);
}

bool CDialog::Create(WindowHandle owner) {
    if (m_hWnd) return true;
    detail::RegisterDialog(this);
    m_bModal = false;
    m_hWnd = backend::CreateModeless(*this, owner);
    return m_hWnd != nullptr;
}

int CDialog::DoModal(WindowHandle owner) {
    if (m_hWnd) return -1; // already has a (modeless or running) window
    detail::RegisterDialog(this);
    m_bModal = true;
    const int result = backend::RunModal(*this, owner);
    m_bModal = false;
    m_hWnd = nullptr;
    return result;
}

bool CDialog::UpdateData(bool saveAndValidate) {
    if (!m_hWnd) return false;
    CDataExchange dx(*this, saveAndValidate);
    DoDataExchange(dx);
    return !dx.Failed();
}

WindowHandle CDialog::ControlWithId(int id) {
    if (!m_hWnd) return nullptr;
    for (auto& [knownId, control] : m_Controls) {
        if (knownId != id) continue;
        if (IsLiveWindow(control) && ControlIdOf(control) == id) return control;
        control = ControlOf(m_hWnd, id);
        return control;
    }
    WindowHandle control = ControlOf(m_hWnd, id);
    if (control) m_Controls.emplace_back(id, control);
    return control;
}

void CDialog::EndDialog(int result) {
    if (!m_hWnd) return;
    if (m_bModal)
        backend::EndModal(m_hWnd, result);
    else
        dk::ShowWindow(m_hWnd, kSwHide);
}

bool CDialog::ShowWindow(int command) {
    return m_hWnd && dk::ShowWindow(m_hWnd, command);
}

bool CDialog::IsWindowVisible() const {
    return m_hWnd && dk::IsWindowVisible(m_hWnd);
}

bool CDialog::IsForeground() const {
    return m_hWnd && dk::IsForegroundWindow(m_hWnd);
}

void CDialog::FlashUntilForeground() {
    if (m_hWnd) dk::FlashUntilForeground(m_hWnd);
}

bool CDialog::SetWindowText(const std::string& text) {
    return m_hWnd && SetText(m_hWnd, text);
}

std::string CDialog::GetWindowText() const {
    return m_hWnd ? GetText(m_hWnd) : std::string();
}

LResult CDialog::SendMessage(unsigned message, WParam wParam, LParam lParam) {
    return m_hWnd ? SendMsg(m_hWnd, message, wParam, lParam) : 0;
}

void CDialog::DestroyWindow() {
    if (!m_hWnd) return;
    WindowHandle window = m_hWnd;
    m_hWnd = nullptr;
    dk::DestroyWindow(window);
}

LResult CDialog::OnWindowMessage(unsigned message, WParam wParam, LParam /*lParam*/,
                                 bool& handled) {
    handled = false;
    switch (message) {
    case kWmInitDialog:
        handled = true;
        return OnInitDialog() ? 1 : 0;
    case kWmCommand: {
        const unsigned code = HighWord(wParam);
        const int id = static_cast<int>(LowWord(wParam));
        if (RouteMessage(kWmCommand, code, id)) {
            handled = true;
        } else if (code == kBnClicked && id == kIdOkCommand) {
            OnOK();
            handled = true;
        } else if (code == kBnClicked && id == kIdCancelCommand) {
            OnCancel();
            handled = true;
        }
        return 0;
    }
    case kWmClose:
        if (!RouteMessage(kWmClose, 0, 0)) DefaultClose();
        handled = true;
        return 0;
    case kWmActivate:
        // Heard, not handled: the default activation still runs.
        RouteMessage(kWmActivate, 0, 0);
        return 0;
    default:
        return 0;
    }
}

bool CDialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void CDialog::DoDataExchange(CDataExchange& /*dx*/) {}

bool CDialog::RouteMessage(unsigned /*message*/, unsigned /*code*/, int /*id*/) {
    return false;
}

void CDialog::OnOK() {
    if (!UpdateData(true)) return;
    EndDialog(kIdOkCommand);
}

void CDialog::OnCancel() {
    EndDialog(kIdCancelCommand);
}

void CDialog::DefaultClose() {
    OnCancel();
}

} // namespace dk
