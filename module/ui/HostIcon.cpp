// The host's icon for the module's dialogs.
#include "module/ui/HostIcon.h"

#include "module/plugin/CExtAPI.h"
#include "module/plugin/CqFunc.h"

void SetIconFromHost(dk::CDialog& dialog) {
    CqFunc getIcon;
    if (!getIcon.GetFunc("application.GetIcon")) return;
    const QHANDLE hRetVal = getIcon.ExecuteRet();
    QHANDLE hIcon = 0;
    // With no return variable (hRetVal 0) the read fails, as it should.
    // Icons are window-system handles, whose 32 significant bits are sign-extended
    // when a 64-bit process widens them.
    if (g_ExtAPI.var_GetValueEx(hRetVal, TYPEID_HANDLE, &hIcon))
        dialog.SendMessage(dk::kWmSetIcon, dk::kIconBig,
                           static_cast<dk::LParam>(static_cast<std::int32_t>(hIcon)));
}
