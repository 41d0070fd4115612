// Lookups in the built-in identifier table, for the modules above the
// identifiers that convert between short identifiers and their encoded
// form without going through the registry.
#pragma once

#include <cstdint>

#include "oid/builtin_table.h"

namespace vrcore::oid {

// Row of a built-in short identifier, or nullptr when it is not built in.
const BuiltinRow *RowOf(uint32_t short_id);
// Short identifier of a row number.
inline uint32_t ShortOfRow(uint32_t row) { return row < kLowRows ? row : row + kHighOffset; }

// Binary searches of the built-in indexes; nullptr when absent.
const IndexEntry *FindByContent(const unsigned char *content, uint32_t length);
const IndexEntry *FindByName(const char *name);

} // namespace vrcore::oid
