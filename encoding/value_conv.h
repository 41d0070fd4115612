// Conversions shared by the value PDUs: texts, names and identifiers
// between their library form and their runtime form. A null status list
// is allowed; the code is returned either way (0 on success).
#pragma once

#include <cstddef>
#include <cstdint>

#include "encoding/ber_types.h"
#include "vrcore/genu.h"

namespace vrcore::ber {

uint32_t GenTextToBer(STF_List *status, const GEN_Text &t, BerText *b);
// too_long: the code for a kind 1 to 4 name over 255 characters or octets.
uint32_t GenNameToBer(STF_List *status, const GEN_SimpleName &n, BerSimpleName *b,
                      uint32_t too_long);
// Texts own their strings: they are made with the allocator.
uint32_t BerTextToGen(STF_List *status, const BerText &b, GEN_Text *t, const GENU_Allocator *a);
uint32_t BerNameToGen(STF_List *status, const BerSimpleName &b, GEN_SimpleName *n);
// Counted octets into a new block of the allocator, with a zero after
// them; length 0 gives {0, NULL}.
uint32_t OctetsToGen(STF_List *status, uint32_t length, const unsigned char *bytes,
                     GEN_OctetString *o, const GENU_Allocator *a);

// A short identifier as the content octets of its encoding (borrowed from
// the identifier tables) and back.
uint32_t ShortToWire(GENU_ShortOID id, BerOid *out);
uint32_t WireToShort(const BerOid &o, GENU_ShortOID *out);

// The conversions of one value syntax between its library structure and
// its PDU's runtime structure, behind the exported ToBER_, FreeBER_,
// ToGEN_ and FreeGEN_ routines (status conventions of odp.h).
int SyntaxToBer(STF_List *status, uint32_t type, void *ber, const void *value);
int SyntaxFreeBer(STF_List *status, uint32_t type, void *ber);
int SyntaxToGen(STF_List *status, uint32_t type, const void *ber, void *value,
                const GENU_Allocator *a);
int SyntaxFreeGen(STF_List *status, uint32_t type, void *value, const GENU_Allocator *a);
// Bytes of the runtime structure of a syntax's PDU; 0 without one.
size_t SyntaxBerSize(uint32_t type);
// The PDU number of a syntax, or -1 (without a log message).
int SyntaxPdu(uint32_t type);

} // namespace vrcore::ber
