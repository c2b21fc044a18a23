// The test bench: names withheld from the lookup, host functions made to fail and the
// call log, all kept in the host's Impl, where the C entry points consult them.
#include "devhost/hostapi/test_bench.h"

#include "devhost/hostapi/host_api_impl.h"

namespace devhost {

void TestBench::removeName(const std::string& name) {
    host_.impl().removedNames.insert(name);
}
void TestBench::restoreName(const std::string& name) {
    host_.impl().removedNames.erase(name);
}

void TestBench::failFrom(const std::string& name, unsigned n) {
    if (n == 0) {
        host_.impl().failingCalls.erase(name);
    } else {
        host_.impl().failingCalls[name] = {n, 0};
    }
}

void TestBench::failRunFrom(const std::string& fullName, unsigned n) {
    if (n == 0) {
        host_.impl().failingRuns.erase(fullName);
    } else {
        host_.impl().failingRuns[fullName] = {n, 0};
    }
}

const std::vector<HostCall>& TestBench::callLog() const {
    return host_.impl().log;
}

std::size_t TestBench::droppedCallCount() const {
    return host_.impl().droppedCalls;
}

std::vector<std::string> TestBench::callNames() const {
    std::vector<std::string> names;
    for (const HostCall& c : host_.impl().log)
        names.push_back(c.name);
    return names;
}

void TestBench::clearCallLog() {
    host_.impl().log.clear();
    host_.impl().droppedCalls = 0;
    ++host_.impl().logEpoch;
}
void TestBench::setLogging(bool on) {
    host_.impl().logging = on;
}

} // namespace devhost
