// Crowds of two thousand guests need more descriptors than the usual soft limit of
// 1024, on both ends: the load generator and the relays it starts (which inherit it).
#pragma once

namespace loadgen {

// Raises this process's soft limit of open descriptors to its hard limit; the new
// soft limit.
long RaiseDescriptorLimit();

} // namespace loadgen
