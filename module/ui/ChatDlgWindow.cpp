// The window side of CChatDlg, the only code that touches its controls: creation
// once and showing, hiding once the session has ended every connection, the host's
// icon, showing the state and the transcript's end as the session decides them, data
// exchange with the two boxes, the settings dialog, Help! and the Close paths, and the
// message table that routes the window's commands.
#include "module/chat/ChatDlg.h"

#include "dialogkit/controls.h"
#include "dialogkit/message_box.h"
#include "dialogkit/window.h"
#include "module/plugin/CExtAPI.h"
#include "module/ui/ConnectionDlg.h"
#include "module/ui/HelpPage.h"
#include "module/ui/HostIcon.h"
#include "module/ui/ModuleTemplates.h"
#include "module/ui/resource.h"

#include <string>

namespace {
// Neither box has a length limit: raise the edit controls' default one.
constexpr unsigned kNoTextLimit = 0;
} // namespace

CChatDlg::CChatDlg() : dk::CDialog(IDD_CHAT_DIALOG) {}

CChatDlg::~CChatDlg() {
    HideAndEndSessions();
}

void CChatDlg::ShowChatWindow() {
    if (m_bShown) return;
    if (!m_bCreated || !HasWindow()) {
        UseModuleTemplates();
        // A window that could not be made is reported, and the next "Chat client"
        // tries again rather than leaving the user with a menu entry that does nothing.
        if (!Create(nullptr)) {
            g_ExtAPI.app_ReportError(
                "CChatDlg::ShowChatWindow error:\r\n - cannot create chat window");
            return;
        }
        m_bCreated = true;
    } else {
        // Entries appended while the window was hidden reached the members only (a
        // handler that was under way when it closed): the boxes catch up before the
        // next capture could read them back without those entries.
        UpdateData(false);
    }
    ShowWindow(dk::kSwShowNormal);
    m_bShown = true;
    UpdateStateDisplay();
}

void CChatDlg::HideAndEndSessions() {
    if (!m_bShown) return;
    EndSessions();
    ShowWindow(dk::kSwHide);
    m_bShown = false;
}

void CChatDlg::ShowState(const StateDisplay& display) {
    if (!display.modeKnown) {
        SetWindowText("");
        return;
    }
    m_btnConnect.SetWindowText(display.connectCaption);
    SetWindowText(display.title);
    m_editMessage.EnableWindow(display.sendEnabled);
    m_btnSend.EnableWindow(display.sendEnabled);
}

void CChatDlg::ShowTranscriptEnd() {
    {
        // The transcript box takes the new entries (and loses a trimmed head), then
        // scrolls: each step would redraw its scroll bar at once; it is drawn once, as
        // it ends up, at the next paint.
        const dk::CDrawingPause pause(m_editTranscript);
        // The refresh rewrites the message box too: what the user has typed since the
        // last capture is read first, so that no append discards it.
        RefreshFields();
        // Scrolling by the whole line count brings the end of the text into view.
        m_editTranscript.LineScroll(m_editTranscript.GetLineCount(), 0);
    }
    CallAttention();
}

void CChatDlg::ShowPendingView() {
    const PendingView pending = m_PendingView;
    m_PendingView = PendingView::None;
    if (!m_bShown) return;
    if (pending == PendingView::TranscriptEnd)
        ShowTranscriptEnd();
    else if (pending == PendingView::Fields)
        RefreshFields();
}

void CChatDlg::CallAttention() {
    // Asked once until the window is activated or left again: flashing is drawn anew
    // with every request.
    if (m_bAttentionAsked || IsForeground()) return;
    FlashUntilForeground();
    m_bAttentionAsked = true;
}

void CChatDlg::OnActivate() {
    m_bAttentionAsked = false;
}

void CChatDlg::CaptureFields() {
    // A batch's entries go to the box before it is read back, or reading would drop them:
    // the capture then runs inside a report's modal loop, and the batch resumes after.
    ShowPendingView();
    if (m_bShown) UpdateData(true);
}

void CChatDlg::RefreshFields() {
    if (m_bShown && m_editMessage.IsAttached()) m_strMessage = m_editMessage.GetWindowText();
    UpdateData(false);
}

void CChatDlg::EmptyMessageIfStill(const std::string& sent) {
    if (m_bShown && m_editMessage.IsAttached()) m_strMessage = m_editMessage.GetWindowText();
    if (m_strMessage == sent) m_strMessage.clear();
    UpdateData(false);
}

std::optional<CChatDlg::Settings> CChatDlg::AskSettings() {
    CConnectionDlg dialog;
    dialog.m_nMode = m_nMode;
    dialog.m_strHostAddr = m_strHostAddr;
    dialog.m_nPort = static_cast<std::uint32_t>(m_nPort);
    dialog.m_strNickname = m_strNickname;
    if (dialog.DoModal() != dk::kIdOkCommand) return std::nullopt;
    return Settings{dialog.m_nMode, dialog.m_strHostAddr, static_cast<std::int32_t>(dialog.m_nPort),
                    dialog.m_strNickname};
}

bool CChatDlg::OnInitDialog() {
    m_TranscriptInBox.Forget(); // a new box holds nothing yet
    dk::CDialog::OnInitDialog();
    m_editTranscript.SetLimitText(kNoTextLimit);
    m_editMessage.SetLimitText(kNoTextLimit);
    ListenToBoxKeys();
    SetIconFromHost(*this);
    return true;
}

void CChatDlg::DoDataExchange(dk::CDataExchange& dx) {
    dk::DDX_Control(dx, IDC_CONNECT_BUTTON, m_btnConnect);
    // Only this exchange writes the read-only transcript box: each exchange removes the
    // entries trimmed from its top and adds those appended since the last one.
    dk::DDX_GrowingText(dx, IDC_TRANSCRIPT_EDIT, m_strTranscript, m_TranscriptInBox);
    dk::DDX_Text(dx, IDC_MESSAGE_EDIT, m_strMessage);
    dk::DDX_Control(dx, IDC_SEND_BUTTON, m_btnSend);
    dk::DDX_Control(dx, IDC_MESSAGE_EDIT, m_editMessage);
    dk::DDX_Control(dx, IDC_TRANSCRIPT_EDIT, m_editTranscript);
}

bool CChatDlg::RouteMessage(unsigned message, unsigned code, int id) {
    static const dk::MessageEntry<CChatDlg> kMessageTable[] = {
        {dk::kWmClose, 0, 0, &CChatDlg::OnCloseRequest},
        {dk::kWmActivate, 0, 0, &CChatDlg::OnActivate},
        {dk::kWmCommand, dk::kBnClicked, dk::kIdOkCommand, &CChatDlg::OnCloseButton},
        {dk::kWmCommand, dk::kBnClicked, IDC_CONNECT_BUTTON, &CChatDlg::OnBnClickedConnectButton},
        {dk::kWmCommand, dk::kBnClicked, IDC_HELP_BUTTON, &CChatDlg::OnHelpButton},
        {dk::kWmCommand, dk::kBnClicked, IDC_SEND_BUTTON, &CChatDlg::OnBnClickedSendButton},
        // Escape would otherwise hide the window with its sessions still running and
        // m_bShown still set; it closes the window like the close box instead.
        {dk::kWmCommand, dk::kBnClicked, dk::kIdCancelCommand, &CChatDlg::OnCloseRequest},
    };
    return dk::RouteThroughTable(this, kMessageTable, message, code, id);
}

// Both Close paths capture the boxes while the window is still shown, what a batch
// has held back shown first: a capture keeps of the transcript only what its box holds,
// and the members are what a hidden window's boxes are written from.
void CChatDlg::OnCloseButton() {
    CaptureFields();
    HideAndEndSessions();
    OnOK();
}

void CChatDlg::OnCloseRequest() {
    CaptureFields();
    HideAndEndSessions();
    DefaultClose();
}

void CChatDlg::OnHelpButton() {
    OpenHelpPage();
}
