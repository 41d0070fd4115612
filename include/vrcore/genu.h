/* vrcore value utilities: value descriptors, the type-to-descriptor map,
 * making values from strings and numbers and extracting strings again.
 * The value structures are in gen.h. */
#ifndef VRCORE_GENU_H
#define VRCORE_GENU_H

#include "gen.h"
#include "vrbm.h"

VR_BEGIN_DECLS

/* ---- Value descriptors ----------------------------------------------- */

/* The descriptor of a value type 0..94, or NULL for a type without one. */
VR_EXPORT const GENU_ValueDescriptor *GENU_AVT2Descriptor(uint32_t type);

#define GENU_DECLARE_DESC(X) VR_EXPORT extern const GENU_ValueDescriptor GENU_##X##Desc;

/* Descriptors of value types. */
GENU_DECLARE_DESC(Boolean)
GENU_DECLARE_DESC(Cardinal)
GENU_DECLARE_DESC(CardinalRange)
GENU_DECLARE_DESC(DeltaTime)
GENU_DECLARE_DESC(Descriptor)
GENU_DECLARE_DESC(DistNameString)
GENU_DECLARE_DESC(DocumentContent)
GENU_DECLARE_DESC(EventHandlingProfile)
GENU_DECLARE_DESC(FontReference)
GENU_DECLARE_DESC(Identifier)
GENU_DECLARE_DESC(IgnoredAttribute)
GENU_DECLARE_DESC(Integer)
GENU_DECLARE_DESC(IntegerRange)
GENU_DECLARE_DESC(JobIdentifier)
GENU_DECLARE_DESC(MaximumInteger)
GENU_DECLARE_DESC(Message)
GENU_DECLARE_DESC(MinimumInteger)
GENU_DECLARE_DESC(NameOrOID)
GENU_DECLARE_DESC(NumbersUpSupported)
GENU_DECLARE_DESC(OctetString)
GENU_DECLARE_DESC(PageIdType)
GENU_DECLARE_DESC(PositiveInteger)
GENU_DECLARE_DESC(Real)
GENU_DECLARE_DESC(Realization)
GENU_DECLARE_DESC(RealRange)
GENU_DECLARE_DESC(Sides)
GENU_DECLARE_DESC(SimpleName)
GENU_DECLARE_DESC(Text)
GENU_DECLARE_DESC(Cardinal64)
GENU_DECLARE_DESC(Cardinal64Range)
GENU_DECLARE_DESC(OidCardinalMap)
GENU_DECLARE_DESC(CardinalOrNoid)
GENU_DECLARE_DESC(CardinalOrOid)
GENU_DECLARE_DESC(Criteria)
GENU_DECLARE_DESC(DeliveryAddress)
GENU_DECLARE_DESC(DescriptiveName)
GENU_DECLARE_DESC(Dimension)
GENU_DECLARE_DESC(DistNameStringSeq)
GENU_DECLARE_DESC(DocumentFormat)
GENU_DECLARE_DESC(Edge)
GENU_DECLARE_DESC(FileReference)
GENU_DECLARE_DESC(Finishing)
GENU_DECLARE_DESC(GeneralizedTime)
GENU_DECLARE_DESC(InputTrayMedium)
GENU_DECLARE_DESC(Locale)
GENU_DECLARE_DESC(Locations)
GENU_DECLARE_DESC(MediumDimensions)
GENU_DECLARE_DESC(NameOrOidSeq)
GENU_DECLARE_DESC(NewJobIdentifier)
GENU_DECLARE_DESC(NonNegativeReal)
GENU_DECLARE_DESC(NonNegativeRealRange)
GENU_DECLARE_DESC(ObjectIdent)
GENU_DECLARE_DESC(MediaSelect)
GENU_DECLARE_DESC(PageOrderType)
GENU_DECLARE_DESC(PageSelectSeq)
GENU_DECLARE_DESC(Percent)
GENU_DECLARE_DESC(PosIntOrOid)
GENU_DECLARE_DESC(Checkpoint)
GENU_DECLARE_DESC(Priority)
GENU_DECLARE_DESC(Privileges)
GENU_DECLARE_DESC(RdnSeq)
GENU_DECLARE_DESC(ResultsProfile)
GENU_DECLARE_DESC(XYDimensions)
GENU_DECLARE_DESC(PSISAccessControlList)
GENU_DECLARE_DESC(RPCAddress)
GENU_DECLARE_DESC(SocketAddress)
GENU_DECLARE_DESC(FastFilterDef)
GENU_DECLARE_DESC(ExtACL)
GENU_DECLARE_DESC(MediaConsumed)
GENU_DECLARE_DESC(MediaConsumedSeq)
GENU_DECLARE_DESC(PreprocessorDefinition)
GENU_DECLARE_DESC(SeqOfObjId)
GENU_DECLARE_DESC(DriverInfo)

/* Descriptors of components without a value type of their own. */
GENU_DECLARE_DESC(AEIdentifier)
GENU_DECLARE_DESC(AETitle)
GENU_DECLARE_DESC(APContexts)
GENU_DECLARE_DESC(CountryName)
GENU_DECLARE_DESC(CriterionType)
GENU_DECLARE_DESC(DocumentIdentifier)
GENU_DECLARE_DESC(DomainDefinedAttr)
GENU_DECLARE_DESC(DomainDefinedAttrs)
GENU_DECLARE_DESC(DomainName)
GENU_DECLARE_DESC(ExtensionAttrs)
GENU_DECLARE_DESC(External)
GENU_DECLARE_DESC(Filter)
GENU_DECLARE_DESC(IfwRDN)
GENU_DECLARE_DESC(IfwRDNSeq)
GENU_DECLARE_DESC(LocationalIdentifier)
GENU_DECLARE_DESC(Name)
GENU_DECLARE_DESC(NetworkAddress)
GENU_DECLARE_DESC(NumericUserId)
GENU_DECLARE_DESC(ObjNameComponent)
GENU_DECLARE_DESC(OrganizationName)
GENU_DECLARE_DESC(OrganizationUnitName)
GENU_DECLARE_DESC(OrganizationUnitNames)
GENU_DECLARE_DESC(OwnerName)
GENU_DECLARE_DESC(PageIdentifier)
GENU_DECLARE_DESC(PageMediaSelect)
GENU_DECLARE_DESC(PageSelect)
GENU_DECLARE_DESC(PersonalName)
GENU_DECLARE_DESC(QosLevel)
GENU_DECLARE_DESC(QualityOfService)
GENU_DECLARE_DESC(Selector)
GENU_DECLARE_DESC(SeqOfFinishingProcSpec)
GENU_DECLARE_DESC(SeqOfInsertSheet)
GENU_DECLARE_DESC(SeqOfOctetString)
GENU_DECLARE_DESC(SeqOfStrings)
GENU_DECLARE_DESC(SetOfFilter)
GENU_DECLARE_DESC(SetOfNameComponent)
GENU_DECLARE_DESC(SetOfObjId)
GENU_DECLARE_DESC(SetOfObjNameComponent)
GENU_DECLARE_DESC(SetOfOctetStrings)
GENU_DECLARE_DESC(SetOfOids)
GENU_DECLARE_DESC(SetOfText)
GENU_DECLARE_DESC(Surface)
GENU_DECLARE_DESC(TerminalIdentifier)
GENU_DECLARE_DESC(Token)

/* ---- Making values ----------------------------------------------------
 * Each returns 0, or 1 with GEN_S_NOMEM or GEN_S_INVALID; a function
 * making a new block stores NULL in its output on failure, an Embedded
 * form leaves the caller's structure cleared. */

/* Octet string holding a copy of the string (length = strlen, the copy
 * keeps its NUL). */
VR_EXPORT int GENU_MakeEmbeddedString(STF_List *status, GEN_OctetString *octets, const char *string,
                                      const GENU_Allocator *alloc);
/* Kind-5 text, charset 0, from a string of at most 4095 characters; a
 * NULL string gives an empty text. */
VR_EXPORT int GENU_MakeEmbeddedText(STF_List *status, GEN_Text *text, const char *string,
                                    const GENU_Allocator *alloc);
VR_EXPORT int GENU_MakeText(STF_List *status, GEN_Text **out, const char *string,
                            const GENU_Allocator *alloc);
/* Kind-5 simple name, charset 0, from a string of at most 255 characters. */
VR_EXPORT int GENU_MakeEmbeddedSimpleName(STF_List *status, GEN_SimpleName *name,
                                          const char *string, const GENU_Allocator *alloc);
VR_EXPORT int GENU_MakeSimpleName(STF_List *status, GEN_SimpleName **out, const char *string,
                                  const GENU_Allocator *alloc);
/* Distinguished name string from a text and an optional name syntax. */
VR_EXPORT int GENU_MakeDistNameString(STF_List *status, GEN_DistNameString **out,
                                      const GEN_Text *text, const GEN_NameOrOID *syntax,
                                      const GENU_Allocator *alloc);
/* From a string; a non-zero syntax becomes a name syntax of choice 1. */
VR_EXPORT int GENU_MakeEmbeddedDistNameString2(STF_List *status, GEN_DistNameString *value,
                                               const char *string, GENU_ShortOID syntax,
                                               const GENU_Allocator *alloc);
VR_EXPORT int GENU_MakeDistNameString2(STF_List *status, GEN_DistNameString **out,
                                       const char *string, GENU_ShortOID syntax,
                                       const GENU_Allocator *alloc);

/* Object identifications of each choice; structured alternatives are
 * deep-copied. */
VR_EXPORT int GENU_MakeObjectIdent_JobId(STF_List *status, GEN_ObjectIdent **out,
                                         const char *job_id, const GENU_Allocator *alloc);
VR_EXPORT int GENU_MakeObjectIdent_DocId(STF_List *status, GEN_ObjectIdent **out,
                                         const GEN_DocumentIdentifier *doc_id,
                                         const GENU_Allocator *alloc);
VR_EXPORT int GENU_MakeObjectIdent_Oid(STF_List *status, GEN_ObjectIdent **out, GENU_ShortOID oid,
                                       const GENU_Allocator *alloc);
VR_EXPORT int GENU_MakeObjectIdent_DistName(STF_List *status, GEN_ObjectIdent **out,
                                            const GEN_DistNameString *dist_name,
                                            const GENU_Allocator *alloc);
VR_EXPORT int GENU_MakeObjectIdent_FontRef(STF_List *status, GEN_ObjectIdent **out,
                                           const GEN_FontReference *font_ref,
                                           const GENU_Allocator *alloc);
VR_EXPORT int GENU_MakeObjectIdent_NameOrOID(STF_List *status, GEN_ObjectIdent **out,
                                             const GEN_NameOrOID *name_or_oid,
                                             const GENU_Allocator *alloc);
VR_EXPORT int GENU_MakeObjectIdent_SimpleName(STF_List *status, GEN_ObjectIdent **out,
                                              const GEN_SimpleName *simple_name,
                                              const GENU_Allocator *alloc);

/* RPC address of choice 1 named by a string. */
VR_EXPORT int GENU_MakeNameRPCAddress(STF_List *status, GEN_RPCAddress **out, const char *name,
                                      const GENU_Allocator *alloc);
/* RPC address of choice 2: host and authentication name as texts, the
 * version and program numbers, procedure 0. The fourth argument is not
 * used. */
VR_EXPORT int GENU_MakeONCRPCAddress(STF_List *status, GEN_RPCAddress **out, const char *host,
                                     const void *unused, uint32_t version, uint32_t program,
                                     const char *auth_name, const GENU_Allocator *alloc);

/* Error message from exactly one of a text (choice 1) or an octet string
 * (choice 2). */
VR_EXPORT int GENU_MakeEmbeddedErrorMsg(STF_List *status, GEN_ErrorMessage *msg,
                                        const GEN_Text *text, const GEN_OctetString *octets,
                                        const GENU_Allocator *alloc);
VR_EXPORT int GENU_MakeErrorMsg(STF_List *status, GEN_ErrorMessage **out, const GEN_Text *text,
                                const GEN_OctetString *octets, const GENU_Allocator *alloc);

/* Extended access control entry from its parts: a NULL or empty name gives
 * an empty name and name type 0; otherwise the name type given or 2. The
 * privilege level given or 1. A NULL or empty domain name gives a domain
 * without name; domain_syntax 0 means none. */
VR_EXPORT int GENU_MakeACL(STF_List *status, GEN_ExtACL **out, const char *name,
                           const char *domain_name, GENU_ShortOID domain_syntax,
                           const int32_t *name_type, const int32_t *privilege_level,
                           const GENU_Allocator *alloc);
/* List-form access control entry of choice 2 (the name as an octet
 * string) with the optional name type and privilege level copied. */
VR_EXPORT int GENU_MakeONCACL(STF_List *status, GEN_PSISAccessControlList **out, const char *name,
                              const int32_t *name_type, const int32_t *privilege_level,
                              const GENU_Allocator *alloc);

/* Extended access control entry from a line of assignments, keywords and
 * values compared without regard to letter case, each keyword at most
 * once, blanks around "=" allowed:
 *   name = WORD
 *   domain = [SYNTAX:]WORD   SYNTAX one of nis dns nisplus file win95 winnt
 *                            ntsecurity any; without it the domain has none
 *   name-type = all-users | user | group | netgroup
 *   privilege-level = end-user | operator | administrator
 * The entry is made as by GENU_MakeACL (process heap). Anything else in the
 * text: GEN_S_INVALID and no entry. */
VR_EXPORT int GENU_eACLFromText(STF_List *status, GEN_ExtACL **out, const char *text);
/* Extended entry from a list-form entry (process heap). The list form's
 * name "user@domain" gives the name and a domain of syntax dns (the domain
 * holds "."), file (it holds "<" or ">") or nis; "@" alone gives an empty
 * name in the domain of syntax any. Name type and privilege level are
 * copied from a choice-1 entry, else 2 and 1. */
VR_EXPORT int GENU_ACLFromPSIS(STF_List *status, GEN_ExtACL **out,
                               const GEN_PSISAccessControlList *entry);
/* List-form entry (choice 1, name type 2, privilege level 1; process heap)
 * named "name@domain" for a domain of syntax nis, dns, file or nisplus,
 * "domain\name" for win95, winnt or ntsecurity, and "name" for an entry
 * without domain. Any other domain: GEN_S_NOTSUPP; a joined name longer
 * than 255 characters: GEN_S_INVALID. */
VR_EXPORT int GENU_ACLToPSIS(STF_List *status, GEN_PSISAccessControlList **out,
                             const GEN_ExtACL *entry);

VR_EXPORT int GENU_MakeMediaConsumed(STF_List *status, GEN_MediaConsumed **out,
                                     const GEN_NameOrOID *medium, uint32_t count,
                                     const GENU_Allocator *alloc);
VR_EXPORT int GENU_MakePreprocessorDefinition(STF_List *status, GEN_PreprocessorDefinition **out,
                                              const GEN_SimpleName *name, GENU_ShortOID type,
                                              GENU_ShortOID exec_type, const GEN_Text *command,
                                              const GEN_SeqOfStrings *arguments,
                                              const GENU_Allocator *alloc);
VR_EXPORT int GENU_MakeDriverInfo(STF_List *status, GEN_DriverInfo **out, const GEN_Text *name,
                                  GENU_ShortOID environment, const GEN_Text *driver_path,
                                  const GEN_Text *data_file, const GEN_Text *config_file,
                                  const GEN_Text *help_file,
                                  const GEN_SeqOfStrings *dependent_files,
                                  const GENU_Allocator *alloc);

/* ---- Extracting strings -----------------------------------------------
 * *out receives a new NUL-terminated string made with the allocator, or
 * NULL on failure (GEN_S_INVALID for a bad kind or length). */

VR_EXPORT int GENU_ExtractText(STF_List *status, char **out, const GEN_Text *text,
                               const GENU_Allocator *alloc);
VR_EXPORT int GENU_ExtractSimpleName(STF_List *status, char **out, const GEN_SimpleName *name,
                                     const GENU_Allocator *alloc);
/* Counted bytes of at most 255 as a string. */
VR_EXPORT int GENU_ExtractOctet255(STF_List *status, char **out, uint16_t length,
                                   const unsigned char *bytes, const GENU_Allocator *alloc);
VR_EXPORT int GENU_ExtractOctetString(STF_List *status, char **out, const GEN_OctetString *octets,
                                      const GENU_Allocator *alloc);
/* The name as by GENU_ExtractText and its name syntax: 0 when none, the
 * identifier of a choice-1 syntax, or the name-syntax table's identifier of
 * a choice-2 syntax name (GENU_NAME_SYNTAX_UNKNOWN when not in the table). */
VR_EXPORT int GENU_ExtractDistNameString(STF_List *status, char **string_out,
                                         GENU_ShortOID *syntax_out, const GEN_DistNameString *value,
                                         const GENU_Allocator *alloc);

/* The identifier of a name syntax given by name ("unix", "x-500", "winnt",
 * ...; letter case ignored), or GENU_NAME_SYNTAX_UNKNOWN. */
#define GENU_NAME_SYNTAX_UNKNOWN 0xFFFFFFFFu
VR_EXPORT GENU_ShortOID GENU_NameSyntaxToShortOID(const char *name);

/* ---- Short object identifiers ------------------------------------------
 * Built in: 1..1092 and 3000..3562; dynamic (registered in the "oid_cvrt"
 * database of the registry directory): 0x80000000 and above; 0: none. */

/* The BER form of an identifier: the content octets of its encoding. */
typedef struct GENU_BerOID {
    uint32_t length;
    const unsigned char *value;
} GENU_BerOID;

/* Opens the dynamic identifier database "oid_cvrt" in a directory; mode 0
 * read-only, 2 read-write. */
VR_EXPORT int GENU_Init(STF_List *status, const char *directory, int mode);
VR_EXPORT void GENU_Term(void);
/* The open database handle (for programs that register identifiers with
 * the VRBM_ functions), or NULL. */
VR_EXPORT VRBM_Db *GENU_GetCvrtHandle(void);

/* Conversions; each returns 0, or 1 with a status in the list. Forms handed
 * out stay valid until GENU_Term and must not be freed. */
VR_EXPORT int GENU_ShortToBerOID(STF_List *status, GENU_ShortOID id, GENU_BerOID *ber_out);
/* The binary form: 0x06, one length octet, the content octets. */
VR_EXPORT int GENU_ShortToBinaryOID(STF_List *status, GENU_ShortOID id,
                                    const unsigned char **binary_out);
/* The name, or "unknown"; never fails. */
VR_EXPORT const char *GENU_ShortOIDToAscii(GENU_ShortOID id);
/* The syntax code of an identifier (the value type of an attribute). */
VR_EXPORT int GENU_AttrIdToType(STF_List *status, GENU_ShortOID id, int32_t *type_out);
VR_EXPORT int GENU_BerToShortOID(STF_List *status, const GENU_BerOID *ber, GENU_ShortOID *out);
VR_EXPORT int GENU_BinaryToShortOID(STF_List *status, const unsigned char *binary,
                                    GENU_ShortOID *out);
VR_EXPORT int GENU_AsciiToShortOID(STF_List *status, const char *name, GENU_ShortOID *out);
/* As GENU_AsciiToShortOID after putting prefix in front of a name that
 * does not begin with it ("job-name", "id-att-" -> "id-att-job-name"). */
VR_EXPORT int GENU_PrefixToShortOID(STF_List *status, const char *name, const char *prefix,
                                    GENU_ShortOID *out);

/* ---- Arithmetic and current time -------------------------------------- */

/* result = first + second, modulo 2^64. Null arguments: nothing done. */
VR_EXPORT void GENU_AddCardinal64(GEN_Cardinal64 *result, const GEN_Cardinal64 *first,
                                  const GEN_Cardinal64 *second);
/* result = first + addend (a negative addend subtracts), modulo 2^64. */
VR_EXPORT void GENU_AddCardinal64Int(GEN_Cardinal64 *result, const GEN_Cardinal64 *first,
                                     int32_t addend);

/* *result = time moved forward (mode GENU_DELTA_ADD) or back
 * (GENU_DELTA_SUBTRACT) by the seconds on the time's own clock; the
 * millisecond, mindiff and utc flag are kept, and a utc time keeps its year
 * counted from 1900. Month, day and year roll over; the process's time zone
 * plays no part. result may be the time itself. Another mode fails (1)
 * without a status code. */
#define GENU_DELTA_ADD 0
#define GENU_DELTA_SUBTRACT 1
VR_EXPORT int GENU_GeneralizedTimeDeltaArithmetic(STF_List *status, const GEN_GeneralizedTime *time,
                                                  GEN_DeltaTime seconds, int32_t mode,
                                                  GEN_GeneralizedTime *result);
VR_EXPORT int GENU_AddDeltaTimeToGeneralizedTime(STF_List *status, const GEN_GeneralizedTime *time,
                                                 GEN_DeltaTime seconds,
                                                 GEN_GeneralizedTime *result);
VR_EXPORT int GENU_SubtractDeltaTimeFromGeneralizedTime(STF_List *status,
                                                        const GEN_GeneralizedTime *time,
                                                        GEN_DeltaTime seconds,
                                                        GEN_GeneralizedTime *result);

/* Reads the process's time-zone setting (TZ) and caches its standard
 * distance from UTC in seconds, west positive; GENU_GetTimeZone returns the
 * cache (0 before the first call). */
VR_EXPORT void GENU_TimeZoneInit(void);
VR_EXPORT long GENU_GetTimeZone(void);

/* *out = a new generalized time (process heap; free with
 * GENU__CoveredFree) holding the current time to the second: with utc
 * non-zero the UTC time, its year counted from 1900; otherwise the local
 * time with its full year and, in mindiff, the minutes to add to reach UTC
 * at this instant. */
VR_EXPORT int GENU_GetCurrentTime(STF_List *status, GEN_GeneralizedTime **out, int32_t utc);
/* ---- Encoding frame -------------------------------------------------- */

/* The calling thread's encoding context, made on first use and released
 * when the thread ends; NULL when it cannot be made. Its first word is the
 * context's allocation function and its third word the release function. */
VR_EXPORT void *GENU_GetWorld(void);

/* The four entry points ignore their first argument (pass NULL) and return
 * 0 on success, else the runtime's non-zero result. Encode sets buffer to
 * {0, NULL} first; its bytes then belong to the caller, released with
 * _GENU__MyFree. Decode sets *structure to NULL first and reads the PDU
 * number from *pdu; release its result with GENU_OssFreePDU. */
VR_EXPORT int GENU_OssEncode(void *ignored, int pdu, const void *structure, GENU_Buffer *buffer);
VR_EXPORT int GENU_OssDecode(void *ignored, int *pdu, const GENU_Buffer *buffer, void **structure);
VR_EXPORT int GENU_OssPrintPDU(void *ignored, int pdu, const void *structure);
VR_EXPORT int GENU_OssFreePDU(void *ignored, int pdu, void *structure);

/* Allocation and release with the thread context's hooks (the heap when
 * the thread has no context). */
VR_EXPORT void *_GENU__MyMalloc(size_t size);
VR_EXPORT void _GENU__MyFree(void *p);

/* [0]: the context-bound pair; [1]: the plain heap pair. */
VR_EXPORT extern const GENU_Allocator genu_ossAllocator[2];
/* Non-zero: every value PDU packed or unpacked is dumped to the log. */
VR_EXPORT extern int32_t GENU__printPDU;
/* Kept for callers; not read by the library. */
VR_EXPORT extern int32_t GENU__ossdbg;

/* Release one block: with the context's release function, or with the
 * allocator (NULL: the heap). Both return 0. */
VR_EXPORT int FreeBER_void(STF_List *status, void *p);
VR_EXPORT int FreeGEN_void(STF_List *status, void *p, const GENU_Allocator *alloc);
/* Pairs of (release routine, object) up to a NULL routine; null objects
 * are skipped. FreeBER routines take (status, object); FreeGEN routines
 * take (status, object, allocator) and receive alloc, or the heap pair
 * when alloc is NULL. Return 0, or 1 when a routine failed. */
typedef int (*GENU_FreeBERFn)(STF_List *status, void *object);
typedef int (*GENU_FreeGENFn)(STF_List *status, void *object, const GENU_Allocator *alloc);
VR_EXPORT int FreeBER_Multiple(STF_List *status, ...);
VR_EXPORT int FreeGEN_Multiple(STF_List *status, const GENU_Allocator *alloc, ...);

/* Status codes of the encoding. */
#define GENU_S_UNPACK_EMPTY 0xC00E0071u /* nothing to unpack, or no PDU */
#define GENU_S_DECODE 0xC00E0072u       /* the octets could not be decoded */
#define GENU_S_ENCODE 0xC00E0073u       /* the value could not be encoded */
#define GENU_S_RELEASE 0xC00E00C1u      /* releasing an intermediate structure failed */
#define GENU_S_INTERNAL 0xC00E00CDu     /* unexpected internal failure (also of GEN_ values) */

/* Attribute value packing: odp.h (included below). */

/* ---- Trace rendering helpers (see the GEN_Echo functions) ------------- */

/* One value: prefix, the value's text, newline; lines of a structured
 * value each begin with the prefix. */
VR_EXPORT int _GENU_EchoAttrValue(STF_List *status, const char *prefix, const void *value,
                                  uint32_t type);
/* "Card-64: n" with the whole 64-bit value. */
VR_EXPORT int _GENU__EchoCardinal64(STF_List *status, const GEN_Cardinal64 *value);
/* A list-form entry: "<level>: <name type>: <name>" ("op: user: bob"). */
VR_EXPORT int _GENU__EchoACL(STF_List *status, const GEN_PSISAccessControlList *entry);
/* An extended entry: the "ExtAccessControlList Name: ", "... Name Type: ",
 * "... Domain: " and "... Privilege Level: " lines. */
VR_EXPORT int _GENU__EchoeACL(STF_List *status, const GEN_ExtACL *entry);
/* The value type's name, or "unknown value type". */
VR_EXPORT const char *_GENU__TypeToAscii(STF_List *status, uint32_t type);
/* "NoOp", " ", "AddValues", "DeleteVals", "SetDefault", "BadOp", or
 * "GetFailed" (with the set module's code added) when it cannot be read. */
VR_EXPORT const char *_GENU__ModifyOpAscii(STF_List *status, AS_AttrHandle attr);
/* "day/month/year hour:minute:second.millisecond diff=mindiff UTC|Not UTC"
 * into the caller's buffer, which is returned. */
VR_EXPORT const char *_GENU__GeneralizedTimeToAscii(STF_List *status,
                                                    const GEN_GeneralizedTime *value, char *buffer,
                                                    size_t size);

VR_END_DECLS

/* Value packing and the conversions of each syntax. */
#include "odp.h"

#endif /* VRCORE_GENU_H */
