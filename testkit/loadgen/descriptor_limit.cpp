// setrlimit(RLIMIT_NOFILE) up to the hard limit.
#include "testkit/loadgen/descriptor_limit.h"

#include <sys/resource.h>

namespace loadgen {

long RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return static_cast<long>(limit.rlim_cur);
}

} // namespace loadgen
