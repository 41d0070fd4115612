// DPA address records as read from a printer record. A text that parses
// must format to a text that parses to the same address.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "nameservice/onc_addr.h"

using namespace vrcore::nameservice::onc;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    Address a, b;
    if (!ParseAddress(text, a)) return 0;
    if (!ParseAddress(FormatAddress(a), b)) abort();
    if (a.host != b.host || a.program != b.program || a.version != b.version || a.auth != b.auth ||
        a.cls != b.cls || a.server != b.server || a.dynamic != b.dynamic)
        abort();
    ValidObjectName(a.host);
    return 0;
}
