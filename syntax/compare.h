// The comparison engine shared by the GEN_Compare family: texts and names
// (compare_text.cpp) and every other value, walked through its structure
// description (compare.cpp).
#pragma once

#include <cstdint>

#include "syntax/gentype.h"

namespace vrcore::syntax {

// One comparison. Rules return false on failure, with the first failure's
// code reported to the status list (when there is one) and kept in error.
struct Cmp {
    STF_List *status;
    bool binary = false; // texts and names byte for byte (the binary forms)
    uint32_t error = 0;
    int depth = 0; // structures being walked, bounded by GEN_MAX_NESTING
};

bool CmpFail(Cmp &c, uint32_t code);

// -1, 0 or 1 from any signed difference.
inline int32_t Sign(long long d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }

// Texts and simple names, by the semantic rule or, in binary mode, byte for
// byte; icase ignores letter case (semantic rule only).
bool CompareTextRule(Cmp &c, const GEN_Text &a, const GEN_Text &b, bool icase, int32_t &r);
bool CompareNameRule(Cmp &c, const GEN_SimpleName &a, const GEN_SimpleName &b, bool icase,
                     int32_t &r);
// Octet strings: an empty value sorts after every non-empty one.
bool CompareOctetsRule(Cmp &c, const GEN_OctetString &a, const GEN_OctetString &b, bool icase,
                       int32_t &r);
// Bytes up to the NUL (at most max of them): -1, 0, 1.
int32_t CompareCString(const char *a, const char *b, uint32_t max);

// Any described value.
bool CompareValue(Cmp &c, const TypeInfo &t, const void *a, const void *b, int32_t &r);
// A value of a value type (0..94), as GEN_CompareAttrValue.
bool CompareTyped(Cmp &c, uint32_t type, const void *a, const void *b, int32_t &r);

// Common entry of the exported comparisons: a null status list ends the
// call (false); otherwise the list is cleared, and null values or a null
// result give GEN_S_NULLARG.
bool BeginCompare(Cmp &c, STF_List *status, const void *a, const void *b, const int32_t *r);

} // namespace vrcore::syntax
