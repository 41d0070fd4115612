// Descriptions of the value PDUs whose runtime structure is the library's
// value structure (gen.h): every field is described where the library
// keeps it. Identifiers, texts, names, string pointers, personal names,
// domain-defined attributes and locales are Map fields converted on the
// way; everything else is read and written in place. The ASN.1 of these
// types is in asn/values.asn1.
#include <cstddef>
#include <cstring>

#include "encoding/ber_types.h"
#include "encoding/ber_values.h"
#include "encoding/codes.h"
#include "encoding/value_conv.h"
#include "vrcore/gen.h"
#include "vrcore/odpas.h"

namespace vrcore::ber {

namespace {

#define N_(a) static_cast<uint32_t>(sizeof(a) / sizeof((a)[0]))
#define OFF(T, f) static_cast<uint32_t>(offsetof(T, f))

constexpr uint32_t kNoMem = GEN_S_NOMEM;
constexpr uint32_t kInvalid = GEN_S_INVALID;

constexpr Type Scalar(const char *name, Kind k, uint8_t width, uint8_t flags) {
    return Type{name, k, flags, width, 0, width, 0, nullptr, 0, nullptr, 0, 0};
}
constexpr Type Str(const char *name, Kind k, uint8_t univ, uint32_t size, uint32_t max) {
    return Type{name, k, 0, 0, univ, size, max, nullptr, 0, nullptr, 0, 0};
}
constexpr Type Cons(const char *name, Kind k, uint32_t size, const Member *m, uint32_t n,
                    uint8_t flags = 0) {
    return Type{name, k, flags, 0, 0, size, 0, m, n, nullptr, 0, 0};
}
constexpr Type Choice(const char *name, uint32_t size, const Member *m, uint32_t n) {
    return Cons(name, Kind::Choice, size, m, n, kChoice32);
}
// A list field: the address of the first node; each node holds the next
// node's address first and the element at elem_offset.
constexpr Type List(const char *name, Kind k, const Type *elem, uint32_t elem_offset,
                    uint32_t node_size, uint32_t size = sizeof(void *)) {
    return Type{name, k, 0, 0, 0, size, 0, nullptr, 0, elem, elem_offset, node_size};
}
constexpr Type PtrTo(const char *name, const Type *elem) {
    return Type{name, Kind::Ptr, 0, 0, 0, sizeof(void *), 0, nullptr, 0, elem, 0, 0};
}
constexpr Type MapOf(const char *name, uint32_t size, const Type *wire, const MapOps *ops) {
    return Type{name, Kind::Map, 0, 0, 0, size, 0, nullptr, 0, wire, 0, 0, ops};
}
// Members: [tag] IMPLICIT (CHOICE and ANY become explicit on the wire).
constexpr Member F(const char *name, const Type *t, uint32_t off, uint32_t tag) {
    return Member{name, t, off, TagMode::Implicit, kContext, tag, 0, false, 0};
}
// Optional: the field is an address, absent when null.
constexpr Member O(const char *name, const Type *t, uint32_t off, uint32_t tag) {
    return Member{name, t, off, TagMode::Implicit, kContext, tag, 0, true, 0};
}
// Optional through a bit of the presence octet of a wire block.
constexpr Member B(const char *name, const Type *t, uint32_t off, uint32_t tag, uint8_t bit) {
    return Member{name, t, off, TagMode::Implicit, kContext, tag, bit, false, 0};
}
constexpr Member Alt(const char *name, const Type *t, uint32_t off, uint32_t tag, uint16_t choice) {
    return Member{name, t, off, TagMode::Implicit, kContext, tag, 0, false, choice};
}
constexpr Member Untagged(const char *name, const Type *t, uint32_t off, uint16_t choice = 0,
                          bool optional = false) {
    return Member{name, t, off, TagMode::None, 0, 0, 0, optional, choice};
}
constexpr Member App(const char *name, const Type *t, uint32_t off, uint32_t tag) {
    return Member{name, t, off, TagMode::Implicit, kApplication, tag, 0, true, 0};
}

// ---- Map conversions ------------------------------------------------------

GENU_Allocator AllocatorOf(const Hooks &h) { return GENU_Allocator{h.alloc, h.free}; }

uint32_t OidToWire(const Hooks &, const void *field, void *wire) {
    return ShortToWire(*static_cast<const GENU_ShortOID *>(field), static_cast<BerOid *>(wire));
}
uint32_t OidToField(const Hooks &, const void *wire, void *field) {
    return WireToShort(*static_cast<const BerOid *>(wire), static_cast<GENU_ShortOID *>(field));
}
const MapOps kOidOps{OidToWire, nullptr, OidToField, nullptr, kNoMem};

uint32_t TextToWire(const Hooks &, const void *field, void *wire) {
    return GenTextToBer(nullptr, *static_cast<const GEN_Text *>(field),
                        static_cast<BerText *>(wire));
}
uint32_t TextToField(const Hooks &h, const void *wire, void *field) {
    GENU_Allocator a = AllocatorOf(h);
    auto *t = static_cast<GEN_Text *>(field);
    uint32_t rc = BerTextToGen(nullptr, *static_cast<const BerText *>(wire), t, &a);
    if (rc) memset(t, 0, sizeof *t);
    return rc;
}
void TextRelease(const Hooks &h, void *field) {
    auto *t = static_cast<GEN_Text *>(field);
    if (t->kind == GEN_KIND_IRV || t->kind == GEN_KIND_STRING) {
        if (t->u.string) h.free(t->u.string);
    } else if (t->u.octets.value) {
        h.free(t->u.octets.value);
    }
    memset(t, 0, sizeof *t);
}
const MapOps kTextOps{TextToWire, nullptr, TextToField, TextRelease, kNoMem};

uint32_t NameToWire(const Hooks &, const void *field, void *wire) {
    return GenNameToBer(nullptr, *static_cast<const GEN_SimpleName *>(field),
                        static_cast<BerSimpleName *>(wire), GENU_S_CONV_NAME);
}
uint32_t NameToField(const Hooks &, const void *wire, void *field) {
    return BerNameToGen(nullptr, *static_cast<const BerSimpleName *>(wire),
                        static_cast<GEN_SimpleName *>(field));
}
const MapOps kNameOps{NameToWire, nullptr, NameToField, nullptr, kNoMem};

// A zero-terminated string held by address.
uint32_t CharsToWire(const Hooks &, const void *field, void *wire) {
    const char *s = *static_cast<char *const *>(field);
    auto *o = static_cast<BerOctets *>(wire);
    size_t n = s ? strlen(s) : 0;
    if (n > 0x7ffffffe) return kInvalid;
    o->length = static_cast<uint32_t>(n);
    o->value = reinterpret_cast<unsigned char *>(const_cast<char *>(s));
    return 0;
}
uint32_t CharsToField(const Hooks &h, const void *wire, void *field) {
    const auto *o = static_cast<const BerOctets *>(wire);
    if (o->length && memchr(o->value, 0, o->length)) return kInvalid;
    auto *p = static_cast<char *>(h.alloc(o->length + 1u));
    if (!p) return kNoMem;
    if (o->length) memcpy(p, o->value, o->length);
    p[o->length] = 0;
    *static_cast<char **>(field) = p;
    return 0;
}
void CharsRelease(const Hooks &h, void *field) {
    auto **p = static_cast<char **>(field);
    if (*p) h.free(*p);
    *p = nullptr;
}
const MapOps kCharsOps{CharsToWire, nullptr, CharsToField, CharsRelease, kNoMem};

// Personal name: the library keeps absent parts as empty strings.
struct WirePersonalName {
    uint8_t bit_mask;
    char surname[41];
    char given_name[17];
    char initials[6];
    char generation_qualifier[4];
};
template <size_t N> bool Terminated(const char (&s)[N]) { return memchr(s, 0, N) != nullptr; }

uint32_t PersonalToWire(const Hooks &, const void *field, void *wire) {
    const auto *p = static_cast<const GEN_PersonalName *>(field);
    auto *w = static_cast<WirePersonalName *>(wire);
    if (!Terminated(p->surname) || !Terminated(p->given_name) || !Terminated(p->initials) ||
        !Terminated(p->generation_qualifier))
        return kInvalid;
    memcpy(w->surname, p->surname, sizeof w->surname);
    memcpy(w->given_name, p->given_name, sizeof w->given_name);
    memcpy(w->initials, p->initials, sizeof w->initials);
    memcpy(w->generation_qualifier, p->generation_qualifier, sizeof w->generation_qualifier);
    w->bit_mask = static_cast<uint8_t>((p->given_name[0] ? 0x80 : 0) | (p->initials[0] ? 0x40 : 0) |
                                       (p->generation_qualifier[0] ? 0x20 : 0));
    return 0;
}
uint32_t PersonalToField(const Hooks &, const void *wire, void *field) {
    const auto *w = static_cast<const WirePersonalName *>(wire);
    auto *p = static_cast<GEN_PersonalName *>(field);
    memcpy(p->surname, w->surname, sizeof p->surname);
    memcpy(p->given_name, w->given_name, sizeof p->given_name);
    memcpy(p->initials, w->initials, sizeof p->initials);
    memcpy(p->generation_qualifier, w->generation_qualifier, sizeof p->generation_qualifier);
    return 0;
}
const MapOps kPersonalOps{PersonalToWire, nullptr, PersonalToField, nullptr, kNoMem};

// Domain-defined attributes: a counted array in the library, a list on
// the wire whose nodes sit in the wire block itself.
struct DdaNode {
    DdaNode *next;
    GEN_DomainDefinedAttr attr;
};
struct WireDdas {
    DdaNode *first;
    DdaNode nodes[GEN_DDA_MAX];
};
uint32_t DdasToWire(const Hooks &, const void *field, void *wire) {
    const auto *a = static_cast<const GEN_DomainDefinedAttrs *>(field);
    auto *w = static_cast<WireDdas *>(wire);
    if (a->count > GEN_DDA_MAX) return kInvalid;
    for (uint16_t i = 0; i < a->count; ++i) {
        w->nodes[i].attr = a->attrs[i];
        w->nodes[i].next = i + 1 < a->count ? &w->nodes[i + 1] : nullptr;
    }
    w->first = a->count ? &w->nodes[0] : nullptr;
    return 0;
}
uint32_t DdasToField(const Hooks &, const void *wire, void *field) {
    auto *a = static_cast<GEN_DomainDefinedAttrs *>(field);
    uint16_t n = 0;
    for (const DdaNode *p = static_cast<const WireDdas *>(wire)->first; p; p = p->next) {
        if (n == GEN_DDA_MAX) return kInvalid;
        a->attrs[n++] = p->attr;
    }
    a->count = n;
    return 0;
}
const MapOps kDdasOps{DdasToWire, nullptr, DdasToField, nullptr, kNoMem};

// Locale: the code set travels when it is not 0 (the local one).
struct WireOctets2 {
    uint16_t length;
    unsigned char value[2];
};
struct WireLocale {
    uint8_t bit_mask;
    WireOctets2 language;
    WireOctets2 territory;
    BerOid code_set;
};
uint32_t LocaleToWire(const Hooks &, const void *field, void *wire) {
    const auto *l = static_cast<const GEN_Locale *>(field);
    auto *w = static_cast<WireLocale *>(wire);
    if (l->language_length > 2 || l->territory_length > 2) return kInvalid;
    w->language.length = l->language_length;
    memcpy(w->language.value, l->language, 2);
    w->territory.length = l->territory_length;
    memcpy(w->territory.value, l->territory, 2);
    if (l->code_set) {
        if (uint32_t rc = ShortToWire(l->code_set, &w->code_set)) return rc;
        w->bit_mask = 0x80;
    }
    return 0;
}
uint32_t LocaleToField(const Hooks &, const void *wire, void *field) {
    const auto *w = static_cast<const WireLocale *>(wire);
    auto *l = static_cast<GEN_Locale *>(field);
    l->language_length = w->language.length;
    memcpy(l->language, w->language.value, w->language.length);
    l->territory_length = w->territory.length;
    memcpy(l->territory, w->territory.value, w->territory.length);
    if (w->bit_mask & 0x80) return WireToShort(w->code_set, &l->code_set);
    return 0;
}
const MapOps kLocaleOps{LocaleToWire, nullptr, LocaleToField, nullptr, kNoMem};

// An attribute inside a value: its identifier and encoded values on the
// wire (built by the set conversions), a set of its own in the library.
uint32_t CodeOf(STF_List *st) { return STF_GetStatus(st) == kNoMem ? kNoMem : kInvalid; }

uint32_t AttrToWire(const Hooks &, const void *field, void *wire) {
    AS_AttrHandle attr = *static_cast<const AS_AttrHandle *>(field);
    if (!attr) return kInvalid;
    STF_List *st = STF_CreateList(nullptr);
    if (!st) return kNoMem;
    uint32_t rc =
        ToBER_Attr(st, static_cast<ODP_BerAttribute *>(wire), attr, ODP_AS_MODE_EXTENDED_ACL)
            ? CodeOf(st)
            : 0;
    STF_DeleteList(st);
    return rc;
}
void AttrWireRelease(const Hooks &, void *wire) {
    if (STF_List *st = STF_CreateList(nullptr)) {
        FreeBER_Attr(st, static_cast<ODP_BerAttribute *>(wire));
        STF_DeleteList(st);
    }
}
uint32_t AttrToField(const Hooks &, const void *wire, void *field) {
    STF_List *st = STF_CreateList(nullptr);
    if (!st) return kNoMem;
    AS_AttrHandle attr = nullptr;
    uint32_t rc =
        ToGEN_AVA(st, static_cast<const ODP_BerAttribute *>(wire), &attr) ? CodeOf(st) : 0;
    STF_DeleteList(st);
    if (!rc) *static_cast<AS_AttrHandle *>(field) = attr;
    return rc;
}
// The set lives behind the attribute's handle and goes with it.
void AttrRelease(const Hooks &, void *field) {
    auto *attr = static_cast<AS_AttrHandle *>(field);
    if (!*attr) return;
    if (STF_List *st = STF_CreateList(nullptr)) {
        AS_SetHandle set = nullptr;
        bool have_set = AS_GetAttrSetR(st, *attr, &set) == 0;
        AS_FreeAttrHandle(st, attr);
        if (have_set) AS_Destroy(st, &set);
        STF_DeleteList(st);
    }
    *attr = nullptr;
}
const MapOps kAttrOps{AttrToWire, AttrWireRelease, AttrToField, AttrRelease, kNoMem};

uint32_t ExtTypeCopy(const Hooks &, const void *from, void *to) {
    int32_t type;
    memcpy(&type, from, sizeof type);
    if (type < 1 || type > 23) return GEN_S_NOTSUPP;
    memcpy(to, &type, sizeof type);
    return 0;
}
const MapOps kExtTypeOps{ExtTypeCopy, nullptr, ExtTypeCopy, nullptr, kNoMem};

// ---- Building blocks ------------------------------------------------------

const Type T_U32 = Scalar("Cardinal", Kind::Int, 4, kUnsigned);
const Type T_I32 = Scalar("Integer", Kind::Int, 4, 0);
const Type T_U16 = Scalar("Sides", Kind::Int, 2, kUnsigned);
// Only ever the wire of Map fields: decoded in place.
const Type T_OidWire = Type{
    "ObjectIdentifier", Kind::Oid, kInPlace, 0, 0, sizeof(BerOid), 0, nullptr, 0, nullptr, 0, 0};
const Type T_Oid = MapOf("ObjectIdentifier", sizeof(GENU_ShortOID), &T_OidWire, &kOidOps);
const Type T_Text_ = MapOf("Text", sizeof(GEN_Text), &T_Text, &kTextOps);
const Type T_Name = MapOf("SimpleName", sizeof(GEN_SimpleName), &T_SimpleName, &kNameOps);
const Type T_OctetString =
    Str("OctetString", Kind::Octets, 4, sizeof(GEN_OctetString), 0x7fffffffu);
const Type T_AnyValue = Str("ANY", Kind::Open, 0, sizeof(GEN_OctetString), 0);
const Type T_GraphicWire = Str("GraphicString", Kind::Octets, 25, sizeof(BerOctets), 0x7fffffffu);
const Type T_Chars = MapOf("GraphicString", sizeof(char *), &T_GraphicWire, &kCharsOps);
const Type T_JobId =
    Str("JobIdentifier", Kind::StringIn, 22, sizeof(GEN_JobIdentifier), GEN_JOB_ID_MAX);

const Type P_U32 = PtrTo("Cardinal", &T_U32);
const Type P_I32 = PtrTo("Integer", &T_I32);
const Type P_Oid = PtrTo("ObjectIdentifier", &T_Oid);
const Type P_Text = PtrTo("Text", &T_Text_);
const Type P_Name = PtrTo("SimpleName", &T_Name);

const Type T_OidList = List("SequenceOfObjectIdentifier", Kind::SeqOf, &T_Oid,
                            OFF(GEN_SetOfObjId, oid), sizeof(GEN_SetOfObjId));
const Type T_StringList = List("SequenceOfGraphicString", Kind::SeqOf, &T_Chars,
                               OFF(GEN_SeqOfStrings, string), sizeof(GEN_SeqOfStrings));
const Type T_TextList =
    List("SequenceOfText", Kind::SeqOf, &T_Text_, OFF(GEN_SetOfText, text), sizeof(GEN_SetOfText));
const Type T_OctetsList = List("SequenceOfOctetString", Kind::SeqOf, &T_OctetString,
                               OFF(GEN_SeqOfOctetString, octets), sizeof(GEN_SeqOfOctetString));
const Type T_OctetsSet = List("SetOfOctetString", Kind::SetOf, &T_OctetString,
                              OFF(GEN_SetOfOctetStrings, octets), sizeof(GEN_SetOfOctetStrings));

const Member CardinalRange_m[] = {Untagged("lower", &T_U32, OFF(GEN_CardinalRange, lower)),
                                  Untagged("upper", &T_U32, OFF(GEN_CardinalRange, upper))};
const Type T_CardinalRange =
    Cons("CardinalRange", Kind::Seq, sizeof(GEN_CardinalRange), CardinalRange_m, 2);

const Type T_EncodedValue = Str("ANY", Kind::Open, 0, sizeof(GENU_Buffer), 0);
const Type T_EncodedValues = List("SequenceOfANY", Kind::SeqOf, &T_EncodedValue,
                                  OFF(ODP_BerValueNode, value), sizeof(ODP_BerValueNode));
const Member AttrWire_m[] = {
    Untagged("attribute-type", &T_OidWire, OFF(ODP_BerAttribute, type)),
    Untagged("attribute-values", &T_EncodedValues, OFF(ODP_BerAttribute, values))};
const Type T_AttrWire = Cons("IgnoredAttr", Kind::Seq, sizeof(ODP_BerAttribute), AttrWire_m, 2);
const Type T_Attr = MapOf("Attribute", sizeof(AS_AttrHandle), &T_AttrWire, &kAttrOps);

const Member Ignored_m[] = {
    F("attribute", &T_Attr, OFF(GEN_IgnoredAttribute, attribute), 0),
    O("document-number", &P_U32, OFF(GEN_IgnoredAttribute, document_number), 1)};
const Type T_Ignored =
    Cons("IgnoredAttribute", Kind::Seq, sizeof(GEN_IgnoredAttribute), Ignored_m, 2);

// ---- Names and identifications --------------------------------------------

const Member NameOrOid_m[] = {Alt("oid", &T_Oid, OFF(GEN_NameOrOID, u.oid), 0, GEN_NOID_OID),
                              Alt("name", &T_Name, OFF(GEN_NameOrOID, u.name), 1, GEN_NOID_NAME)};
const Type T_NameOrOid = Choice("NameOrOid", sizeof(GEN_NameOrOID), NameOrOid_m, 2);
const Type P_NameOrOid = PtrTo("NameOrOid", &T_NameOrOid);

const Member DistNameString_m[] = {F("name", &T_Text_, OFF(GEN_DistNameString, name), 0),
                                   O("syntax", &P_NameOrOid, OFF(GEN_DistNameString, syntax), 1)};
const Type T_DistNameString =
    Cons("DistNameString", Kind::Seq, sizeof(GEN_DistNameString), DistNameString_m, 2);

const Type T_DistNameStringSeq =
    List("DistNameStringSeq", Kind::SeqOf, &T_DistNameString, OFF(GEN_DistNameStringSeq, name),
         sizeof(GEN_DistNameStringSeq));
const Type T_NameOrOidSeq = List("NameOrOidSeq", Kind::SeqOf, &T_NameOrOid,
                                 OFF(GEN_NameOrOidSeq, name_or_oid), sizeof(GEN_NameOrOidSeq));

const Member FontReference_m[] = {
    Alt("simple-name", &T_Name, OFF(GEN_FontReference, u.simple_name), 0, GEN_FONT_SIMPLE_NAME),
    Alt("global-name", &T_Oid, OFF(GEN_FontReference, u.global_name), 1, GEN_FONT_GLOBAL_NAME)};
const Type T_FontReference = Choice("FontReference", sizeof(GEN_FontReference), FontReference_m, 2);

const Member DocumentIdentifier_m[] = {
    F("job", &T_JobId, OFF(GEN_DocumentIdentifier, job), 0),
    O("document-number", &P_U32, OFF(GEN_DocumentIdentifier, document_number), 1)};
const Type T_DocumentIdentifier =
    Cons("DocumentIdentifier", Kind::Seq, sizeof(GEN_DocumentIdentifier), DocumentIdentifier_m, 2);

const Member ObjectIdent_m[] = {
    Alt("job-identifier", &T_JobId, OFF(GEN_ObjectIdent, u.job_id), 0, GEN_OBJID_JOB_ID),
    Alt("document-identifier", &T_DocumentIdentifier, OFF(GEN_ObjectIdent, u.document_id), 1,
        GEN_OBJID_DOCUMENT_ID),
    Alt("object-identifier", &T_Oid, OFF(GEN_ObjectIdent, u.oid), 2, GEN_OBJID_OID),
    Alt("dist-name", &T_DistNameString, OFF(GEN_ObjectIdent, u.dist_name), 3, GEN_OBJID_DIST_NAME),
    Alt("font-reference", &T_FontReference, OFF(GEN_ObjectIdent, u.font_ref), 4,
        GEN_OBJID_FONT_REF),
    Alt("name-or-oid", &T_NameOrOid, OFF(GEN_ObjectIdent, u.name_or_oid), 5, GEN_OBJID_NAME_OR_OID),
    Alt("simple-name", &T_Name, OFF(GEN_ObjectIdent, u.simple_name), 6, GEN_OBJID_SIMPLE_NAME)};
const Type T_ObjectIdent =
    Choice("ObjectIdentification", sizeof(GEN_ObjectIdent), ObjectIdent_m, N_(ObjectIdent_m));

const Member NewJobIdentifier_m[] = {
    F("server-name", &T_DistNameString, OFF(GEN_NewJobIdentifier, server_name), 0),
    F("local-job", &T_JobId, OFF(GEN_NewJobIdentifier, local_job), 1)};
const Type T_NewJobIdentifier =
    Cons("NewJobIdentifier", Kind::Seq, sizeof(GEN_NewJobIdentifier), NewJobIdentifier_m, 2);

// ---- Numbers and identifiers ----------------------------------------------

const Member CardinalOrOid_m[] = {Alt("cardinal", &T_U32, OFF(GEN_CardinalOrOid, u.cardinal), 0, 1),
                                  Alt("oid", &T_Oid, OFF(GEN_CardinalOrOid, u.oid), 1, 2)};
const Type T_CardinalOrOid = Choice("CardinalOrOid", sizeof(GEN_CardinalOrOid), CardinalOrOid_m, 2);

const Member PosIntOrOid_m[] = {
    Alt("oid", &T_Oid, OFF(GEN_PosIntOrOid, u.oid), 0, 1),
    Alt("positive-integer", &T_U32, OFF(GEN_PosIntOrOid, u.positive), 1, 2)};
const Type T_PosIntOrOid = Choice("PosIntOrOid", sizeof(GEN_PosIntOrOid), PosIntOrOid_m, 2);

const Member CardinalOrNoid_m[] = {
    Alt("cardinal", &T_U32, OFF(GEN_CardinalOrNoid, u.cardinal), 0, 1),
    Alt("name-or-oid", &T_NameOrOid, OFF(GEN_CardinalOrNoid, u.name_or_oid), 1, 2)};
const Type T_CardinalOrNoid =
    Choice("CardinalOrNoid", sizeof(GEN_CardinalOrNoid), CardinalOrNoid_m, 2);

const Member NumbersUp_m[] = {
    Alt("cardinal", &T_U32, OFF(GEN_NumbersUpSupported, u.cardinal), 0, 1),
    Alt("name-or-oid", &T_NameOrOid, OFF(GEN_NumbersUpSupported, u.name_or_oid), 1, 2),
    Alt("range", &T_CardinalRange, OFF(GEN_NumbersUpSupported, u.range), 2, 3)};
const Type T_NumbersUp =
    Choice("NumbersUpSupported", sizeof(GEN_NumbersUpSupported), NumbersUp_m, 3);

const Member OidCardinalMap_m[] = {O("oid", &P_Oid, OFF(GEN_OidCardinalMap, oid), 0),
                                   F("cardinal", &T_U32, OFF(GEN_OidCardinalMap, cardinal), 1)};
const Type T_OidCardinalMap =
    Cons("OidCardinalMap", Kind::Seq, sizeof(GEN_OidCardinalMap), OidCardinalMap_m, 2);

const Member DocumentFormat_m[] = {F("format", &T_Oid, OFF(GEN_DocumentFormat, format), 0),
                                   O("text", &P_Text, OFF(GEN_DocumentFormat, text), 1),
                                   O("name", &P_Name, OFF(GEN_DocumentFormat, name), 2)};
const Type T_DocumentFormat =
    Cons("DocumentFormat", Kind::Seq, sizeof(GEN_DocumentFormat), DocumentFormat_m, 3);

// ---- Locale and X.400 O/R names -------------------------------------------

const Type T_Ia5Two = Str("IA5String2", Kind::OctetsIn, 22, sizeof(WireOctets2), 2);
const Member WireLocale_m[] = {F("language", &T_Ia5Two, OFF(WireLocale, language), 0),
                               F("territory", &T_Ia5Two, OFF(WireLocale, territory), 1),
                               B("code-set", &T_OidWire, OFF(WireLocale, code_set), 2, 0x80)};
const Type T_WireLocale = Cons("Locale", Kind::Seq, sizeof(WireLocale), WireLocale_m, 3);
const Type T_Locale = MapOf("Locale", sizeof(GEN_Locale), &T_WireLocale, &kLocaleOps);
const Type P_Locale = PtrTo("Locale", &T_Locale);

const Type T_Numeric3 = Str("NumericString3", Kind::StringIn, 18, 4, 3);
const Type T_Printable3 = Str("PrintableString3", Kind::StringIn, 19, 4, 3);
const Member CountryName_m[] = {
    Untagged("x121-dcc-code", &T_Numeric3, OFF(GEN_CountryName, code), 1),
    Untagged("iso-3166-alpha2-code", &T_Printable3, OFF(GEN_CountryName, code), 2)};
const Type T_CountryName = Choice("CountryName", sizeof(GEN_CountryName), CountryName_m, 2);
const Type P_CountryName = PtrTo("CountryName", &T_CountryName);

const Type T_Numeric16 = Str("NumericString16", Kind::StringIn, 18, 17, 16);
const Type T_Printable16 = Str("PrintableString16", Kind::StringIn, 19, 17, 16);
const Member DomainName_m[] = {Untagged("numeric", &T_Numeric16, OFF(GEN_DomainName, name), 1),
                               Untagged("printable", &T_Printable16, OFF(GEN_DomainName, name), 2)};
const Type T_DomainName = Choice("DomainName", sizeof(GEN_DomainName), DomainName_m, 2);
const Type P_DomainName = PtrTo("DomainName", &T_DomainName);

const Type T_NetworkAddress =
    Str("NumericString15", Kind::StringIn, 18, sizeof(GEN_NetworkAddress), 15);
const Type T_TerminalId =
    Str("PrintableString24", Kind::StringIn, 19, sizeof(GEN_TerminalIdentifier), 24);
const Type T_OrganizationName =
    Str("PrintableString64", Kind::StringIn, 19, sizeof(GEN_OrganizationName), 64);
const Type T_NumericUserId =
    Str("NumericString32", Kind::StringIn, 18, sizeof(GEN_NumericUserId), 32);
const Type T_OrgUnitName =
    Str("PrintableString32", Kind::StringIn, 19, sizeof(GEN_OrganizationUnitName), 32);
const Type P_NetworkAddress = PtrTo("NetworkAddress", &T_NetworkAddress);
const Type P_TerminalId = PtrTo("TerminalIdentifier", &T_TerminalId);
const Type P_OrganizationName = PtrTo("OrganizationName", &T_OrganizationName);
const Type P_NumericUserId = PtrTo("NumericUserIdentifier", &T_NumericUserId);

const Type T_Printable40 = Str("PrintableString40", Kind::StringIn, 19, 41, 40);
const Type T_Printable5 = Str("PrintableString5", Kind::StringIn, 19, 6, 5);
const Member WirePersonal_m[] = {
    F("surname", &T_Printable40, OFF(WirePersonalName, surname), 0),
    B("given-name", &T_Printable16, OFF(WirePersonalName, given_name), 1, 0x80),
    B("initials", &T_Printable5, OFF(WirePersonalName, initials), 2, 0x40),
    B("generation-qualifier", &T_Printable3, OFF(WirePersonalName, generation_qualifier), 3, 0x20)};
const Type T_WirePersonal =
    Cons("PersonalName", Kind::Set, sizeof(WirePersonalName), WirePersonal_m, 4);
const Type T_PersonalName =
    MapOf("PersonalName", sizeof(GEN_PersonalName), &T_WirePersonal, &kPersonalOps);
const Type P_PersonalName = PtrTo("PersonalName", &T_PersonalName);

const Type T_OrgUnitNames =
    List("OrganizationalUnitNames", Kind::SeqOf, &T_OrgUnitName,
         OFF(GEN_OrganizationUnitNames, name), sizeof(GEN_OrganizationUnitNames));

const Type T_Printable8 = Str("PrintableString8", Kind::StringIn, 19, 9, 8);
const Type T_Printable128 = Str("PrintableString128", Kind::StringIn, 19, 129, 128);
const Member Dda_m[] = {Untagged("type", &T_Printable8, OFF(GEN_DomainDefinedAttr, type)),
                        Untagged("value", &T_Printable128, OFF(GEN_DomainDefinedAttr, value))};
const Type T_Dda =
    Cons("BuiltInDomainDefinedAttribute", Kind::Seq, sizeof(GEN_DomainDefinedAttr), Dda_m, 2);
const Type T_WireDdas = List("BuiltInDomainDefinedAttributes", Kind::SeqOf, &T_Dda,
                             OFF(DdaNode, attr), sizeof(DdaNode), sizeof(WireDdas));
const Type T_Ddas =
    MapOf("BuiltInDomainDefinedAttributes", sizeof(GEN_DomainDefinedAttrs), &T_WireDdas, &kDdasOps);
const Type P_Ddas = PtrTo("BuiltInDomainDefinedAttributes", &T_Ddas);

// Extension attribute: the element sits in the node after `next`. Only
// the standard's types 1 to 23 are known; their values stay encoded.
const Type T_ExtType = MapOf("ExtensionAttributeType", sizeof(int32_t), &T_I32, &kExtTypeOps);
constexpr uint32_t kExtBase = OFF(GEN_ExtensionAttrs, type);
const Member Ext_m[] = {
    F("extension-attribute-type", &T_ExtType, OFF(GEN_ExtensionAttrs, type) - kExtBase, 0),
    F("extension-attribute-value", &T_AnyValue, OFF(GEN_ExtensionAttrs, value) - kExtBase, 1)};
const Type T_Ext =
    Cons("ExtensionAttribute", Kind::Seq, sizeof(GEN_ExtensionAttrs) - kExtBase, Ext_m, 2);
const Type T_Exts =
    List("ExtensionAttributes", Kind::SetOf, &T_Ext, kExtBase, sizeof(GEN_ExtensionAttrs));

// Directory name: a sequence of relative names, each a set of attribute
// types and encoded values.
const Member Atv_m[] = {Untagged("type", &T_Oid, OFF(GEN_ObjNameComponent, type)),
                        Untagged("value", &T_AnyValue, OFF(GEN_ObjNameComponent, value))};
const Type T_Atv = Cons("AttributeTypeAndValue", Kind::Seq, sizeof(GEN_ObjNameComponent), Atv_m, 2);
const Type T_Rdn =
    List("RelativeDistinguishedName", Kind::SetOf, &T_Atv,
         OFF(GEN_SetOfObjNameComponent, component), sizeof(GEN_SetOfObjNameComponent));
const Type T_RdnSeq =
    List("RDNSequence", Kind::SeqOf, &T_Rdn, OFF(GEN_IfwRDNSeq, rdn), sizeof(GEN_IfwRDNSeq));
const Member Name_m[] = {Untagged("rdnSequence", &T_RdnSeq, OFF(GEN_Name, rdn_sequence), 1)};
const Type T_DirName = Choice("Name", sizeof(GEN_Name), Name_m, 1);
const Type P_DirName = PtrTo("Name", &T_DirName);

const Member StdAttrs_m[] = {
    App("country-name", &P_CountryName, OFF(GEN_DeliveryAddress, country_name), 1),
    App("administration-domain-name", &P_DomainName,
        OFF(GEN_DeliveryAddress, administration_domain_name), 2),
    O("network-address", &P_NetworkAddress, OFF(GEN_DeliveryAddress, network_address), 0),
    O("terminal-identifier", &P_TerminalId, OFF(GEN_DeliveryAddress, terminal_identifier), 1),
    O("private-domain-name", &P_DomainName, OFF(GEN_DeliveryAddress, private_domain_name), 2),
    O("organization-name", &P_OrganizationName, OFF(GEN_DeliveryAddress, organization_name), 3),
    O("numeric-user-identifier", &P_NumericUserId, OFF(GEN_DeliveryAddress, numeric_user_id), 4),
    O("personal-name", &P_PersonalName, OFF(GEN_DeliveryAddress, personal_name), 5),
    O("organizational-unit-names", &T_OrgUnitNames,
      OFF(GEN_DeliveryAddress, organization_unit_names), 6)};
const Type T_StdAttrs = Cons("BuiltInStandardAttributes", Kind::Seq, sizeof(GEN_DeliveryAddress),
                             StdAttrs_m, N_(StdAttrs_m));
const Member OrName_m[] = {
    Untagged("built-in-standard-attributes", &T_StdAttrs, 0),
    Untagged("built-in-domain-defined-attributes", &P_Ddas,
             OFF(GEN_DeliveryAddress, domain_defined_attrs), 0, true),
    Untagged("extension-attributes", &T_Exts, OFF(GEN_DeliveryAddress, extension_attrs), 0, true),
    O("directory-name", &P_DirName, OFF(GEN_DeliveryAddress, directory_name), 0)};
const Type T_DeliveryAddress =
    Cons("DeliveryAddress", Kind::Seq, sizeof(GEN_DeliveryAddress), OrName_m, 4);
const Type P_DeliveryAddress = PtrTo("DeliveryAddress", &T_DeliveryAddress);

// ---- Profiles ---------------------------------------------------------------

const Member EventProfile_m[] = {
    O("events", &T_OidList, OFF(GEN_EventHandlingProfile, events), 0),
    O("delivery-method", &P_Oid, OFF(GEN_EventHandlingProfile, delivery_method), 1),
    O("event-comment", &P_Text, OFF(GEN_EventHandlingProfile, event_comment), 2),
    O("delivery-address", &P_DeliveryAddress, OFF(GEN_EventHandlingProfile, delivery_address), 3),
    O("locale", &P_Locale, OFF(GEN_EventHandlingProfile, locale), 4)};
const Type T_EventProfile =
    Cons("EventHandlingProfile", Kind::Seq, sizeof(GEN_EventHandlingProfile), EventProfile_m,
         N_(EventProfile_m));

const Member ResultsProfile_m[] = {
    O("delivery-method", &P_Oid, OFF(GEN_ResultsProfile, delivery_method), 0),
    O("results-set-comment", &P_Text, OFF(GEN_ResultsProfile, results_set_comment), 1),
    O("delivery-address", &P_DeliveryAddress, OFF(GEN_ResultsProfile, delivery_address), 2),
    O("job-copies", &P_U32, OFF(GEN_ResultsProfile, job_copies), 3),
    O("output-bin", &P_NameOrOid, OFF(GEN_ResultsProfile, output_bin), 4)};
const Type T_ResultsProfile = Cons("ResultsProfile", Kind::Seq, sizeof(GEN_ResultsProfile),
                                   ResultsProfile_m, N_(ResultsProfile_m));

// ---- Documents and files ----------------------------------------------------

const Member External_m[] = {
    O("direct-reference", &P_Oid, OFF(GEN_External, direct_reference), 0),
    O("indirect-reference", &P_I32, OFF(GEN_External, indirect_reference), 1),
    O("data-value-descriptor", &T_Chars, OFF(GEN_External, data_value_descriptor), 2),
    F("encoding", &T_I32, OFF(GEN_External, encoding), 3),
    F("data", &T_OctetString, OFF(GEN_External, data), 4),
    F("unused-bits", &T_U32, OFF(GEN_External, unused_bits), 5)};
const Type T_External =
    Cons("IncludedDocument", Kind::Seq, sizeof(GEN_External), External_m, N_(External_m));

const Member AETitle_m[] = {Alt("name", &T_DirName, OFF(GEN_AETitle, u.name), 0, 1),
                            Alt("oid", &T_Oid, OFF(GEN_AETitle, u.oid), 1, 2)};
const Type T_AETitle = Choice("AETitle", sizeof(GEN_AETitle), AETitle_m, 2);
const Type P_AETitle = PtrTo("AETitle", &T_AETitle);

const Member Locational_m[] = {
    F("p-selector", &T_OctetString, OFF(GEN_LocationalIdentifier, p_selector), 0),
    F("s-selector", &T_OctetString, OFF(GEN_LocationalIdentifier, s_selector), 1),
    F("t-selector", &T_OctetString, OFF(GEN_LocationalIdentifier, t_selector), 2),
    O("network-addresses", &T_OctetsSet, OFF(GEN_LocationalIdentifier, network_addresses), 3)};
const Type T_Locational =
    Cons("LocationalIdentifier", Kind::Seq, sizeof(GEN_LocationalIdentifier), Locational_m, 4);
const Type P_Locational = PtrTo("LocationalIdentifier", &T_Locational);

const Member AEIdentifier_m[] = {
    O("ae-title", &P_AETitle, OFF(GEN_AEIdentifier, ae_title), 0),
    O("locational-identifier", &P_Locational, OFF(GEN_AEIdentifier, locational_identifier), 1),
    O("ap-contexts", &T_OidList, OFF(GEN_AEIdentifier, ap_contexts), 2)};
const Type T_AEIdentifier =
    Cons("AEIdentifier", Kind::Seq, sizeof(GEN_AEIdentifier), AEIdentifier_m, 3);
const Type P_AEIdentifier = PtrTo("AEIdentifier", &T_AEIdentifier);

const Member Qos_m[] = {O("reliability", &P_I32, OFF(GEN_QualityOfService, reliability), 0),
                        O("security", &P_I32, OFF(GEN_QualityOfService, security), 1),
                        O("time-limit", &P_U32, OFF(GEN_QualityOfService, time_limit), 2)};
const Type T_Qos = Cons("QualityOfService", Kind::Seq, sizeof(GEN_QualityOfService), Qos_m, 3);
const Type P_Qos = PtrTo("QualityOfService", &T_Qos);

const Member Token_m[] = {O("type", &P_Oid, OFF(GEN_Token, type), 0),
                          F("value", &T_OctetString, OFF(GEN_Token, value), 1)};
const Type T_Token = Cons("Token", Kind::Seq, sizeof(GEN_Token), Token_m, 2);
const Type P_Token = PtrTo("Token", &T_Token);

const Member FileReference_m[] = {
    O("application", &P_AEIdentifier, OFF(GEN_FileReference, application), 0),
    F("specific-reference", &T_OctetString, OFF(GEN_FileReference, specific_reference), 1),
    F("object-type", &T_Oid, OFF(GEN_FileReference, object_type), 2),
    O("quality-of-service", &P_Qos, OFF(GEN_FileReference, quality_of_service), 3),
    O("token", &P_Token, OFF(GEN_FileReference, token), 4)};
const Type T_FileReference = Cons("FileReference", Kind::Seq, sizeof(GEN_FileReference),
                                  FileReference_m, N_(FileReference_m));

const Member DocumentContent_m[] = {
    Alt("included", &T_External, OFF(GEN_DocumentContent, u.included), 0, GEN_CONTENT_INCLUDED),
    Alt("referenced", &T_FileReference, OFF(GEN_DocumentContent, u.referenced), 1,
        GEN_CONTENT_REFERENCED)};
const Type T_DocumentContent =
    Choice("DocumentContent", sizeof(GEN_DocumentContent), DocumentContent_m, 2);

// ---- Pages, media, finishing ----------------------------------------------

const Member PageId_m[] = {Alt("numeric", &T_U32, OFF(GEN_PageIdentifier, u.number), 0, 1),
                           Alt("alphanumeric", &T_Name, OFF(GEN_PageIdentifier, u.name), 1, 2),
                           Alt("tag", &T_OctetString, OFF(GEN_PageIdentifier, u.tag), 2, 3)};
const Type T_PageId = Choice("PageIdentifier", sizeof(GEN_PageIdentifier), PageId_m, 3);
const Type P_PageId = PtrTo("PageIdentifier", &T_PageId);

const Member PageSelect_m[] = {O("first", &P_PageId, OFF(GEN_PageSelect, first), 0),
                               O("last", &P_PageId, OFF(GEN_PageSelect, last), 1)};
const Type T_PageSelect = Cons("PageSelect", Kind::Seq, sizeof(GEN_PageSelect), PageSelect_m, 2);
const Type P_PageSelect = PtrTo("PageSelect", &T_PageSelect);
const Type T_PageSelectSeq = List("PageSelectSeq", Kind::SeqOf, &T_PageSelect,
                                  OFF(GEN_PageSelectSeq, select), sizeof(GEN_PageSelectSeq));

const Member PageMedia_m[] = {O("pages", &P_PageSelect, OFF(GEN_PageMediaSelect, pages), 0),
                              F("medium", &T_NameOrOid, OFF(GEN_PageMediaSelect, medium), 1)};
const Type T_PageMedia =
    Cons("PageMediaSelect", Kind::Seq, sizeof(GEN_PageMediaSelect), PageMedia_m, 2);
const Type T_MediaSelect = List("MediaSelect", Kind::SeqOf, &T_PageMedia,
                                OFF(GEN_MediaSelect, select), sizeof(GEN_MediaSelect));

const Member InputTray_m[] = {
    F("input-tray", &T_NameOrOid, OFF(GEN_InputTrayMedium, input_tray), 0),
    F("medium", &T_NameOrOid, OFF(GEN_InputTrayMedium, medium), 1)};
const Type T_InputTray =
    Cons("InputTrayMedium", Kind::Seq, sizeof(GEN_InputTrayMedium), InputTray_m, 2);

const Member MediaConsumed_m[] = {F("medium", &T_NameOrOid, OFF(GEN_MediaConsumed, medium), 0),
                                  F("count", &T_U32, OFF(GEN_MediaConsumed, count), 1)};
const Type T_MediaConsumed =
    Cons("MediaConsumed", Kind::Seq, sizeof(GEN_MediaConsumed), MediaConsumed_m, 2);
const Type T_MediaConsumedSeq =
    List("MediaConsumedSeq", Kind::SeqOf, &T_MediaConsumed, OFF(GEN_MediaConsumedSeq, consumed),
         sizeof(GEN_MediaConsumedSeq));

const Member Surface_m[] = {F("sides", &T_U16, OFF(GEN_Surface, sides), 0),
                            O("imprint", &P_Text, OFF(GEN_Surface, imprint), 1)};
const Type T_Surface = Cons("Surface", Kind::Seq, sizeof(GEN_Surface), Surface_m, 2);
const Type P_Surface = PtrTo("Surface", &T_Surface);
const Type P_Edge = PtrTo("Edge", &T_I32);

constexpr uint32_t kProcBase = OFF(GEN_SeqOfFinishingProcSpec, process);
const Member ProcSpec_m[] = {
    F("process", &T_Oid, 0, 0),
    O("edge", &P_Edge, OFF(GEN_SeqOfFinishingProcSpec, edge) - kProcBase, 1),
    O("count", &P_U32, OFF(GEN_SeqOfFinishingProcSpec, count) - kProcBase, 2)};
const Type T_ProcSpec = Cons("FinishingProcSpec", Kind::Seq,
                             sizeof(GEN_SeqOfFinishingProcSpec) - kProcBase, ProcSpec_m, 3);
const Type T_ProcSpecs = List("SequenceOfFinishingProcSpec", Kind::SeqOf, &T_ProcSpec, kProcBase,
                              sizeof(GEN_SeqOfFinishingProcSpec));

constexpr uint32_t kSheetBase = OFF(GEN_SeqOfInsertSheet, position);
const Member InsertSheet_m[] = {
    O("position", &P_PageId, 0, 0),
    F("medium", &T_NameOrOid, OFF(GEN_SeqOfInsertSheet, medium) - kSheetBase, 1),
    O("surface", &P_Surface, OFF(GEN_SeqOfInsertSheet, surface) - kSheetBase, 2)};
const Type T_InsertSheet =
    Cons("InsertSheet", Kind::Seq, sizeof(GEN_SeqOfInsertSheet) - kSheetBase, InsertSheet_m, 3);
const Type T_InsertSheets = List("SequenceOfInsertSheet", Kind::SeqOf, &T_InsertSheet, kSheetBase,
                                 sizeof(GEN_SeqOfInsertSheet));

const Member Finishing_m[] = {
    F("finishing-type", &T_Oid, OFF(GEN_Finishing, finishing_type), 0),
    O("procedures", &T_ProcSpecs, OFF(GEN_Finishing, procedures), 1),
    O("insert-sheets", &T_InsertSheets, OFF(GEN_Finishing, insert_sheets), 2)};
const Type T_Finishing = Cons("Finishing", Kind::Seq, sizeof(GEN_Finishing), Finishing_m, 3);

const Member Checkpoint_m[] = {
    F("format", &T_Oid, OFF(GEN_Checkpoint, format), 0),
    O("document-number", &P_U32, OFF(GEN_Checkpoint, document_number), 1),
    O("page", &P_PageId, OFF(GEN_Checkpoint, page), 2),
    F("data", &T_OctetString, OFF(GEN_Checkpoint, data), 3)};
const Type T_Checkpoint =
    Cons("PrintCheckpoint", Kind::Seq, sizeof(GEN_Checkpoint), Checkpoint_m, 4);

// ---- Security and addresses -------------------------------------------------

const Member OwnerName_m[] = {
    Alt("dist-name", &T_DistNameString, OFF(GEN_OwnerName, u.dist_name), 0, 1),
    Alt("simple-name", &T_Name, OFF(GEN_OwnerName, u.simple_name), 1, 2)};
const Type T_OwnerName = Choice("OwnerName", sizeof(GEN_OwnerName), OwnerName_m, 2);
const Type P_OwnerName = PtrTo("OwnerName", &T_OwnerName);

const Member Privileges_m[] = {
    O("owner", &P_OwnerName, OFF(GEN_Privileges, owner), 0),
    O("groups", &T_TextList, OFF(GEN_Privileges, groups), 1),
    O("credentials", &T_OctetsList, OFF(GEN_Privileges, credentials), 2)};
const Type T_Privileges = Cons("Privileges", Kind::Seq, sizeof(GEN_Privileges), Privileges_m, 3);

const Member AclName_m[] = {
    Alt("simple-name", &T_Name, OFF(GEN_PSISAccessControlList, u.simple_name), 0, 1),
    Alt("octets", &T_OctetString, OFF(GEN_PSISAccessControlList, u.octets), 1, 2)};
const Type T_AclName = Choice("AccessControlName", sizeof(GEN_PSISAccessControlList), AclName_m, 2);
const Member Acl_m[] = {
    F("name", &T_AclName, 0, 0),
    O("name-type", &P_I32, OFF(GEN_PSISAccessControlList, name_type), 1),
    O("privilege-level", &P_I32, OFF(GEN_PSISAccessControlList, privilege_level), 2)};
const Type T_Acl =
    Cons("PSISAccessControlList", Kind::Seq, sizeof(GEN_PSISAccessControlList), Acl_m, 3);

const Member ExtAcl_m[] = {F("name", &T_Name, OFF(GEN_ExtACL, name), 0),
                           F("domain", &T_DistNameString, OFF(GEN_ExtACL, domain), 1),
                           F("name-type", &T_I32, OFF(GEN_ExtACL, name_type), 2),
                           F("privilege-level", &T_I32, OFF(GEN_ExtACL, privilege_level), 3)};
const Type T_ExtAcl = Cons("ExtACL", Kind::Seq, sizeof(GEN_ExtACL), ExtAcl_m, 4);

const Member Onc_m[] = {
    F("host", &T_Text_, OFF(GEN_RPCAddress, u.onc.host) - OFF(GEN_RPCAddress, u.onc), 0),
    F("program", &T_U32, OFF(GEN_RPCAddress, u.onc.program) - OFF(GEN_RPCAddress, u.onc), 1),
    F("version", &T_U32, OFF(GEN_RPCAddress, u.onc.version) - OFF(GEN_RPCAddress, u.onc), 2),
    F("procedure", &T_U32, OFF(GEN_RPCAddress, u.onc.procedure) - OFF(GEN_RPCAddress, u.onc), 3),
    F("auth-name", &T_Text_, OFF(GEN_RPCAddress, u.onc.auth_name) - OFF(GEN_RPCAddress, u.onc), 4)};
const Type T_Onc = Cons("OncRpcAddress", Kind::Seq, sizeof(GEN_RPCAddress), Onc_m, 5);
const Member Rpc_m[] = {Alt("name", &T_Text_, OFF(GEN_RPCAddress, u.name), 0, GEN_RPC_NAME),
                        Alt("onc", &T_Onc, OFF(GEN_RPCAddress, u.onc), 1, GEN_RPC_ONC)};
const Type T_RpcAddress = Choice("RPCAddress", sizeof(GEN_RPCAddress), Rpc_m, 2);

const Member Socket_m[] = {F("host", &T_Text_, OFF(GEN_SocketAddress, host), 0),
                           F("port", &T_U32, OFF(GEN_SocketAddress, port), 1)};
const Type T_SocketAddress =
    Cons("SocketAddress", Kind::Seq, sizeof(GEN_SocketAddress), Socket_m, 2);

// ---- Filters, preprocessors, drivers ----------------------------------------

const Member FastFilter_m[] = {
    F("filter-type", &T_Oid, OFF(GEN_FastFilterDef, filter_type), 0),
    F("command", &T_Text_, OFF(GEN_FastFilterDef, command), 1),
    O("input-formats", &T_OidList, OFF(GEN_FastFilterDef, input_formats), 2),
    O("output-format", &P_Oid, OFF(GEN_FastFilterDef, output_format), 3)};
const Type T_FastFilter =
    Cons("FastFilterDef", Kind::Seq, sizeof(GEN_FastFilterDef), FastFilter_m, 4);

const Member Preproc_m[] = {
    F("name", &T_Name, OFF(GEN_PreprocessorDefinition, name), 0),
    F("type", &T_Oid, OFF(GEN_PreprocessorDefinition, type), 1),
    F("exec-type", &T_Oid, OFF(GEN_PreprocessorDefinition, exec_type), 2),
    F("command", &T_Text_, OFF(GEN_PreprocessorDefinition, command), 3),
    O("arguments", &T_StringList, OFF(GEN_PreprocessorDefinition, arguments), 4)};
const Type T_Preproc =
    Cons("PreprocessorDefinition", Kind::Seq, sizeof(GEN_PreprocessorDefinition), Preproc_m, 5);

const Member Driver_m[] = {
    F("name", &T_Text_, OFF(GEN_DriverInfo, name), 0),
    F("environment", &T_Oid, OFF(GEN_DriverInfo, environment), 1),
    O("driver-path", &P_Text, OFF(GEN_DriverInfo, driver_path), 2),
    O("data-file", &P_Text, OFF(GEN_DriverInfo, data_file), 3),
    O("config-file", &P_Text, OFF(GEN_DriverInfo, config_file), 4),
    O("help-file", &P_Text, OFF(GEN_DriverInfo, help_file), 5),
    O("dependent-files", &T_StringList, OFF(GEN_DriverInfo, dependent_files), 6)};
const Type T_Driver = Cons("DriverInfo", Kind::Seq, sizeof(GEN_DriverInfo), Driver_m, N_(Driver_m));

struct Entry {
    int pdu;
    const Type *type;
};

const Entry kTable[] = {
    {kPduDistNameString, &T_DistNameString},
    {kPduDistNameStringSeq, &T_DistNameStringSeq},
    {kPduIdentifier, &T_Oid},
    {kPduNameOrOid, &T_NameOrOid},
    {kPduNameOrOidSeq, &T_NameOrOidSeq},
    {kPduFontReference, &T_FontReference},
    {kPduCardinalOrOid, &T_CardinalOrOid},
    {kPduOidCardinalMap, &T_OidCardinalMap},
    {kPduCardinalOrNoid, &T_CardinalOrNoid},
    {kPduPosIntOrOid, &T_PosIntOrOid},
    {kPduRpcAddress, &T_RpcAddress},
    {kPduDeliveryAddress, &T_DeliveryAddress},
    {kPduEventHandlingProfile, &T_EventProfile},
    {kPduPrivileges, &T_Privileges},
    {kPduLocale, &T_Locale},
    {kPduResultsProfile, &T_ResultsProfile},
    {kPduPrintCheckpoint, &T_Checkpoint},
    {kPduNewJobIdentifier, &T_NewJobIdentifier},
    {kPduMediaSelect, &T_MediaSelect},
    {kPduDocumentFormat, &T_DocumentFormat},
    {kPduDocumentContent, &T_DocumentContent},
    {kPduInputTrayMedium, &T_InputTray},
    {kPduNumbersUpSupported, &T_NumbersUp},
    {kPduFinishing, &T_Finishing},
    {kPduObjectIdentification, &T_ObjectIdent},
    {kPduFastFilterDef, &T_FastFilter},
    {kPduFileReference, &T_FileReference},
    {kPduPageSelectSeq, &T_PageSelectSeq},
    {kPduMediaConsumed, &T_MediaConsumed},
    {kPduMediaConsumedSeq, &T_MediaConsumedSeq},
    {kPduPreprocessorDefinition, &T_Preproc},
    {kPduSeqOfObjId, &T_OidList},
    {kPduDriverInfo, &T_Driver},
    {kPduPSISAccessControlList, &T_Acl},
    {kPduExtACL, &T_ExtAcl},
    {kPduSocketAddress, &T_SocketAddress},
    {kPduIgnoredAttribute, &T_Ignored},
};

} // namespace

const Type *ValuePduType(int pdu) {
    for (const Entry &e : kTable)
        if (e.pdu == pdu) return e.type;
    return nullptr;
}

size_t ValuePduCount() { return sizeof kTable / sizeof kTable[0]; }

int ValuePduAt(size_t i) { return i < ValuePduCount() ? kTable[i].pdu : 0; }

} // namespace vrcore::ber
