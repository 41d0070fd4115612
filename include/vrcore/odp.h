/* vrcore value conversion: one attribute value to and from BER, and the
 * conversions of each value syntax between its library structure (gen.h)
 * and the structure the BER runtime encodes for its PDU.
 *
 * Runtime structures: texts, names, octet strings, ranges, job
 * identifiers, times and medium dimensions have structures of the
 * runtime's own; every other structured syntax is encoded straight from
 * its library structure, so its runtime structure has the library
 * structure's layout, and a list syntax's runtime structure is one pointer
 * to the list's first node. GENU_PDUStructSize gives the size of any of
 * them. Runtime structures hold blocks of the calling thread's encoding
 * context (_GENU__MyMalloc); identifiers point into the identifier tables.
 *
 * All functions take a status list first, clear it, and return 0 on
 * success or 1 with a status code: GEN_S_INVALID for a null argument,
 * GEN_S_NOMEM when memory ran out, else the syntax's own conversion code
 * (see each group), GEN_S_NOTSUPP for a syntax without a PDU. */
#ifndef VRCORE_ODP_H
#define VRCORE_ODP_H

#include "genu.h"

VR_BEGIN_DECLS

/* ---- Attribute value packing ----------------------------------------- */

/* The PDU number of a value type, or -1. */
VR_EXPORT int GENU_TypeToPDU(uint32_t type);
/* Bytes of the runtime structure of a PDU number; 0 for none. */
VR_EXPORT size_t GENU_PDUStructSize(int pdu);
/* Encodes one value of the type into *encoded (bytes released with
 * _GENU__MyFree); on failure *encoded is {0, NULL}. */
VR_EXPORT int ODP_PackAV(STF_List *status, uint32_t type, const void *value, GENU_Buffer *encoded);
/* Decodes octets of the type into a new value (allocated with
 * _GENU__MyMalloc, released through *descriptor's delete with
 * genu_ossAllocator) and copies the type's descriptor; on failure *value
 * is NULL. A list syntax's value is its first node: an empty list on the
 * wire fails with the syntax's code. */
VR_EXPORT int ODP_UnpackAV(STF_List *status, uint32_t length, const unsigned char *bytes,
                           uint32_t type, void **value, GENU_ValueDescriptor *descriptor);

/* ---- Conversions of one syntax ----------------------------------------
 * ToBER_x fills the caller's runtime structure (GENU_PDUStructSize bytes)
 * from a value; on failure nothing it made is left. FreeBER_x releases
 * what ToBER_x made, not the structure itself. ToGEN_x fills the caller's
 * library structure from a runtime structure (a decoded one or one made by
 * ToBER_x), never changing it, with the allocator (NULL: the heap);
 * FreeGEN_x releases what the value owns, not the structure itself (for a
 * list, the nodes after the first and the first node's element). */
#define ODP_DECLARE_VALUE_CONV(name, T)                                                            \
    VR_EXPORT int ToBER_##name(STF_List *status, void *ber, const T *value);                       \
    VR_EXPORT int FreeBER_##name(STF_List *status, void *ber);                                     \
    VR_EXPORT int ToGEN_##name(STF_List *status, const void *ber, T *value,                        \
                               const GENU_Allocator *alloc);                                       \
    VR_EXPORT int FreeGEN_##name(STF_List *status, T *value, const GENU_Allocator *alloc);

/* Conversion codes: texts, descriptors and messages 0xC00E00BD (too long;
 * a message that cannot be read back 0xC00E0098, a code set that cannot
 * be converted back 0xC00E00A4); simple and descriptive names 0xC00E00BA
 * packing and 0xC00E00C3 reading back; octet strings 0xC00E00A4; ranges
 * and job identifiers 0xC00E00C3; times 0xC00E00BF; medium dimensions
 * 0xC00E0097. */
ODP_DECLARE_VALUE_CONV(text, GEN_Text)
ODP_DECLARE_VALUE_CONV(descriptor, GEN_Descriptor)
ODP_DECLARE_VALUE_CONV(message, GEN_Message)
ODP_DECLARE_VALUE_CONV(simpleName, GEN_SimpleName)
ODP_DECLARE_VALUE_CONV(descriptiveName, GEN_DescriptiveName)
ODP_DECLARE_VALUE_CONV(octetString, GEN_OctetString)
ODP_DECLARE_VALUE_CONV(cardinalRange, GEN_CardinalRange)
ODP_DECLARE_VALUE_CONV(cardinal64Range, GEN_Cardinal64Range)
ODP_DECLARE_VALUE_CONV(jobId, GEN_JobIdentifier)
ODP_DECLARE_VALUE_CONV(generalizedTime, GEN_GeneralizedTime)
ODP_DECLARE_VALUE_CONV(mediumDimensions, GEN_MediumDimensions)

/* Structured syntaxes, with their conversion codes. */
ODP_DECLARE_VALUE_CONV(distNameString, GEN_DistNameString)         /* 0xC00E007B */
ODP_DECLARE_VALUE_CONV(docContent, GEN_DocumentContent)            /* 0xC00E007D */
ODP_DECLARE_VALUE_CONV(EVHProfile, GEN_EventHandlingProfile)       /* 0xC00E0081 */
ODP_DECLARE_VALUE_CONV(fontReference, GEN_FontReference)           /* 0xC00E008A */
ODP_DECLARE_VALUE_CONV(ignoredAttribute, GEN_IgnoredAttribute)     /* 0xC00E0090 */
ODP_DECLARE_VALUE_CONV(nameOrOid, GEN_NameOrOID)                   /* 0xC00E009B */
ODP_DECLARE_VALUE_CONV(numbersUpSupported, GEN_NumbersUpSupported) /* 0xC00E009E */
ODP_DECLARE_VALUE_CONV(oidCardinalMap, GEN_OidCardinalMap)         /* 0xC00E00C6 */
ODP_DECLARE_VALUE_CONV(cardinalOrNoid, GEN_CardinalOrNoid)         /* 0xC00E0074 */
ODP_DECLARE_VALUE_CONV(cardinalOrOid, GEN_CardinalOrOid)           /* 0xC00E0075 */
ODP_DECLARE_VALUE_CONV(deliveryAddress, GEN_DeliveryAddress)       /* 0xC00E0079 */
ODP_DECLARE_VALUE_CONV(distNameStringSeq, GEN_DistNameStringSeq)   /* 0xC00E007A */
ODP_DECLARE_VALUE_CONV(docFormat, GEN_DocumentFormat)              /* 0xC00E007C */
ODP_DECLARE_VALUE_CONV(dor, GEN_FileReference)                     /* 0xC00E0086 */
ODP_DECLARE_VALUE_CONV(finishing, GEN_Finishing)                   /* 0xC00E0089 */
ODP_DECLARE_VALUE_CONV(inputTrayMedium, GEN_InputTrayMedium)       /* 0xC00E0091 */
ODP_DECLARE_VALUE_CONV(locale, GEN_Locale)                         /* 0xC00E0094 */
ODP_DECLARE_VALUE_CONV(nameOrOidSeq, GEN_NameOrOidSeq)             /* 0xC00E009C */
ODP_DECLARE_VALUE_CONV(newJobIdentifier, GEN_NewJobIdentifier)     /* 0xC00E009A */
ODP_DECLARE_VALUE_CONV(objectIdent, GEN_ObjectIdent)               /* 0xC00E00A1 */
ODP_DECLARE_VALUE_CONV(mediaSelect, GEN_MediaSelect)               /* 0xC00E00A9 */
ODP_DECLARE_VALUE_CONV(pageSelectSeq, GEN_PageSelectSeq)           /* 0xC00E00A8 */
ODP_DECLARE_VALUE_CONV(posIntOrOid, GEN_PosIntOrOid)               /* 0xC00E00AB */
ODP_DECLARE_VALUE_CONV(printCheckpoint, GEN_Checkpoint)            /* 0xC00E00AE */
ODP_DECLARE_VALUE_CONV(privileges, GEN_Privileges)                 /* 0xC00E00AF */
ODP_DECLARE_VALUE_CONV(resultsProfile, GEN_ResultsProfile)         /* 0xC00E00B2 */
ODP_DECLARE_VALUE_CONV(ACL, GEN_PSISAccessControlList)             /* 0xC00E0065 */
ODP_DECLARE_VALUE_CONV(rpcAddress, GEN_RPCAddress)                 /* 0xC00E00B4 */
ODP_DECLARE_VALUE_CONV(socketAddress, GEN_SocketAddress)           /* 0xC00E00BB, 0xC00E00C3 */
ODP_DECLARE_VALUE_CONV(fastFilterDef, GEN_FastFilterDef)           /* 0xC00E0088 */
ODP_DECLARE_VALUE_CONV(ExtACL, GEN_ExtACL)                         /* 0xC00E00C7 */
ODP_DECLARE_VALUE_CONV(mediaConsumed, GEN_MediaConsumed)           /* 0xC00E00C9 */
ODP_DECLARE_VALUE_CONV(mediaConsumedSeq, GEN_MediaConsumedSeq)     /* 0xC00E00CA */
ODP_DECLARE_VALUE_CONV(preprocessorDefinition, GEN_PreprocessorDefinition) /* 0xC00E00CB */
ODP_DECLARE_VALUE_CONV(seqOfObjId, GEN_SeqOfObjId)                         /* 0xC00E00A1 */
ODP_DECLARE_VALUE_CONV(driverInfo, GEN_DriverInfo)                         /* 0xC00E00CC */

/* Inner parts of the structured syntaxes, with the same conventions. The
 * document identifier (of an object identification) and the included
 * document (an ASN.1 EXTERNAL, of a document content) have runtime
 * structures laid out as their library structures; conversion codes
 * 0xC00E00A1 and 0xC00E007D. The list context that a list result hands
 * out and a continuation sends back is opaque octets, copied unchanged
 * both ways; its runtime structure is a GENU_Buffer whose octets ToBER_
 * copies into a block of the encoding context; conversion code
 * 0xC00E0076. */
ODP_DECLARE_VALUE_CONV(docIdentifier, GEN_DocumentIdentifier)
ODP_DECLARE_VALUE_CONV(external, GEN_External)
ODP_DECLARE_VALUE_CONV(listContext, GEN_OctetString)

/* The counted octets that a runtime text or name holds in place (a 16-bit
 * length, then the octets; at most 4095, else GEN_S_INVALID) as a new
 * block of the allocator (NULL: the heap) with a zero after the octets;
 * length 0 gives {0, NULL}. Texts of kinds 3 and 4 are read back this way.
 * Release with FreeGEN_octetString. */
VR_EXPORT int ToGEN_stringFromEmbOctet(STF_List *status, const void *ber, GEN_OctetString *value,
                                       const GENU_Allocator *alloc);

/* The same routines under the names of the inner-part family. */
VR_EXPORT int _ToBER_oidCardinalMap(STF_List *status, void *ber, const GEN_OidCardinalMap *value);
VR_EXPORT int _ToGEN_oidCardinalMap(STF_List *status, const void *ber, GEN_OidCardinalMap *value,
                                    const GENU_Allocator *alloc);
VR_EXPORT int _ToBER_newJobIdentifier(STF_List *status, void *ber,
                                      const GEN_NewJobIdentifier *value);
VR_EXPORT int _ToGEN_newJobIdentifier(STF_List *status, const void *ber,
                                      GEN_NewJobIdentifier *value, const GENU_Allocator *alloc);
VR_EXPORT int _ToGEN_fastFilterDef(STF_List *status, const void *ber, GEN_FastFilterDef *value,
                                   const GENU_Allocator *alloc);

/* An identifier from its encoded form (the content octets): 0xC00E00C3
 * when the form names no identifier. Identifiers are packed with
 * GENU_ShortToBerOID. */
VR_EXPORT int ToGEN_oid(STF_List *status, const GENU_BerOID *ber, GENU_ShortOID *id);

VR_END_DECLS

#endif /* VRCORE_ODP_H */
