// How the cost of adding one entry to the chat transcript changes as the transcript
// grows. The module runs in-process under devhost's host API with its chat window
// shown (headless natively, the real USER32 edit control when cross-built and run
// under Wine), and 100,000 entries are appended the way a host appends a relayed line:
// the line, then the entry end, each refreshing the window; the window's messages
// (painting) are handled after every entry. The figures are the median cost of the
// entries around the 1,000th and around the 100,000th, and their ratio: a transcript
// whose append cost does not grow keeps the ratio near 1.
#include "devhost/hostapi/host_api.h"
#include "dialogkit/testing/testing.h"
#include "module/chat/ChatLines.h"
#include "module/exports.h"
#include "module/ui/resource.h"
#include "tests/plugin/volubra_exports.h"
#include "tests/support/chat_dlg_access.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kEntries = 100000; // unless the command line gives another count
constexpr int kEarlyEntry = 1000;
constexpr int kProgressSteps = 10; // progress lines on stderr while it runs
constexpr int kWindow = 200;       // entries measured around each point
constexpr double kTargetRatio = 2.0;

using Clock = std::chrono::steady_clock;

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

double Mean(const std::vector<double>& values) {
    double sum = 0;
    for (double v : values)
        sum += v;
    return sum / static_cast<double>(values.size());
}

// The costs of the entries in (last - kWindow, last], in microseconds.
std::vector<double> Around(const std::vector<double>& costs, int last) {
    return std::vector<double>(costs.begin() + (last - kWindow), costs.begin() + last);
}

} // namespace

int main(int argc, char** argv) {
    const int entries = argc > 1 ? std::max(std::atoi(argv[1]), kEarlyEntry) : kEntries;
    devhost::HostApi host;
    const QHANDLE hID = host.addPlugin("Volubra", &volubra_test::ResolveVolubraExport);
    if (!ExtInitPlugin(reinterpret_cast<QARG>(devhost::HostApi::lookupRoutine()), hID) ||
        !host.chooseMenuEntry("Chat client") || !g_ChatDlg.IsShown()) {
        std::fprintf(stderr, "append_bench: the chat window could not be shown\n");
        return 1;
    }
    dk::testing::PumpMessages();

    std::vector<double> costs;
    costs.reserve(static_cast<std::size_t>(entries));
    std::size_t bytes = 0;
    for (int entry = 1; entry <= entries; ++entry) {
        const std::string line = LineOf(entry);
        const Clock::time_point start = Clock::now();
        g_ChatDlg.AppendText(line.c_str());
        g_ChatDlg.AppendText(chatlines::kEntryEnd);
        dk::testing::PumpMessages();
        costs.push_back(Microseconds(Clock::now() - start));
        bytes += line.size() + std::strlen(chatlines::kEntryEnd);
        if (entry % (entries / kProgressSteps) == 0 && entry >= kWindow)
            std::fprintf(stderr, "  ... entry %d: median %.1f us\n", entry,
                         Median(Around(costs, entry)));
    }

    // What the box shows is the whole transcript, read back in one piece.
    const std::string shown =
        dk::testing::ControlText(g_ChatDlg.GetSafeHwnd(), IDC_TRANSCRIPT_EDIT);
    const bool intact =
        ChatState().m_strTranscript.size() == bytes && shown == ChatState().m_strTranscript;

    const std::vector<double> early = Around(costs, kEarlyEntry);
    const std::vector<double> late = Around(costs, entries);
    const double ratio = Median(late) / Median(early);
    std::printf("append_bench: %d transcript entries, %zu bytes, transcript %s\n", entries, bytes,
                intact ? "intact" : "NOT INTACT");
    std::printf("  entry %6d: median %8.1f us, mean %8.1f us\n", kEarlyEntry, Median(early),
                Mean(early));
    std::printf("  entry %6d: median %8.1f us, mean %8.1f us\n", entries, Median(late), Mean(late));
    std::printf("  ratio of medians: %.2f (target: within %.0fx) %s\n", ratio, kTargetRatio,
                ratio <= kTargetRatio ? "met" : "MISSED");
    g_ChatDlg.HideAndEndSessions();
    return intact ? 0 : 1;
}
