// A HostApi with one plug-in known to it ("Volubra", its exports from a table the test
// fills) and the host functions fetched through the lookup routine, as a plug-in gets
// them.
#pragma once

#include "devhost/hostapi/host_api.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace devhost::testing {

class HostApiTest : public ::testing::Test {
protected:
    HostApiTest();

    // The host function of that name, cast to its typedef.
    template <typename Fn> Fn fn(const char* name) {
        void* p = HostApi::lookupRoutine()(hID, name);
        EXPECT_NE(p, nullptr) << name << " is not answered by the lookup";
        return reinterpret_cast<Fn>(p);
    }

    // Shorthands for the calls most tests need.
    QHANDLE createTemp(std::uint32_t typeId);
    QHANDLE createItem(QHANDLE hList, std::uint32_t typeId, const char* name);
    bool setInt(QHANDLE h, std::uint32_t typeId, std::uint32_t value);
    bool getInt(QHANDLE h, std::uint32_t typeId, std::uint32_t& value);

    HostApi api;
    std::map<std::string, void*> exports; // what the fake plug-in exports
    QHANDLE hID = 0;
};

} // namespace devhost::testing
