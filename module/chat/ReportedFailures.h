// The failures of one kind that have already been reported for each participant whose
// lines the host relays, so that each participant and cause is reported once: a stream
// of lines that fail alike cannot bury the user in reports. A participant is a guest's
// socket handle, or 0 for the host itself.
#pragma once

#include "qrvapi/qrv_abi.h"

#include <cstdint>
#include <limits>
#include <set>
#include <utility>

class ReportedFailures {
public:
    // True the first time this participant and cause come, false ever after.
    bool IsFirst(QHANDLE hParticipant, std::int32_t cause) {
        return m_Reported.insert({hParticipant, cause}).second;
    }
    // The participant has left: its handle may later name someone else.
    void Forget(QHANDLE hParticipant) {
        constexpr std::int32_t kLowestCause = std::numeric_limits<std::int32_t>::min();
        auto first = m_Reported.lower_bound({hParticipant, kLowestCause});
        auto last = first;
        while (last != m_Reported.end() && last->first == hParticipant)
            ++last;
        m_Reported.erase(first, last);
    }
    void Clear() { m_Reported.clear(); }

private:
    std::set<std::pair<QHANDLE, std::int32_t>> m_Reported;
};
