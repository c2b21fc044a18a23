// The test bench of a HostApi: what a plug-in finds missing or failing, and the log of
// every host call it makes, in order. Reached through HostApi::bench(); a session's
// command line (--remove, --fail, --fail-run, --log) and the tests set it up.
//
// The call log and fault injection cost nothing while they are not in use: with
// logging off no argument is formatted and no entry made.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace devhost {

class HostApi;

// One host call as the log records it, e.g. name "var.CreateTemp", args {"31"},
// result "5". Texts are logged quoted ("\"hSock\""), addresses as "ptr" or "null".
struct HostCall {
    std::string name;
    std::vector<std::string> args;
    std::string result;
    std::string format() const; // var.CreateTemp(31)=5
};

class TestBench {
public:
    explicit TestBench(HostApi& host) : host_(host) {}
    TestBench(const TestBench&) = delete;
    TestBench& operator=(const TestBench&) = delete;

    // Withholds a name from the lookup (the plug-in then gets 0 for it).
    void removeName(const std::string& name);
    void restoreName(const std::string& name);
    // Makes a host API function ("var.SetValueEx") fail from its n-th call on
    // (1-based, counted from now); n 0 restores it.
    void failFrom(const std::string& name, unsigned n);
    // Makes running a registered function ("nxTcpSock.Connect") through qrvfunc.Execute2
    // or HostApi::runRegistered fail from its n-th run on (counted among runs whose
    // arguments passed the checks); n 0 restores it.
    void failRunFrom(const std::string& fullName, unsigned n);

    // The log of host API calls made by plug-ins, in order.
    const std::vector<HostCall>& callLog() const;
    std::vector<std::string> callNames() const;
    // Calls not logged because the log held its maximum (a million calls) already.
    std::size_t droppedCallCount() const;
    void clearCallLog();
    void setLogging(bool on);

private:
    HostApi& host_; // the bench's host; not owned
};

} // namespace devhost
