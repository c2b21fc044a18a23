// Sequences of chat events against the hosting chat window, with modal loops: the
// engine of the chat events fuzzer, and of the test that plays its seeds. The module
// runs in-process (in headless windows natively, in real ones on Windows) on devhost's
// host API, with an in-memory socket plug-in whose guests the input plays
// (scripted_sockets.h). Every report runs a modal loop in which the next events of the
// input run, nested reports included, and so does the settings dialog: that is where a
// handler in the middle of a change meets the user and the guests.
//
// Input: one byte of set-up (low three bits 001: the transcript starts a few entries
// short of its entry limit), then events, each an opcode byte and its parameter bytes
// (see RunEvent), and for each modal loop a byte with the number of events it runs.
// After every event, nested ones included, and when a report opens, the model's rules
// are checked:
// - while the window is shown, the transcript box equals the transcript;
// - the transcript is whole entries, trimmed only at its head, within its limits
//   (one entry over the byte limit at most), and each guest's lines stand in it in
//   the order the guest was sent them; a line of the host's own reached some guest;
// - the message box holds what the user last typed, unless exactly that was sent;
// - one Send click sends its text to a guest once at most;
// - no report tells of an exception, and at the end of an input, with the window
//   closed, no host variable and no socket is left behind.
// A broken rule aborts with a sentence that says which.
#pragma once

#include <cstddef>
#include <cstdint>

namespace chatevents {

// Plays one input against the chat window of this process (made, with its host, on
// the first call and kept to the end of the process); aborts with a sentence on the
// first rule broken.
void Play(const std::uint8_t* data, std::size_t size);

} // namespace chatevents
