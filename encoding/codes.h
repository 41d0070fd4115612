// Status codes the encoding reports that have no name in the public
// headers (those it shares with the value layer, such as GEN_S_NOMEM and
// GENU_S_ENCODE, are used by their public names). Each code's text is in
// the catalog of its facility.
#pragma once

#include <cstdint>

// Facility of the value syntaxes and encoding: a value of one type could
// not be converted to or from its encoding.
inline constexpr uint32_t GENU_S_CONV_ACL = 0xC00E0065u;      // access control list
inline constexpr uint32_t GENU_S_CONV_ATTR = 0xC00E006Du;     // attribute
inline constexpr uint32_t GENU_S_CONV_PRINTSET = 0xC00E006Fu; // set of a print result
inline constexpr uint32_t GENU_S_CONV_OBJECTSET =
    0xC00E0070u; // set of an object result, document description
inline constexpr uint32_t GENU_S_CONV_CARDORNOID = 0xC00E0074u;  // cardinal, name or identifier
inline constexpr uint32_t GENU_S_CONV_CARDOROID = 0xC00E0075u;   // cardinal or identifier
inline constexpr uint32_t GENU_S_CONV_LISTCONTEXT = 0xC00E0076u; // continuation context of a list
inline constexpr uint32_t GENU_S_CONV_DELIVERY = 0xC00E0079u;    // delivery address
inline constexpr uint32_t GENU_S_CONV_DNSEQ = 0xC00E007Au;     // distinguished-name string sequence
inline constexpr uint32_t GENU_S_CONV_DN = 0xC00E007Bu;        // distinguished-name string
inline constexpr uint32_t GENU_S_CONV_DOCFORMAT = 0xC00E007Cu; // document format
inline constexpr uint32_t GENU_S_CONV_CONTENT = 0xC00E007Du;   // document content
inline constexpr uint32_t GENU_S_CONV_EVHPROFILE = 0xC00E0081u; // event handling profile
inline constexpr uint32_t GENU_S_CONV_FILEREF = 0xC00E0086u;    // file reference
inline constexpr uint32_t GENU_S_CONV_FASTFILTER = 0xC00E0088u; // fast filter definition
inline constexpr uint32_t GENU_S_CONV_FINISHING = 0xC00E0089u;  // finishing
inline constexpr uint32_t GENU_S_CONV_FONTREF = 0xC00E008Au;    // font reference
inline constexpr uint32_t GENU_S_CONV_IGNORED = 0xC00E0090u;    // ignored attribute
inline constexpr uint32_t GENU_S_CONV_TRAYMEDIUM = 0xC00E0091u; // input tray medium
inline constexpr uint32_t GENU_S_CONV_LOCALE = 0xC00E0094u;     // locale
inline constexpr uint32_t GENU_S_CONV_DIMENSIONS = 0xC00E0097u; // medium dimensions
inline constexpr uint32_t GENU_S_CONV_MESSAGE = 0xC00E0098u;    // server message (read back)
inline constexpr uint32_t GENU_S_CONV_NEWJOBID = 0xC00E009Au;   // new job identifier
inline constexpr uint32_t GENU_S_CONV_NAMEOROID = 0xC00E009Bu;  // name or identifier
inline constexpr uint32_t GENU_S_CONV_NAMEOROIDSEQ =
    0xC00E009Cu;                                                 // sequence of names or identifiers
inline constexpr uint32_t GENU_S_CONV_NUMBERSUP = 0xC00E009Eu;   // numbers-up value
inline constexpr uint32_t GENU_S_CONV_OBJECTIDENT = 0xC00E00A1u; // object identification
inline constexpr uint32_t GENU_S_CONV_RESULTIDENT =
    0xC00E00A3u;                                                // object identification of a result
inline constexpr uint32_t GENU_S_CONV_OCTETS = 0xC00E00A4u;     // octet string; text in a code set
inline constexpr uint32_t GENU_S_CONV_OID = 0xC00E00A5u;        // object identifier
inline constexpr uint32_t GENU_S_CONV_PAGESELECT = 0xC00E00A8u; // page selection
inline constexpr uint32_t GENU_S_CONV_MEDIASELECT = 0xC00E00A9u; // media selection
inline constexpr uint32_t GENU_S_CONV_POSINTOROID = 0xC00E00ABu; // positive integer or identifier
inline constexpr uint32_t GENU_S_CONV_CHECKPOINT = 0xC00E00AEu;  // print checkpoint
inline constexpr uint32_t GENU_S_CONV_PRIVILEGES = 0xC00E00AFu;  // privileges
inline constexpr uint32_t GENU_S_CONV_RESULTSPROFILE = 0xC00E00B2u; // results profile
inline constexpr uint32_t GENU_S_CONV_RPCADDRESS = 0xC00E00B4u;     // RPC address
inline constexpr uint32_t GENU_S_CONV_NAME = 0xC00E00BAu;           // simple or descriptive name
inline constexpr uint32_t GENU_S_CONV_SOCKETADDRESS = 0xC00E00BBu;  // socket address
inline constexpr uint32_t GENU_S_CONV_TEXT = 0xC00E00BDu; // descriptor, message or text (too long)
inline constexpr uint32_t GENU_S_CONV_TIME = 0xC00E00BFu; // time value
inline constexpr uint32_t GENU_S_CONV_BACK = 0xC00E00C3u; // a value read back from its encoding
inline constexpr uint32_t GENU_S_CONV_OIDCARDMAP = 0xC00E00C6u;    // identifier-cardinal map
inline constexpr uint32_t GENU_S_CONV_EXTACL = 0xC00E00C7u;        // extended access control list
inline constexpr uint32_t GENU_S_CONV_MEDIACONSUMED = 0xC00E00C9u; // media consumed
inline constexpr uint32_t GENU_S_CONV_MEDIACONSUMEDSEQ = 0xC00E00CAu; // sequence of media consumed
inline constexpr uint32_t GENU_S_CONV_PREPROCESSOR = 0xC00E00CBu;     // preprocessor definition
inline constexpr uint32_t GENU_S_CONV_DRIVERINFO = 0xC00E00CCu;       // driver information

// Facility of the DPA client: an error result received from a server
// could not be read.
inline constexpr uint32_t ODP_S_ARGUMENT = 0xC0090068u;    // an argument or result (an attribute)
inline constexpr uint32_t ODP_S_DECODE = 0xC009006Au;      // the octets could not be decoded
inline constexpr uint32_t ODP_S_NOMEM = 0xC0090078u;       // not enough memory
inline constexpr uint32_t ODP_S_MESSAGE = 0xC009007Au;     // a message
inline constexpr uint32_t ODP_S_OBJECTIDENT = 0xC009007Eu; // an object identification
inline constexpr uint32_t ODP_S_OID = 0xC0090081u;         // an object class or identifier
// The thread's client slot failed; also a problem code the error result's
// kind does not accept.
inline constexpr uint32_t ODP_S_SLOT = 0xC0090095u;
