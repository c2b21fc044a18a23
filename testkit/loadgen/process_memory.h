// How much memory a process holds: its resident set, as the kernel reports it in
// /proc/PID/status (Linux). Benchmarks read it for a relay they started, the stress
// suite for itself.
#pragma once

#include <cstddef>

namespace loadgen {

// The resident set of process pid in bytes (pid 0: this process); 0 when unknown.
std::size_t ResidentBytes(long long pid = 0);

} // namespace loadgen
