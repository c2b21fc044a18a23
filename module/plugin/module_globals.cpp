// The module-wide objects, constructed in this order when the module is loaded and
// living until it is unloaded: the host binding, the application, the chat window.
#include "dialogkit/message_box.h"
#include "module/plugin/CExtAPI.h"
#include "module/ui/ChatDlg.h"

CExtAPI g_ExtAPI;

namespace {

constexpr const char* kAppName = "Volubra";

// The module's application object: its initialisation names the application, so
// that the framework's message boxes carry the module's base name as caption.
class CVolubraApp {
public:
    CVolubraApp() { InitInstance(); }
    bool InitInstance() {
        dk::SetAppName(kAppName);
        return true;
    }
};

CVolubraApp theApp;

} // namespace

CChatDlg g_ChatDlg;
