// The exported conversions of each value syntax: thin entry points over
// the syntax table of the value packing.
#include <cstddef>
#include <cstring>

#include "encoding/ber_world.h"
#include "encoding/codes.h"
#include "encoding/value_conv.h"
#include "system/guard.h"
#include "vrcore/odp.h"

using namespace vrcore::ber;

namespace {

constexpr uint32_t kListContext = GENU_S_CONV_LISTCONTEXT;

int Refuse(STF_List *status, uint32_t code) {
    STF_AddStatus(status, code, 0);
    return 1;
}

// An inner part whose runtime structure is laid out as its library value:
// a deep copy either way; a failure other than memory becomes the part's
// code.
template <class T> int PartCopy(STF_List *status, void *to, const void *from,
                                int (*copy)(STF_List *, T *, const T *, const GENU_Allocator *),
                                const GENU_Allocator *a, uint32_t code) {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!to || !from) return Refuse(status, GEN_S_INVALID);
    if (!copy(status, static_cast<T *>(to), static_cast<const T *>(from), a)) return 0;
    if (STF_GetStatus(status) != GEN_S_NOMEM) Refuse(status, code);
    return 1;
}

template <class T> int PartDelete(STF_List *status, void *value,
                                  int (*del)(STF_List *, T *, const GENU_Allocator *),
                                  const GENU_Allocator *a) {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!value) return Refuse(status, GEN_S_INVALID);
    return del(status, static_cast<T *>(value), a);
}

// The octets of a text or name held in place: a 16-bit length first.
static_assert(offsetof(BerOctets4095, value) == offsetof(BerOctets255, value));

} // namespace

#define VALUE_CONV(name, T, type)                                                                  \
    int ToBER_##name(STF_List *status, void *ber, const T *value) try {                            \
        return SyntaxToBer(status, type, ber, value);                                              \
    }                                                                                              \
    VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)                                          \
    int FreeBER_##name(STF_List *status, void *ber) try {                                          \
        return SyntaxFreeBer(status, type, ber);                                                   \
    }                                                                                              \
    VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)                                          \
    int ToGEN_##name(STF_List *status, const void *ber, T *value,                                  \
                     const GENU_Allocator *alloc) try {                                            \
        return SyntaxToGen(status, type, ber, value, alloc);                                       \
    }                                                                                              \
    VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)                                          \
    int FreeGEN_##name(STF_List *status, T *value, const GENU_Allocator *alloc) try {              \
        return SyntaxFreeGen(status, type, value, alloc);                                          \
    }                                                                                              \
    VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

extern "C" {

VALUE_CONV(text, GEN_Text, 28)
VALUE_CONV(descriptor, GEN_Descriptor, 5)
VALUE_CONV(message, GEN_Message, 16)
VALUE_CONV(simpleName, GEN_SimpleName, 27)
VALUE_CONV(descriptiveName, GEN_DescriptiveName, 40)
VALUE_CONV(octetString, GEN_OctetString, 20)
VALUE_CONV(cardinalRange, GEN_CardinalRange, 2)
VALUE_CONV(cardinal64Range, GEN_Cardinal64Range, 32)
VALUE_CONV(jobId, GEN_JobIdentifier, 14)
VALUE_CONV(generalizedTime, GEN_GeneralizedTime, 48)
VALUE_CONV(mediumDimensions, GEN_MediumDimensions, 57)
VALUE_CONV(distNameString, GEN_DistNameString, 6)
VALUE_CONV(docContent, GEN_DocumentContent, 7)
VALUE_CONV(EVHProfile, GEN_EventHandlingProfile, 8)
VALUE_CONV(fontReference, GEN_FontReference, 9)
VALUE_CONV(ignoredAttribute, GEN_IgnoredAttribute, 11)
VALUE_CONV(nameOrOid, GEN_NameOrOID, 18)
VALUE_CONV(numbersUpSupported, GEN_NumbersUpSupported, 19)
VALUE_CONV(oidCardinalMap, GEN_OidCardinalMap, 33)
VALUE_CONV(cardinalOrNoid, GEN_CardinalOrNoid, 34)
VALUE_CONV(cardinalOrOid, GEN_CardinalOrOid, 35)
VALUE_CONV(deliveryAddress, GEN_DeliveryAddress, 39)
VALUE_CONV(distNameStringSeq, GEN_DistNameStringSeq, 42)
VALUE_CONV(docFormat, GEN_DocumentFormat, 43)
VALUE_CONV(dor, GEN_FileReference, 45)
VALUE_CONV(finishing, GEN_Finishing, 46)
VALUE_CONV(inputTrayMedium, GEN_InputTrayMedium, 49)
VALUE_CONV(locale, GEN_Locale, 55)
VALUE_CONV(nameOrOidSeq, GEN_NameOrOidSeq, 60)
VALUE_CONV(newJobIdentifier, GEN_NewJobIdentifier, 61)
VALUE_CONV(objectIdent, GEN_ObjectIdent, 64)
VALUE_CONV(mediaSelect, GEN_MediaSelect, 67)
VALUE_CONV(pageSelectSeq, GEN_PageSelectSeq, 69)
VALUE_CONV(posIntOrOid, GEN_PosIntOrOid, 72)
VALUE_CONV(printCheckpoint, GEN_Checkpoint, 74)
VALUE_CONV(privileges, GEN_Privileges, 76)
VALUE_CONV(resultsProfile, GEN_ResultsProfile, 81)
VALUE_CONV(ACL, GEN_PSISAccessControlList, 85)
VALUE_CONV(rpcAddress, GEN_RPCAddress, 86)
VALUE_CONV(socketAddress, GEN_SocketAddress, 87)
VALUE_CONV(fastFilterDef, GEN_FastFilterDef, 88)
VALUE_CONV(ExtACL, GEN_ExtACL, 89)
VALUE_CONV(mediaConsumed, GEN_MediaConsumed, 90)
VALUE_CONV(mediaConsumedSeq, GEN_MediaConsumedSeq, 91)
VALUE_CONV(preprocessorDefinition, GEN_PreprocessorDefinition, 92)
VALUE_CONV(seqOfObjId, GEN_SeqOfObjId, 93)
VALUE_CONV(driverInfo, GEN_DriverInfo, 94)

#define PART_CONV(name, T, X, code)                                                                \
    int ToBER_##name(STF_List *status, void *ber, const T *value) try {                            \
        return PartCopy<T>(status, ber, value, GEN_DeepCopy##X, &genu_ossAllocator[0], code);      \
    }                                                                                              \
    VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)                                          \
    int FreeBER_##name(STF_List *status, void *ber) try {                                          \
        return PartDelete<T>(status, ber, GEN_DeepDelete##X, &genu_ossAllocator[0]);               \
    }                                                                                              \
    VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)                                          \
    int ToGEN_##name(STF_List *status, const void *ber, T *value,                                  \
                     const GENU_Allocator *alloc) try {                                            \
        return PartCopy<T>(status, value, ber, GEN_DeepCopy##X, alloc, code);                      \
    }                                                                                              \
    VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)                                          \
    int FreeGEN_##name(STF_List *status, T *value, const GENU_Allocator *alloc) try {              \
        return PartDelete<T>(status, value, GEN_DeepDelete##X, alloc);                             \
    }                                                                                              \
    VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

PART_CONV(docIdentifier, GEN_DocumentIdentifier, DocumentIdentifier, GENU_S_CONV_OBJECTIDENT)
PART_CONV(external, GEN_External, External, GENU_S_CONV_CONTENT)

int ToBER_listContext(STF_List *status, void *ber, const GEN_OctetString *value) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!ber || !value) return Refuse(status, GEN_S_INVALID);
    auto *b = static_cast<GENU_Buffer *>(ber);
    *b = GENU_Buffer{0, nullptr};
    if (value->length < 0 || (value->length && !value->value)) return Refuse(status, kListContext);
    if (!value->length) return 0;
    b->value = static_cast<unsigned char *>(_GENU__MyMalloc(static_cast<size_t>(value->length)));
    if (!b->value) return Refuse(status, GEN_S_NOMEM);
    memcpy(b->value, value->value, static_cast<size_t>(value->length));
    b->length = static_cast<uint32_t>(value->length);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeBER_listContext(STF_List *status, void *ber) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!ber) return Refuse(status, GEN_S_INVALID);
    auto *b = static_cast<GENU_Buffer *>(ber);
    _GENU__MyFree(b->value);
    *b = GENU_Buffer{0, nullptr};
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToGEN_listContext(STF_List *status, const void *ber, GEN_OctetString *value,
                      const GENU_Allocator *alloc) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!ber || !value) return Refuse(status, GEN_S_INVALID);
    const auto *b = static_cast<const GENU_Buffer *>(ber);
    uint32_t rc =
        OctetsToGen(status, b->length, b->value, value, alloc ? alloc : &genu_ossAllocator[1]);
    if (rc && rc != GEN_S_NOMEM) Refuse(status, kListContext);
    return rc ? 1 : 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeGEN_listContext(STF_List *status, GEN_OctetString *value, const GENU_Allocator *alloc) try {
    return FreeGEN_octetString(status, value, alloc);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToGEN_stringFromEmbOctet(STF_List *status, const void *ber, GEN_OctetString *value,
                             const GENU_Allocator *alloc) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!ber || !value) return Refuse(status, GEN_S_INVALID);
    const auto *o = static_cast<const BerOctets4095 *>(ber);
    if (o->length > sizeof o->value) {
        memset(value, 0, sizeof *value);
        return Refuse(status, GEN_S_INVALID);
    }
    return OctetsToGen(status, o->length, o->value, value, alloc ? alloc : &genu_ossAllocator[1])
               ? 1
               : 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int _ToBER_oidCardinalMap(STF_List *status, void *ber, const GEN_OidCardinalMap *value) try {
    return SyntaxToBer(status, 33, ber, value);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)
int _ToGEN_oidCardinalMap(STF_List *status, const void *ber, GEN_OidCardinalMap *value,
                          const GENU_Allocator *alloc) try {
    return SyntaxToGen(status, 33, ber, value, alloc);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)
int _ToBER_newJobIdentifier(STF_List *status, void *ber, const GEN_NewJobIdentifier *value) try {
    return SyntaxToBer(status, 61, ber, value);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)
int _ToGEN_newJobIdentifier(STF_List *status, const void *ber, GEN_NewJobIdentifier *value,
                            const GENU_Allocator *alloc) try {
    return SyntaxToGen(status, 61, ber, value, alloc);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)
int _ToGEN_fastFilterDef(STF_List *status, const void *ber, GEN_FastFilterDef *value,
                         const GENU_Allocator *alloc) try {
    return SyntaxToGen(status, 88, ber, value, alloc);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToGEN_oid(STF_List *status, const GENU_BerOID *ber, GENU_ShortOID *id) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!ber || !id) {
        STF_AddStatus(status, GEN_S_INVALID, 0);
        return 1;
    }
    if (WireToShort(BerOid{ber->length, ber->value}, id)) {
        STF_AddStatus(status, GENU_S_CONV_BACK, 0);
        return 1;
    }
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

size_t GENU_PDUStructSize(int pdu) try {
    for (uint32_t type = 0; type < 95; ++type)
        if (SyntaxPdu(type) == pdu) return SyntaxBerSize(type);
    const Type *t = PduType(pdu);
    return t ? t->size : 0;
}
VR_CATCH_RETURN(0)

} // extern "C"
