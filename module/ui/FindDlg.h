// The Find dialog of the transcript: a small modal dialog of the plug-in's own
// (template IDD_FIND_DIALOG) with the text, Match case, Up/Down, Find Next and Close.
// It stays open across Find Next; each one hands the request to the window that owns
// the transcript, which selects the match or says there is none.
#pragma once

#include "dialogkit/dialog.h"
#include "module/chat/TextSearch.h"

#include <functional>

class CFindDlg : public dk::CDialog {
public:
    using FindNext = std::function<void(const FindRequest&)>;
    // Starts with request's text and options; findNext runs for each Find Next with a
    // text in the box.
    CFindDlg(const FindRequest& request, FindNext findNext);

    // The text and options as the dialog last read them.
    const FindRequest& Request() const { return m_Request; }

protected:
    void DoDataExchange(dk::CDataExchange& dx) override;
    bool RouteMessage(unsigned message, unsigned code, int id) override;

private:
    void OnFindNext();

    FindRequest m_Request;
    FindNext m_FindNext;
};
