// The connection settings dialog: mode list, address, port and nickname, the
// enabling of the address box by mode, and the validation on OK.
#include "module/ui/ConnectionDlg.h"

#include "dialogkit/message_box.h"
#include "module/chat/ChatLines.h"
#include "module/ui/HostIcon.h"
#include "module/ui/ModuleTemplates.h"
#include "module/ui/resource.h"

namespace {

constexpr std::uint32_t kFirstPort = 1;
constexpr std::uint32_t kPortLimit = 65536;             // ports are below this
constexpr const char* kModeNames[] = {"Guest", "Host"}; // index is the ChatMode

bool IsValidPort(std::uint32_t port) {
    return port >= kFirstPort && port < kPortLimit;
}

void Warn(const char* text) {
    dk::ShowAppMessageBox(text, dk::kMbOk | dk::kMbIconWarning);
}

} // namespace

CConnectionDlg::CConnectionDlg() : dk::CDialog(IDD_CONNECTION_SETTINGS) {
    UseModuleTemplates();
}

bool CConnectionDlg::OnInitDialog() {
    dk::CDialog::OnInitDialog();
    SetIconFromHost(*this);
    for (const char* name : kModeNames)
        m_comboMode.AddString(name);
    m_comboMode.SetCurSel(static_cast<int>(m_nMode));
    UpdateHostAddrEnabling();
    // The longest nickname a host takes, for both roles, as a first guard: the box
    // counts characters, OK counts bytes.
    dk::CEdit nickname;
    nickname.Attach(dk::ControlOf(GetSafeHwnd(), IDC_NICKNAME_EDIT));
    nickname.SetLimitText(static_cast<unsigned>(chatlines::kMaxNicknameBytes));
    return true;
}

void CConnectionDlg::DoDataExchange(dk::CDataExchange& dx) {
    dk::DDX_Control(dx, IDC_MODE_COMBO, m_comboMode);
    dk::DDX_Text(dx, IDC_HOST_ADDR_EDIT, m_strHostAddr);
    dk::DDX_Text(dx, IDC_PORT_EDIT, m_nPort);
    dk::DDX_Text(dx, IDC_NICKNAME_EDIT, m_strNickname);
    dk::DDX_Control(dx, IDC_HOST_ADDR_EDIT, m_editHostAddr);
}

bool CConnectionDlg::RouteMessage(unsigned message, unsigned code, int id) {
    static const dk::MessageEntry<CConnectionDlg> kMessageTable[] = {
        {dk::kWmCommand, dk::kCbnSelChange, IDC_MODE_COMBO, &CConnectionDlg::OnModeSelChange},
        {dk::kWmCommand, dk::kBnClicked, dk::kIdOkCommand, &CConnectionDlg::OnOkButton},
    };
    return dk::RouteThroughTable(this, kMessageTable, message, code, id);
}

void CConnectionDlg::UpdateHostAddrEnabling() {
    if (m_nMode == ChatMode::Guest)
        m_editHostAddr.EnableWindow(true);
    else if (m_nMode == ChatMode::Host)
        m_editHostAddr.EnableWindow(false);
}

void CConnectionDlg::OnModeSelChange() {
    m_nMode = static_cast<ChatMode>(m_comboMode.GetCurSel());
    UpdateHostAddrEnabling();
}

void CConnectionDlg::OnOkButton() {
    if (!UpdateData(true)) return;
    if (m_nMode == ChatMode::Guest || m_nMode == ChatMode::Host) {
        if (!IsValidPort(m_nPort)) {
            Warn("Please enter a valid port number.");
            return;
        }
        if (m_nMode == ChatMode::Guest && m_strHostAddr.empty()) {
            Warn("Please enter a valid IP address.");
            return;
        }
        // The text limit of the box counts characters where the box stores UTF-16: the
        // bytes the plug-in would send are counted here, or the host would refuse the
        // name and the guest never hear of it.
        if (m_strNickname.size() > chatlines::kMaxNicknameBytes) {
            Warn("Please enter a nickname of at most 256 bytes.");
            return;
        }
    }
    OnOK();
}
