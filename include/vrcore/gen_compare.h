/* vrcore value syntaxes: comparing values. */
#ifndef VRCORE_GEN_COMPARE_H
#define VRCORE_GEN_COMPARE_H

#include "gen_types.h"

VR_BEGIN_DECLS

/* ---- Comparison -------------------------------------------------------
 * Every comparison takes a status list first, clears it, and returns 0 with
 * the result in *result, or 1 with a status code (GEN_S_NULLARG for a null
 * value or result, GEN_S_INVALID for a kind, choice or length out of
 * range, GEN_S_NOTSUPP for types and kind combinations without a rule).
 * Results: 0 equal; negative when the first sorts before the second,
 * positive when after (usually -1 and 1). Syntaxes that only tell equal
 * from different (booleans, sides, ranges, cardinal maps, RPC addresses,
 * attributes) answer 0 or 1. Arguments are never modified.
 *
 * Texts and simple names: kinds 1 and 2 compare byte for byte; kinds 3
 * and 4 likewise, except that an empty value sorts after every non-empty
 * one; kind 5 through the locale's collation (both code sets must agree
 * when either is given). Kinds may differ only when one is kind 3 and the
 * other kind 1. The binary forms compare any kinds byte for byte (kinds 1
 * and 3 may be mixed), empty first; the I forms ignore letter case. */
VR_EXPORT int GEN_CompareAttrValue(STF_List *status, uint32_t value_type, const void *first,
                                   const void *second, int32_t *result);
/* Texts, names and the values made of them (types 5, 6, 9, 16, 18, 27, 40,
 * 64) by their binary forms; other types as GEN_CompareAttrValue. */
VR_EXPORT int GEN_BinCompareAttrValue(STF_List *status, uint32_t value_type, const void *first,
                                      const void *second, int32_t *result);

#define GEN_DECLARE_COMPARE(Name, T)                                                               \
    VR_EXPORT int GEN_##Name(STF_List *status, const T *first, const T *second, int32_t *result);
GEN_DECLARE_COMPARE(CompareText, GEN_Text)
GEN_DECLARE_COMPARE(ICompareText, GEN_Text)
GEN_DECLARE_COMPARE(BinCompareText, GEN_Text)
GEN_DECLARE_COMPARE(CompareSimpleName, GEN_SimpleName)
GEN_DECLARE_COMPARE(ICompareSimpleName, GEN_SimpleName)
GEN_DECLARE_COMPARE(BinCompareSimpleName, GEN_SimpleName)
GEN_DECLARE_COMPARE(CompareOctetString, GEN_OctetString)
GEN_DECLARE_COMPARE(ICompareOctetString, GEN_OctetString)
GEN_DECLARE_COMPARE(CompareNameOrOID, GEN_NameOrOID)
GEN_DECLARE_COMPARE(BinCompareNameOrOID, GEN_NameOrOID)
/* The name syntaxes first (present after absent), then the names; names in
 * the win95, winnt and ntsecurity syntaxes ignore letter case. The binary
 * form compares the names first, byte for byte. */
GEN_DECLARE_COMPARE(CompareDistNameString, GEN_DistNameString)
GEN_DECLARE_COMPARE(BinCompareDistNameString, GEN_DistNameString)
GEN_DECLARE_COMPARE(CompareDistNameStringSeq, GEN_DistNameStringSeq)
GEN_DECLARE_COMPARE(CompareIdentifier, GEN_Identifier)
GEN_DECLARE_COMPARE(CompareJobIdentifier, GEN_JobIdentifier)
GEN_DECLARE_COMPARE(CompareDocumentIdentifier, GEN_DocumentIdentifier)
GEN_DECLARE_COMPARE(CompareObjectIdent, GEN_ObjectIdent)
GEN_DECLARE_COMPARE(BinCompareObjectIdent, GEN_ObjectIdent)
GEN_DECLARE_COMPARE(CompareFontReference, GEN_FontReference)
GEN_DECLARE_COMPARE(BinCompareFontReference, GEN_FontReference)
/* By the instants the times denote; equal seconds give the difference of
 * the milliseconds. */
GEN_DECLARE_COMPARE(CompareGeneralizedTime, GEN_GeneralizedTime)
/* Equality tests: *result 1 when equal, 0 when different. */
GEN_DECLARE_COMPARE(EqualText, GEN_Text)
GEN_DECLARE_COMPARE(EqualSimpleName, GEN_SimpleName)

/* An encoded object identifier: the content octets of its BER form. */
typedef struct GEN_ObjectID {
    uint16_t length;
    unsigned char *value;
} GEN_ObjectID;
/* Compares subidentifier by subidentifier (by value), then the shorter
 * first. A missing or empty identifier sorts after every other one. Reports
 * nothing; does nothing without a result. */
VR_EXPORT void GEN_CompareObjectID(const GEN_ObjectID *first, const GEN_ObjectID *second,
                                   int32_t *result);

VR_END_DECLS

#endif /* VRCORE_GEN_COMPARE_H */
