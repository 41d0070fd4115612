// Formats read from files: any bytes as a format, formatted with a fixed
// set of argument records into bounded buffers of several sizes. The
// formatter must never read past the records or write past the bound.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "messages/msg_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0 || size > 4096) return 0;
    // First byte: buffer size and record count; the rest: the format.
    size_t bound = data[0] % 64;
    int count = data[0] >> 5; // 0..7
    std::string format(reinterpret_cast<const char *>(data + 1), size - 1);
    static const char counted[3] = {'x', 'y', 'z'};
    STF_ArgRecord r[STF_MAX_ARGS] = {};
    r[0].type = STF_ARG_INT;
    r[0].value.i = -7;
    r[1].type = STF_ARG_STRING;
    r[1].value.p = "text";
    r[2].type = STF_ARG_DOUBLE;
    r[2].value.d = 3.25;
    r[3].type = STF_ARG_CHAR;
    r[3].value.c = 'c';
    r[4].type = STF_ARG_COUNTED;
    r[4].length = sizeof counted;
    r[4].value.p = counted;
    r[5].type = STF_ARG_INT;
    r[5].value.i = 12;
    r[6].type = STF_ARG_STRING;
    r[6].value.p = nullptr;
    // A heap buffer of exactly the bound, so any overrun is caught.
    char *buf = static_cast<char *>(std::malloc(bound ? bound : 1));
    int n =
        vrcore::messages::SnprintfRecords(bound ? buf : nullptr, bound, format.c_str(), count, r);
    if (bound > 0) {
        size_t len = std::strlen(buf);
        if (n < 0 && len != 0) std::abort();
        if (n >= 0 && len != (static_cast<size_t>(n) < bound ? static_cast<size_t>(n) : bound - 1))
            std::abort();
    }
    std::free(buf);
    return 0;
}
