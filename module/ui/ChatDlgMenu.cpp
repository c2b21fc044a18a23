// The window side of the transcript's menu and keys: the menu over the transcript box
// (right click, Shift+F10, the menu key), Ctrl+F, F3 and Ctrl+S in either box, and the
// items: Copy, Select all, Find, Save transcript as, Clear transcript, Show times and
// This computer's addresses. Each item runs after the menu's modal loop, in which the
// chat went on: it reads the state afresh, and the transcript it works on is the
// current one, shown in full first.
#include "module/chat/ChatDlg.h"

#include "dialogkit/message_box.h"
#include "dialogkit/save_dialog.h"
#include "module/net/LocalAddresses.h"
#include "module/ui/AddressesBox.h"
#include "module/ui/FindDlg.h"
#include "module/ui/TranscriptFile.h"
#include "module/ui/TranscriptMenu.h"

#include <ctime>

namespace {
// WM_COPY: the edit box copies its selection to the clipboard.
constexpr unsigned kWmCopy = 0x0301;
// EM_SETSEL's end past any text.
constexpr int kWholeText = -1;
} // namespace

void CChatDlg::ListenToBoxKeys() {
    // A Find match stays marked while the Find dialog has the focus; the box's style,
    // fixed by its template, would hide it.
    dk::SubclassControl(m_editTranscript.GetSafeHwnd(), this, dk::SelectionShown::AlsoUnfocused);
    dk::SubclassControl(m_editMessage.GetSafeHwnd(), this);
}

bool CChatDlg::OnControlContextMenu(dk::WindowHandle control, int x, int y) {
    if (control != m_editTranscript.GetSafeHwnd()) return false; // the message box keeps its own
    int start = 0, end = 0;
    m_editTranscript.GetSel(start, end);
    const int chosen =
        dk::TrackPopupMenu(GetSafeHwnd(), TranscriptMenuItems({start != end, m_bShowTimes}), x, y);
    RunTranscriptCommand(chosen);
    return true;
}

bool CChatDlg::OnControlKey(dk::WindowHandle /*control*/, unsigned virtualKey, unsigned modifiers) {
    const TranscriptCommand command = CommandForKey(virtualKey, modifiers);
    if (command == kNoTranscriptCommand) return false;
    RunTranscriptCommand(command);
    return true;
}

void CChatDlg::RunTranscriptCommand(int command) {
    if (!m_bShown) return; // the window was closed while the menu was open
    switch (command) {
    case kCopyCommand:
        m_editTranscript.SendMessage(kWmCopy);
        break;
    case kSelectAllCommand:
        m_editTranscript.SetSel(0, kWholeText);
        break;
    case kFindCommand:
        OnFindTranscript();
        break;
    case kFindNextCommand:
        if (m_LastFind.text.empty())
            OnFindTranscript();
        else
            FindInTranscript(m_LastFind);
        break;
    case kSaveTranscriptCommand:
        OnSaveTranscript();
        break;
    case kClearTranscriptCommand:
        ClearTranscript();
        break;
    case kShowTimesCommand:
        m_bShowTimes = !m_bShowTimes;
        break;
    case kAddressesCommand:
        OnShowAddresses();
        break;
    default:
        break; // dismissed
    }
}

void CChatDlg::OnFindTranscript() {
    CFindDlg dialog(m_LastFind, [this](const FindRequest& request) {
        m_LastFind = request;
        FindInTranscript(request);
    });
    // Without an owner, as the settings dialog: the chat window stays usable (Send,
    // Close) while the dialog is open.
    dialog.DoModal();
    // The match is selected in the transcript box, which shows it once it has the focus.
    if (m_bShown) dk::SetFocus(m_editTranscript.GetSafeHwnd());
}

void CChatDlg::FindInTranscript(const FindRequest& request) {
    if (!m_bShown || request.text.empty()) return;
    ShowPendingView(); // the box shows the whole transcript: its positions are the member's
    int start = 0, end = 0;
    m_editTranscript.GetSel(start, end);
    const std::optional<TextMatch> match = FindMatch(
        m_strTranscript, request, static_cast<std::size_t>(start), static_cast<std::size_t>(end));
    if (!match) {
        const std::string text = "Cannot find \"" + request.text + "\"";
        dk::ShowAppMessageBox(text.c_str(), dk::kMbOk | dk::kMbIconInformation);
        return;
    }
    m_editTranscript.SetSel(static_cast<int>(match->start), static_cast<int>(match->end));
    m_editTranscript.ScrollCaret();
}

void CChatDlg::OnSaveTranscript() {
    dk::SaveAsRequest request;
    request.folder = dk::DocumentsFolder();
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    request.fileName = local ? ProposedTranscriptName(*local) : "Chat.txt";
    request.typeName = "Text files";
    request.extension = "txt";
    const std::optional<std::string> path = dk::AskSaveAsPath(nullptr, request);
    if (!path) return;
    // The transcript as it is now, after the dialog's loop: every entry in the box.
    ShowPendingView();
    std::string error;
    if (SaveTranscript(*path, m_strTranscript, error)) return;
    dk::ShowAppMessageBoxUtf8("Cannot save the transcript to \"" + *path + "\".\r\n" + error,
                              dk::kMbOk | dk::kMbIconError);
}

void CChatDlg::OnShowAddresses() {
    const bool hosting =
        m_nMode == ChatMode::Host && m_ListenSock.GetSockState() == SOCKSTATE_LISTENING;
    const std::string text = LocalAddressesText(LocalIPv4Addresses(), hosting ? m_nPort : 0);
    dk::ShowAppMessageBox(text.c_str(), dk::kMbOk | dk::kMbIconInformation);
}
