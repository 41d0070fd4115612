// The runtime structures of the value PDUs: what the conversions build for
// the encoder and read back from the decoder.
#pragma once

#include <cstdint>

namespace vrcore::ber {

// PDU numbers of the value syntaxes.
enum Pdu : int {
    kPduBoolean = 1,
    kPduOctetString = 2,
    kPduGeneralizedTime = 3,
    kPduText = 9,
    kPduDescriptiveName = 10,
    kPduDescriptor = 11,
    kPduMessage = 12,
    kPduSimpleName = 14,
    kPduDeltaTime = 17,
    kPduInteger = 18,
    kPduCardinal = 20,
    kPduPositiveInteger = 22,
    kPduCardinalRange = 24,
    kPduMaximumInteger = 25,
    kPduCardinal64 = 29,
    kPduCardinal64Range = 33,
    kPduReal = 36,
    kPduNonNegativeReal = 38,
    kPduRealRange = 39,
    kPduNonNegativeRealRange = 40,
    kPduPercent = 42,
    kPduRealization = 47,
    kPduEdge = 54,
    kPduPriority = 63,
    kPduJobIdentifier = 67,
    kPduSides = 83,
    kPduPageOrderType = 92,
    kPduPageIdType = 98,
    kPduMediumDimensions = 48,
};

// Object identifier: the content octets.
struct BerOid {
    uint32_t length;
    const unsigned char *value;
};

// Counted octets held by address.
struct BerOctets {
    uint32_t length;
    unsigned char *value;
};

struct BerOctets4095 {
    uint16_t length;
    unsigned char value[4095];
};
struct BerOctets255 {
    uint16_t length;
    unsigned char value[255];
};

constexpr uint8_t kCodeSetPresent = 0x80;

// Text (also descriptor and message): choices 1..5 as in the library.
struct BerCodeSetText {
    uint8_t bit_mask;
    BerOctets4095 octets;
    BerOid code_set;
};
struct BerText {
    uint16_t choice;
    union {
        char string[4096];
        BerOctets4095 octets;
        BerCodeSetText other;
    } u;
};

// Simple name (also descriptive name).
struct BerCodeSetName {
    uint8_t bit_mask;
    BerOctets255 octets;
    BerOid code_set;
};
struct BerSimpleName {
    uint16_t choice;
    union {
        char string[256];
        BerOctets255 octets;
        BerCodeSetName other;
    } u;
};

struct BerCardinalRange {
    uint32_t lower;
    uint32_t upper;
};
struct BerCardinal64Range {
    uint64_t lower;
    uint64_t upper;
};
struct BerRealRange {
    double lower;
    double upper;
};
struct BerMediumDimensions {
    double x;
    double y;
};
struct BerJobIdentifier {
    char value[256];
};
// GeneralizedTime text.
struct BerGeneralizedTime {
    char value[32];
};

} // namespace vrcore::ber
