// window_probe: how quickly a window answers, as a user of the application it lives in
// would feel it. Finds a top-level window by its exact title, then for a given time
// asks it every 50 ms with SendMessageTimeout(WM_NULL), which returns once the window's
// thread has handled the message, and prints each wait in milliseconds, one a line.
// Run in the same Wine (or Windows session) as the window; the window benchmark
// (bench/relay/window_bench.cpp) reads its output.
//
//   window_probe.exe TITLE SECONDS
//
// Exit status 0 after the time, 2 when no window of that title appeared within 30 s,
// 1 on a wrong command line. An ask that waited the whole 10 s timeout is printed as
// 10000, and so counts as the worst.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr DWORD kAskIntervalMs = 50;
constexpr UINT kAskTimeoutMs = 10000;
constexpr DWORD kFindLimitMs = 30000;
constexpr DWORD kFindPollMs = 50;

double MillisecondsBetween(const LARGE_INTEGER& from, const LARGE_INTEGER& to,
                           const LARGE_INTEGER& frequency) {
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

HWND FindByTitle(const std::string& title) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        HWND window = ::FindWindowA(nullptr, title.c_str());
        if (window != nullptr || ::GetTickCount() - start >= kFindLimitMs) return window;
        ::Sleep(kFindPollMs);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: window_probe TITLE SECONDS\n");
        return 1;
    }
    const std::string title = argv[1];
    const double seconds = std::atof(argv[2]);
    HWND window = FindByTitle(title);
    if (window == nullptr) {
        std::fprintf(stderr, "window_probe: no window titled \"%s\"\n", title.c_str());
        return 2;
    }
    LARGE_INTEGER frequency, start, asked, answered;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    for (;;) {
        ::QueryPerformanceCounter(&asked);
        if (MillisecondsBetween(start, asked, frequency) >= seconds * 1000) break;
        DWORD_PTR result = 0;
        const LRESULT ok =
            ::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kAskTimeoutMs, &result);
        ::QueryPerformanceCounter(&answered);
        const double waited =
            ok != 0 ? MillisecondsBetween(asked, answered, frequency) : double{kAskTimeoutMs};
        std::printf("%.3f\n", waited);
        std::fflush(stdout);
        ::Sleep(kAskIntervalMs);
    }
    return 0;
}
