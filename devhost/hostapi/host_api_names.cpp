// The host API's function names, as the plug-in ABI lists them, for the lookup table
// and for tests that check a plug-in's binding order.
#include "devhost/hostapi/host_api.h"

#include <iterator>

namespace devhost {

const std::vector<std::string>& hostApiNames() {
    static const std::vector<std::string> names(std::begin(kQrvApiFunctionNames),
                                                std::end(kQrvApiFunctionNames));
    return names;
}

} // namespace devhost
