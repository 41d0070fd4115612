// Descriptions of the attribute-set, operation and error PDUs.
#include <cstddef>

#include "encoding/ber_ops.h"
#include "encoding/ber_types.h"
#include "vrcore/odpas.h"

namespace vrber {

namespace {

#define N_(a) static_cast<uint32_t>(sizeof(a) / sizeof((a)[0]))

constexpr Type Scalar(const char *name, Kind k, uint8_t width, uint8_t flags, uint32_t size) {
    return Type{name, k, flags, width, 0, size, 0, nullptr, 0, nullptr, 0, 0};
}
constexpr Type Str(const char *name, Kind k, uint8_t univ, uint32_t size, uint32_t max) {
    return Type{name, k, 0, 0, univ, size, max, nullptr, 0, nullptr, 0, 0};
}
constexpr Type Cons(const char *name, Kind k, uint32_t size, const Member *m, uint32_t n) {
    return Type{name, k, 0, 0, 0, size, 0, m, n, nullptr, 0, 0};
}
constexpr Type List(const char *name, const Type *elem, size_t elem_offset, size_t node_size) {
    return Type{name, Kind::SeqOf, 0, 0, 0, sizeof(void *), 0, nullptr, 0, elem,
                static_cast<uint32_t>(elem_offset), static_cast<uint32_t>(node_size)};
}
constexpr Member Ctx(const char *name, const Type *t, size_t off, uint32_t tag, uint8_t presence = 0,
                     uint16_t choice = 0) {
    return Member{name, t, static_cast<uint32_t>(off), TagMode::Implicit, kContext, tag, presence, false, choice};
}
constexpr Member Plain(const char *name, const Type *t, size_t off, uint8_t presence = 0, uint16_t choice = 0) {
    return Member{name, t, static_cast<uint32_t>(off), TagMode::None, 0, 0, presence, false, choice};
}

const Type T_Oid = Str("ObjectIdentifier", Kind::Oid, 0, sizeof(BerOid), 0);
const Type T_Int32 = Scalar("Integer", Kind::Int, 4, 0, 4);

// ---- Attribute sets ------------------------------------------------------

const Type T_AttrValue = Str("AttrValue", Kind::Open, 0, sizeof(GENU_Buffer), 0);
const Type T_AttrValues =
    List("AttrValues", &T_AttrValue, offsetof(ODP_BerValueNode, value), sizeof(ODP_BerValueNode));

const Member Attr_m[] = {Plain("attribute-type", &T_Oid, offsetof(ODP_BerAttribute, type)),
                         Plain("attribute-values", &T_AttrValues, offsetof(ODP_BerAttribute, values))};
const Type T_Attr = Cons("Attr", Kind::Seq, sizeof(ODP_BerAttribute), Attr_m, N_(Attr_m));
const Type T_AttrSet = List("AttrSet", &T_Attr, offsetof(ODP_BerAttrSet, attribute), sizeof(ODP_BerAttrSet));

// A modification-set node holds its element from the presence octet on.
constexpr size_t kModBase = offsetof(ODP_BerModAttrSet, bit_mask);
const Member ModAttr_m[] = {
    Plain("attribute-type", &T_Oid, offsetof(ODP_BerModAttrSet, type) - kModBase),
    Ctx("attribute-values", &T_AttrValues, offsetof(ODP_BerModAttrSet, values) - kModBase, 0, ODP_MODATTR_VALUES),
    Ctx("modify-operator", &T_Int32, offsetof(ODP_BerModAttrSet, modify_operator) - kModBase, 1,
        ODP_MODATTR_OPERATOR)};
const Type T_ModAttr = Cons("ModAttr", Kind::Seq, sizeof(ODP_BerModAttrSet) - kModBase, ModAttr_m, N_(ModAttr_m));
const Type T_ModAttrSet = List("ModAttrSet", &T_ModAttr, kModBase, sizeof(ODP_BerModAttrSet));

const Member SingleValue_m[] = {Plain("attribute-type", &T_Oid, offsetof(ODP_BerSingleValue, type)),
                                Plain("attribute-value", &T_AttrValue, offsetof(ODP_BerSingleValue, value))};
const Type T_SingleValue =
    Cons("SingleValueAttr", Kind::Seq, sizeof(ODP_BerSingleValue), SingleValue_m, N_(SingleValue_m));

struct Entry {
    int pdu;
    const Type *type;
};

const Entry kTable[] = {
    {ODP_PDU_ATTRIBUTE_SET, &T_AttrSet},
    {ODP_PDU_MODIFICATION_SET, &T_ModAttrSet},
    {ODP_PDU_ATTRIBUTE, &T_Attr},
    {ODP_PDU_SINGLE_VALUE, &T_SingleValue},
};

} // namespace

const Type *OpsPduType(int pdu) {
    for (const Entry &e : kTable)
        if (e.pdu == pdu) return e.type;
    return nullptr;
}

size_t OpsPduCount() { return N_(kTable); }

int OpsPduAt(size_t i) { return i < OpsPduCount() ? kTable[i].pdu : 0; }

const char *OpsPduName(int pdu) {
    const Type *t = OpsPduType(pdu);
    return t ? t->name : nullptr;
}

} // namespace vrber
