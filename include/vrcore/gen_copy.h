/* vrcore value syntaxes: copying, deleting and converting values.
 *
 * For each syntax or component X the library offers
 *   GEN_CopyX(status, out, source, allocator)       new block, deep copy
 *   GEN_DeleteX(status, value, allocator)           free value and block
 * and, for the structured ones,
 *   GEN_DeepCopyX(status, destination, source, allocator)
 *   GEN_DeepDeleteX(status, value, allocator)       free what it owns, clear
 * all returning 0 on success and 1 with a status code on failure. Copy and
 * delete are the two halves of the syntax's value descriptor (genu.h).
 * Unlike most functions, this family adds its codes to the status list
 * without clearing it first: it runs beneath the attribute sets, whose
 * codes must not be lost when a value is deleted while undoing a step. */
#ifndef VRCORE_GEN_COPY_H
#define VRCORE_GEN_COPY_H

#include "gen_types.h"

VR_BEGIN_DECLS

/* ---- Copy and delete functions --------------------------------------- */

#define GEN_DECLARE_COPY_DELETE(X)                                                                 \
    VR_EXPORT int GEN_Copy##X(STF_List *status, void **out, const void *src,                       \
                              const GENU_Allocator *alloc);                                        \
    VR_EXPORT int GEN_Delete##X(STF_List *status, void *value, const GENU_Allocator *alloc);
#define GEN_DECLARE_DEEP(X, T)                                                                     \
    GEN_DECLARE_COPY_DELETE(X)                                                                     \
    VR_EXPORT int GEN_DeepCopy##X(STF_List *status, T *dst, const T *src,                          \
                                  const GENU_Allocator *alloc);                                    \
    VR_EXPORT int GEN_DeepDelete##X(STF_List *status, T *value, const GENU_Allocator *alloc);

/* Flat representations. */
GEN_DECLARE_COPY_DELETE(Boolean)
GEN_DECLARE_COPY_DELETE(Cardinal)
GEN_DECLARE_COPY_DELETE(DeltaTime)
GEN_DECLARE_COPY_DELETE(Identifier)
GEN_DECLARE_COPY_DELETE(Integer)
GEN_DECLARE_COPY_DELETE(MaximumInteger)
GEN_DECLARE_COPY_DELETE(MinimumInteger)
GEN_DECLARE_COPY_DELETE(PageIdType)
GEN_DECLARE_COPY_DELETE(PositiveInteger)
GEN_DECLARE_COPY_DELETE(Realization)
GEN_DECLARE_COPY_DELETE(Edge)
GEN_DECLARE_COPY_DELETE(PageOrderType)
GEN_DECLARE_COPY_DELETE(Sides)
GEN_DECLARE_COPY_DELETE(Percent)
GEN_DECLARE_COPY_DELETE(Priority)
GEN_DECLARE_COPY_DELETE(Real)
GEN_DECLARE_COPY_DELETE(NonNegativeReal)
GEN_DECLARE_COPY_DELETE(QosLevel)
GEN_DECLARE_COPY_DELETE(CriterionType)
GEN_DECLARE_COPY_DELETE(CardinalRange)
GEN_DECLARE_COPY_DELETE(IntegerRange)
GEN_DECLARE_COPY_DELETE(RealRange)
GEN_DECLARE_COPY_DELETE(NonNegativeRealRange)
GEN_DECLARE_COPY_DELETE(MediumDimensions)
GEN_DECLARE_COPY_DELETE(Cardinal64)
GEN_DECLARE_COPY_DELETE(Cardinal64Range)
GEN_DECLARE_COPY_DELETE(GeneralizedTime)
GEN_DECLARE_COPY_DELETE(Dimension)
GEN_DECLARE_COPY_DELETE(XYDimensions)

/* Structured representations. */
GEN_DECLARE_DEEP(OctetString, GEN_OctetString)
GEN_DECLARE_DEEP(Text, GEN_Text)
GEN_DECLARE_DEEP(Descriptor, GEN_Text)
GEN_DECLARE_DEEP(Message, GEN_Text)
GEN_DECLARE_DEEP(SimpleName, GEN_SimpleName)
GEN_DECLARE_DEEP(DescriptiveName, GEN_SimpleName)
GEN_DECLARE_DEEP(NameOrOID, GEN_NameOrOID)
GEN_DECLARE_DEEP(DistNameString, GEN_DistNameString)
GEN_DECLARE_DEEP(JobIdentifier, GEN_JobIdentifier)
GEN_DECLARE_DEEP(DocumentIdentifier, GEN_DocumentIdentifier)
GEN_DECLARE_DEEP(FontReference, GEN_FontReference)
GEN_DECLARE_DEEP(ObjectIdent, GEN_ObjectIdent)
GEN_DECLARE_DEEP(CardinalOrOid, GEN_CardinalOrOid)
GEN_DECLARE_DEEP(PosIntOrOid, GEN_PosIntOrOid)
GEN_DECLARE_DEEP(CardinalOrNoid, GEN_CardinalOrNoid)
GEN_DECLARE_DEEP(NumbersUpSupported, GEN_NumbersUpSupported)
GEN_DECLARE_DEEP(NewJobIdentifier, GEN_NewJobIdentifier)
GEN_DECLARE_DEEP(DocumentFormat, GEN_DocumentFormat)
GEN_DECLARE_DEEP(OidCardinalMap, GEN_OidCardinalMap)
GEN_DECLARE_DEEP(SetOfObjId, GEN_SetOfObjId)
GEN_DECLARE_DEEP(SetOfOids, GEN_SetOfOids)
GEN_DECLARE_DEEP(SeqOfObjId, GEN_SeqOfObjId)
GEN_DECLARE_DEEP(APContexts, GEN_APContexts)
GEN_DECLARE_DEEP(SetOfText, GEN_SetOfText)
GEN_DECLARE_DEEP(SeqOfStrings, GEN_SeqOfStrings)
GEN_DECLARE_DEEP(SeqOfOctetString, GEN_SeqOfOctetString)
GEN_DECLARE_DEEP(SetOfOctetStrings, GEN_SetOfOctetStrings)
GEN_DECLARE_DEEP(DistNameStringSeq, GEN_DistNameStringSeq)
GEN_DECLARE_DEEP(NameOrOidSeq, GEN_NameOrOidSeq)
GEN_DECLARE_DEEP(ObjNameComponent, GEN_ObjNameComponent)
GEN_DECLARE_DEEP(SetOfObjNameComponent, GEN_SetOfObjNameComponent)
GEN_DECLARE_DEEP(IfwRDN, GEN_IfwRDN)
GEN_DECLARE_DEEP(IfwRDNSeq, GEN_IfwRDNSeq)
GEN_DECLARE_DEEP(RdnSeq, GEN_RdnSeq)
GEN_DECLARE_DEEP(SetOfNameComponent, GEN_SetOfNameComponent)
GEN_DECLARE_DEEP(Name, GEN_Name)
GEN_DECLARE_DEEP(CountryName, GEN_CountryName)
GEN_DECLARE_DEEP(DomainName, GEN_DomainName)
GEN_DECLARE_DEEP(NetworkAddress, GEN_NetworkAddress)
GEN_DECLARE_DEEP(TerminalIdentifier, GEN_TerminalIdentifier)
GEN_DECLARE_DEEP(OrganizationName, GEN_OrganizationName)
GEN_DECLARE_DEEP(NumericUserId, GEN_NumericUserId)
GEN_DECLARE_DEEP(OrganizationUnitName, GEN_OrganizationUnitName)
GEN_DECLARE_DEEP(PersonalName, GEN_PersonalName)
GEN_DECLARE_DEEP(OrganizationUnitNames, GEN_OrganizationUnitNames)
GEN_DECLARE_DEEP(DomainDefinedAttr, GEN_DomainDefinedAttr)
GEN_DECLARE_DEEP(DomainDefinedAttrs, GEN_DomainDefinedAttrs)
GEN_DECLARE_DEEP(ExtensionAttrs, GEN_ExtensionAttrs)
GEN_DECLARE_DEEP(DeliveryAddress, GEN_DeliveryAddress)
GEN_DECLARE_DEEP(Locale, GEN_Locale)
GEN_DECLARE_DEEP(EventHandlingProfile, GEN_EventHandlingProfile)
GEN_DECLARE_DEEP(ResultsProfile, GEN_ResultsProfile)
GEN_DECLARE_DEEP(External, GEN_External)
GEN_DECLARE_DEEP(LocationalIdentifier, GEN_LocationalIdentifier)
GEN_DECLARE_DEEP(AETitle, GEN_AETitle)
GEN_DECLARE_DEEP(AEIdentifier, GEN_AEIdentifier)
GEN_DECLARE_DEEP(QualityOfService, GEN_QualityOfService)
GEN_DECLARE_DEEP(Token, GEN_Token)
GEN_DECLARE_DEEP(FileReference, GEN_FileReference)
GEN_DECLARE_DEEP(DocumentContent, GEN_DocumentContent)
GEN_DECLARE_DEEP(PageIdentifier, GEN_PageIdentifier)
GEN_DECLARE_DEEP(PageSelect, GEN_PageSelect)
GEN_DECLARE_DEEP(PageSelectSeq, GEN_PageSelectSeq)
GEN_DECLARE_DEEP(PageMediaSelect, GEN_PageMediaSelect)
GEN_DECLARE_DEEP(MediaSelect, GEN_MediaSelect)
GEN_DECLARE_DEEP(InputTrayMedium, GEN_InputTrayMedium)
GEN_DECLARE_DEEP(Surface, GEN_Surface)
GEN_DECLARE_DEEP(SeqOfFinishingProcSpec, GEN_SeqOfFinishingProcSpec)
GEN_DECLARE_DEEP(SeqOfInsertSheet, GEN_SeqOfInsertSheet)
GEN_DECLARE_DEEP(Finishing, GEN_Finishing)
GEN_DECLARE_DEEP(MediaConsumed, GEN_MediaConsumed)
GEN_DECLARE_DEEP(MediaConsumedSeq, GEN_MediaConsumedSeq)
GEN_DECLARE_DEEP(Locations, GEN_Locations)
GEN_DECLARE_DEEP(Checkpoint, GEN_Checkpoint)
GEN_DECLARE_DEEP(OwnerName, GEN_OwnerName)
GEN_DECLARE_DEEP(Privileges, GEN_Privileges)
GEN_DECLARE_DEEP(PSISAccessControlList, GEN_PSISAccessControlList)
GEN_DECLARE_DEEP(ExtACL, GEN_ExtACL)
GEN_DECLARE_DEEP(RPCAddress, GEN_RPCAddress)
GEN_DECLARE_DEEP(SocketAddress, GEN_SocketAddress)
GEN_DECLARE_DEEP(FastFilterDef, GEN_FastFilterDef)
GEN_DECLARE_DEEP(PreprocessorDefinition, GEN_PreprocessorDefinition)
GEN_DECLARE_DEEP(DriverInfo, GEN_DriverInfo)
GEN_DECLARE_DEEP(ErrorMessage, GEN_ErrorMessage)
GEN_DECLARE_DEEP(Criteria, GEN_Criteria)
GEN_DECLARE_DEEP(IgnoredAttribute, GEN_IgnoredAttribute)
GEN_DECLARE_DEEP(Substrings, GEN_Substrings)
GEN_DECLARE_DEEP(FilterItem, GEN_FilterItem)
GEN_DECLARE_DEEP(Filter, GEN_Filter)
GEN_DECLARE_DEEP(SetOfFilter, GEN_SetOfFilter)
GEN_DECLARE_DEEP(SeqOfObjectIdent, GEN_SeqOfObjectIdent)
GEN_DECLARE_DEEP(Selector, GEN_Selector)

/* ---- Repertoire conversion ------------------------------------------- */

/* Kind 1 becomes kind 3 with the same characters; kind 3 is copied;
 * kinds 2, 4 and 5 give GEN_S_NOTSUPP. *out is a new value. */
VR_EXPORT int GEN_Text2IsoLatin1(STF_List *status, GEN_Text **out, const GEN_Text *text,
                                 const GENU_Allocator *alloc);
VR_EXPORT int GEN_SimpleName2IsoLatin1(STF_List *status, GEN_SimpleName **out,
                                       const GEN_SimpleName *name, const GENU_Allocator *alloc);
/* Not supported: always GEN_S_NOTSUPP. */
VR_EXPORT int GEN_Text2Unicode(STF_List *status, GEN_Text **out, const GEN_Text *text,
                               const GENU_Allocator *alloc);

/* A cardinal 64 as a native number and back. */
VR_EXPORT void GEN_GenToUint64(uint64_t *out, const GEN_Cardinal64 *value);
VR_EXPORT void GEN_Uint64ToGen(GEN_Cardinal64 *out, uint64_t value);

VR_END_DECLS

#endif /* VRCORE_GEN_COPY_H */
