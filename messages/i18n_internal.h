// The locale module's mapping tables and the parser of the mapping file,
// shared with the tests and the fuzz target.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vrcore/stf.h"
#include "vrcore/vrtypes.h"

namespace vrcore::i18n {

struct CodesetEntry {
    std::string name;
    GENU_ShortOID oid = 0;
};

struct LocaleEntry {
    std::string name; // "$" already turned into blanks
    char language[2] = {' ', ' '};
    uint16_t language_length = 0;
    char territory[2] = {' ', ' '};
    uint16_t territory_length = 0;
    std::string codeset; // code-set name as written
    int32_t lcid = 0;
};

struct Tables {
    std::vector<CodesetEntry> codesets;
    std::vector<LocaleEntry> locales;
};

// Longest line of the mapping file, without its line end.
constexpr size_t kMaxLine = 255;

// Parses the text of a mapping file into tables. Returns 0, the malformed
// file code (with the 1-based number of the offending line in *bad_line
// when given) or the general failure code when memory is short.
// A code-set line whose identifier is well formed but unknown here (a
// dynamic identifier of a registry that is not open) is left out.
uint32_t ParseMapping(std::string_view text, Tables &out, size_t *bad_line = nullptr);

// Entry points report through a caller's status list: Begin clears it
// (false when there is none), Fail adds a code and gives the failure result.
inline bool Begin(STF_List *status) {
    if (!status) return false;
    STF_ClearStatus(status);
    return true;
}

inline int Fail(STF_List *status, uint32_t code) {
    STF_AddStatus(status, code, 0);
    return 1;
}

} // namespace vrcore::i18n
