// Descriptions of the attribute-set, operation and error PDUs.
#include <cstddef>

#include "encoding/ber_errors.h"
#include "encoding/ber_ops.h"
#include "encoding/ber_types.h"
#include "vrcore/erdpa.h"
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


// ---- Error PDUs -----------------------------------------------------------

const Type T_Cardinal = Scalar("Cardinal", Kind::Int, 4, kUnsigned, 4);
const Type T_OctetString = Str("OctetString", Kind::Octets, 4, sizeof(BerOctets), 0x7fffffffu);
// A complete encoding of a value syntax (object identification, text).
const Type T_Encoded = Str("Encoded", Kind::Open, 0, sizeof(GENU_Buffer), 0);

const Member Problem_m[] = {Ctx("standard", &T_Cardinal, offsetof(BerProblem, u.code), 0, 0, 1),
                            Ctx("extended", &T_Oid, offsetof(BerProblem, u.oid), 1, 0, 2)};
const Type T_Problem = Cons("ErrProblem", Kind::Choice, sizeof(BerProblem), Problem_m, N_(Problem_m));

const Member ErrMessage_m[] = {Ctx("text", &T_Encoded, offsetof(BerErrMessage, u.text), 0, 0, 1),
                               Ctx("octets", &T_OctetString, offsetof(BerErrMessage, u.octets), 1, 0, 2)};
const Type T_ErrMessage = Cons("ErrMessage", Kind::Choice, sizeof(BerErrMessage), ErrMessage_m, N_(ErrMessage_m));

// The problem of each kind carries the kind's number as its tag, so that
// the eight PDUs cannot be mistaken for one another.
#define OBJECT_ERROR(Name, tag)                                                                              \
    const Member Name##_m[] = {Ctx("problem", &T_Problem, offsetof(BerObjectError, problem), tag),            \
                               Ctx("object", &T_Encoded, offsetof(BerObjectError, object), 10),               \
                               Ctx("message", &T_ErrMessage, offsetof(BerObjectError, message), 11)};         \
    const Type T_##Name = Cons(#Name, Kind::Seq, sizeof(BerObjectError), Name##_m, N_(Name##_m));
OBJECT_ERROR(UpdateError, 1)
OBJECT_ERROR(DocumentAccessError, 3)
OBJECT_ERROR(PrinterError, 5)

const Member SecurityError_m[] = {Ctx("problem", &T_Problem, offsetof(BerSecurityError, problem), 8),
                                  Ctx("message", &T_ErrMessage, offsetof(BerSecurityError, message), 11)};
const Type T_SecurityError =
    Cons("SecurityError", Kind::Seq, sizeof(BerSecurityError), SecurityError_m, N_(SecurityError_m));

constexpr size_t kAccessBase = offsetof(BerAccessProblem, object);
const Member AccessProblem_m[] = {
    Ctx("object", &T_Encoded, offsetof(BerAccessProblem, object) - kAccessBase, 10),
    Ctx("problem", &T_Problem, offsetof(BerAccessProblem, problem) - kAccessBase, 6),
    Ctx("message", &T_ErrMessage, offsetof(BerAccessProblem, message) - kAccessBase, 11)};
const Type T_AccessProblem = Cons("AccessProblem", Kind::Seq, sizeof(BerAccessProblem) - kAccessBase,
                                  AccessProblem_m, N_(AccessProblem_m));
const Type T_AccessError = List("AccessError", &T_AccessProblem, kAccessBase, sizeof(BerAccessProblem));

constexpr size_t kAttrProblemBase = offsetof(BerAttributeProblem, problem);
const Member AttributeProblem_m[] = {
    Ctx("problem", &T_Problem, offsetof(BerAttributeProblem, problem) - kAttrProblemBase, 2),
    Ctx("attribute", &T_Attr, offsetof(BerAttributeProblem, attribute) - kAttrProblemBase, 12),
    Ctx("message", &T_ErrMessage, offsetof(BerAttributeProblem, message) - kAttrProblemBase, 11)};
const Type T_AttributeProblem = Cons("AttributeProblem", Kind::Seq, sizeof(BerAttributeProblem) - kAttrProblemBase,
                                     AttributeProblem_m, N_(AttributeProblem_m));
const Type T_AttributeProblems =
    List("AttributeProblems", &T_AttributeProblem, kAttrProblemBase, sizeof(BerAttributeProblem));
const Member AttributeError_m[] = {
    Ctx("object", &T_Encoded, offsetof(BerAttributeError, object), 10, kErrObjectPresent),
    Ctx("problems", &T_AttributeProblems, offsetof(BerAttributeError, problems), 13)};
const Type T_AttributeError =
    Cons("AttributeError", Kind::Seq, sizeof(BerAttributeError), AttributeError_m, N_(AttributeError_m));

constexpr size_t kSelBase = offsetof(BerSelectionProblem, bit_mask);
#define SELECTION_ERROR(Name, tag)                                                                           \
    const Member Name##Problem_m[] = {                                                                        \
        Ctx("attribute", &T_Attr, offsetof(BerSelectionProblem, attribute) - kSelBase, 12, kErrAttributePresent), \
        Ctx("problem", &T_Problem, offsetof(BerSelectionProblem, problem) - kSelBase, tag),                   \
        Ctx("object", &T_Encoded, offsetof(BerSelectionProblem, object) - kSelBase, 10),                      \
        Ctx("message", &T_ErrMessage, offsetof(BerSelectionProblem, message) - kSelBase, 11)};                \
    const Type T_##Name##Problem = Cons(#Name "Problem", Kind::Seq, sizeof(BerSelectionProblem) - kSelBase,   \
                                        Name##Problem_m, N_(Name##Problem_m));                                \
    const Type T_##Name##Error = List(#Name "Error", &T_##Name##Problem, kSelBase, sizeof(BerSelectionProblem));
SELECTION_ERROR(Selection, 4)
SELECTION_ERROR(Service, 7)

struct Entry {
    int pdu;
    const Type *type;
};

const Entry kTable[] = {
    {ODP_PDU_ATTRIBUTE_SET, &T_AttrSet},
    {ODP_PDU_MODIFICATION_SET, &T_ModAttrSet},
    {ODP_PDU_ATTRIBUTE, &T_Attr},
    {ODP_PDU_SINGLE_VALUE, &T_SingleValue},
    {ERDPA_PDU_ACCESS, &T_AccessError},
    {ERDPA_PDU_ATTRIBUTE, &T_AttributeError},
    {ERDPA_PDU_DOCUMENT_ACCESS, &T_DocumentAccessError},
    {ERDPA_PDU_PRINTER, &T_PrinterError},
    {ERDPA_PDU_SECURITY, &T_SecurityError},
    {ERDPA_PDU_SELECTION, &T_SelectionError},
    {ERDPA_PDU_SERVICE, &T_ServiceError},
    {ERDPA_PDU_UPDATE, &T_UpdateError},
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
