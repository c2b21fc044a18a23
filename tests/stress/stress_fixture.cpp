// The stress fixture: baseline, crowd, bounded pumping, the watchdog, and the checks
// every case ends with.
#include "tests/stress/stress_fixture.h"

#include "testkit/chat_dlg_access.h"
#include "testkit/loadgen/process_memory.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace stress {
namespace {

// The exit code of a case the watchdog ended.
constexpr int kOverstayedExit = 3;

int Millis(Clock::duration d) {
    return static_cast<int>(std::chrono::duration_cast<milliseconds>(d).count());
}

// Hands memory that is free again back to the system, so that the resident set shows
// what is still in use rather than what the allocator keeps at hand.
void ReturnFreedMemory() {
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

// The highest resident set of this process since its peak was last reset (VmHWM in
// /proc/self/status), in bytes; 0 when unknown.
std::size_t PeakResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 6, "VmHWM:") == 0) return std::stoul(line.substr(6)) * 1024;
    return 0;
}

// Starts the peak over from the resident set as it is now. Without it (an old kernel),
// the peak counts from the process's start, which only makes it larger.
void ResetPeakResident() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

std::string CaseName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "";
}

} // namespace

Watchdog::Watchdog(Clock::duration limit, std::function<std::string()> progress) {
    const std::string name = CaseName();
    thread_ = std::thread([this, limit, name, progress = std::move(progress)] {
        std::unique_lock<std::mutex> lock(mutex_);
        if (disarmed_.wait_for(lock, limit, [this] { return done_; })) return;
        std::fprintf(stderr, "%s overstayed its limit of %d s and was ended: %s\n", name.c_str(),
                     Millis(limit) / 1000, progress().c_str());
        std::fflush(stderr);
        std::_Exit(kOverstayedExit);
    });
}

Watchdog::~Watchdog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
    }
    disarmed_.notify_all();
    thread_.join();
}

void StressFixture::TearDown() {
    watchdog_.reset();
    {
        std::lock_guard<std::mutex> lock(progressMutex_);
        crowd_.reset();
    }
    ChatFixture::TearDown();
}

void StressFixture::Limit(Clock::duration limit) {
    watchdog_ = std::make_unique<Watchdog>(limit, [this] { return Progress(); });
}

void StressFixture::Phase(const std::string& phase) {
    std::lock_guard<std::mutex> lock(progressMutex_);
    phase_ = phase;
}

std::string StressFixture::Progress() {
    std::lock_guard<std::mutex> lock(progressMutex_);
    std::string text = "while " + phase_;
    if (crowd_) {
        text += crowd_->inspect([](const CrowdState& s) {
            return "; the guests had sent " + std::to_string(s.lineCount()) + " lines and got " +
                   std::to_string(s.totalCopies()) + " copies; " + std::to_string(s.openCount()) +
                   " of " + std::to_string(s.guestCount()) + " guests were connected";
        });
    }
    return text;
}

std::uint16_t StressFixture::HostWithCrowd() {
    const std::uint16_t port = StartHosting("");
    EXPECT_EQ(ConnectCaption(), "Listening");
    TakeBaseline();
    MakeCrowd(port);
    return port;
}

void StressFixture::TakeBaseline() {
    host.bench().setLogging(false); // as devhost runs: no log of every call
    ReturnFreedMemory();
    baselineVariables_ = host.liveVariableCount();
    baselineRss_ = loadgen::ResidentBytes();
    ResetPeakResident();
    baselineTranscript_ = ChatState().m_strTranscript.size();
}

void StressFixture::MakeCrowd(std::uint16_t port) {
    std::lock_guard<std::mutex> lock(progressMutex_);
    crowd_ = std::make_unique<GuestCrowd>("127.0.0.1", port);
}

int StressFixture::Admit(int count, loadgen::GuestOptions options) {
    const int before = ChatState().m_GuestSocks.GetSize();
    const int first = crowd_->connect(count, options);
    EXPECT_TRUE(PumpUntilHost([&] { return ChatState().m_GuestSocks.GetSize() >= before + count; },
                              kAdmitLimit))
        << "the host took in " << ChatState().m_GuestSocks.GetSize() - before << " of " << count
        << " guests within " << Millis(kAdmitLimit) << " ms" << Diagnostics();
    return first;
}

bool StressFixture::PumpUntilCrowd(const std::function<bool(const CrowdState&)>& done,
                                   Clock::duration timeout) {
    return PumpUntil([&] { return crowd_->inspect(done); }, Millis(timeout));
}

bool StressFixture::PumpUntilHost(const std::function<bool()>& done, Clock::duration timeout) {
    return PumpUntil(done, Millis(timeout));
}

void StressFixture::ExpectEveryGuestGot(std::uint64_t lines) {
    const std::string shortfalls = crowd_->inspect([&](const CrowdState& s) {
        std::string text;
        int guests = 0;
        for (int g = 0; g < s.guestCount(); ++g) {
            if (s.linesReceived(g) == lines && s.outOfOrder(g) == 0) continue;
            if (guests++ == 0)
                text = "; the first, guest " + std::to_string(g) + ", got " +
                       std::to_string(s.linesReceived(g)) + " lines, " +
                       std::to_string(s.outOfOrder(g)) + " of them out of order";
        }
        return guests == 0 ? std::string() : std::to_string(guests) + " guests" + text;
    });
    EXPECT_EQ(shortfalls, "") << "every guest should have got " << lines
                              << " lines, each once, in order";
}

void StressFixture::EndCrowd() {
    Phase("letting every guest go");
    const int guests = crowd_->inspect([](const CrowdState& s) { return s.guestCount(); });
    for (int g = 0; g < guests; ++g)
        crowd_->close(g);
    EXPECT_TRUE(PumpUntilHost([] { return ChatState().m_GuestSocks.IsEmpty(); }, kAdmitLimit))
        << ChatState().m_GuestSocks.GetSize() << " guests were still on the host's list "
        << Millis(kAdmitLimit) << " ms after they all left";
    std::lock_guard<std::mutex> lock(progressMutex_);
    crowd_.reset();
}

std::size_t StressFixture::TranscriptAllowance() const {
    // The transcript may also have been trimmed below where it started.
    const std::size_t size = ChatState().m_strTranscript.size();
    const std::size_t grown = size > baselineTranscript_ ? size - baselineTranscript_ : 0;
    return kRssSlackBytes + kTranscriptCopies * grown;
}

void StressFixture::ExpectBackAtBaseline(std::size_t rssAllowance) {
    EXPECT_EQ(host.liveVariableCount(), baselineVariables_)
        << "host variables were left behind once the traffic was over";
    ReturnFreedMemory();
    const std::size_t rss = loadgen::ResidentBytes();
    std::printf("  memory: %zu KiB at the start, %zu KiB at the end\n", baselineRss_ / 1024,
                rss / 1024);
    EXPECT_LE(rss, baselineRss_ + rssAllowance)
        << "memory grew from " << baselineRss_ / 1024 << " KiB to " << rss / 1024
        << " KiB, more than the " << rssAllowance / 1024 << " KiB allowed";
}

std::size_t StressFixture::PeakGrowth() const {
    const std::size_t peak = PeakResidentBytes();
    return peak > baselineRss_ ? peak - baselineRss_ : 0;
}

} // namespace stress
