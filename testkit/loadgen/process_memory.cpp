// Reads VmRSS from /proc/PID/status.
#include "testkit/loadgen/process_memory.h"

#include <fstream>
#include <string>

namespace loadgen {

std::size_t ResidentBytes(long long pid) {
    constexpr std::size_t kBytesPerKiB = 1024;
    std::ifstream status("/proc/" + (pid == 0 ? std::string("self") : std::to_string(pid)) +
                         "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            std::size_t kib = 0;
            status >> kib;
            return kib * kBytesPerKiB;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0;
}

} // namespace loadgen
