// CConnectionDlg: the modal connection settings dialog (template 15002). The chat
// window fills its four settings, runs it, and takes them back only after OK; the
// dialog checks the port and, for a guest, that an address is given.
#pragma once

#include "dialogkit/dialog.h"
#include "module/chat/ChatMode.h"

#include <cstdint>
#include <string>

class CConnectionDlg : public dk::CDialog {
public:
    CConnectionDlg();

    ChatMode m_nMode = ChatMode::Guest; // the index of the mode list's selection
    dk::CComboBox m_comboMode;
    std::string m_strHostAddr;
    std::uint32_t m_nPort = 0;
    std::string m_strNickname;
    dk::CEdit m_editHostAddr;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(dk::CDataExchange& dx) override;
    bool RouteMessage(unsigned message, unsigned code, int id) override;

private:
    void OnModeSelChange();
    void OnOkButton();
    void UpdateHostAddrEnabling();
};
