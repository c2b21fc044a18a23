// How the cost of adding one entry to the chat transcript changes as the transcript
// grows. The module runs in-process under devhost's host API with its chat window
// shown (headless natively, the real USER32 edit control when cross-built and run
// under Wine), and 100,000 entries are appended. The entries measured, the 200 up to
// the 1,000th and the 200 up to the 100,000th, are appended the way a host appends a
// relayed line: the line, then the entry end, each refreshing the window. The others
// are appended a hundred at a time, which leaves the same transcript in the box and
// keeps a run under Wine to minutes.
//
// The yardstick, measured in the same run: a bare window on the same template whose
// transcript box gets the same text by the edit control's own messages alone (select
// the end, replace the selection, scroll by the line count), what any append must
// cost at least. The figures are the median cost of each measured stretch, how much
// each grows from the 1,000th entry to the 100,000th (the target: the chat window's
// within 2x), and the chat window's cost over the bare box's. Painting, handled after
// every entry for both windows, is printed beside them.
#include "devhost/hostapi/host_api.h"
#include "dialogkit/dialog.h"
#include "dialogkit/testing/testing.h"
#include "module/chat/ChatDlg.h"
#include "module/chat/ChatLines.h"
#include "module/exports.h"
#include "module/ui/resource.h"
#include "testkit/chat_dlg_access.h"
#include "testkit/volubra_exports.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

constexpr int kEntries = 100000; // unless the command line gives another count
constexpr int kEarlyEntry = 1000;
constexpr int kWindow = 200; // entries measured up to each point
constexpr int kBatch = 100;  // entries appended in one piece between the stretches
constexpr double kTargetGrowth = 2.0;

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
    const Clock::time_point start = Clock::now();
    g_ChatDlg.AppendText(line.c_str());
    g_ChatDlg.AppendText(chatlines::kEntryEnd);
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
    std::string batch;
    int batched = 0;
    std::size_t bytes = 0;
    for (int entry = 1; entry <= entries; ++entry) {
        const std::string line = LineOf(entry);
        bytes += line.size() + std::strlen(chatlines::kEntryEnd);
        if (IsMeasured(entry, entries)) {
            TimedEntry(line, bare, entry <= kEarlyEntry ? early : late);
            continue;
        }
        batch += line + chatlines::kEntryEnd;
        if (++batched == kBatch || IsMeasured(entry + 1, entries)) {
            g_ChatDlg.AppendText(batch.c_str());
            bare.Append(batch.c_str());
            dk::testing::PumpMessages();
            batch.clear();
            batched = 0;
        }
    }

    // What the box shows is the whole transcript, read back in one piece.
    const std::string shown =
        dk::testing::ControlText(g_ChatDlg.GetSafeHwnd(), IDC_TRANSCRIPT_EDIT);
    const bool intact =
        ChatState().m_strTranscript.size() == bytes && shown == ChatState().m_strTranscript;

    const double chatGrowth = Median(late.chat) / Median(early.chat);
    const double bareGrowth = Median(late.bare) / Median(early.bare);
    std::printf("append_bench: %d transcript entries, %zu bytes, transcript %s\n", entries, bytes,
                intact ? "intact" : "NOT INTACT");
    Print(kEarlyEntry, early);
    Print(entries, late);
    std::printf("  growth from entry %d to %d: chat window %.2fx (target: within %.0fx, %s), "
                "bare box %.2fx\n",
                kEarlyEntry, entries, chatGrowth, kTargetGrowth,
                chatGrowth <= kTargetGrowth ? "met" : "missed", bareGrowth);
    std::printf("  chat window over bare box: %.2fx at entry %d, %.2fx at entry %d\n",
                Median(early.chat) / Median(early.bare), kEarlyEntry,
                Median(late.chat) / Median(late.bare), entries);
    g_ChatDlg.HideAndEndSessions();
    return intact ? 0 : 1;
}
