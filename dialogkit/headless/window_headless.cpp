// The headless back end: windows live in memory, built from the same compiled dialog
// templates that ship in the DLL. Each window keeps what a user would see of it
// (class, id, text, style, enabled, visible, focus, edit selection and scroll
// position, combo items and selection, icons), and answers the messages that
// dialogkit sends the way USER32's controls answer them. A modal dialog has no message
// loop: a driver, if one is installed, acts on it, and it is cancelled if left open.
#include "dialogkit/backend.h"
#include "dialogkit/control_keys.h"
#include "dialogkit/dialog_template.h"
#include "dialogkit/embedded_templates.h"
#include "dialogkit/headless/desktop.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>

namespace dk {
namespace {

constexpr std::uint32_t kWsVisible = 0x10000000;
constexpr std::uint32_t kWsDisabled = 0x08000000;
constexpr std::uint32_t kWsTabStop = 0x00010000;
constexpr std::uint32_t kEsMultiline = 0x0004;
constexpr unsigned kDefaultEditLimit = 30000;
constexpr unsigned kMaximumEditLimit = 0x7FFFFFFE;
constexpr const char* kDialogClass = "#32770";
// Button kinds (the style's low four bits) that check themselves when clicked.
constexpr std::uint32_t kButtonKindMask = 0x000F;
constexpr std::uint32_t kBsAutoCheckBox = 0x0003;
constexpr std::uint32_t kBsAutoRadioButton = 0x0009;

struct HeadlessWindow {
    std::string className;
    int id = 0;
    std::string text;
    std::uint32_t style = 0;
    bool enabled = true;
    bool visible = false;
    HeadlessWindow* parent = nullptr; // not owned
    std::vector<std::unique_ptr<HeadlessWindow>> children;
    CDialog* dialog = nullptr; // not owned; dialogs only
    // edit
    int lineCount = 1; // kept as the text changes, as USER32 keeps it
    int selStart = 0, selEnd = 0;
    unsigned limitText = kDefaultEditLimit;
    int firstVisibleLine = 0;
    // button
    int check = kBstUnchecked;
    // a subclassed control's menu and keys
    ControlKeyHandler* keys = nullptr; // not owned
    // combo box
    std::vector<std::string> items;
    int curSel = kCbErr;
    // dialog
    LResult icons[2] = {0, 0};
    int flashRequests = 0;
    bool ended = false;
    int result = 0;
};

struct HeadlessDesktop {
    std::vector<std::unique_ptr<HeadlessWindow>> topLevel;
    std::set<HeadlessWindow*> live;
    HeadlessWindow* focus = nullptr;
    HeadlessWindow* foreground = nullptr; // null: another program's window
    unsigned heldModifiers = 0;           // kModShift, kModControl
    std::vector<const EmbeddedTemplate*> templateTables;
};

// Never destroyed: dialogs that are themselves globals (the module's chat window)
// destroy their windows during static destruction, after any local static would be gone.
HeadlessDesktop& Desktop() {
    static HeadlessDesktop* desktop = new HeadlessDesktop;
    return *desktop;
}

HeadlessWindow* Live(WindowHandle window) {
    auto* w = static_cast<HeadlessWindow*>(window);
    return w && Desktop().live.count(w) ? w : nullptr;
}

std::string LowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsEdit(const HeadlessWindow& w) {
    return w.className == "edit";
}
bool IsCombo(const HeadlessWindow& w) {
    return w.className == "combobox";
}
bool IsButtonOfKind(const HeadlessWindow& w, std::uint32_t kind) {
    return w.className == "button" && (w.style & kButtonKindMask) == kind;
}

// A click checks an automatic box in turn, and an automatic radio button, unchecking
// the others of its dialog (the dialogs here have one group of them at most).
void CheckOnClick(HeadlessWindow& w) {
    if (IsButtonOfKind(w, kBsAutoCheckBox)) {
        w.check = w.check == kBstChecked ? kBstUnchecked : kBstChecked;
    } else if (IsButtonOfKind(w, kBsAutoRadioButton) && w.parent) {
        for (auto& sibling : w.parent->children)
            if (IsButtonOfKind(*sibling, kBsAutoRadioButton)) sibling->check = kBstUnchecked;
        w.check = kBstChecked;
    }
}

int SignedWord(LParam value, int shift) {
    return static_cast<short>((static_cast<std::uintptr_t>(value) >> shift) & 0xFFFFu);
}

// A subclassed control's menu and keys, as the Win32 subclass takes them; true when
// taken. The menu keys ask for the menu as the default processing would.
bool TakeControlKeys(HeadlessWindow& w, unsigned message, WParam wParam, LParam lParam) {
    ControlKeyHandler* keys = w.keys;
    if (message == kWmContextMenu) // the edit box's own menu has nobody to show it to
        return keys->OnControlContextMenu(&w, SignedWord(lParam, 0), SignedWord(lParam, 16));
    if (message != kWmKeyDown && message != kWmSysKeyDown) return false;
    const unsigned key = static_cast<unsigned>(wParam);
    const unsigned modifiers = Desktop().heldModifiers;
    if (key == kVkApps || (key == kVkF10 && modifiers == kModShift))
        return keys->OnControlContextMenu(&w, kKeyboardMenuPoint, kKeyboardMenuPoint);
    return keys->OnControlKey(&w, key, modifiers);
}

// The line breaks ("\r\n") that lie wholly inside text[from, to).
int LineBreaks(const std::string& text, std::size_t from, std::size_t to) {
    int breaks = 0;
    to = std::min(to, text.size());
    for (std::size_t at = from; at + 1 < to; ++at)
        if (text[at] == '\r' && text[at + 1] == '\n') ++breaks;
    return breaks;
}

// EM_REPLACESEL: the inserted text, cut to what the text limit leaves room for, takes
// the selection's place, and the caret follows it. Only the lines around the change
// are counted again.
void ReplaceSelection(HeadlessWindow& w, const char* text) {
    const std::size_t end = std::min(static_cast<std::size_t>(w.selEnd), w.text.size());
    const std::size_t start = std::min(static_cast<std::size_t>(w.selStart), end);
    const std::size_t kept = w.text.size() - (end - start);
    const std::size_t room = w.limitText > kept ? w.limitText - kept : 0;
    const std::size_t length = std::min(std::strlen(text), room);
    // A line break may straddle either edge of the change.
    const std::size_t around = start > 0 ? start - 1 : 0;
    w.lineCount -= LineBreaks(w.text, around, end + 1);
    w.text.replace(start, end - start, text, length);
    w.lineCount += LineBreaks(w.text, around, start + length + 1);
    w.selStart = w.selEnd = static_cast<int>(start + length);
}

const EmbeddedTemplate* FindTemplate(int templateId) {
    if (detail::DriverHidesTemplate(templateId)) return nullptr;
    const auto& tables = Desktop().templateTables;
    for (auto table = tables.rbegin(); table != tables.rend(); ++table)
        for (const EmbeddedTemplate* t = *table; t->bytes; ++t)
            if (static_cast<int>(t->id) == templateId) return t;
    return nullptr;
}

void Forget(HeadlessWindow& w) {
    for (auto& child : w.children)
        Forget(*child);
    Desktop().live.erase(&w);
    if (Desktop().focus == &w) Desktop().focus = nullptr;
    if (Desktop().foreground == &w) Desktop().foreground = nullptr;
}

LResult DeliverToDialog(HeadlessWindow& w, unsigned message, WParam wParam, LParam lParam) {
    if (!w.dialog) return 0;
    bool handled = false;
    try {
        return w.dialog->OnWindowMessage(message, wParam, lParam, handled);
    } catch (...) {
        return 0; // nothing escapes a window procedure
    }
}

// The foreground moves to w (null: another program's window); both dialogs hear of
// it as USER32 tells them, by WM_ACTIVATE (wParam 1 active, 0 inactive).
void SetForeground(HeadlessWindow* w) {
    HeadlessWindow* previous = Desktop().foreground;
    if (previous == w) return;
    Desktop().foreground = w;
    if (previous) DeliverToDialog(*previous, kWmActivate, 0, 0);
    if (w && Live(w) == w) DeliverToDialog(*w, kWmActivate, 1, 0);
}

void FocusFirstTabStop(HeadlessWindow& dialog) {
    for (auto& child : dialog.children)
        if ((child->style & kWsTabStop) && child->visible && child->enabled) {
            Desktop().focus = child.get();
            return;
        }
}

// Builds the window tree of a dialog from its template and initialises it.
HeadlessWindow* MakeDialog(CDialog& dialog) {
    const EmbeddedTemplate* found = FindTemplate(dialog.GetTemplateId());
    DialogTemplate t;
    if (!found || !ParseDialogTemplate(found->bytes, found->size, t)) return nullptr;
    auto window = std::make_unique<HeadlessWindow>();
    window->className = kDialogClass;
    window->text = t.title;
    window->style = t.style;
    window->enabled = !(t.style & kWsDisabled);
    window->dialog = &dialog;
    for (const ControlTemplate& c : t.controls) {
        auto control = std::make_unique<HeadlessWindow>();
        control->className = LowerCase(c.ClassName()); // class names are case-blind
        control->id = c.id;
        control->text = c.title.isOrdinal ? std::string() : c.title.text;
        control->lineCount = 1 + LineBreaks(control->text, 0, control->text.size());
        control->style = c.style;
        control->visible = (c.style & kWsVisible) != 0;
        control->enabled = !(c.style & kWsDisabled);
        control->parent = window.get();
        Desktop().live.insert(control.get());
        window->children.push_back(std::move(control));
    }
    HeadlessWindow* w = window.get();
    Desktop().live.insert(w);
    Desktop().topLevel.push_back(std::move(window));
    dialog.AttachWindow(w);
    if (DeliverToDialog(*w, kWmInitDialog, 0, 0)) FocusFirstTabStop(*w);
    if (Live(w) && (t.style & kWsVisible)) w->visible = true;
    return Live(w);
}

LResult EditMessage(HeadlessWindow& w, unsigned message, WParam wParam, LParam lParam) {
    const int length = static_cast<int>(w.text.size());
    switch (message) {
    case kEmGetLineCount:
        return w.lineCount;
    case kEmLineScroll:
        if (!(w.style & kEsMultiline)) return 0;
        w.firstVisibleLine =
            std::clamp(w.firstVisibleLine + static_cast<int>(lParam), 0, w.lineCount - 1);
        return 1;
    case kEmGetFirstVisibleLine:
        return w.firstVisibleLine;
    case kEmScrollCaret: // the caret's line comes to the top, as far as it can
        w.firstVisibleLine = LineBreaks(w.text, 0, static_cast<std::size_t>(w.selEnd));
        return 1;
    case kEmSetSel: {
        int start = static_cast<int>(static_cast<std::intptr_t>(wParam));
        int end = static_cast<int>(lParam);
        if (start < 0) {
            w.selStart = w.selEnd = w.selEnd; // -1 removes the selection
            return 0;
        }
        if (end < 0 || end > length) end = length;
        start = std::min(start, length);
        w.selStart = std::min(start, end);
        w.selEnd = std::max(start, end);
        return 0;
    }
    case kEmReplaceSel:
        ReplaceSelection(w, lParam ? reinterpret_cast<const char*>(lParam) : "");
        return 0;
    case kEmGetSel: {
        // As Windows: both positions through the pointers, and packed into the answer
        // only while both fit 16 bits (else -1).
        if (wParam)
            *reinterpret_cast<std::uint32_t*>(wParam) = static_cast<std::uint32_t>(w.selStart);
        if (lParam)
            *reinterpret_cast<std::uint32_t*>(lParam) = static_cast<std::uint32_t>(w.selEnd);
        if (w.selStart > 0xFFFF || w.selEnd > 0xFFFF) return -1;
        return static_cast<LResult>(
            MakeWParam(static_cast<unsigned>(w.selStart), static_cast<unsigned>(w.selEnd)));
    }
    case kEmSetLimitText:
        w.limitText = wParam ? static_cast<unsigned>(wParam) : kMaximumEditLimit;
        return 0;
    case kEmGetLimitText:
        return w.limitText;
    default:
        return 0;
    }
}

LResult ComboMessage(HeadlessWindow& w, unsigned message, WParam wParam, LParam lParam) {
    const int count = static_cast<int>(w.items.size());
    const int index = static_cast<int>(static_cast<std::intptr_t>(wParam));
    switch (message) {
    case kCbAddString:
        w.items.emplace_back(lParam ? reinterpret_cast<const char*>(lParam) : "");
        return count;
    case kCbSetCurSel:
        w.curSel = index >= 0 && index < count ? index : kCbErr;
        return w.curSel;
    case kCbGetCurSel:
        return w.curSel;
    case kCbGetCount:
        return count;
    case kCbGetLbTextLen:
        return index >= 0 && index < count ? static_cast<LResult>(w.items[index].size()) : kCbErr;
    case kCbGetLbText:
        if (index < 0 || index >= count || !lParam) return kCbErr;
        std::memcpy(reinterpret_cast<char*>(lParam), w.items[index].c_str(),
                    w.items[index].size() + 1);
        return static_cast<LResult>(w.items[index].size());
    default:
        return 0;
    }
}

} // namespace

void AddEmbeddedTemplates(const EmbeddedTemplate* table) {
    auto& tables = Desktop().templateTables;
    if (table && std::find(tables.begin(), tables.end(), table) == tables.end())
        tables.push_back(table);
}

LResult SendMsg(WindowHandle window, unsigned message, WParam wParam, LParam lParam) {
    HeadlessWindow* w = Live(window);
    if (!w) return 0;
    switch (message) {
    case kWmSetText:
        SetText(w, lParam ? reinterpret_cast<const char*>(lParam) : "");
        return 1;
    case kWmGetTextLength:
        return static_cast<LResult>(IsCombo(*w) ? GetText(w).size() : w->text.size());
    case kWmSetIcon: {
        const int which = wParam == kIconBig ? kIconBig : kIconSmall;
        const LResult previous = w->icons[which];
        w->icons[which] = lParam;
        return previous;
    }
    case kWmGetIcon:
        return w->icons[wParam == kIconBig ? kIconBig : kIconSmall];
    case kBmGetCheck:
        return w->check;
    case kBmSetCheck:
        w->check = static_cast<int>(wParam);
        return 0;
    case kBmClick:
        if (w->enabled) CheckOnClick(*w);
        if (w->enabled && w->parent)
            SendMsg(w->parent, kWmCommand, MakeWParam(static_cast<unsigned>(w->id), kBnClicked),
                    reinterpret_cast<LParam>(w));
        return 0;
    default:
        break;
    }
    if (w->keys && TakeControlKeys(*w, message, wParam, lParam)) return 0;
    if (w->dialog) return DeliverToDialog(*w, message, wParam, lParam);
    if (IsEdit(*w)) return EditMessage(*w, message, wParam, lParam);
    if (IsCombo(*w)) return ComboMessage(*w, message, wParam, lParam);
    return 0;
}

WindowHandle ControlOf(WindowHandle dialog, int id) {
    HeadlessWindow* w = Live(dialog);
    if (!w) return nullptr;
    for (auto& child : w->children)
        if (child->id == id) return child.get();
    return nullptr;
}

int ControlIdOf(WindowHandle window) {
    HeadlessWindow* w = Live(window);
    return w ? w->id : 0;
}

std::string GetText(WindowHandle window) {
    HeadlessWindow* w = Live(window);
    if (!w) return {};
    if (IsCombo(*w)) return w->curSel >= 0 ? w->items[static_cast<std::size_t>(w->curSel)] : "";
    return w->text;
}

bool SetText(WindowHandle window, const std::string& text) {
    HeadlessWindow* w = Live(window);
    if (!w) return false;
    w->text = text;
    if (IsEdit(*w)) { // a new text starts unselected and scrolled to the top
        w->lineCount = 1 + LineBreaks(text, 0, text.size());
        w->selStart = w->selEnd = 0;
        w->firstVisibleLine = 0;
    }
    return true;
}

bool IsLiveWindow(WindowHandle window) {
    return Live(window) != nullptr;
}

bool ShowWindow(WindowHandle window, int command) {
    HeadlessWindow* w = Live(window);
    if (!w) return false;
    const bool wasVisible = w->visible;
    w->visible = command != kSwHide;
    // Showing a top-level window activates it; hiding the active one leaves the
    // foreground to another program.
    if (!w->parent && w->visible)
        SetForeground(w);
    else if (!w->visible && Desktop().foreground == w)
        SetForeground(nullptr);
    return wasVisible;
}

bool IsForegroundWindow(WindowHandle window) {
    HeadlessWindow* w = Live(window);
    return w && Desktop().foreground == w;
}

// Nothing is drawn here: there is no drawing to hold back.
bool PauseDrawing(WindowHandle) {
    return false;
}

void ResumeDrawing(WindowHandle) {}

void FlashUntilForeground(WindowHandle window) {
    if (HeadlessWindow* w = Live(window)) ++w->flashRequests;
}

bool IsWindowVisible(WindowHandle window) {
    HeadlessWindow* w = Live(window);
    return w && w->visible && (!w->parent || w->parent->visible);
}

bool EnableWindow(WindowHandle window, bool enable) {
    HeadlessWindow* w = Live(window);
    if (!w) return false;
    const bool wasDisabled = !w->enabled;
    w->enabled = enable;
    if (!enable && Desktop().focus == w) Desktop().focus = nullptr;
    return wasDisabled;
}

bool IsWindowEnabled(WindowHandle window) {
    HeadlessWindow* w = Live(window);
    return w && w->enabled;
}

WindowHandle SetFocus(WindowHandle window) {
    HeadlessWindow* previous = Desktop().focus;
    if (HeadlessWindow* w = Live(window)) Desktop().focus = w;
    return previous;
}

WindowHandle GetFocus() {
    return Desktop().focus;
}

void DestroyWindow(WindowHandle window) {
    HeadlessWindow* w = Live(window);
    if (!w || w->parent) return; // only dialogs are destroyed on their own
    if (w->dialog && w->dialog->GetSafeHwnd() == w) w->dialog->AttachWindow(nullptr);
    Forget(*w);
    auto& top = Desktop().topLevel;
    top.erase(
        std::remove_if(top.begin(), top.end(),
                       [w](const std::unique_ptr<HeadlessWindow>& p) { return p.get() == w; }),
        top.end());
}

bool SubclassControl(WindowHandle control, ControlKeyHandler* handler,
                     SelectionShown /*selection: headless boxes have no pixels*/) {
    HeadlessWindow* w = Live(control);
    if (!w || !handler) return false;
    w->keys = handler;
    return true;
}

namespace headless {

void SetHeldModifiers(unsigned modifiers) {
    Desktop().heldModifiers = modifiers;
}

void MakeForeground(WindowHandle window) {
    SetForeground(Live(window));
}

int FlashRequests(WindowHandle window) {
    HeadlessWindow* w = Live(window);
    return w ? w->flashRequests : 0;
}

} // namespace headless

namespace backend {

bool ShellOpen(const std::string& /*address*/) { // no shell to ask
    return true;
}

void FillCharacterLengths(detail::CharacterLengths& lengths) {
    detail::FillUtf8CharacterLengths(lengths); // the native boxes hold UTF-8
}

WindowHandle CreateModeless(CDialog& dialog, WindowHandle /*owner*/) {
    return MakeDialog(dialog);
}

int RunModal(CDialog& dialog, WindowHandle /*owner*/) {
    HeadlessWindow* w = MakeDialog(dialog);
    if (!w) return -1;
    w->visible = true;
    detail::NotifyDriverModalStarting(w); // the driver's turn is the whole modal loop
    int result = kIdCancelCommand;
    if (Live(w) && w->ended) result = w->result;
    DestroyWindow(w);
    return result;
}

void EndModal(WindowHandle window, int result) {
    HeadlessWindow* w = Live(window);
    if (!w || w->ended) return;
    w->ended = true;
    w->result = result;
    w->visible = false;
}

} // namespace backend

} // namespace dk
