// Class files of the local name store: the first byte picks the class,
// the rest is the file. A file that parses must write back to the same
// entries.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "nameservice/ns_store.h"

using namespace vrcore::nameservice;

static bool same(const std::vector<Entry> &a, const std::vector<Entry> &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const Entry &x = a[i], &y = b[i];
        if (x.name != y.name || x.domain != y.domain || x.bindings != y.bindings ||
            x.host != y.host || x.info != y.info || x.server_class != y.server_class ||
            x.server_name != y.server_name || x.server_domain != y.server_domain ||
            x.members.size() != y.members.size())
            return false;
        for (size_t j = 0; j < x.members.size(); ++j)
            if (x.members[j].cls != y.members[j].cls || x.members[j].name != y.members[j].name ||
                x.members[j].domain != y.members[j].domain)
                return false;
    }
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    int32_t cls = data[0] % 11;
    std::string_view text(reinterpret_cast<const char *>(data + 1), size - 1);
    std::vector<Entry> entries;
    int rc = ParseClassFile(text, cls, entries);
    if (rc != 0 && rc != 5 && rc != 19) std::abort();
    if (rc != 0 || HandlerOf(cls) == Handler::None) return 0;
    std::vector<Entry> again;
    if (ParseClassFile(RenderClassFile(cls, entries, "now\n"), cls, again) != 0 ||
        !same(entries, again))
        std::abort();
    return 0;
}
