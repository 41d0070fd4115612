// The PTS service's map file: any text loads without a fault, and what
// loaded writes back to text that loads to the same entries, none refused.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "nameservice/pts_map.h"

using namespace vrcore::nameservice::pts;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Entries first, again;
    ParseMap(std::string_view(reinterpret_cast<const char *>(data), size), &first);
    if (ParseMap(FormatMap(first), &again) != 0 || again != first) std::abort();
    return 0;
}
