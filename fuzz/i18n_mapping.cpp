// Mapping-file parser: hostile text is either refused as malformed or read
// into tables whose every field lies inside the bounds the lookups rely on.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "messages/i18n_internal.h"
#include "vrcore/i18n.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    vrcore::i18n::Tables t;
    size_t line = 0;
    uint32_t rc = vrcore::i18n::ParseMapping(text, t, &line);
    if (rc != 0 && rc != I18N_S_MALFORMED && rc != I18N_S_FAILURE) std::abort();
    if (rc == I18N_S_MALFORMED && line == 0) std::abort();
    for (const auto &l : t.locales) {
        if (l.language_length > 2 || l.territory_length > 2) std::abort();
        if (l.name.empty() || l.name.size() > vrcore::i18n::kMaxLine) std::abort();
    }
    for (const auto &c : t.codesets)
        if (c.name.empty() || c.oid == 0) std::abort();
    return 0;
}
