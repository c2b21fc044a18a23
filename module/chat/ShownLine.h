// What a transcript shows of one line. The chat window runs on the host application's
// thread, and the transcript box spends time on every byte of an entry (Wine's edit
// control lays a line out whole: over a second for a line of a megabyte), during which
// the user's editor does not answer. A guest could send such lines for as long as it
// liked, so a line past kMaxShownLineBytes is shown as its beginning and a note of how
// much was left out. Only the showing is bounded: what goes over the wire is the whole
// line, and each window, host and guest alike, shortens its own copy in the same way.
#pragma once

#include <cstddef>
#include <string>

namespace shownline {

// Far more than anyone reads in a chat line (a few pages of text), and small enough
// that a guest sending nothing but long lines as fast as the host takes them leaves the
// window answering in a fraction of a second. Measured under Wine, whose edit control
// is slowest (scripts/bench.sh --window: p99 of the window's answers under floods of
// 1000 KiB and of 64 KiB lines, on a busy machine): 8 and 16 KiB 0.17-0.4 s, 32 KiB
// 0.2-0.4 s, 64 KiB 0.4-1.2 s; whole lines of 1000 KiB 7-10 s.
constexpr std::size_t kMaxShownLineBytes = 16 * 1024;

// line itself, or, past kMaxShownLineBytes, its beginning of at most that many bytes,
// cut between characters, followed by " [... 983,040 more bytes not shown]".
std::string ShownLine(const std::string& line);

} // namespace shownline
