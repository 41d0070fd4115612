// The exported value descriptors and the value-type map.
#include "system/guard.h"
#include "vrcore/genu.h"

// A syntax sharing another one's representation shares its functions.
#define VRSYN_SHARED(X, F)                                                                         \
    extern "C" VR_EXPORT const GENU_ValueDescriptor GENU_##X##Desc = {GEN_Copy##F, GEN_Delete##F};
#define VRSYN_DESC(X)                                                                              \
    extern "C" VR_EXPORT const GENU_ValueDescriptor GENU_##X##Desc = {GEN_Copy##X, GEN_Delete##X};

VRSYN_DESC(Boolean)
VRSYN_DESC(Cardinal)
VRSYN_DESC(CardinalRange)
VRSYN_DESC(DeltaTime)
VRSYN_SHARED(Descriptor, Text)
VRSYN_DESC(DistNameString)
VRSYN_DESC(DocumentContent)
VRSYN_DESC(EventHandlingProfile)
VRSYN_DESC(FontReference)
VRSYN_DESC(Identifier)
VRSYN_DESC(IgnoredAttribute)
VRSYN_DESC(Integer)
VRSYN_DESC(IntegerRange)
VRSYN_DESC(JobIdentifier)
VRSYN_DESC(MaximumInteger)
VRSYN_SHARED(Message, Text)
VRSYN_DESC(MinimumInteger)
VRSYN_DESC(NameOrOID)
VRSYN_DESC(NumbersUpSupported)
VRSYN_DESC(OctetString)
VRSYN_DESC(PageIdType)
VRSYN_DESC(PositiveInteger)
VRSYN_DESC(Real)
VRSYN_DESC(Realization)
VRSYN_DESC(RealRange)
VRSYN_DESC(Sides)
VRSYN_DESC(SimpleName)
VRSYN_DESC(Text)
VRSYN_DESC(Cardinal64)
VRSYN_DESC(Cardinal64Range)
VRSYN_DESC(OidCardinalMap)
VRSYN_DESC(CardinalOrNoid)
VRSYN_DESC(CardinalOrOid)
VRSYN_DESC(Criteria)
VRSYN_DESC(DeliveryAddress)
VRSYN_SHARED(DescriptiveName, SimpleName)
VRSYN_DESC(Dimension)
VRSYN_DESC(DistNameStringSeq)
VRSYN_DESC(DocumentFormat)
VRSYN_DESC(Edge)
VRSYN_DESC(FileReference)
VRSYN_DESC(Finishing)
VRSYN_DESC(GeneralizedTime)
VRSYN_DESC(InputTrayMedium)
VRSYN_DESC(Locale)
VRSYN_DESC(Locations)
VRSYN_DESC(MediumDimensions)
VRSYN_DESC(NameOrOidSeq)
VRSYN_DESC(NewJobIdentifier)
VRSYN_DESC(NonNegativeReal)
VRSYN_SHARED(NonNegativeRealRange, RealRange)
VRSYN_DESC(ObjectIdent)
VRSYN_DESC(MediaSelect)
VRSYN_DESC(PageOrderType)
VRSYN_DESC(PageSelectSeq)
VRSYN_DESC(Percent)
VRSYN_DESC(PosIntOrOid)
VRSYN_DESC(Checkpoint)
VRSYN_DESC(Priority)
VRSYN_DESC(Privileges)
VRSYN_SHARED(RdnSeq, IfwRDNSeq)
VRSYN_DESC(ResultsProfile)
VRSYN_DESC(XYDimensions)
VRSYN_DESC(PSISAccessControlList)
VRSYN_DESC(RPCAddress)
VRSYN_DESC(SocketAddress)
VRSYN_DESC(FastFilterDef)
VRSYN_DESC(ExtACL)
VRSYN_DESC(MediaConsumed)
VRSYN_DESC(MediaConsumedSeq)
VRSYN_DESC(PreprocessorDefinition)
VRSYN_SHARED(SeqOfObjId, SetOfObjId)
VRSYN_DESC(DriverInfo)
VRSYN_DESC(AEIdentifier)
VRSYN_DESC(AETitle)
VRSYN_SHARED(APContexts, SetOfObjId)
VRSYN_DESC(CountryName)
VRSYN_DESC(CriterionType)
VRSYN_DESC(DocumentIdentifier)
VRSYN_DESC(DomainDefinedAttr)
VRSYN_DESC(DomainDefinedAttrs)
VRSYN_DESC(DomainName)
VRSYN_DESC(ExtensionAttrs)
VRSYN_DESC(External)
VRSYN_DESC(Filter)
VRSYN_SHARED(IfwRDN, SetOfObjNameComponent)
VRSYN_DESC(IfwRDNSeq)
VRSYN_DESC(LocationalIdentifier)
VRSYN_DESC(Name)
VRSYN_DESC(NetworkAddress)
VRSYN_DESC(NumericUserId)
VRSYN_DESC(ObjNameComponent)
VRSYN_DESC(OrganizationName)
VRSYN_DESC(OrganizationUnitName)
VRSYN_DESC(OrganizationUnitNames)
VRSYN_DESC(OwnerName)
VRSYN_DESC(PageIdentifier)
VRSYN_DESC(PageMediaSelect)
VRSYN_DESC(PageSelect)
VRSYN_DESC(PersonalName)
VRSYN_DESC(QosLevel)
VRSYN_DESC(QualityOfService)
VRSYN_DESC(Selector)
VRSYN_DESC(SeqOfFinishingProcSpec)
VRSYN_DESC(SeqOfInsertSheet)
VRSYN_DESC(SeqOfOctetString)
VRSYN_DESC(SeqOfStrings)
VRSYN_DESC(SetOfFilter)
VRSYN_DESC(SetOfNameComponent)
VRSYN_DESC(SetOfObjId)
VRSYN_DESC(SetOfObjNameComponent)
VRSYN_SHARED(SetOfOctetStrings, SeqOfOctetString)
VRSYN_SHARED(SetOfOids, SetOfObjId)
VRSYN_DESC(SetOfText)
VRSYN_DESC(Surface)
VRSYN_DESC(TerminalIdentifier)
VRSYN_DESC(Token)

// Value type -> descriptor; null where a type has none.
static const GENU_ValueDescriptor *const kByType[95] = {
    /* 0 */ &GENU_BooleanDesc,
    /* 1 */ &GENU_CardinalDesc,
    /* 2 */ &GENU_CardinalRangeDesc,
    /* 3 */ nullptr,
    /* 4 */ &GENU_DeltaTimeDesc,
    /* 5 */ &GENU_DescriptorDesc,
    /* 6 */ &GENU_DistNameStringDesc,
    /* 7 */ &GENU_DocumentContentDesc,
    /* 8 */ &GENU_EventHandlingProfileDesc,
    /* 9 */ &GENU_FontReferenceDesc,
    /* 10 */ &GENU_IdentifierDesc,
    /* 11 */ &GENU_IgnoredAttributeDesc,
    /* 12 */ &GENU_IntegerDesc,
    /* 13 */ &GENU_IntegerRangeDesc,
    /* 14 */ &GENU_JobIdentifierDesc,
    /* 15 */ &GENU_MaximumIntegerDesc,
    /* 16 */ &GENU_MessageDesc,
    /* 17 */ &GENU_MinimumIntegerDesc,
    /* 18 */ &GENU_NameOrOIDDesc,
    /* 19 */ &GENU_NumbersUpSupportedDesc,
    /* 20 */ &GENU_OctetStringDesc,
    /* 21 */ &GENU_PageIdTypeDesc,
    /* 22 */ &GENU_PositiveIntegerDesc,
    /* 23 */ &GENU_RealDesc,
    /* 24 */ &GENU_RealizationDesc,
    /* 25 */ &GENU_RealRangeDesc,
    /* 26 */ &GENU_SidesDesc,
    /* 27 */ &GENU_SimpleNameDesc,
    /* 28 */ &GENU_TextDesc,
    /* 29 */ nullptr,
    /* 30 */ nullptr,
    /* 31 */ &GENU_Cardinal64Desc,
    /* 32 */ &GENU_Cardinal64RangeDesc,
    /* 33 */ &GENU_OidCardinalMapDesc,
    /* 34 */ &GENU_CardinalOrNoidDesc,
    /* 35 */ &GENU_CardinalOrOidDesc,
    /* 36 */ nullptr,
    /* 37 */ &GENU_CriteriaDesc,
    /* 38 */ nullptr,
    /* 39 */ &GENU_DeliveryAddressDesc,
    /* 40 */ &GENU_DescriptiveNameDesc,
    /* 41 */ &GENU_DimensionDesc,
    /* 42 */ &GENU_DistNameStringSeqDesc,
    /* 43 */ &GENU_DocumentFormatDesc,
    /* 44 */ &GENU_EdgeDesc,
    /* 45 */ &GENU_FileReferenceDesc,
    /* 46 */ &GENU_FinishingDesc,
    /* 47 */ nullptr,
    /* 48 */ &GENU_GeneralizedTimeDesc,
    /* 49 */ &GENU_InputTrayMediumDesc,
    /* 50 */ nullptr,
    /* 51 */ nullptr,
    /* 52 */ nullptr,
    /* 53 */ nullptr,
    /* 54 */ nullptr,
    /* 55 */ &GENU_LocaleDesc,
    /* 56 */ &GENU_LocationsDesc,
    /* 57 */ &GENU_MediumDimensionsDesc,
    /* 58 */ nullptr,
    /* 59 */ nullptr,
    /* 60 */ &GENU_NameOrOidSeqDesc,
    /* 61 */ &GENU_NewJobIdentifierDesc,
    /* 62 */ &GENU_NonNegativeRealDesc,
    /* 63 */ &GENU_NonNegativeRealRangeDesc,
    /* 64 */ &GENU_ObjectIdentDesc,
    /* 65 */ nullptr,
    /* 66 */ nullptr,
    /* 67 */ &GENU_MediaSelectDesc,
    /* 68 */ &GENU_PageOrderTypeDesc,
    /* 69 */ &GENU_PageSelectSeqDesc,
    /* 70 */ nullptr,
    /* 71 */ &GENU_PercentDesc,
    /* 72 */ &GENU_PosIntOrOidDesc,
    /* 73 */ nullptr,
    /* 74 */ &GENU_CheckpointDesc,
    /* 75 */ &GENU_PriorityDesc,
    /* 76 */ &GENU_PrivilegesDesc,
    /* 77 */ &GENU_RdnSeqDesc,
    /* 78 */ nullptr,
    /* 79 */ nullptr,
    /* 80 */ nullptr,
    /* 81 */ &GENU_ResultsProfileDesc,
    /* 82 */ nullptr,
    /* 83 */ nullptr,
    /* 84 */ &GENU_XYDimensionsDesc,
    /* 85 */ &GENU_PSISAccessControlListDesc,
    /* 86 */ &GENU_RPCAddressDesc,
    /* 87 */ &GENU_SocketAddressDesc,
    /* 88 */ &GENU_FastFilterDefDesc,
    /* 89 */ &GENU_ExtACLDesc,
    /* 90 */ &GENU_MediaConsumedDesc,
    /* 91 */ &GENU_MediaConsumedSeqDesc,
    /* 92 */ &GENU_PreprocessorDefinitionDesc,
    /* 93 */ &GENU_SeqOfObjIdDesc,
    /* 94 */ &GENU_DriverInfoDesc,
};

extern "C" VR_EXPORT const GENU_ValueDescriptor *GENU_AVT2Descriptor(uint32_t type) try {
    return type < 95 ? kByType[type] : nullptr;
}
VR_CATCH_RETURN(nullptr)
