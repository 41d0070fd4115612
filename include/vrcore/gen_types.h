/* vrcore value syntaxes: the in-memory form of every attribute value.
 *
 * Every value is a plain C structure. Components a value owns by address
 * are allocated with the allocator the value was made with and freed with
 * the same one. Optional components are null when absent. Sequences and
 * sets are singly linked lists whose nodes hold the address of the next
 * node first, then the element; a list value is its first node.
 * Structures without addresses keep exact sizes, given below in brackets.
 * The functions on these values are declared in gen_copy.h, gen_compare.h,
 * gen_render.h and gen_mail.h; gen.h includes them all. */
#ifndef VRCORE_GEN_TYPES_H
#define VRCORE_GEN_TYPES_H

#include "as.h"
#include "vrtypes.h"

VR_BEGIN_DECLS

/* Status codes of the value syntaxes (facility 0x0E). */
#define GEN_S_NOMEM 0xC00E0068u       /* not enough memory */
#define GEN_S_NULLARG 0xC00E006Bu     /* a required value argument is null */
#define GEN_S_NULLDELETE 0xC00E006Cu  /* the value to delete is null */
#define GEN_S_INITIALISED 0xC00E0078u /* module already initialised */
#define GEN_S_NOTSUPP 0xC00E0085u     /* not supported for this type, kind or combination */
#define GEN_S_BADMODE 0xC00E0092u     /* invalid open mode */
#define GEN_S_NODIR 0xC00E0093u       /* no directory given */
#define GEN_S_INVALID 0xC00E00A0u     /* a choice, kind or length outside its range */
#define GEN_S_NODB 0xC00E00A6u        /* identifier conversion database not opened */
#define GEN_S_COLLATE 0xC00E00C4u     /* the locale's collation failed */

/* Value types: the number naming each syntax, as attribute sets, the
 * descriptors (GENU_AVT2Descriptor) and the registry's "id-syn-" rows
 * (their syntax code) use it. */
#define GEN_VT_BOOLEAN 0
#define GEN_VT_CARDINAL 1
#define GEN_VT_CARDINAL_RANGE 2
#define GEN_VT_COLORANT_SET 3
#define GEN_VT_DELTA_TIME 4
#define GEN_VT_DESCRIPTOR 5
#define GEN_VT_DIST_NAME_STRING 6
#define GEN_VT_DOCUMENT_CONTENT 7
#define GEN_VT_EVENT_HANDLING_PROFILE 8
#define GEN_VT_FONT_REFERENCE 9
#define GEN_VT_OBJECT_IDENTIFIER 10
#define GEN_VT_IGNORED_ATTRIBUTE 11
#define GEN_VT_INTEGER 12
#define GEN_VT_INTEGER_RANGE 13
#define GEN_VT_JOB_IDENTIFIER 14
#define GEN_VT_MAXIMUM_INTEGER 15
#define GEN_VT_MESSAGE 16
#define GEN_VT_MINIMUM_INTEGER 17
#define GEN_VT_NAME_OR_OID 18
#define GEN_VT_NUMBERS_UP_SUPPORTED 19
#define GEN_VT_OCTET_STRING 20
#define GEN_VT_PAGE_ID_TYPE 21
#define GEN_VT_POSITIVE_INTEGER 22
#define GEN_VT_REAL 23
#define GEN_VT_REALIZATION 24
#define GEN_VT_REAL_RANGE 25
#define GEN_VT_SIDES 26
#define GEN_VT_SIMPLE_NAME 27
#define GEN_VT_TEXT 28
#define GEN_VT_AREA 29
#define GEN_VT_AREA_SEQUENCE 30
#define GEN_VT_CARDINAL64 31
#define GEN_VT_CARDINAL64_RANGE 32
#define GEN_VT_OID_CARDINAL_MAP 33
#define GEN_VT_CARDINAL_OR_NAME_OR_OID 34
#define GEN_VT_CARDINAL_OR_OID 35
#define GEN_VT_CATEGORY_SET 36
#define GEN_VT_CRITERIA 37
#define GEN_VT_DELIVERY_ADDRESS 39
#define GEN_VT_DESCRIPTIVE_NAME 40
#define GEN_VT_DIMENSION 41
#define GEN_VT_DIST_NAME_STRING_SEQUENCE 42
#define GEN_VT_DOC_FORMAT 43
#define GEN_VT_EDGE 44
#define GEN_VT_FILE_REFERENCE 45
#define GEN_VT_FINISHING 46
#define GEN_VT_FONT_SUBSTITUTION 47
#define GEN_VT_GENERALIZED_TIME 48
#define GEN_VT_INPUT_TRAY_MEDIUM 49
#define GEN_VT_INTEGER_SEQUENCE 50
#define GEN_VT_JOB_CATEGORIES 51
#define GEN_VT_JOB_LEVEL 52
#define GEN_VT_JOB_PASSWORD 53
#define GEN_VT_LEVEL_RANGE 54
#define GEN_VT_LOCALE 55
#define GEN_VT_LOCATIONS 56
#define GEN_VT_MEDIUM_DIMENSIONS 57
#define GEN_VT_MEDIUM_SOURCE_SIZE 58
#define GEN_VT_MEDIUM_SUBSTITUTION 59
#define GEN_VT_NAME_OR_OID_SEQUENCE 60
#define GEN_VT_NEW_JOB_IDENTIFIER 61
#define GEN_VT_NON_NEGATIVE_REAL 62
#define GEN_VT_NON_NEGATIVE_REAL_RANGE 63
#define GEN_VT_OBJECT_IDENTIFICATION 64
#define GEN_VT_OBJECT_IDENTIFIER_SEQUENCE 65
#define GEN_VT_OUTPUT_BINS_CHARACTERISTICS 66
#define GEN_VT_PAGE_MEDIA_SELECT 67
#define GEN_VT_PAGE_ORDER_TYPE 68
#define GEN_VT_PAGE_SELECT 69
#define GEN_VT_PAGE_SIZE 70
#define GEN_VT_PERCENT 71
#define GEN_VT_POSITIVE_INTEGER_OR_OID 72
#define GEN_VT_PRESENTATION_DIRECTION 73
#define GEN_VT_PRINT_CHECKPOINT 74
#define GEN_VT_PRIORITY 75
#define GEN_VT_PRIVILEGES 76
#define GEN_VT_RDN_SEQUENCE 77
#define GEN_VT_REAL_SEQUENCE 78
#define GEN_VT_RESOURCE 79
#define GEN_VT_RESOURCE_CONTEXT 80
#define GEN_VT_RESULTS_PROFILE 81
#define GEN_VT_TRANSLATOR_TYPE 83
#define GEN_VT_X_Y_DIMENSIONS 84
#define GEN_VT_PSIS_ACCESS_CONTROL_LIST 85
#define GEN_VT_RPC_ADDRESS 86
#define GEN_VT_SOCKET_ADDRESS 87
#define GEN_VT_FAST_FILTER 88
#define GEN_VT_ACCESS_CONTROL_LIST 89
#define GEN_VT_MEDIA_CONSUMED 90
#define GEN_VT_MEDIA_CONSUMED_SEQ 91
#define GEN_VT_PREPROCESSOR_DEFINITION 92
#define GEN_VT_OBJECT_IDENTIFIER_SET 93
#define GEN_VT_DRIVER_INFO 94

/* ---- Scalar syntaxes ------------------------------------------------- */

typedef int32_t GEN_Boolean; /* 0 false, non-zero true */
typedef uint32_t GEN_Cardinal;
typedef uint32_t GEN_DeltaTime;       /* seconds */
typedef GENU_ShortOID GEN_Identifier; /* object identifier */
typedef int32_t GEN_Integer;
typedef int32_t GEN_MaximumInteger;
typedef int32_t GEN_MinimumInteger;
typedef int32_t GEN_PageIdType; /* 1 numeric, 2 alphanumeric, 3 tag */
typedef uint32_t GEN_PositiveInteger;
typedef int32_t GEN_Realization;
typedef int32_t GEN_Edge; /* 0 bottom, 1 right, 2 top, 3 left */
typedef int32_t GEN_PageOrderType;
typedef uint16_t GEN_Sides;
typedef int16_t GEN_Percent;
typedef int16_t GEN_Priority;
typedef double GEN_Real;
typedef double GEN_NonNegativeReal;
typedef int32_t GEN_QosLevel;      /* quality-of-service level */
typedef int32_t GEN_CriterionType; /* how a criterion compares: 0 equal, 1 less, 2 greater... */

typedef struct GEN_CardinalRange {
    uint32_t lower;
    uint32_t upper;
} GEN_CardinalRange;
typedef struct GEN_IntegerRange {
    int32_t lower;
    int32_t upper;
} GEN_IntegerRange;
typedef struct GEN_RealRange {
    double lower;
    double upper;
} GEN_RealRange;
typedef GEN_RealRange GEN_NonNegativeRealRange;
typedef struct GEN_MediumDimensions {
    double x;
    double y;
} GEN_MediumDimensions;

/* 64-bit cardinal: high word first, whatever the host's order. */
typedef struct GEN_Cardinal64 {
    uint32_t high;
    uint32_t low;
} GEN_Cardinal64;
typedef struct GEN_Cardinal64Range {
    GEN_Cardinal64 lower;
    GEN_Cardinal64 upper;
} GEN_Cardinal64Range;

/* ---- Strings --------------------------------------------------------- */

/* Byte string: length never negative; value null when the length is 0.
 * Copies keep one extra NUL byte after the data. */
typedef struct GEN_OctetString {
    int32_t length;
    unsigned char *value;
} GEN_OctetString;

/* Kinds of texts and simple names. */
#define GEN_KIND_IRV 1     /* NUL-terminated ISO 646 IRV string */
#define GEN_KIND_STRING 2  /* NUL-terminated string */
#define GEN_KIND_LATIN1 3  /* counted ISO Latin-1 bytes */
#define GEN_KIND_OCTETS 4  /* counted bytes */
#define GEN_KIND_CODESET 5 /* counted bytes in a code set (charset, 0 = local) */

/* Text (also descriptor and message). Kinds 1 and 2 use string, 3 to 5
 * octets; charset is the code set's short identifier for kind 5. */
typedef struct GEN_Text {
    int32_t kind;
    union {
        char *string;
        GEN_OctetString octets;
    } u;
    GENU_ShortOID charset;
} GEN_Text;
typedef GEN_Text GEN_Descriptor;
typedef GEN_Text GEN_Message;

#define GEN_SIMPLE_NAME_MAX 255 /* characters or bytes of a simple name */
#define GEN_TEXT_MAX 4095       /* characters or bytes of a made text */

/* Simple name (also descriptive name) [268 bytes]: kinds 1 and 2 hold a
 * NUL-terminated string of at most 255 characters inline, kinds 3 to 5 a
 * 16-bit length (0..255) and the bytes inline, without NUL. */
typedef struct GEN_SimpleName {
    int32_t kind;
    union {
        char string[260];
        struct {
            uint16_t length;
            unsigned char value[258];
        } counted;
    } u;
    GENU_ShortOID charset;
} GEN_SimpleName;
typedef GEN_SimpleName GEN_DescriptiveName;

/* Name or object identifier [272 bytes]: choice 1 oid, 2 name. */
#define GEN_NOID_OID 1
#define GEN_NOID_NAME 2
typedef struct GEN_NameOrOID {
    int32_t choice;
    union {
        GENU_ShortOID oid;
        GEN_SimpleName name;
    } u;
} GEN_NameOrOID;

/* Distinguished name string: the name and, when known, its name syntax
 * (a name or OID, usually an id-val-dist-name-syntax identifier). */
typedef struct GEN_DistNameString {
    GEN_Text name;
    GEN_NameOrOID *syntax;
} GEN_DistNameString;

/* Job identifier [256 bytes]: NUL-terminated, at most 255 characters. */
#define GEN_JOB_ID_MAX 255
typedef struct GEN_JobIdentifier {
    char value[256];
} GEN_JobIdentifier;

/* Document identifier: the job and, optionally, the document number. */
typedef struct GEN_DocumentIdentifier {
    GEN_JobIdentifier job;
    uint32_t *document_number;
} GEN_DocumentIdentifier;

/* Font reference [272 bytes]: choice 1 simple name, 2 global name (oid). */
#define GEN_FONT_SIMPLE_NAME 1
#define GEN_FONT_GLOBAL_NAME 2
typedef struct GEN_FontReference {
    int32_t choice;
    union {
        GEN_SimpleName simple_name;
        GENU_ShortOID global_name;
    } u;
} GEN_FontReference;

/* Object identification: one of seven ways to name an object. */
#define GEN_OBJID_JOB_ID 1
#define GEN_OBJID_DOCUMENT_ID 2
#define GEN_OBJID_OID 3
#define GEN_OBJID_DIST_NAME 4
#define GEN_OBJID_FONT_REF 5
#define GEN_OBJID_NAME_OR_OID 6
#define GEN_OBJID_SIMPLE_NAME 7
typedef struct GEN_ObjectIdent {
    int32_t choice;
    union {
        GEN_JobIdentifier job_id;
        GEN_DocumentIdentifier document_id;
        GENU_ShortOID oid;
        GEN_DistNameString dist_name;
        GEN_FontReference font_ref;
        GEN_NameOrOID name_or_oid;
        GEN_SimpleName simple_name;
    } u;
} GEN_ObjectIdent;

/* Cardinal or OID: choice 1 cardinal, 2 oid. */
typedef struct GEN_CardinalOrOid {
    int32_t choice;
    union {
        uint32_t cardinal;
        GENU_ShortOID oid;
    } u;
} GEN_CardinalOrOid;

/* Positive integer or OID: choice 1 oid, 2 positive integer. */
typedef struct GEN_PosIntOrOid {
    int32_t choice;
    union {
        GENU_ShortOID oid;
        uint32_t positive;
    } u;
} GEN_PosIntOrOid;

/* Cardinal or name or OID [276 bytes]: choice 1 cardinal, 2 name or oid. */
typedef struct GEN_CardinalOrNoid {
    int32_t choice;
    union {
        uint32_t cardinal;
        GEN_NameOrOID name_or_oid;
    } u;
} GEN_CardinalOrNoid;

/* Numbers up supported [276 bytes]: choice 1 cardinal, 2 name or oid,
 * 3 cardinal range. */
typedef struct GEN_NumbersUpSupported {
    int32_t choice;
    union {
        uint32_t cardinal;
        GEN_NameOrOID name_or_oid;
        GEN_CardinalRange range;
    } u;
} GEN_NumbersUpSupported;

/* New job identifier: the server's name and the server-local job. */
typedef struct GEN_NewJobIdentifier {
    GEN_DistNameString server_name;
    GEN_JobIdentifier local_job;
} GEN_NewJobIdentifier;

/* Document format: the format and an optional text and name. */
typedef struct GEN_DocumentFormat {
    GENU_ShortOID format;
    GEN_Text *text;
    GEN_SimpleName *name;
} GEN_DocumentFormat;

/* Cardinal map: an optional identifier mapped to a cardinal. */
typedef struct GEN_OidCardinalMap {
    GENU_ShortOID *oid;
    uint32_t cardinal;
} GEN_OidCardinalMap;

/* Generalized time [20 bytes]. With utc 1 the year counts from 1900 and
 * mindiff is 0; otherwise the year is full and mindiff the minutes to add
 * to reach UTC. */
typedef struct GEN_GeneralizedTime {
    int16_t year;
    int16_t month; /* 1..12 */
    int16_t day;
    int16_t hour;
    int16_t minute;
    int16_t second;
    int16_t millisecond;
    int16_t mindiff;
    int32_t utc;
} GEN_GeneralizedTime;

/* ---- Lists of simple elements ---------------------------------------- */

/* Set or sequence of object identifiers (also the application contexts of
 * an entity). */
typedef struct GEN_SetOfObjId {
    struct GEN_SetOfObjId *next;
    GENU_ShortOID oid;
} GEN_SetOfObjId;
typedef GEN_SetOfObjId GEN_SetOfOids;
typedef GEN_SetOfObjId GEN_SeqOfObjId;
typedef GEN_SetOfObjId GEN_APContexts;

typedef struct GEN_SetOfText {
    struct GEN_SetOfText *next;
    GEN_Text text;
} GEN_SetOfText;

/* Sequence of NUL-terminated strings. */
typedef struct GEN_SeqOfStrings {
    struct GEN_SeqOfStrings *next;
    char *string;
} GEN_SeqOfStrings;

typedef struct GEN_SeqOfOctetString {
    struct GEN_SeqOfOctetString *next;
    GEN_OctetString octets;
} GEN_SeqOfOctetString;
typedef GEN_SeqOfOctetString GEN_SetOfOctetStrings;

typedef struct GEN_DistNameStringSeq {
    struct GEN_DistNameStringSeq *next;
    GEN_DistNameString name;
} GEN_DistNameStringSeq;

typedef struct GEN_NameOrOidSeq {
    struct GEN_NameOrOidSeq *next;
    GEN_NameOrOID name_or_oid;
} GEN_NameOrOidSeq;

/* ---- Directory names ------------------------------------------------- */

/* One attribute type and value of a relative distinguished name; the
 * value is kept as its BER encoding. */
typedef struct GEN_ObjNameComponent {
    GENU_ShortOID type;
    GEN_OctetString value;
} GEN_ObjNameComponent;

/* Relative distinguished name: a set of name components. */
typedef struct GEN_SetOfObjNameComponent {
    struct GEN_SetOfObjNameComponent *next;
    GEN_ObjNameComponent component;
} GEN_SetOfObjNameComponent;
typedef GEN_SetOfObjNameComponent GEN_IfwRDN;

/* Sequence of relative distinguished names (also the rdn sequence). */
typedef struct GEN_IfwRDNSeq {
    struct GEN_IfwRDNSeq *next;
    GEN_IfwRDN *rdn;
} GEN_IfwRDNSeq;
typedef GEN_IfwRDNSeq GEN_RdnSeq;

/* A set of name components given as text: attribute type and text. */
typedef struct GEN_SetOfNameComponent {
    struct GEN_SetOfNameComponent *next;
    GENU_ShortOID type;
    GEN_Text value;
} GEN_SetOfNameComponent;

/* Directory name: choice 1 rdn sequence (the only one). */
typedef struct GEN_Name {
    int32_t choice;
    GEN_IfwRDNSeq *rdn_sequence;
} GEN_Name;

/* ---- X.400 O/R names (delivery addresses) ---------------------------- */

/* Country name [8 bytes]: choice 1 X.121 numeric code (3 digits),
 * 2 ISO 3166 alpha-2 code; NUL-terminated. */
typedef struct GEN_CountryName {
    int32_t choice;
    char code[4];
} GEN_CountryName;

/* Administration or private domain name [24 bytes]: choice 1 numeric,
 * 2 printable; at most 16 characters. */
typedef struct GEN_DomainName {
    int32_t choice;
    char name[17];
} GEN_DomainName;

typedef struct GEN_NetworkAddress {
    char address[16];
} GEN_NetworkAddress; /* X.121, <= 15 */
typedef struct GEN_TerminalIdentifier {
    char id[25];
} GEN_TerminalIdentifier; /* <= 24 */
typedef struct GEN_OrganizationName {
    char name[65];
} GEN_OrganizationName; /* <= 64 */
typedef struct GEN_NumericUserId {
    char id[33];
} GEN_NumericUserId; /* <= 32 */
typedef struct GEN_OrganizationUnitName {
    char name[33];
} GEN_OrganizationUnitName; /* <= 32 */

/* Personal name [68 bytes]: absent optional parts are empty strings. */
typedef struct GEN_PersonalName {
    char surname[41];
    char given_name[17];
    char initials[6];
    char generation_qualifier[4];
} GEN_PersonalName;

typedef struct GEN_OrganizationUnitNames {
    struct GEN_OrganizationUnitNames *next;
    GEN_OrganizationUnitName name;
} GEN_OrganizationUnitNames;

/* Domain-defined attribute [138 bytes]: type (<= 8) and printable value
 * (<= 128), NUL-terminated. */
typedef struct GEN_DomainDefinedAttr {
    char type[9];
    char value[129];
} GEN_DomainDefinedAttr;

/* Domain-defined attributes [554 bytes]: count 0..4. */
#define GEN_DDA_MAX 4
typedef struct GEN_DomainDefinedAttrs {
    uint16_t count;
    GEN_DomainDefinedAttr attrs[GEN_DDA_MAX];
} GEN_DomainDefinedAttrs;

/* Extension attributes: type and the BER encoding of the value. */
typedef struct GEN_ExtensionAttrs {
    struct GEN_ExtensionAttrs *next;
    int32_t type;
    GEN_OctetString value;
} GEN_ExtensionAttrs;

/* Delivery address: an O/R name. */
typedef struct GEN_DeliveryAddress {
    GEN_CountryName *country_name;
    GEN_DomainName *administration_domain_name;
    GEN_NetworkAddress *network_address;
    GEN_TerminalIdentifier *terminal_identifier;
    GEN_DomainName *private_domain_name;
    GEN_OrganizationName *organization_name;
    GEN_NumericUserId *numeric_user_id;
    GEN_PersonalName *personal_name;
    GEN_OrganizationUnitNames *organization_unit_names;
    GEN_DomainDefinedAttrs *domain_defined_attrs;
    GEN_ExtensionAttrs *extension_attrs;
    GEN_Name *directory_name;
} GEN_DeliveryAddress;

/* ---- Profiles, locale ------------------------------------------------ */

/* Locale [16 bytes]: language and territory (0..2 characters each, the
 * length first) and the code set; reserved is 0. */
typedef struct GEN_Locale {
    uint16_t language_length;
    char language[2];
    uint16_t territory_length;
    char territory[2];
    GENU_ShortOID code_set;
    uint32_t reserved;
} GEN_Locale;

typedef struct GEN_EventHandlingProfile {
    GEN_SetOfObjId *events;
    GENU_ShortOID *delivery_method;
    GEN_Text *event_comment;
    GEN_DeliveryAddress *delivery_address;
    GEN_Locale *locale;
} GEN_EventHandlingProfile;

typedef struct GEN_ResultsProfile {
    GENU_ShortOID *delivery_method;
    GEN_Text *results_set_comment;
    GEN_DeliveryAddress *delivery_address;
    uint32_t *job_copies; /* absent means 1 */
    GEN_NameOrOID *output_bin;
} GEN_ResultsProfile;

/* ---- Documents and files --------------------------------------------- */

/* ASN.1 EXTERNAL: references, descriptor and the encoded data. */
#define GEN_EXTERNAL_SINGLE_ASN1 1
#define GEN_EXTERNAL_OCTET_ALIGNED 2
#define GEN_EXTERNAL_ARBITRARY 3
typedef struct GEN_External {
    GENU_ShortOID *direct_reference;
    int32_t *indirect_reference;
    char *data_value_descriptor;
    int32_t encoding;     /* 1..3 */
    GEN_OctetString data; /* encoding 1: one BER value; 3: bit string bytes */
    uint32_t unused_bits; /* encoding 3: unused bits of the last byte, 0..7 */
} GEN_External;

/* Presentation address of an application entity. */
typedef struct GEN_LocationalIdentifier {
    GEN_OctetString p_selector;
    GEN_OctetString s_selector;
    GEN_OctetString t_selector;
    GEN_SetOfOctetStrings *network_addresses;
} GEN_LocationalIdentifier;

/* Application entity title: choice 1 directory name, 2 object identifier. */
typedef struct GEN_AETitle {
    int32_t choice;
    union {
        GEN_Name name;
        GENU_ShortOID oid;
    } u;
} GEN_AETitle;

typedef struct GEN_AEIdentifier {
    GEN_AETitle *ae_title;
    GEN_LocationalIdentifier *locational_identifier;
    GEN_APContexts *ap_contexts;
} GEN_AEIdentifier;

typedef struct GEN_QualityOfService {
    GEN_QosLevel *reliability;
    GEN_QosLevel *security;
    uint32_t *time_limit; /* seconds */
} GEN_QualityOfService;

typedef struct GEN_Token {
    GENU_ShortOID *type;
    GEN_OctetString value;
} GEN_Token;

/* File reference: where a referenced document can be fetched. */
typedef struct GEN_FileReference {
    GEN_AEIdentifier *application; /* optional */
    GEN_OctetString specific_reference;
    GENU_ShortOID object_type;
    GEN_QualityOfService *quality_of_service; /* optional */
    GEN_Token *token;                         /* optional */
} GEN_FileReference;

/* Document content: choice 1 included document, 2 referenced document. */
#define GEN_CONTENT_INCLUDED 1
#define GEN_CONTENT_REFERENCED 2
typedef struct GEN_DocumentContent {
    int32_t choice;
    union {
        GEN_External included;
        GEN_FileReference referenced;
    } u;
} GEN_DocumentContent;

/* ---- Pages, media, finishing ----------------------------------------- */

/* Page identifier: choice 1 numeric, 2 alphanumeric, 3 tag. */
typedef struct GEN_PageIdentifier {
    int32_t choice;
    union {
        uint32_t number;
        GEN_SimpleName name;
        GEN_OctetString tag;
    } u;
} GEN_PageIdentifier;

/* Page selection: a range of pages, either end optional. */
typedef struct GEN_PageSelect {
    GEN_PageIdentifier *first;
    GEN_PageIdentifier *last;
} GEN_PageSelect;

typedef struct GEN_PageSelectSeq {
    struct GEN_PageSelectSeq *next;
    GEN_PageSelect select;
} GEN_PageSelectSeq;

/* The medium for a selection of pages (all pages when absent). */
typedef struct GEN_PageMediaSelect {
    GEN_PageSelect *pages;
    GEN_NameOrOID medium;
} GEN_PageMediaSelect;

typedef struct GEN_MediaSelect {
    struct GEN_MediaSelect *next;
    GEN_PageMediaSelect select;
} GEN_MediaSelect;

typedef struct GEN_InputTrayMedium {
    GEN_NameOrOID input_tray;
    GEN_NameOrOID medium;
} GEN_InputTrayMedium;

/* A sheet surface: which side and an optional imprint. */
typedef struct GEN_Surface {
    GEN_Sides sides;
    GEN_Text *imprint;
} GEN_Surface;

typedef struct GEN_SeqOfFinishingProcSpec {
    struct GEN_SeqOfFinishingProcSpec *next;
    GENU_ShortOID process;
    GEN_Edge *edge;
    uint32_t *count;
} GEN_SeqOfFinishingProcSpec;

typedef struct GEN_SeqOfInsertSheet {
    struct GEN_SeqOfInsertSheet *next;
    GEN_PageIdentifier *position;
    GEN_NameOrOID medium;
    GEN_Surface *surface;
} GEN_SeqOfInsertSheet;

typedef struct GEN_Finishing {
    GENU_ShortOID finishing_type;
    GEN_SeqOfFinishingProcSpec *procedures;
    GEN_SeqOfInsertSheet *insert_sheets;
} GEN_Finishing;

typedef struct GEN_MediaConsumed {
    GEN_NameOrOID medium;
    uint32_t count;
} GEN_MediaConsumed;

typedef struct GEN_MediaConsumedSeq {
    struct GEN_MediaConsumedSeq *next;
    GEN_MediaConsumed consumed;
} GEN_MediaConsumedSeq;

/* Dimension: a value and its unit (an identifier). */
typedef struct GEN_Dimension {
    GENU_ShortOID unit;
    double value;
} GEN_Dimension;

typedef struct GEN_XYDimensions {
    GEN_Dimension x;
    GEN_Dimension y;
} GEN_XYDimensions;

typedef struct GEN_Locations {
    struct GEN_Locations *next;
    GEN_XYDimensions location;
} GEN_Locations;

/* Print checkpoint: format, position and the opaque state. */
typedef struct GEN_Checkpoint {
    GENU_ShortOID format;
    uint32_t *document_number;
    GEN_PageIdentifier *page;
    GEN_OctetString data;
} GEN_Checkpoint;

/* ---- Security -------------------------------------------------------- */

/* Owner name: choice 1 distinguished name string, 2 simple name. */
typedef struct GEN_OwnerName {
    int32_t choice;
    union {
        GEN_DistNameString dist_name;
        GEN_SimpleName simple_name;
    } u;
} GEN_OwnerName;

typedef struct GEN_Privileges {
    GEN_OwnerName *owner;
    GEN_SetOfText *groups;
    GEN_SeqOfOctetString *credentials;
} GEN_Privileges;

/* Name types and privilege levels of access control entries. */
#define GEN_ACL_ALL_USERS 0
#define GEN_ACL_USER 1
#define GEN_ACL_GROUP 2
#define GEN_ACL_NETGROUP 3
#define GEN_ACL_END_USER 1
#define GEN_ACL_OPERATOR 2
#define GEN_ACL_ADMINISTRATOR 3

/* Access control list entry, list form: choice 1 simple name, 2 octet
 * string; optional name type and privilege level. */
typedef struct GEN_PSISAccessControlList {
    int32_t choice;
    union {
        GEN_SimpleName simple_name;
        GEN_OctetString octets;
    } u;
    int32_t *name_type;
    int32_t *privilege_level;
} GEN_PSISAccessControlList;

/* Extended access control list entry. */
typedef struct GEN_ExtACL {
    GEN_SimpleName name;
    GEN_DistNameString domain;
    int32_t name_type;
    int32_t privilege_level;
} GEN_ExtACL;

/* ---- Addresses ------------------------------------------------------- */

/* RPC address: choice 1 a name, 2 an ONC RPC service. */
#define GEN_RPC_NAME 1
#define GEN_RPC_ONC 2
typedef struct GEN_RPCAddress {
    int32_t choice;
    union {
        GEN_Text name;
        struct {
            GEN_Text host;
            uint32_t program;
            uint32_t version;
            uint32_t procedure;
            GEN_Text auth_name;
        } onc;
    } u;
} GEN_RPCAddress;

typedef struct GEN_SocketAddress {
    GEN_Text host;
    uint32_t port;
} GEN_SocketAddress;

/* ---- Filters, preprocessors, drivers, messages ----------------------- */

/* Fast filter definition: a filter program turning input formats into an
 * output format. */
typedef struct GEN_FastFilterDef {
    GENU_ShortOID filter_type;
    GEN_Text command;
    GEN_SetOfObjId *input_formats;
    GENU_ShortOID *output_format;
} GEN_FastFilterDef;

typedef struct GEN_PreprocessorDefinition {
    GEN_SimpleName name;
    GENU_ShortOID type;
    GENU_ShortOID exec_type;
    GEN_Text command;
    GEN_SeqOfStrings *arguments;
} GEN_PreprocessorDefinition;

typedef struct GEN_DriverInfo {
    GEN_Text name;
    GENU_ShortOID environment;
    GEN_Text *driver_path;
    GEN_Text *data_file;
    GEN_Text *config_file;
    GEN_Text *help_file;
    GEN_SeqOfStrings *dependent_files;
} GEN_DriverInfo;

/* Error message: choice 1 text, 2 octet string. */
#define GEN_ERRMSG_TEXT 1
#define GEN_ERRMSG_OCTETS 2
typedef struct GEN_ErrorMessage {
    int32_t choice;
    union {
        GEN_Text text;
        GEN_OctetString octets;
    } u;
} GEN_ErrorMessage;

/* ---- Values holding attributes ---------------------------------------
 * An attribute inside a value lives in a set of its own that the value
 * owns: copying the value copies the attribute into a new set made with
 * the copy's allocator, deleting the value destroys that set. A null
 * handle is an absent attribute. */

/* Criteria: the attribute whose values are the criterion, and how values
 * are compared with them. */
typedef struct GEN_Criteria {
    AS_AttrHandle attribute;
    GEN_CriterionType criterion_type;
} GEN_Criteria;

/* An attribute a server ignored, with the document it belonged to. */
typedef struct GEN_IgnoredAttribute {
    AS_AttrHandle attribute;
    uint32_t *document_number;
} GEN_IgnoredAttribute;

/* A sequence of values of the syntax that the enclosing structure names. */
typedef struct GEN_SeqOfValues {
    struct GEN_SeqOfValues *next;
    void *value;
} GEN_SeqOfValues;

/* Substring match of a filter: values of value_type, which must be the
 * attribute's syntax. */
#define GEN_MATCH_EXACT 0
#define GEN_MATCH_CASE_INSENSITIVE 1
#define GEN_MATCH_SAME_LETTER 2
#define GEN_MATCH_APPROXIMATE 3
typedef struct GEN_Substrings {
    GENU_ShortOID attribute_type;
    uint32_t value_type;
    int32_t match;
    void *initial;        /* optional */
    GEN_SeqOfValues *any; /* optional */
    void *final;          /* optional */
} GEN_Substrings;

/* Filter item: choices 1, 3, 4, 6, 7, 8 compare with the values of an
 * attribute, 2 matches substrings, 5 tests the presence of an attribute. */
#define GEN_ITEM_EQUALITY 1
#define GEN_ITEM_SUBSTRINGS 2
#define GEN_ITEM_GREATER_OR_EQUAL 3
#define GEN_ITEM_LESS_OR_EQUAL 4
#define GEN_ITEM_PRESENT 5
#define GEN_ITEM_SUBSET 6
#define GEN_ITEM_SUPERSET 7
#define GEN_ITEM_INTERSECTION 8
typedef struct GEN_FilterItem {
    int32_t choice;
    union {
        AS_AttrHandle attribute;
        GEN_Substrings substrings;
        GENU_ShortOID present;
    } u;
} GEN_FilterItem;

/* Filter: choice 1 item, 2 and, 3 or, 4 not. Values nest at most
 * GEN_MAX_NESTING structures deep. */
#define GEN_FILTER_ITEM 1
#define GEN_FILTER_AND 2
#define GEN_FILTER_OR 3
#define GEN_FILTER_NOT 4
#define GEN_MAX_NESTING 256
struct GEN_SetOfFilter;
typedef struct GEN_Filter {
    int32_t choice;
    union {
        GEN_FilterItem item;
        struct GEN_SetOfFilter *and_set;
        struct GEN_SetOfFilter *or_set;
        struct GEN_Filter *not_filter;
    } u;
} GEN_Filter;

typedef struct GEN_SetOfFilter {
    struct GEN_SetOfFilter *next;
    GEN_Filter filter;
} GEN_SetOfFilter;

typedef struct GEN_SeqOfObjectIdent {
    struct GEN_SeqOfObjectIdent *next;
    GEN_ObjectIdent *ident;
} GEN_SeqOfObjectIdent;

/* Which objects a list operation reports, all parts optional. */
typedef struct GEN_Selector {
    GEN_SeqOfObjectIdent *object_identifications;
    GEN_Filter *filter;
    uint32_t *time_limit;
    uint32_t *count_limit;
} GEN_Selector;

VR_END_DECLS

#endif /* VRCORE_GEN_TYPES_H */
