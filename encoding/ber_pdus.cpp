// The control table: descriptions of every PDU type and the PDU numbers.
#include <cstddef>

#include "encoding/ber_ops.h"
#include "encoding/ber_build.h"
#include "encoding/ber_types.h"
#include "encoding/ber_values.h"
#include "encoding/ber_world.h"

namespace vrcore::ber {

namespace {

#define N_(a) VRBER_COUNT(a)
using namespace vrcore::ber::build;

// Scalars.
const Type T_Boolean = Scalar("Boolean", Kind::Bool, 1, 0, 1);
const Type T_Int32 = Scalar("Integer", Kind::Int, 4, 0, 4);
const Type T_Uint32 = Scalar("Cardinal", Kind::Int, 4, kUnsigned, 4);
const Type T_Int16 = Scalar("Integer16", Kind::Int, 2, 0, 2);
const Type T_Uint16 = Scalar("Cardinal16", Kind::Int, 2, kUnsigned, 2);
const Type T_Uint64 = Scalar("Cardinal64", Kind::Int, 8, kUnsigned, 8);
const Type T_Real = Scalar("Real", Kind::Real, 8, 0, 8);
const Type T_Oid = Str("ObjectIdentifier", Kind::Oid, 0, sizeof(BerOid), 0);
const Type T_OctetString = Str("OctetString", Kind::Octets, 4, sizeof(BerOctets), 0x7fffffffu);
const Type T_Octets4095 = Str("Octets4095", Kind::OctetsIn, 4, sizeof(BerOctets4095), 4095);
const Type T_Octets255 = Str("Octets255", Kind::OctetsIn, 4, sizeof(BerOctets255), 255);
const Type T_Irv4095 = Str("IA5String4095", Kind::StringIn, 22, 4096, 4095);
const Type T_Graphic4095 = Str("GraphicString4095", Kind::StringIn, 25, 4096, 4095);
const Type T_Irv255 = Str("IA5String255", Kind::StringIn, 22, 256, 255);
const Type T_Graphic255 = Str("GraphicString255", Kind::StringIn, 25, 256, 255);
const Type T_JobIdentifier =
    Str("JobIdentifier", Kind::StringIn, 22, sizeof(BerJobIdentifier), 255);
const Type T_GeneralizedTime =
    Str("GeneralizedTime", Kind::StringIn, 24, sizeof(BerGeneralizedTime), 31);

// Ranges.
const Member CardinalRange_m[] = {Plain("lower", &T_Uint32, offsetof(BerCardinalRange, lower)),
                                  Plain("upper", &T_Uint32, offsetof(BerCardinalRange, upper))};
const Type T_CardinalRange =
    Cons("CardinalRange", Kind::Seq, sizeof(BerCardinalRange), CardinalRange_m, 2);
const Member Cardinal64Range_m[] = {Plain("lower", &T_Uint64, offsetof(BerCardinal64Range, lower)),
                                    Plain("upper", &T_Uint64, offsetof(BerCardinal64Range, upper))};
const Type T_Cardinal64Range =
    Cons("Cardinal64Range", Kind::Seq, sizeof(BerCardinal64Range), Cardinal64Range_m, 2);
const Member RealRange_m[] = {Plain("lower", &T_Real, offsetof(BerRealRange, lower)),
                              Plain("upper", &T_Real, offsetof(BerRealRange, upper))};
const Type T_RealRange = Cons("RealRange", Kind::Seq, sizeof(BerRealRange), RealRange_m, 2);

const Member MediumDimensions_m[] = {Plain("x", &T_Real, offsetof(BerMediumDimensions, x)),
                                     Plain("y", &T_Real, offsetof(BerMediumDimensions, y))};
const Type T_MediumDimensions =
    Cons("MediumDimensions", Kind::Seq, sizeof(BerMediumDimensions), MediumDimensions_m, 2);

} // namespace

// Text and simple name, shared with the library-shaped PDUs.
const Member CodeSetText_m[] = {
    Plain("octets", &T_Octets4095, offsetof(BerCodeSetText, octets)),
    Plain("code-set", &T_Oid, offsetof(BerCodeSetText, code_set), kCodeSetPresent)};
const Type T_CodeSetText = Cons("CodeSetText", Kind::Seq, sizeof(BerCodeSetText), CodeSetText_m, 2);
const Member Text_m[] = {
    Ctx("iso646-irv", &T_Irv4095, offsetof(BerText, u.string), 0, 0, 1),
    Ctx("string", &T_Graphic4095, offsetof(BerText, u.string), 1, 0, 2),
    Ctx("latin1", &T_Octets4095, offsetof(BerText, u.octets), 2, 0, 3),
    Ctx("octets", &T_Octets4095, offsetof(BerText, u.octets), 3, 0, 4),
    Ctx("other-code-set", &T_CodeSetText, offsetof(BerText, u.other), 4, 0, 5)};
const Type T_Text = Cons("Text", Kind::Choice, sizeof(BerText), Text_m, N_(Text_m));

const Member CodeSetName_m[] = {
    Plain("octets", &T_Octets255, offsetof(BerCodeSetName, octets)),
    Plain("code-set", &T_Oid, offsetof(BerCodeSetName, code_set), kCodeSetPresent)};
const Type T_CodeSetName = Cons("CodeSetName", Kind::Seq, sizeof(BerCodeSetName), CodeSetName_m, 2);
const Member SimpleName_m[] = {
    Ctx("iso646-irv", &T_Irv255, offsetof(BerSimpleName, u.string), 0, 0, 1),
    Ctx("string", &T_Graphic255, offsetof(BerSimpleName, u.string), 1, 0, 2),
    Ctx("latin1", &T_Octets255, offsetof(BerSimpleName, u.octets), 2, 0, 3),
    Ctx("octets", &T_Octets255, offsetof(BerSimpleName, u.octets), 3, 0, 4),
    Ctx("other-code-set", &T_CodeSetName, offsetof(BerSimpleName, u.other), 4, 0, 5)};
const Type T_SimpleName =
    Cons("SimpleName", Kind::Choice, sizeof(BerSimpleName), SimpleName_m, N_(SimpleName_m));

namespace {

struct Entry {
    int pdu;
    const Type *type;
};

const Entry kTable[] = {
    {kPduBoolean, &T_Boolean},
    {kPduOctetString, &T_OctetString},
    {kPduGeneralizedTime, &T_GeneralizedTime},
    {kPduText, &T_Text},
    {kPduDescriptiveName, &T_SimpleName},
    {kPduDescriptor, &T_Text},
    {kPduMessage, &T_Text},
    {kPduSimpleName, &T_SimpleName},
    {kPduDeltaTime, &T_Uint32},
    {kPduInteger, &T_Int32},
    {kPduCardinal, &T_Uint32},
    {kPduPositiveInteger, &T_Uint32},
    {kPduCardinalRange, &T_CardinalRange},
    {kPduMaximumInteger, &T_Int32},
    {kPduCardinal64, &T_Uint64},
    {kPduCardinal64Range, &T_Cardinal64Range},
    {kPduReal, &T_Real},
    {kPduNonNegativeReal, &T_Real},
    {kPduRealRange, &T_RealRange},
    {kPduNonNegativeRealRange, &T_RealRange},
    {kPduPercent, &T_Int16},
    {kPduRealization, &T_Int32},
    {kPduEdge, &T_Int32},
    {kPduPriority, &T_Int16},
    {kPduJobIdentifier, &T_JobIdentifier},
    {kPduSides, &T_Uint16},
    {kPduPageOrderType, &T_Int32},
    {kPduPageIdType, &T_Int32},
    {kPduMediumDimensions, &T_MediumDimensions},
};

constexpr size_t kOwnCount = sizeof kTable / sizeof kTable[0];

const Type *LookUp(int pdu) {
    if (const Type *t = OpsPduType(pdu)) return t;
    for (const Entry &e : kTable)
        if (e.pdu == pdu) return e.type;
    return ValuePduType(pdu);
}

} // namespace

const Type *PduType(int pdu) {
    // The tables are constant: the numbers in common use are looked up once.
    constexpr int kCached = 512;
    struct Cache {
        const Type *types[kCached];
        Cache() {
            for (int i = 0; i < kCached; ++i) types[i] = LookUp(i);
        }
    };
    static const Cache cache;
    if (pdu >= 0 && pdu < kCached) return cache.types[pdu];
    return LookUp(pdu);
}

size_t PduCount() { return kOwnCount + ValuePduCount(); }

int PduAt(size_t i) { return i < kOwnCount ? kTable[i].pdu : ValuePduAt(i - kOwnCount); }

} // namespace vrcore::ber
