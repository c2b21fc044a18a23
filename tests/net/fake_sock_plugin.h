// A scripted stand-in for the socket plug-in, registered into devhost's function
// registry under the "nxTcpSock." names with the plug-in's prototypes (item 0
// "hSock", then each function's own arguments) and result types. Each socket is a
// small record whose state, peer and answers a test sets; every run is recorded with
// the values it received, so tests see exactly what the proxy passed.
#pragma once

#include "devhost/hostapi/host_api.h"

#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace volubra_test {

class FakeSockPlugin {
public:
    struct Socket {
        std::int32_t state = 0;
        std::int32_t lastError = 0;
        std::string peerAddr = "127.0.0.1";
        std::int32_t peerPort = 0;
        bool answer = true; // the bool result of Connect, Listen, SendMsgA ...
    };
    // One run: function name without the "nxTcpSock." prefix, and the arguments as
    // the plug-in read them (handles and numbers in decimal, texts as they are).
    struct Run {
        std::string function;
        std::vector<std::string> args;
        QHANDLE hArgList;
        QHANDLE hRetVal;
    };

    explicit FakeSockPlugin(devhost::HostApi& host) : m_host(host) { RegisterAll(); }

    Socket& sock(QHANDLE h) { return m_sockets.at(h); }
    bool exists(QHANDLE h) const { return m_sockets.count(h) != 0; }
    // The handle the next "new" makes; 0 makes "new" answer 0.
    void setNextHandle(QHANDLE h) { m_nextHandle = h; }
    // Makes the named function throw when run.
    void throwIn(const std::string& function) { m_throwIn = function; }

    const std::vector<Run>& runs() const { return m_runs; }
    std::vector<std::string> runNames() const {
        std::vector<std::string> names;
        for (const Run& r : m_runs)
            names.push_back(r.function);
        return names;
    }
    void clearRuns() { m_runs.clear(); }

private:
    using Body = std::function<bool(Run& run, Socket* sock)>;

    void Add(const std::string& name, std::vector<devhost::ArgSpec> extra, std::uint32_t result,
             Body body) {
        std::vector<devhost::ArgSpec> prototype{{"hSock", TYPEID_HANDLE}};
        prototype.insert(prototype.end(), extra.begin(), extra.end());
        m_host.registerHostFunction(
            "nxTcpSock." + name, prototype, result,
            [this, name, prototype, body](QHANDLE hArgs, QHANDLE hRet) {
                Run run{name, {}, hArgs, hRet};
                const std::vector<QHANDLE> items = m_host.items(hArgs);
                for (std::size_t i = 0; i < items.size(); ++i) {
                    run.args.push_back(prototype[i].typeId == TYPEID_STRING
                                           ? m_host.text(items[i])
                                           : std::to_string(m_host.scalar(items[i])));
                }
                m_runs.push_back(run);
                if (m_throwIn == name) throw std::runtime_error("plug-in fault");
                const auto hSock = static_cast<QHANDLE>(m_host.scalar(items.at(0)));
                auto it = m_sockets.find(hSock);
                return body(m_runs.back(), it != m_sockets.end() ? &it->second : nullptr);
            });
    }

    bool SetBool(QHANDLE hRet, bool value) { return hRet == 0 || m_host.setScalar(hRet, value); }

    void RegisterAll() {
        Add("new", {}, TYPEID_HANDLE, [this](Run& run, Socket*) {
            const QHANDLE h = m_nextHandle;
            if (h != 0) {
                m_sockets[h] = Socket{};
                m_nextHandle = h + 1;
            }
            return run.hRetVal == 0 || m_host.setScalar(run.hRetVal, h);
        });
        Add("delete", {}, TYPEID_BOOL, [this](Run& run, Socket* s) {
            if (s == nullptr) return false;
            m_sockets.erase(static_cast<QHANDLE>(std::stoul(run.args[0])));
            return SetBool(run.hRetVal, true);
        });
        const auto answer = [this](Run& run, Socket* s) {
            return s != nullptr && SetBool(run.hRetVal, s->answer);
        };
        Add("Connect",
            {{"lpPeerAddr", TYPEID_STRING},
             {"PeerPort", TYPEID_NUMBER},
             {"LocalPort", TYPEID_NUMBER}},
            TYPEID_BOOL, answer);
        Add("Listen", {{"LocalPort", TYPEID_NUMBER}}, TYPEID_BOOL, answer);
        Add("Close", {}, TYPEID_BOOL, answer);
        Add("SendMsgA", {{"lpLabel", TYPEID_STRING}, {"lpMsgText", TYPEID_STRING}}, TYPEID_BOOL,
            answer);
        Add("SetCallback", {{"CallbackID", TYPEID_NUMBER}, {"hCallbackQFUNC", TYPEID_VARREF}},
            TYPEID_BOOL, answer);
        Add("CopyRecvQueue", {{"hRecvQueue", TYPEID_VARREF}}, TYPEID_BOOL, answer);
        Add("Accept", {{"hConnSock", TYPEID_HANDLE}}, TYPEID_BOOL, answer);
        Add("GetSockState", {}, TYPEID_INT, [this](Run& run, Socket* s) {
            return s != nullptr && m_host.setScalar(run.hRetVal, s->state);
        });
        Add("GetLastError", {}, TYPEID_INT, [this](Run& run, Socket* s) {
            return s != nullptr && m_host.setScalar(run.hRetVal, s->lastError);
        });
        Add("GetPeerPort", {}, TYPEID_NUMBER, [this](Run& run, Socket* s) {
            return s != nullptr && m_host.setScalar(run.hRetVal, s->peerPort);
        });
        Add("GetPeerAddr", {}, TYPEID_STRING, [this](Run& run, Socket* s) {
            return s != nullptr && m_host.setText(run.hRetVal, s->peerAddr);
        });
    }

    devhost::HostApi& m_host;
    std::map<QHANDLE, Socket> m_sockets;
    QHANDLE m_nextHandle = 100;
    std::string m_throwIn;
    std::vector<Run> m_runs;
};

} // namespace volubra_test
