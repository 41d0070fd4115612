// Conversions shared by the value PDUs: texts, names and identifiers
// between their library form and their runtime form. A null status list
// is allowed; the code is returned either way (0 on success).
#pragma once

#include <cstdint>

#include "encoding/ber_types.h"
#include "vrcore/genu.h"

namespace vrber {

uint32_t GenTextToBer(STF_List *status, const GEN_Text &t, BerText *b);
// too_long: the code for a kind 1 to 4 name over 255 characters or octets.
uint32_t GenNameToBer(STF_List *status, const GEN_SimpleName &n, BerSimpleName *b, uint32_t too_long);
// Texts own their strings: they are made with the allocator.
uint32_t BerTextToGen(STF_List *status, const BerText &b, GEN_Text *t, const GENU_Allocator *a);
uint32_t BerNameToGen(STF_List *status, const BerSimpleName &b, GEN_SimpleName *n);

// A short identifier as the content octets of its encoding (borrowed from
// the identifier tables) and back.
uint32_t ShortToWire(GENU_ShortOID id, BerOid *out);
uint32_t WireToShort(const BerOid &o, GENU_ShortOID *out);

} // namespace vrber
