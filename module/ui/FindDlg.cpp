// The Find dialog: the fields, and Find Next, which reads them and leaves the dialog
// open (the default button is Find Next, so Enter finds again; Close and Escape end it).
#include "module/ui/FindDlg.h"

#include "module/ui/resource.h"

#include <utility>

CFindDlg::CFindDlg(const FindRequest& request, FindNext findNext)
    : dk::CDialog(IDD_FIND_DIALOG), m_Request(request), m_FindNext(std::move(findNext)) {}

void CFindDlg::DoDataExchange(dk::CDataExchange& dx) {
    dk::DDX_Text(dx, IDC_FIND_TEXT_EDIT, m_Request.text);
    dk::DDX_Check(dx, IDC_FIND_MATCH_CASE, m_Request.matchCase);
    bool up = !m_Request.down;
    dk::DDX_Check(dx, IDC_FIND_UP, up);
    dk::DDX_Check(dx, IDC_FIND_DOWN, m_Request.down);
}

bool CFindDlg::RouteMessage(unsigned message, unsigned code, int id) {
    static const dk::MessageEntry<CFindDlg> kMessageTable[] = {
        {dk::kWmCommand, dk::kBnClicked, dk::kIdOkCommand, &CFindDlg::OnFindNext},
    };
    return dk::RouteThroughTable(this, kMessageTable, message, code, id);
}

void CFindDlg::OnFindNext() {
    if (!UpdateData(true) || m_Request.text.empty()) return; // nothing to look for
    // A copy: the search may open a box, in whose loop this dialog can be ended.
    const FindRequest request = m_Request;
    if (m_FindNext) m_FindNext(request);
}
