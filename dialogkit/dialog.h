// dk::CDialog: a dialog built from a template resource of the module, modeless
// (Create) or modal (DoModal), with data exchange between members and controls,
// a message table that routes commands to member functions, and the standard OK
// and Cancel. The window procedure is the back end's; it hands every message to
// OnWindowMessage. A modeless dialog that ends is only hidden.
#pragma once

#include "dialogkit/controls.h"
#include "dialogkit/window.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace dk {

class CDialog;

// One exchange pass: towards the window (m_bSaveAndValidate false) or from it. The
// first field that fails ends the pass; later fields are then neither read nor written.
class CDataExchange {
public:
    CDataExchange(CDialog& dialog, bool saveAndValidate)
        : m_pDlgWnd(&dialog), m_bSaveAndValidate(saveAndValidate) {}
    // The control's window, or null when the pass has failed or there is no such control
    // (which fails the pass).
    WindowHandle PrepareControl(int id);
    void Fail() { m_bFailed = true; }
    bool Failed() const { return m_bFailed; }

    CDialog* m_pDlgWnd; // not owned
    bool m_bSaveAndValidate;

private:
    bool m_bFailed = false;
};

// Binds a control member to the dialog's control with that id.
void DDX_Control(CDataExchange& dx, int id, CWnd& control);
// The whole text of a control.
void DDX_Text(CDataExchange& dx, int id, std::string& value);
// A check box or radio button: checked or not.
void DDX_Check(CDataExchange& dx, int id, bool& value);
// An unsigned decimal number: written as "%u", read as "%u" would (see ReadUnsigned).
// Text without a number shows "Please enter a positive integer.", puts the focus into
// the box with its text selected and fails the pass; the value is then unchanged.
void DDX_Text(CDataExchange& dx, int id, std::uint32_t& value);

// How much of a text that grows at its end, and loses whole pieces at its head, a box
// is known to hold: the text's first `length` bytes as the last exchange left them,
// preceded in the box by `headCut` bytes that have since been removed from the text.
// Unknown at first, and again whenever the box is made anew (Forget).
struct BoxPrefix {
    static constexpr std::size_t kUnknown = static_cast<std::size_t>(-1);
    std::size_t length = kUnknown;
    std::size_t headCut = 0;
    void Forget() {
        length = kUnknown;
        headCut = 0;
    }
    // The text has lost its first `bytes` bytes. When the box holds fewer than that, it
    // is no longer known to hold a prefix and is written whole next time.
    void DropHead(std::size_t bytes) {
        if (length == kUnknown) return;
        if (bytes > length) {
            Forget();
            return;
        }
        length -= bytes;
        headCut += bytes;
    }
};

// The whole text of a box that only this exchange writes (read-only to the user),
// holding a text that grows at its end and is trimmed at its head, such as a
// transcript. While the box is known to hold a prefix of value, writing removes the
// trimmed head from the box and adds the rest at its end (the text limit lifted
// first), and reading keeps that prefix without reading the box back; otherwise the
// whole text is exchanged as by DDX_Text. So an exchange costs what changed since the
// last one, however long the text has grown.
void DDX_GrowingText(CDataExchange& dx, int id, std::string& value, BoxPrefix& held);

// The "%u" reading: white space skipped, optional sign (minus negates modulo 2^32),
// digits up to the first other character, the rest ignored. False when no digit
// could be read. More digits than fit in 32 bits give 0xFFFFFFFF, whatever the sign.
bool ReadUnsigned(const std::string& text, std::uint32_t& value);

// One entry of a message table: a window message (kWmCommand with a notification
// code and control id, or kWmClose) and the member function that handles it.
template <class T> struct MessageEntry {
    unsigned message;
    unsigned code;
    int id;
    void (T::*handler)();
};

// Runs the first entry of the table that matches; false when none does.
template <class T, std::size_t N>
bool RouteThroughTable(T* self, const MessageEntry<T> (&table)[N], unsigned message, unsigned code,
                       int id) {
    for (const MessageEntry<T>& entry : table) {
        const bool matches = entry.message == message &&
                             (message != kWmCommand || (entry.code == code && entry.id == id));
        if (matches) {
            (self->*entry.handler)();
            return true;
        }
    }
    return false;
}

class CDialog {
public:
    explicit CDialog(int templateId) : m_nTemplateId(templateId) {}
    virtual ~CDialog(); // destroys the window if there is one
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Makes the modeless window (hidden unless the template says visible). False when
    // the template cannot be found or the window cannot be made; no window then.
    bool Create(WindowHandle owner = nullptr);
    // Runs the dialog modally; its end result (kIdOkCommand, kIdCancelCommand ...), or
    // -1 when the window could not be made.
    int DoModal(WindowHandle owner = nullptr);
    // Exchanges every field; false when a field failed or there is no window.
    bool UpdateData(bool saveAndValidate = true);
    // A modal dialog ends with result; a modeless one is hidden.
    void EndDialog(int result);

    WindowHandle GetSafeHwnd() const { return m_hWnd; }
    bool HasWindow() const { return m_hWnd != nullptr; }
    int GetTemplateId() const { return m_nTemplateId; }
    bool IsModal() const { return m_bModal; }

    // Operations on the dialog's own window; each does nothing without a window.
    bool ShowWindow(int command);
    bool IsWindowVisible() const;
    // Whether the window is the one the user is working in.
    bool IsForeground() const;
    // Flashes the caption and taskbar button until the user brings the window forward.
    void FlashUntilForeground();
    bool SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    LResult SendMessage(unsigned message, WParam wParam = 0, LParam lParam = 0);
    void DestroyWindow();

    // For the back ends: every message of the dialog's window. handled tells whether the
    // dialog took it; the result is the handler's (OnInitDialog's for kWmInitDialog).
    LResult OnWindowMessage(unsigned message, WParam wParam, LParam lParam, bool& handled);
    void AttachWindow(WindowHandle window) {
        m_hWnd = window;
        m_Controls.clear();
    }
    // The dialog's control with that id, or null. Each exchange asks for every control,
    // and under Wine each GetDlgItem is a round trip to its server: what was found is
    // kept while it is a live window with that id.
    WindowHandle ControlWithId(int id);

protected:
    // Standard initialisation: fields towards the window; true puts the focus on the
    // first tab stop.
    virtual bool OnInitDialog();
    virtual void DoDataExchange(CDataExchange& dx);
    // The message table query: true when the table handled the message.
    virtual bool RouteMessage(unsigned message, unsigned code, int id);
    // Standard OK: fields from the window, and if they all read, end with OK.
    virtual void OnOK();
    virtual void OnCancel();
    // The default processing of a close request: as the Cancel command.
    void DefaultClose();

private:
    const int m_nTemplateId;
    WindowHandle m_hWnd = nullptr; // the dialog's window, destroyed with the object
    bool m_bModal = false;
    std::vector<std::pair<int, WindowHandle>> m_Controls; // found by id; not owned
};

} // namespace dk
