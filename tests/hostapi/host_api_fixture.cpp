// The shared fixture of the host API tests.
#include "tests/hostapi/host_api_fixture.h"

namespace devhost::testing {

HostApiTest::HostApiTest() {
    hID = api.addPlugin("Volubra", [this](const char* name) -> void* {
        auto it = exports.find(name);
        return it == exports.end() ? nullptr : it->second;
    });
}

QHANDLE HostApiTest::createTemp(std::uint32_t typeId) {
    return fn<QrvVarCreateTemp>("var.CreateTemp")(hID, typeId);
}

QHANDLE HostApiTest::createItem(QHANDLE hList, std::uint32_t typeId, const char* name) {
    return fn<QrvListCreateItem>("list.CreateItem")(hID, hList, typeId, name);
}

bool HostApiTest::setInt(QHANDLE h, std::uint32_t typeId, std::uint32_t value) {
    return fn<QrvVarSetValueEx>("var.SetValueEx")(hID, h, typeId, &value) != 0;
}

bool HostApiTest::getInt(QHANDLE h, std::uint32_t typeId, std::uint32_t& value) {
    return fn<QrvVarGetValueEx>("var.GetValueEx")(hID, h, typeId, &value) != 0;
}

} // namespace devhost::testing
