// The descriptions of every value structure, field by field.
#include <cstddef>

#include "syntax/gentype.h"

// Structures without addresses keep their exact sizes.
static_assert(sizeof(GEN_SimpleName) == 268);
static_assert(sizeof(GEN_NameOrOID) == 272);
static_assert(sizeof(GEN_FontReference) == 272);
static_assert(sizeof(GEN_CardinalOrNoid) == 276);
static_assert(sizeof(GEN_NumbersUpSupported) == 276);
static_assert(sizeof(GEN_JobIdentifier) == 256);
static_assert(sizeof(GEN_GeneralizedTime) == 20);
static_assert(sizeof(GEN_Cardinal64) == 8 && offsetof(GEN_Cardinal64, high) == 0);
static_assert(sizeof(GEN_CardinalOrOid) == 8 && sizeof(GEN_PosIntOrOid) == 8);
static_assert(sizeof(GEN_DomainDefinedAttr) == 138);
static_assert(sizeof(GEN_DomainDefinedAttrs) == 554);
static_assert(offsetof(GEN_DomainDefinedAttrs, attrs) == 2);
static_assert(sizeof(GEN_CountryName) == 8 && sizeof(GEN_DomainName) == 24);
static_assert(sizeof(GEN_PersonalName) == 68);
static_assert(sizeof(GEN_Locale) == 16);
// Structures with addresses keep their field order; these hold on the
// 64-bit layout.
static_assert(offsetof(GEN_SimpleName, u.counted.value) == 6);
static_assert(offsetof(GEN_SimpleName, charset) == 264);
static_assert(sizeof(GEN_Text) == 32 && offsetof(GEN_Text, charset) == 24);
static_assert(offsetof(GEN_DeliveryAddress, domain_defined_attrs) == 9 * sizeof(void *));
static_assert(sizeof(GEN_DeliveryAddress) == 12 * sizeof(void *));

namespace vrcore::syntax {

namespace {

constexpr Field F(FieldKind k, size_t off, size_t size, const TypeInfo *t, const char *name) {
    return Field{k,   static_cast<uint32_t>(off), static_cast<uint32_t>(size), t, nullptr, 0, 0, 0,
                 name};
}
constexpr Field C(size_t off, const Alt *alts, size_t n, const char *name) {
    return Field{FieldKind::Choice,
                 static_cast<uint32_t>(off),
                 4,
                 nullptr,
                 alts,
                 static_cast<uint32_t>(n),
                 0,
                 0,
                 name};
}

} // namespace

#define VR_N(a) (sizeof(a) / sizeof((a)[0]))
#define FLAT(S, m) F(FieldKind::Flat, offsetof(S, m), sizeof(((S *)nullptr)->m), nullptr, #m)
#define CHARS(S, m) F(FieldKind::CharArray, offsetof(S, m), sizeof(((S *)nullptr)->m), nullptr, #m)
#define CSTR(S, m) F(FieldKind::CString, offsetof(S, m), sizeof(char *), nullptr, #m)
#define OCTETS(S, m) F(FieldKind::Octets, offsetof(S, m), sizeof(GEN_OctetString), nullptr, #m)
#define TEXT(S, m) F(FieldKind::Text, offsetof(S, m), sizeof(GEN_Text), nullptr, #m)
#define SNAME(S, m) F(FieldKind::SimpleName, offsetof(S, m), sizeof(GEN_SimpleName), nullptr, #m)
#define INLINE(S, m, T) F(FieldKind::Inline, offsetof(S, m), sizeof(((S *)nullptr)->m), &T_##T, #m)
#define PTR(S, m, T) F(FieldKind::Ptr, offsetof(S, m), sizeof(void *), &T_##T, #m)
#define CHOICE(S, alts) C(offsetof(S, choice), alts, VR_N(alts), "choice")

// A structure made of its fields; a list node; a plain byte copy.
#define STRUCT(N, S, ...)                                                                          \
    static const Field N##_fields[] = {__VA_ARGS__};                                               \
    const TypeInfo T_##N = {#N, sizeof(S), N##_fields, VR_N(N##_fields), false, false};
#define LIST(N, S, ...)                                                                            \
    static_assert(offsetof(S, next) == 0);                                                         \
    static const Field N##_fields[] = {__VA_ARGS__};                                               \
    const TypeInfo T_##N = {#N, sizeof(S), N##_fields, VR_N(N##_fields), true, false};
#define FLATTYPE(N, S)                                                                             \
    static const Field N##_fields[] = {F(FieldKind::Flat, 0, sizeof(S), nullptr, "value")};        \
    const TypeInfo T_##N = {#N, sizeof(S), N##_fields, 1, false, true};

FLATTYPE(Boolean, GEN_Boolean)
FLATTYPE(Cardinal, GEN_Cardinal)
FLATTYPE(DeltaTime, GEN_DeltaTime)
FLATTYPE(Identifier, GEN_Identifier)
FLATTYPE(Integer, GEN_Integer)
FLATTYPE(MaximumInteger, GEN_MaximumInteger)
FLATTYPE(MinimumInteger, GEN_MinimumInteger)
FLATTYPE(PageIdType, GEN_PageIdType)
FLATTYPE(PositiveInteger, GEN_PositiveInteger)
FLATTYPE(Realization, GEN_Realization)
FLATTYPE(Edge, GEN_Edge)
FLATTYPE(PageOrderType, GEN_PageOrderType)
FLATTYPE(Sides, GEN_Sides)
FLATTYPE(Percent, GEN_Percent)
FLATTYPE(Priority, GEN_Priority)
FLATTYPE(Real, GEN_Real)
FLATTYPE(NonNegativeReal, GEN_NonNegativeReal)
FLATTYPE(QosLevel, GEN_QosLevel)
FLATTYPE(CriterionType, GEN_CriterionType)
FLATTYPE(CardinalRange, GEN_CardinalRange)
FLATTYPE(IntegerRange, GEN_IntegerRange)
FLATTYPE(RealRange, GEN_RealRange)
FLATTYPE(NonNegativeRealRange, GEN_NonNegativeRealRange)
FLATTYPE(MediumDimensions, GEN_MediumDimensions)
FLATTYPE(Cardinal64, GEN_Cardinal64)
FLATTYPE(Cardinal64Range, GEN_Cardinal64Range)
FLATTYPE(GeneralizedTime, GEN_GeneralizedTime)
FLATTYPE(Dimension, GEN_Dimension)
FLATTYPE(XYDimensions, GEN_XYDimensions)
FLATTYPE(Locale, GEN_Locale)

// Strings and names.
STRUCT(OctetString, GEN_OctetString,
       F(FieldKind::Octets, 0, sizeof(GEN_OctetString), nullptr, "octets"))
STRUCT(Text, GEN_Text, F(FieldKind::Text, 0, sizeof(GEN_Text), nullptr, "text"))
STRUCT(SimpleName, GEN_SimpleName,
       F(FieldKind::SimpleName, 0, sizeof(GEN_SimpleName), nullptr, "name"))
STRUCT(JobIdentifier, GEN_JobIdentifier, CHARS(GEN_JobIdentifier, value))

static const Alt NameOrOID_alts[] = {
    {GEN_NOID_OID, FLAT(GEN_NameOrOID, u.oid)},
    {GEN_NOID_NAME, SNAME(GEN_NameOrOID, u.name)},
};
STRUCT(NameOrOID, GEN_NameOrOID, CHOICE(GEN_NameOrOID, NameOrOID_alts))
STRUCT(DistNameString, GEN_DistNameString, TEXT(GEN_DistNameString, name),
       PTR(GEN_DistNameString, syntax, NameOrOID))
STRUCT(DocumentIdentifier, GEN_DocumentIdentifier, CHARS(GEN_DocumentIdentifier, job.value),
       PTR(GEN_DocumentIdentifier, document_number, Cardinal))

static const Alt FontReference_alts[] = {
    {GEN_FONT_SIMPLE_NAME, SNAME(GEN_FontReference, u.simple_name)},
    {GEN_FONT_GLOBAL_NAME, FLAT(GEN_FontReference, u.global_name)},
};
STRUCT(FontReference, GEN_FontReference, CHOICE(GEN_FontReference, FontReference_alts))

static const Alt ObjectIdent_alts[] = {
    {GEN_OBJID_JOB_ID, CHARS(GEN_ObjectIdent, u.job_id.value)},
    {GEN_OBJID_DOCUMENT_ID, INLINE(GEN_ObjectIdent, u.document_id, DocumentIdentifier)},
    {GEN_OBJID_OID, FLAT(GEN_ObjectIdent, u.oid)},
    {GEN_OBJID_DIST_NAME, INLINE(GEN_ObjectIdent, u.dist_name, DistNameString)},
    {GEN_OBJID_FONT_REF, INLINE(GEN_ObjectIdent, u.font_ref, FontReference)},
    {GEN_OBJID_NAME_OR_OID, INLINE(GEN_ObjectIdent, u.name_or_oid, NameOrOID)},
    {GEN_OBJID_SIMPLE_NAME, SNAME(GEN_ObjectIdent, u.simple_name)},
};
STRUCT(ObjectIdent, GEN_ObjectIdent, CHOICE(GEN_ObjectIdent, ObjectIdent_alts))

static const Alt CardinalOrOid_alts[] = {
    {1, FLAT(GEN_CardinalOrOid, u.cardinal)},
    {2, FLAT(GEN_CardinalOrOid, u.oid)},
};
STRUCT(CardinalOrOid, GEN_CardinalOrOid, CHOICE(GEN_CardinalOrOid, CardinalOrOid_alts))
static const Alt PosIntOrOid_alts[] = {
    {1, FLAT(GEN_PosIntOrOid, u.oid)},
    {2, FLAT(GEN_PosIntOrOid, u.positive)},
};
STRUCT(PosIntOrOid, GEN_PosIntOrOid, CHOICE(GEN_PosIntOrOid, PosIntOrOid_alts))
static const Alt CardinalOrNoid_alts[] = {
    {1, FLAT(GEN_CardinalOrNoid, u.cardinal)},
    {2, INLINE(GEN_CardinalOrNoid, u.name_or_oid, NameOrOID)},
};
STRUCT(CardinalOrNoid, GEN_CardinalOrNoid, CHOICE(GEN_CardinalOrNoid, CardinalOrNoid_alts))
static const Alt NumbersUp_alts[] = {
    {1, FLAT(GEN_NumbersUpSupported, u.cardinal)},
    {2, INLINE(GEN_NumbersUpSupported, u.name_or_oid, NameOrOID)},
    {3, FLAT(GEN_NumbersUpSupported, u.range)},
};
STRUCT(NumbersUpSupported, GEN_NumbersUpSupported, CHOICE(GEN_NumbersUpSupported, NumbersUp_alts))

STRUCT(NewJobIdentifier, GEN_NewJobIdentifier,
       INLINE(GEN_NewJobIdentifier, server_name, DistNameString),
       CHARS(GEN_NewJobIdentifier, local_job.value))
STRUCT(DocumentFormat, GEN_DocumentFormat, FLAT(GEN_DocumentFormat, format),
       PTR(GEN_DocumentFormat, text, Text), PTR(GEN_DocumentFormat, name, SimpleName))
STRUCT(OidCardinalMap, GEN_OidCardinalMap, PTR(GEN_OidCardinalMap, oid, Identifier),
       FLAT(GEN_OidCardinalMap, cardinal))

// Simple lists.
LIST(SetOfObjId, GEN_SetOfObjId, FLAT(GEN_SetOfObjId, oid))
LIST(SetOfText, GEN_SetOfText, TEXT(GEN_SetOfText, text))
LIST(SeqOfStrings, GEN_SeqOfStrings, CSTR(GEN_SeqOfStrings, string))
LIST(SeqOfOctetString, GEN_SeqOfOctetString, OCTETS(GEN_SeqOfOctetString, octets))
LIST(DistNameStringSeq, GEN_DistNameStringSeq, INLINE(GEN_DistNameStringSeq, name, DistNameString))
LIST(NameOrOidSeq, GEN_NameOrOidSeq, INLINE(GEN_NameOrOidSeq, name_or_oid, NameOrOID))

// Directory names.
STRUCT(ObjNameComponent, GEN_ObjNameComponent, FLAT(GEN_ObjNameComponent, type),
       OCTETS(GEN_ObjNameComponent, value))
LIST(SetOfObjNameComponent, GEN_SetOfObjNameComponent,
     INLINE(GEN_SetOfObjNameComponent, component, ObjNameComponent))
LIST(IfwRDNSeq, GEN_IfwRDNSeq, PTR(GEN_IfwRDNSeq, rdn, SetOfObjNameComponent))
LIST(SetOfNameComponent, GEN_SetOfNameComponent, FLAT(GEN_SetOfNameComponent, type),
     TEXT(GEN_SetOfNameComponent, value))
static const Alt Name_alts[] = {
    {1, PTR(GEN_Name, rdn_sequence, IfwRDNSeq)},
};
STRUCT(Name, GEN_Name, CHOICE(GEN_Name, Name_alts))

// O/R names.
static const Alt CountryName_alts[] = {
    {1, CHARS(GEN_CountryName, code)},
    {2, CHARS(GEN_CountryName, code)},
};
STRUCT(CountryName, GEN_CountryName, CHOICE(GEN_CountryName, CountryName_alts))
static const Alt DomainName_alts[] = {
    {1, CHARS(GEN_DomainName, name)},
    {2, CHARS(GEN_DomainName, name)},
};
STRUCT(DomainName, GEN_DomainName, CHOICE(GEN_DomainName, DomainName_alts))
STRUCT(NetworkAddress, GEN_NetworkAddress, CHARS(GEN_NetworkAddress, address))
STRUCT(TerminalIdentifier, GEN_TerminalIdentifier, CHARS(GEN_TerminalIdentifier, id))
STRUCT(OrganizationName, GEN_OrganizationName, CHARS(GEN_OrganizationName, name))
STRUCT(NumericUserId, GEN_NumericUserId, CHARS(GEN_NumericUserId, id))
STRUCT(OrganizationUnitName, GEN_OrganizationUnitName, CHARS(GEN_OrganizationUnitName, name))
STRUCT(PersonalName, GEN_PersonalName, CHARS(GEN_PersonalName, surname),
       CHARS(GEN_PersonalName, given_name), CHARS(GEN_PersonalName, initials),
       CHARS(GEN_PersonalName, generation_qualifier))
LIST(OrganizationUnitNames, GEN_OrganizationUnitNames, CHARS(GEN_OrganizationUnitNames, name.name))
STRUCT(DomainDefinedAttr, GEN_DomainDefinedAttr, CHARS(GEN_DomainDefinedAttr, type),
       CHARS(GEN_DomainDefinedAttr, value))
STRUCT(DomainDefinedAttrs, GEN_DomainDefinedAttrs,
       (Field{FieldKind::CountedArray, offsetof(GEN_DomainDefinedAttrs, count), sizeof(uint16_t),
              &T_DomainDefinedAttr, nullptr, 0, offsetof(GEN_DomainDefinedAttrs, attrs),
              GEN_DDA_MAX, "attrs"}))
LIST(ExtensionAttrs, GEN_ExtensionAttrs, FLAT(GEN_ExtensionAttrs, type),
     OCTETS(GEN_ExtensionAttrs, value))
STRUCT(DeliveryAddress, GEN_DeliveryAddress, PTR(GEN_DeliveryAddress, country_name, CountryName),
       PTR(GEN_DeliveryAddress, administration_domain_name, DomainName),
       PTR(GEN_DeliveryAddress, network_address, NetworkAddress),
       PTR(GEN_DeliveryAddress, terminal_identifier, TerminalIdentifier),
       PTR(GEN_DeliveryAddress, private_domain_name, DomainName),
       PTR(GEN_DeliveryAddress, organization_name, OrganizationName),
       PTR(GEN_DeliveryAddress, numeric_user_id, NumericUserId),
       PTR(GEN_DeliveryAddress, personal_name, PersonalName),
       PTR(GEN_DeliveryAddress, organization_unit_names, OrganizationUnitNames),
       PTR(GEN_DeliveryAddress, domain_defined_attrs, DomainDefinedAttrs),
       PTR(GEN_DeliveryAddress, extension_attrs, ExtensionAttrs),
       PTR(GEN_DeliveryAddress, directory_name, Name))

// Profiles.
STRUCT(EventHandlingProfile, GEN_EventHandlingProfile,
       PTR(GEN_EventHandlingProfile, events, SetOfObjId),
       PTR(GEN_EventHandlingProfile, delivery_method, Identifier),
       PTR(GEN_EventHandlingProfile, event_comment, Text),
       PTR(GEN_EventHandlingProfile, delivery_address, DeliveryAddress),
       PTR(GEN_EventHandlingProfile, locale, Locale))
STRUCT(ResultsProfile, GEN_ResultsProfile, PTR(GEN_ResultsProfile, delivery_method, Identifier),
       PTR(GEN_ResultsProfile, results_set_comment, Text),
       PTR(GEN_ResultsProfile, delivery_address, DeliveryAddress),
       PTR(GEN_ResultsProfile, job_copies, Cardinal),
       PTR(GEN_ResultsProfile, output_bin, NameOrOID))

// Documents and files.
STRUCT(External, GEN_External, PTR(GEN_External, direct_reference, Identifier),
       PTR(GEN_External, indirect_reference, Integer), CSTR(GEN_External, data_value_descriptor),
       FLAT(GEN_External, encoding), OCTETS(GEN_External, data), FLAT(GEN_External, unused_bits))
STRUCT(LocationalIdentifier, GEN_LocationalIdentifier, OCTETS(GEN_LocationalIdentifier, p_selector),
       OCTETS(GEN_LocationalIdentifier, s_selector), OCTETS(GEN_LocationalIdentifier, t_selector),
       PTR(GEN_LocationalIdentifier, network_addresses, SeqOfOctetString))
static const Alt AETitle_alts[] = {
    {1, INLINE(GEN_AETitle, u.name, Name)},
    {2, FLAT(GEN_AETitle, u.oid)},
};
STRUCT(AETitle, GEN_AETitle, CHOICE(GEN_AETitle, AETitle_alts))
STRUCT(AEIdentifier, GEN_AEIdentifier, PTR(GEN_AEIdentifier, ae_title, AETitle),
       PTR(GEN_AEIdentifier, locational_identifier, LocationalIdentifier),
       PTR(GEN_AEIdentifier, ap_contexts, SetOfObjId))
STRUCT(QualityOfService, GEN_QualityOfService, PTR(GEN_QualityOfService, reliability, QosLevel),
       PTR(GEN_QualityOfService, security, QosLevel),
       PTR(GEN_QualityOfService, time_limit, Cardinal))
STRUCT(Token, GEN_Token, PTR(GEN_Token, type, Identifier), OCTETS(GEN_Token, value))
STRUCT(FileReference, GEN_FileReference, PTR(GEN_FileReference, application, AEIdentifier),
       OCTETS(GEN_FileReference, specific_reference), FLAT(GEN_FileReference, object_type),
       PTR(GEN_FileReference, quality_of_service, QualityOfService),
       PTR(GEN_FileReference, token, Token))
static const Alt DocumentContent_alts[] = {
    {GEN_CONTENT_INCLUDED, INLINE(GEN_DocumentContent, u.included, External)},
    {GEN_CONTENT_REFERENCED, INLINE(GEN_DocumentContent, u.referenced, FileReference)},
};
STRUCT(DocumentContent, GEN_DocumentContent, CHOICE(GEN_DocumentContent, DocumentContent_alts))

// Pages, media, finishing.
static const Alt PageIdentifier_alts[] = {
    {1, FLAT(GEN_PageIdentifier, u.number)},
    {2, SNAME(GEN_PageIdentifier, u.name)},
    {3, OCTETS(GEN_PageIdentifier, u.tag)},
};
STRUCT(PageIdentifier, GEN_PageIdentifier, CHOICE(GEN_PageIdentifier, PageIdentifier_alts))
STRUCT(PageSelect, GEN_PageSelect, PTR(GEN_PageSelect, first, PageIdentifier),
       PTR(GEN_PageSelect, last, PageIdentifier))
LIST(PageSelectSeq, GEN_PageSelectSeq, INLINE(GEN_PageSelectSeq, select, PageSelect))
STRUCT(PageMediaSelect, GEN_PageMediaSelect, PTR(GEN_PageMediaSelect, pages, PageSelect),
       INLINE(GEN_PageMediaSelect, medium, NameOrOID))
LIST(MediaSelect, GEN_MediaSelect, INLINE(GEN_MediaSelect, select, PageMediaSelect))
STRUCT(InputTrayMedium, GEN_InputTrayMedium, INLINE(GEN_InputTrayMedium, input_tray, NameOrOID),
       INLINE(GEN_InputTrayMedium, medium, NameOrOID))
STRUCT(Surface, GEN_Surface, FLAT(GEN_Surface, sides), PTR(GEN_Surface, imprint, Text))
LIST(SeqOfFinishingProcSpec, GEN_SeqOfFinishingProcSpec, FLAT(GEN_SeqOfFinishingProcSpec, process),
     PTR(GEN_SeqOfFinishingProcSpec, edge, Edge), PTR(GEN_SeqOfFinishingProcSpec, count, Cardinal))
LIST(SeqOfInsertSheet, GEN_SeqOfInsertSheet, PTR(GEN_SeqOfInsertSheet, position, PageIdentifier),
     INLINE(GEN_SeqOfInsertSheet, medium, NameOrOID), PTR(GEN_SeqOfInsertSheet, surface, Surface))
STRUCT(Finishing, GEN_Finishing, FLAT(GEN_Finishing, finishing_type),
       PTR(GEN_Finishing, procedures, SeqOfFinishingProcSpec),
       PTR(GEN_Finishing, insert_sheets, SeqOfInsertSheet))
STRUCT(MediaConsumed, GEN_MediaConsumed, INLINE(GEN_MediaConsumed, medium, NameOrOID),
       FLAT(GEN_MediaConsumed, count))
LIST(MediaConsumedSeq, GEN_MediaConsumedSeq, INLINE(GEN_MediaConsumedSeq, consumed, MediaConsumed))
LIST(Locations, GEN_Locations, FLAT(GEN_Locations, location))
STRUCT(Checkpoint, GEN_Checkpoint, FLAT(GEN_Checkpoint, format),
       PTR(GEN_Checkpoint, document_number, Cardinal), PTR(GEN_Checkpoint, page, PageIdentifier),
       OCTETS(GEN_Checkpoint, data))

// Security.
static const Alt OwnerName_alts[] = {
    {1, INLINE(GEN_OwnerName, u.dist_name, DistNameString)},
    {2, SNAME(GEN_OwnerName, u.simple_name)},
};
STRUCT(OwnerName, GEN_OwnerName, CHOICE(GEN_OwnerName, OwnerName_alts))
STRUCT(Privileges, GEN_Privileges, PTR(GEN_Privileges, owner, OwnerName),
       PTR(GEN_Privileges, groups, SetOfText), PTR(GEN_Privileges, credentials, SeqOfOctetString))
static const Alt PSIS_alts[] = {
    {1, SNAME(GEN_PSISAccessControlList, u.simple_name)},
    {2, OCTETS(GEN_PSISAccessControlList, u.octets)},
};
STRUCT(PSISAccessControlList, GEN_PSISAccessControlList,
       CHOICE(GEN_PSISAccessControlList, PSIS_alts),
       PTR(GEN_PSISAccessControlList, name_type, Integer),
       PTR(GEN_PSISAccessControlList, privilege_level, Integer))
STRUCT(ExtACL, GEN_ExtACL, SNAME(GEN_ExtACL, name), INLINE(GEN_ExtACL, domain, DistNameString),
       FLAT(GEN_ExtACL, name_type), FLAT(GEN_ExtACL, privilege_level))

// Addresses.
static const Field RPCOnc_fields[] = {
    TEXT(GEN_RPCAddress, u.onc.host),      FLAT(GEN_RPCAddress, u.onc.program),
    FLAT(GEN_RPCAddress, u.onc.version),   FLAT(GEN_RPCAddress, u.onc.procedure),
    TEXT(GEN_RPCAddress, u.onc.auth_name),
};
// The ONC alternative as a structure of its own, at the union's offset.
const TypeInfo T_RPCOnc = {
    "RPCOnc", sizeof(GEN_RPCAddress), RPCOnc_fields, VR_N(RPCOnc_fields), false, false};
static const Alt RPCAddress_alts[] = {
    {GEN_RPC_NAME, TEXT(GEN_RPCAddress, u.name)},
    {GEN_RPC_ONC, F(FieldKind::Inline, 0, sizeof(GEN_RPCAddress), &T_RPCOnc, "onc")},
};
STRUCT(RPCAddress, GEN_RPCAddress, CHOICE(GEN_RPCAddress, RPCAddress_alts))
STRUCT(SocketAddress, GEN_SocketAddress, TEXT(GEN_SocketAddress, host),
       FLAT(GEN_SocketAddress, port))

// Filters, preprocessors, drivers, messages.
STRUCT(FastFilterDef, GEN_FastFilterDef, FLAT(GEN_FastFilterDef, filter_type),
       TEXT(GEN_FastFilterDef, command), PTR(GEN_FastFilterDef, input_formats, SetOfObjId),
       PTR(GEN_FastFilterDef, output_format, Identifier))
STRUCT(PreprocessorDefinition, GEN_PreprocessorDefinition, SNAME(GEN_PreprocessorDefinition, name),
       FLAT(GEN_PreprocessorDefinition, type), FLAT(GEN_PreprocessorDefinition, exec_type),
       TEXT(GEN_PreprocessorDefinition, command),
       PTR(GEN_PreprocessorDefinition, arguments, SeqOfStrings))
STRUCT(DriverInfo, GEN_DriverInfo, TEXT(GEN_DriverInfo, name), FLAT(GEN_DriverInfo, environment),
       PTR(GEN_DriverInfo, driver_path, Text), PTR(GEN_DriverInfo, data_file, Text),
       PTR(GEN_DriverInfo, config_file, Text), PTR(GEN_DriverInfo, help_file, Text),
       PTR(GEN_DriverInfo, dependent_files, SeqOfStrings))
static const Alt ErrorMessage_alts[] = {
    {GEN_ERRMSG_TEXT, TEXT(GEN_ErrorMessage, u.text)},
    {GEN_ERRMSG_OCTETS, OCTETS(GEN_ErrorMessage, u.octets)},
};
STRUCT(ErrorMessage, GEN_ErrorMessage, CHOICE(GEN_ErrorMessage, ErrorMessage_alts))

// Values holding attributes, filters and selectors.
#define ATTR(S, m) F(FieldKind::AttrHandle, offsetof(S, m), sizeof(AS_AttrHandle), nullptr, #m)
#define ANY(K, S, m, typefield)                                                                    \
    (Field{FieldKind::K, offsetof(S, m), sizeof(void *), nullptr, nullptr, 0,                      \
           offsetof(S, typefield), 0, #m})
STRUCT(Criteria, GEN_Criteria, ATTR(GEN_Criteria, attribute), FLAT(GEN_Criteria, criterion_type))
STRUCT(IgnoredAttribute, GEN_IgnoredAttribute, ATTR(GEN_IgnoredAttribute, attribute),
       PTR(GEN_IgnoredAttribute, document_number, Cardinal))
// The value type comes before the values: clean-up of a partial copy reads it.
STRUCT(Substrings, GEN_Substrings, FLAT(GEN_Substrings, attribute_type),
       F(FieldKind::ValueType, offsetof(GEN_Substrings, value_type), sizeof(uint32_t), nullptr,
         "value_type"),
       FLAT(GEN_Substrings, match), ANY(AnyValue, GEN_Substrings, initial, value_type),
       ANY(AnyValueList, GEN_Substrings, any, value_type),
       ANY(AnyValue, GEN_Substrings, final, value_type))
static const Alt FilterItem_alts[] = {
    {GEN_ITEM_EQUALITY, ATTR(GEN_FilterItem, u.attribute)},
    {GEN_ITEM_SUBSTRINGS, INLINE(GEN_FilterItem, u.substrings, Substrings)},
    {GEN_ITEM_GREATER_OR_EQUAL, ATTR(GEN_FilterItem, u.attribute)},
    {GEN_ITEM_LESS_OR_EQUAL, ATTR(GEN_FilterItem, u.attribute)},
    {GEN_ITEM_PRESENT, FLAT(GEN_FilterItem, u.present)},
    {GEN_ITEM_SUBSET, ATTR(GEN_FilterItem, u.attribute)},
    {GEN_ITEM_SUPERSET, ATTR(GEN_FilterItem, u.attribute)},
    {GEN_ITEM_INTERSECTION, ATTR(GEN_FilterItem, u.attribute)},
};
STRUCT(FilterItem, GEN_FilterItem, CHOICE(GEN_FilterItem, FilterItem_alts))
static const Alt Filter_alts[] = {
    {GEN_FILTER_ITEM, INLINE(GEN_Filter, u.item, FilterItem)},
    {GEN_FILTER_AND, PTR(GEN_Filter, u.and_set, SetOfFilter)},
    {GEN_FILTER_OR, PTR(GEN_Filter, u.or_set, SetOfFilter)},
    {GEN_FILTER_NOT, PTR(GEN_Filter, u.not_filter, Filter)},
};
STRUCT(Filter, GEN_Filter, CHOICE(GEN_Filter, Filter_alts))
LIST(SetOfFilter, GEN_SetOfFilter, INLINE(GEN_SetOfFilter, filter, Filter))
LIST(SeqOfObjectIdent, GEN_SeqOfObjectIdent, PTR(GEN_SeqOfObjectIdent, ident, ObjectIdent))
STRUCT(Selector, GEN_Selector, PTR(GEN_Selector, object_identifications, SeqOfObjectIdent),
       PTR(GEN_Selector, filter, Filter), PTR(GEN_Selector, time_limit, Cardinal),
       PTR(GEN_Selector, count_limit, Cardinal))

#define VRSYN_ADDRESS(N) &T_##N,
const TypeInfo *const kAllTypes[] = {VRSYN_TYPES(VRSYN_ADDRESS)};
const size_t kAllTypesCount = VR_N(kAllTypes);

} // namespace vrcore::syntax
