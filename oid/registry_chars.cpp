// Characteristics records: what an identifier is and where it may be used.
#include <cstring>

#include "oid/registry_internal.h"
#include "system/guard.h"

namespace {

constexpr unsigned kOpOctet = 8;     // octets 8..11: operations 0..29
constexpr unsigned kClassOctet = 12; // octets 12..18: object classes 0..55

void Clear(OID_Characteristics *c, uint8_t kind) {
    std::memset(c->octets, 0, OID_CHARS_LEN);
    c->octets[0] = '0';
    c->octets[1] = kind;
}

void Put16(OID_Characteristics *c, unsigned at, uint16_t v) {
    c->octets[at] = static_cast<uint8_t>(v >> 8);
    c->octets[at + 1] = static_cast<uint8_t>(v);
}

} // namespace

extern "C" {

VR_EXPORT int32_t OID__ValueClassRequired(uint32_t syntax) try {
    static const uint8_t kNeed[] = {6,  8,  10, 18, 19, 21, 24, 33, 34, 35, 43, 44, 46, 49,
                                    51, 52, 55, 58, 59, 60, 65, 67, 68, 70, 72, 73, 79, 80};
    for (uint8_t s : kNeed)
        if (s == syntax) return 1;
    return 0;
}
VR_CATCH_RETURN(0)

VR_EXPORT const OID_Characteristics *OID_GetChars(const void *, const unsigned char *record) try {
    if (!record || record[0] != 0x06) return nullptr;
    const unsigned char *c = record + 2 + record[1];
    if (c[0] == 0) return nullptr;
    return reinterpret_cast<const OID_Characteristics *>(c);
}
VR_CATCH_RETURN(nullptr)

VR_EXPORT void OID_SetAttrCharacteristics_M(int32_t multi, uint32_t syntax, uint8_t octet3,
                                            uint16_t value_class, uint8_t octet7,
                                            OID_Characteristics *chars) try {
    if (!chars) return;
    Clear(chars, OID_KIND_ATTRIBUTE);
    chars->octets[2] = multi == 1 ? OID_ATTR_MULTI : OID_ATTR_SINGLE;
    chars->octets[3] = octet3;
    chars->octets[4] = static_cast<uint8_t>(syntax);
    if (OID__ValueClassRequired(syntax)) {
        Put16(chars, 5, value_class);
        chars->octets[7] = octet7;
    }
}
VR_CATCH_VOID

VR_EXPORT int32_t OID_SetAttrCharacteristics(int32_t multi, uint32_t syntax,
                                             uint32_t operation_count, const uint32_t *operations,
                                             uint32_t class_count, const uint32_t *classes,
                                             uint8_t octet3, uint16_t value_class, uint8_t octet7,
                                             OID_Characteristics *chars) try {
    if (!chars) return 1;
    OID_SetAttrCharacteristics_M(multi, syntax, octet3, value_class, octet7, chars);
    int32_t rc = 0;
    for (uint32_t i = 0; operations && i < operation_count; i++)
        rc |= OID_SetValidOperation(chars, operations[i]);
    for (uint32_t i = 0; classes && i < class_count; i++)
        rc |= OID_SetValidObjectClass(chars, classes[i]);
    if ((operation_count && !operations) || (class_count && !classes)) rc = 1;
    return rc;
}
VR_CATCH_RETURN(1)

VR_EXPORT void OID_SetValueCharacteristics(uint16_t value_class, uint8_t octet7,
                                           OID_Characteristics *chars) try {
    if (!chars) return;
    Clear(chars, OID_KIND_VALUE);
    chars->octets[4] = 10; // values are object identifiers
    Put16(chars, 5, value_class);
    chars->octets[7] = octet7;
}
VR_CATCH_VOID

VR_EXPORT void OID_SetValueClassCharacteristics(uint16_t class_number,
                                                OID_Characteristics *chars) try {
    if (!chars) return;
    Clear(chars, OID_KIND_VALUE_CLASS);
    Put16(chars, 5, class_number);
}
VR_CATCH_VOID

VR_EXPORT int32_t OID_SetValidOperation(OID_Characteristics *chars, uint32_t op) try {
    if (!chars || op > OID_MAX_OPERATION) return 1;
    chars->octets[kOpOctet + op / 8] |= static_cast<uint8_t>(1u << (op % 8));
    return 0;
}
VR_CATCH_RETURN(1)

VR_EXPORT int32_t OID_SetValidObjectClass(OID_Characteristics *chars, uint32_t cls) try {
    if (!chars || cls > OID_MAX_OBJECT_CLASS) return 1;
    if (cls == 0) {
        std::memset(chars->octets + kClassOctet, 0xFF, OID_CHARS_LEN - kClassOctet);
        return 0;
    }
    chars->octets[kClassOctet + cls / 8] |= static_cast<uint8_t>(1u << (cls % 8));
    return 0;
}
VR_CATCH_RETURN(1)

VR_EXPORT int32_t OID_ValidForOp(const OID_Characteristics *chars, uint32_t op) try {
    if (!chars || op > OID_MAX_OPERATION) return 0;
    return (chars->octets[kOpOctet + op / 8] >> (op % 8)) & 1;
}
VR_CATCH_RETURN(0)

VR_EXPORT int32_t OID_ValidForObject(const OID_Characteristics *chars, uint32_t cls) try {
    if (!chars || cls > OID_MAX_OBJECT_CLASS) return 0;
    return (chars->octets[kClassOctet + cls / 8] >> (cls % 8)) & 1;
}
VR_CATCH_RETURN(0)

} // extern "C"
