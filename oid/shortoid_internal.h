// Short identifiers: internal lookups shared by the conversions, the
// registry and the tests.
#pragma once

#include <cstdint>
#include <mutex>

#include "oid/builtin_lookup.h"

extern "C" {
int _GENU__CompareObjectIDBsearch(const void *a, const void *b);
int _GENU__CompareObjectBinvalBsearch(const void *a, const void *b);
int _GENU__CompareObjectNameBsearch(const void *a, const void *b);
}

namespace vrcore::oid {

// Status code (facility of the value syntaxes) of a dynamic identifier
// used while the dynamic identifier database is not open.
inline constexpr uint32_t GENU_S_NODYNAMIC = 0xC00E0080u;

// Compares two content strings of the BER form subidentifier by
// subidentifier (GEN_CompareObjectID); the shorter is smaller when one is a
// prefix of the other. Lengths are at most 53.
int CompareContent(const unsigned char *a, uint32_t alen, const unsigned char *b, uint32_t blen);
// The same for two binary forms (0x06, length octet, content).
int CompareBinval(const unsigned char *a, const unsigned char *b);

// The lock the conversions hold while they read the dynamic identifier
// database; a program that registers dynamic identifiers holds it while it
// writes them.
std::mutex &DynamicLock();

} // namespace vrcore::oid
