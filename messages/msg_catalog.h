// Message catalogs: internal view shared by the message module and tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vrcore::messages {

// Catalog file name (with ".mdl") of a facility word for the application
// prefix `prefix` (lower-cased in the name); empty when there is none.
std::string CatalogName(uint16_t facility_word, const std::string &prefix);

// Name of entry `index` (0x00..0xFE) of the shared-catalog table, without
// ".mdl"; empty outside the table.
std::string SharedCatalogName(unsigned index);

// Expands one NLSPATH template for a catalog name and locale name.
std::string ExpandTemplate(const std::string &tmpl, const std::string &name,
                           const std::string &locale);

// Checks that `size` bytes hold a well-formed compiled catalog: header,
// both tables inside the file, every text offset inside the text area, the
// text area NUL-terminated. A catalog that fails is treated as absent.
bool CatalogBytesValid(const unsigned char *data, size_t size);

// Number of catalogs open in the cache, and the names (catalog name and
// locale) of the open ones, for tests.
int CachedCatalogs();
bool CatalogCached(const std::string &name);

} // namespace vrcore::messages
