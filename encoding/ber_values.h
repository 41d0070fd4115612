// The PDUs whose runtime structure is the library's value structure
// itself: identifiers, texts and names inside them are carried through
// Map descriptions, lists are the library's lists. A list syntax's PDU
// structure is one pointer to the first node.
#pragma once

#include <cstddef>

#include "encoding/ber_runtime.h"

namespace vrcore::ber {

// PDU numbers of the library-shaped value syntaxes.
enum ValuePdu : int {
    kPduDistNameString = 15,
    kPduDistNameStringSeq = 16,
    kPduIdentifier = 43,
    kPduNameOrOid = 45,
    kPduNameOrOidSeq = 46,
    kPduFontReference = 55,
    kPduCardinalOrOid = 56,
    kPduOidCardinalMap = 57,
    kPduCardinalOrNoid = 58,
    kPduPosIntOrOid = 59,
    kPduRpcAddress = 60,
    kPduDeliveryAddress = 61,
    kPduEventHandlingProfile = 62,
    kPduPrivileges = 64,
    kPduLocale = 65,
    kPduResultsProfile = 68,
    kPduPrintCheckpoint = 74,
    kPduNewJobIdentifier = 75,
    kPduIgnoredAttribute = 76,
    kPduMediaSelect = 87,
    kPduDocumentFormat = 88,
    kPduDocumentContent = 89,
    kPduInputTrayMedium = 95,
    kPduNumbersUpSupported = 101,
    kPduFinishing = 103,
    kPduObjectIdentification = 161,
    kPduFastFilterDef = 242,
    kPduFileReference = 246,
    kPduPageSelectSeq = 247,
    kPduMediaConsumed = 248,
    kPduMediaConsumedSeq = 249,
    kPduPreprocessorDefinition = 252,
    kPduSeqOfObjId = 253,
    kPduDriverInfo = 254,
    kPduPSISAccessControlList = 257,
    kPduExtACL = 258,
    kPduSocketAddress = 259,
};

// The runtime's text and simple-name choices (ber_pdus.cpp).
extern const Type T_Text;
extern const Type T_SimpleName;

// The library-shaped PDUs: the type of a number (null when not one of
// them), and the numbers by index 0..ValuePduCount()-1.
const Type *ValuePduType(int pdu);
size_t ValuePduCount();
int ValuePduAt(size_t i);

} // namespace vrcore::ber
