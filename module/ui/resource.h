// Resource ids of the module's resource script: the two dialog templates and their
// controls. Shared by Volubra.rc and the window code.
#pragma once

#define IDD_CHAT_DIALOG 15000
#define IDD_CONNECTION_SETTINGS 15002
// The plug-in's own small dialogs, beside the two fixed ones.
#define IDD_FIND_DIALOG 15100

// Chat dialog (15000)
#define IDC_CONNECT_BUTTON 15002
#define IDC_TRANSCRIPT_EDIT 15003
#define IDC_MESSAGE_EDIT 15004
#define IDC_HELP_BUTTON 15005
#define IDC_SEND_BUTTON 15013

// Connection settings (15002)
#define IDC_HOST_ADDR_EDIT 15000
#define IDC_PORT_EDIT 15001
#define IDC_MODE_COMBO 15006
#define IDC_NICKNAME_EDIT 15007

// Find (15100)
#define IDC_FIND_TEXT_EDIT 15101
#define IDC_FIND_MATCH_CASE 15102
#define IDC_FIND_UP 15103
#define IDC_FIND_DOWN 15104

#define IDC_LABEL -1
