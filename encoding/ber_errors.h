// The runtime structures of the error PDUs. Object identifications and
// message texts travel as complete encodings of their value syntax.
#pragma once

#include <cstdint>

#include "encoding/ber_types.h"
#include "vrcore/odpas.h"

namespace vrcore::ber {

// A problem: 1 standard (a code), 2 extended (an object identifier).
struct BerProblem {
    uint16_t choice;
    union {
        uint32_t code;
        BerOid oid;
    } u;
};

// An error message: 1 a text (one encoding of the text syntax), 2 octets.
struct BerErrMessage {
    uint16_t choice;
    union {
        GENU_Buffer text;
        BerOctets octets;
    } u;
};

// Update, document access and printer errors.
struct BerObjectError {
    BerProblem problem;
    GENU_Buffer object;
    BerErrMessage message;
};

struct BerSecurityError {
    BerProblem problem;
    BerErrMessage message;
};

struct BerAccessProblem {
    BerAccessProblem *next;
    GENU_Buffer object;
    BerProblem problem;
    BerErrMessage message;
};

struct BerAttributeProblem {
    BerAttributeProblem *next;
    BerProblem problem;
    ODP_BerAttribute attribute;
    BerErrMessage message;
};

constexpr uint8_t kErrObjectPresent = 0x80;
struct BerAttributeError {
    uint8_t bit_mask;
    GENU_Buffer object;
    BerAttributeProblem *problems;
};

// Selection and service problems; the element starts at bit_mask.
constexpr uint8_t kErrAttributePresent = 0x80;
struct BerSelectionProblem {
    BerSelectionProblem *next;
    uint8_t bit_mask;
    ODP_BerAttribute attribute;
    BerProblem problem;
    GENU_Buffer object;
    BerErrMessage message;
};

// List errors: the PDU structure is the head of the list.
struct BerAccessError {
    BerAccessProblem *head;
};
struct BerSelectionError {
    BerSelectionProblem *head;
};

} // namespace vrcore::ber
