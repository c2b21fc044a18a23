// How the cost of adding one entry to the chat transcript changes as the transcript
// grows. The module runs in-process under devhost's host API with its chat window
// shown (headless natively, the real USER32 edit control when cross-built and run
// under Wine), and 100,000 entries are appended. The entries measured, the 200 up to
// the 10,000th and the 200 up to the 100,000th, are appended the way a host appends a
// relayed line: one entry, one refresh of the window. The others are appended while
// the window is hidden, where an entry touches no control (the transcript still keeps
// its limits entry by entry), which keeps a run under Wine to minutes; the window is
// shown again, its box brought up to date in one piece, before each measured stretch.
//
// The yardstick, measured in the same run: a bare window on the same template whose
// transcript box gets the same text by the edit control's own messages alone (select
// the end, replace the selection, scroll by the line count), the line and its entry
// end appended apart as an entry used to be. The figures are the median cost of each
// measured stretch, how much each grows from the 10,000th entry to the 100,000th (the
// target: the chat window's within 1.5x, as the transcript's limits stop its growth),
// and the chat window's cost over the bare box's (the target: at most 1). Painting,
// handled after every entry for both windows, is printed beside them.
#include "devhost/hostapi/host_api.h"
#include "dialogkit/dialog.h"
#include "dialogkit/testing/testing.h"
#include "module/chat/ChatDlg.h"
#include "module/chat/ChatLines.h"
#include "module/chat/TranscriptEntries.h"
#include "module/exports.h"
#include "module/ui/resource.h"
#include "testkit/chat_dlg_access.h"
#include "testkit/volubra_exports.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

constexpr int kEntries = 100000; // unless the command line gives another count
constexpr int kEarlyEntry = 10000;
constexpr int kWindow = 200; // entries measured up to each point
constexpr double kTargetGrowth = 1.5;

using Clock = std::chrono::steady_clock;

// The yardstick: a window on the chat window's template and nothing else.
class BareWindow : public dk::CDialog {
public:
    BareWindow() : dk::CDialog(IDD_CHAT_DIALOG) {}

    bool Open() {
        if (!Create(nullptr)) return false;
#if defined(_WIN32)
        // Beside the chat window, which is centred: a covered window paints nothing.
        ::SetWindowPos(static_cast<HWND>(GetSafeHwnd()), nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
#endif
        ShowWindow(dk::kSwShowNormal);
        m_box.Attach(dk::ControlOf(GetSafeHwnd(), IDC_TRANSCRIPT_EDIT));
        m_box.SetLimitText(0);
        return m_box.IsAttached();
    }
    // The edit control's own share of an append.
    void Append(const char* text) {
        m_box.SetSel(INT_MAX, INT_MAX);
        m_box.ReplaceSel(text);
        m_box.LineScroll(m_box.GetLineCount(), 0);
    }
    // Holds text, in one piece.
    void Show(const std::string& text) {
        dk::SetText(dk::ControlOf(GetSafeHwnd(), IDC_TRANSCRIPT_EDIT), text);
    }

private:
    dk::CEdit m_box;
};

// A relayed guest line of ordinary length.
std::string LineOf(int entry) {
    return chatlines::GuestSays("127.0.0.1", 50000 + entry % 1000,
                                "message number " + std::to_string(entry) + " of the benchmark");
}

double Microseconds(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The costs of the entries of one measured stretch, in microseconds.
struct Stretch {
    std::vector<double> chat;
    std::vector<double> bare;
    std::vector<double> paint;
};

bool IsMeasured(int entry, int entries) {
    return (entry > kEarlyEntry - kWindow && entry <= kEarlyEntry) || entry > entries - kWindow;
}

void TimedEntry(const std::string& line, BareWindow& bare, Stretch& stretch) {
    const std::string entry = line + chatlines::kEntryEnd;
    const Clock::time_point start = Clock::now();
    g_ChatDlg.AppendText(entry.c_str());
    const Clock::time_point chatDone = Clock::now();
    bare.Append(line.c_str());
    bare.Append(chatlines::kEntryEnd);
    const Clock::time_point bareDone = Clock::now();
    dk::testing::PumpMessages();
    stretch.chat.push_back(Microseconds(chatDone - start));
    stretch.bare.push_back(Microseconds(bareDone - chatDone));
    stretch.paint.push_back(Microseconds(Clock::now() - bareDone));
}

void Print(int entry, const Stretch& s) {
    std::printf("  entry %6d: chat window %9.1f us, bare box %9.1f us, painting %9.1f us\n", entry,
                Median(s.chat), Median(s.bare), Median(s.paint));
}

} // namespace

int main(int argc, char** argv) {
    const int entries = argc > 1 ? std::max(std::atoi(argv[1]), kEarlyEntry + kWindow) : kEntries;
    devhost::HostApi host;
    const QHANDLE hID = host.addPlugin("Volubra", &volubra_test::ResolveVolubraExport);
    BareWindow bare;
    if (!ExtInitPlugin(reinterpret_cast<QARG>(devhost::HostApi::lookupRoutine()), hID) ||
        !host.chooseMenuEntry("Chat client") || !g_ChatDlg.IsShown() || !bare.Open()) {
        std::fprintf(stderr, "append_bench: the windows could not be shown\n");
        return 1;
    }
    dk::testing::PumpMessages();

    Stretch early, late;
    for (int entry = 1; entry <= entries; ++entry) {
        const std::string line = LineOf(entry);
        if (!IsMeasured(entry, entries)) {
            g_ChatDlg.HideAndEndSessions(); // nothing once hidden
            g_ChatDlg.AppendText((line + chatlines::kEntryEnd).c_str());
            continue;
        }
        if (!g_ChatDlg.IsShown()) {
            host.chooseMenuEntry("Chat client");
            g_ChatDlg.UpdateData(false);
            bare.Show(ChatState().m_strTranscript);
            dk::testing::PumpMessages();
        }
        TimedEntry(line, bare, entry <= kEarlyEntry ? early : late);
    }

    // The box shows the whole transcript, read back in one piece, and the transcript
    // ends with the last entry and keeps within its limits.
    const std::string& transcript = ChatState().m_strTranscript;
    const std::string shown =
        dk::testing::ControlText(g_ChatDlg.GetSafeHwnd(), IDC_TRANSCRIPT_EDIT);
    const std::string last = LineOf(entries) + chatlines::kEntryEnd;
    const bool intact = shown == transcript && transcript.size() >= last.size() &&
                        transcript.compare(transcript.size() - last.size(), last.size(), last) == 0;
    const std::size_t kept =
        static_cast<std::size_t>(std::count(transcript.begin(), transcript.end(), '\n')) / 2;
    const bool bounded =
        kept <= TranscriptEntries::kMaxEntries && transcript.size() <= TranscriptEntries::kMaxBytes;

    const double chatGrowth = Median(late.chat) / Median(early.chat);
    const double bareGrowth = Median(late.bare) / Median(early.bare);
    std::printf("append_bench: %d entries appended, %zu kept in %zu bytes, transcript %s%s\n",
                entries, kept, transcript.size(), intact ? "intact" : "NOT INTACT",
                bounded ? "" : ", NOT BOUNDED");
    Print(kEarlyEntry, early);
    Print(entries, late);
    std::printf("  growth from entry %d to %d: chat window %.2fx (target: within %.1fx, %s), "
                "bare box %.2fx\n",
                kEarlyEntry, entries, chatGrowth, kTargetGrowth,
                chatGrowth <= kTargetGrowth ? "met" : "missed", bareGrowth);
    std::printf("  chat window over bare box (target: at most 1): %.2fx at entry %d, %.2fx at "
                "entry %d\n",
                Median(early.chat) / Median(early.bare), kEarlyEntry,
                Median(late.chat) / Median(late.bare), entries);
    g_ChatDlg.HideAndEndSessions();
    return intact && bounded ? 0 : 1;
}
