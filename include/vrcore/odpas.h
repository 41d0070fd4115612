/* vrcore attribute-set conversion: attribute sets, modification sets and
 * attribute assertions to and from the structures the BER runtime encodes.
 *
 * Every attribute travels as its object identifier and a list of values,
 * each value one complete encoding of its own syntax (ODP_PackAV). The
 * value type of an attribute always comes from the identifier registry
 * (GENU_AttrIdToType), never from the wire.
 *
 * Structures built by the ToBER_ functions are allocated with the calling
 * thread's encoding context (_GENU__MyMalloc) and released with the
 * matching FreeBER_ function in the same thread; identifiers point into
 * the identifier tables and are never released. Structures that came out
 * of a decode are released with GENU_OssFreePDU instead. Sets made by the
 * ToGEN_ functions use the plain heap allocator and are released with
 * AS_Destroy. */
#ifndef VRCORE_ODPAS_H
#define VRCORE_ODPAS_H

#include "as.h"
#include "genu.h"

VR_BEGIN_DECLS

/* Mode of the set encoders: access-control values are packed in their
 * extended form as they are. Any other mode packs them in the list form
 * (value type 85) after GENU_ACLToPSIS, keeping each entry's name type and
 * privilege level; the entry for everyone (no name, a domain of any kind
 * without a name) goes as "@". An attribute registered with the list-form
 * syntax whose values are extended entries, as the decoders make them,
 * goes in the list form in every mode. */
#define ODP_AS_MODE_EXTENDED_ACL 1001

/* PDU numbers of the set structures (GENU_OssEncode / GENU_OssDecode). The
 * encoded structure is the address of a variable holding the list head
 * (ODP_BerAttrSet *, ODP_BerModAttrSet *), or of an ODP_BerAttribute /
 * ODP_BerSingleValue. */
#define ODP_PDU_ATTRIBUTE_SET 300
#define ODP_PDU_MODIFICATION_SET 301
#define ODP_PDU_ATTRIBUTE 302
#define ODP_PDU_SINGLE_VALUE 303

/* One encoded value: a node of the value list. */
typedef struct ODP_BerValueNode {
    struct ODP_BerValueNode *next;
    GENU_Buffer value;
} ODP_BerValueNode;

/* One attribute: identifier and values (null: no values). */
typedef struct ODP_BerAttribute {
    GENU_BerOID type;
    ODP_BerValueNode *values;
} ODP_BerAttribute;

/* An attribute set: a list of attributes; the null list is the empty set. */
typedef struct ODP_BerAttrSet {
    struct ODP_BerAttrSet *next;
    ODP_BerAttribute attribute;
} ODP_BerAttrSet;

/* Presence bits of a modification-set attribute. */
#define ODP_MODATTR_VALUES 0x80
#define ODP_MODATTR_OPERATOR 0x40

/* An attribute of a modification set: the presence bits, identifier,
 * values and modify operator (1 add values, 2 delete values, 3 set to
 * default; present only with ODP_MODATTR_OPERATOR). */
typedef struct ODP_BerModAttrSet {
    struct ODP_BerModAttrSet *next;
    uint8_t bit_mask;
    GENU_BerOID type;
    ODP_BerValueNode *values;
    int32_t modify_operator;
} ODP_BerModAttrSet;

/* An attribute with exactly one value (used inside filters). */
typedef struct ODP_BerSingleValue {
    GENU_BerOID type;
    GENU_Buffer value;
} ODP_BerSingleValue;

/* ---- To the runtime's structures ---------------------------------------
 * Status list first; 0 on success, 1 with a status code. On failure
 * nothing stays allocated and the output is null or cleared. */

/* *out: the set's attributes in order; null for AS_nullSetHandle or an
 * empty set. An attribute whose stored value type differs from the
 * registry's is refused (0xC00E00A0), except extended access-control
 * values of a list-form attribute. */
VR_EXPORT int ToBER_AS(STF_List *status, ODP_BerAttrSet **out, const AS_SetHandle *set,
                       int32_t mode);
VR_EXPORT int FreeBER_AS(STF_List *status, ODP_BerAttrSet *set);
VR_EXPORT int ToBER_ModOpAS(STF_List *status, ODP_BerModAttrSet **out, const AS_SetHandle *set,
                            int32_t mode);
VR_EXPORT int FreeBER_ModOpAS(STF_List *status, ODP_BerModAttrSet *set);
/* Releases what one node owns (its values), not the node itself. */
VR_EXPORT int FreeBER_ModOpAttr(STF_List *status, ODP_BerModAttrSet *node);
/* One attribute with all its values into the caller's structure. */
VR_EXPORT int ToBER_Attr(STF_List *status, ODP_BerAttribute *out, AS_AttrHandle attr, int32_t mode);
/* ToBER_Attr with mode ODP_AS_MODE_EXTENDED_ACL. */
VR_EXPORT int ToBER_AVA(STF_List *status, ODP_BerAttribute *out, AS_AttrHandle attr);
/* Release the value list, or the single value; the structure is the
 * caller's. */
VR_EXPORT int FreeBER_Attr(STF_List *status, ODP_BerAttribute *attr);
VR_EXPORT int FreeBER_ifwAVA(STF_List *status, ODP_BerSingleValue *ava);
/* The identifier and the attribute's first value (an attribute without
 * values: GEN_S_INVALID). */
VR_EXPORT int ToBER_IfwAVA(STF_List *status, ODP_BerSingleValue *out, AS_AttrHandle attr);

/* ---- From the runtime's structures ----------------------------------
 * The structures are never changed. An identifier the registry does not
 * know fails with 0xC00E00A5; on any failure no set is left and the
 * output is the null handle. */

VR_EXPORT int ToGEN_AS(STF_List *status, const ODP_BerAttrSet *set, AS_SetHandle *out);
/* *out receives a new heap cell (free it with GENU__CoveredFree after
 * destroying the set) holding the new set's handle. */
VR_EXPORT int MallocAStoGEN(STF_List *status, const ODP_BerAttrSet *set, AS_SetHandle **out);
/* A modification set: operators 1 to 3 are set on the attributes. */
VR_EXPORT int ToGEN_ModOpAS(STF_List *status, const ODP_BerModAttrSet *set, AS_SetHandle *out);
/* A new set holding one attribute; the attribute handle is returned and
 * the set lives behind it: release both with AS_GetAttrSetR, AS_Destroy
 * and AS_FreeAttrHandle. */
VR_EXPORT int ToGEN_Attr(STF_List *status, const GENU_BerOID *type, const ODP_BerValueNode *values,
                         AS_AttrHandle *out);
VR_EXPORT int ToGEN_AVA(STF_List *status, const ODP_BerAttribute *attr, AS_AttrHandle *out);
VR_EXPORT int ToGEN_IfwAVA(STF_List *status, const ODP_BerSingleValue *ava, AS_AttrHandle *out);

VR_END_DECLS

#endif /* VRCORE_ODPAS_H */
