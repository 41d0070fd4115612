// Descriptions of the value structures, shared by the copy and delete
// engine and by whatever else walks values generically (tests, dumps).
//
// Each structure is a list of fields. A list type describes one node: the
// address of the next node sits at offset 0 and is not among the fields.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vrcore/gen.h"
#include "vrcore/stf.h"

namespace vrcore::syntax {

enum class FieldKind : uint8_t {
    Flat,         // size plain bytes
    CharArray,    // fixed array of size chars that must hold a NUL
    CString,      // char *, NUL-terminated, may be null
    Octets,       // GEN_OctetString
    Text,         // GEN_Text (kind 1..5)
    SimpleName,   // GEN_SimpleName inline (kind 1..5, at most 255)
    Inline,       // structure `type` held in place
    Ptr,          // address of an optional `type` (a whole list for list types)
    Choice,       // int32 selector at offset, then one of `alts`
    CountedArray, // uint16 count at offset (0..max), `max` elements of `type` at elem_offset
    ValueType,    // uint32 value type naming the syntax of AnyValue fields
    AnyValue,     // void * value of the syntax whose type is at elem_offset
    AnyValueList, // GEN_SeqOfValues * of values of the type at elem_offset
    AttrHandle,   // AS_AttrHandle of an attribute in a set the value owns
};

struct TypeInfo;
struct Alt;

struct Field {
    FieldKind kind;
    uint32_t offset;
    uint32_t size;
    const TypeInfo *type;
    const Alt *alts;
    uint32_t nalts;
    uint32_t elem_offset;
    uint32_t max;
    const char *name;
};

struct Alt {
    int32_t choice;
    Field field;
};

struct TypeInfo {
    const char *name;
    uint32_t size;
    const Field *fields;
    uint32_t nfields;
    bool list; // nodes chained through the address at offset 0
    bool flat; // no addresses, no kinds, no choices: a byte copy
};

// Every described structure, by the syntax or component name.
// clang-format off
#define VRSYN_TYPES(X)                                                                        \
    X(Boolean) X(Cardinal) X(DeltaTime) X(Identifier) X(Integer) X(MaximumInteger)            \
    X(MinimumInteger) X(PageIdType) X(PositiveInteger) X(Realization) X(Edge)                 \
    X(PageOrderType) X(Sides) X(Percent) X(Priority) X(Real) X(NonNegativeReal) X(QosLevel)   \
    X(CriterionType) X(CardinalRange) X(IntegerRange) X(RealRange) X(NonNegativeRealRange)    \
    X(MediumDimensions) X(Cardinal64) X(Cardinal64Range) X(GeneralizedTime) X(Dimension)      \
    X(XYDimensions) X(OctetString) X(Text) X(SimpleName) X(NameOrOID) X(DistNameString)       \
    X(JobIdentifier) X(DocumentIdentifier) X(FontReference) X(ObjectIdent) X(CardinalOrOid)   \
    X(PosIntOrOid) X(CardinalOrNoid) X(NumbersUpSupported) X(NewJobIdentifier)                \
    X(DocumentFormat) X(OidCardinalMap) X(SetOfObjId) X(SetOfText) X(SeqOfStrings)            \
    X(SeqOfOctetString) X(DistNameStringSeq) X(NameOrOidSeq) X(ObjNameComponent)              \
    X(SetOfObjNameComponent) X(IfwRDNSeq) X(SetOfNameComponent) X(Name) X(CountryName)        \
    X(DomainName) X(NetworkAddress) X(TerminalIdentifier) X(OrganizationName)                 \
    X(NumericUserId) X(OrganizationUnitName) X(PersonalName) X(OrganizationUnitNames)         \
    X(DomainDefinedAttr) X(DomainDefinedAttrs) X(ExtensionAttrs) X(DeliveryAddress)           \
    X(Locale) X(EventHandlingProfile) X(ResultsProfile) X(External) X(LocationalIdentifier)   \
    X(AETitle) X(AEIdentifier) X(QualityOfService) X(Token) X(FileReference)                  \
    X(DocumentContent) X(PageIdentifier) X(PageSelect) X(PageSelectSeq) X(PageMediaSelect)    \
    X(MediaSelect) X(InputTrayMedium) X(Surface) X(SeqOfFinishingProcSpec)                    \
    X(SeqOfInsertSheet) X(Finishing) X(MediaConsumed) X(MediaConsumedSeq) X(Locations)        \
    X(Checkpoint) X(OwnerName) X(Privileges) X(PSISAccessControlList) X(ExtACL) X(RPCAddress) \
    X(SocketAddress) X(FastFilterDef) X(PreprocessorDefinition) X(DriverInfo) X(ErrorMessage)   \
    X(Criteria) X(IgnoredAttribute) X(Substrings) X(FilterItem) X(Filter) X(SetOfFilter)        \
    X(SeqOfObjectIdent) X(Selector)
// clang-format on

#define VRSYN_DECLARE(N) extern const TypeInfo T_##N;
VRSYN_TYPES(VRSYN_DECLARE)
#undef VRSYN_DECLARE

// All described types, for tests.
extern const TypeInfo *const kAllTypes[];
extern const size_t kAllTypesCount;

// The engine. Results: 0 or a status code (already recorded in status
// unless status is null). `quiet` suppresses reports during clean-up.
struct Ctx {
    STF_List *status;
    GENU_AllocFn alloc;
    GENU_FreeFn free;
    bool quiet;
    uint32_t error;
    int depth = 0; // structures being walked, bounded by GEN_MAX_NESTING
};

// Keeps a walk of nested structures bounded (filters nest themselves):
// counts the structures being walked in the walk's depth.
template <typename Walk> class Nesting {
  public:
    explicit Nesting(Walk &walk) : walk_(walk) { ++walk_.depth; }
    ~Nesting() { --walk_.depth; }
    Nesting(const Nesting &) = delete;
    Nesting &operator=(const Nesting &) = delete;
    bool TooDeep() const { return walk_.depth > GEN_MAX_NESTING; }

  private:
    Walk &walk_;
};

uint32_t CopyValue(Ctx &ctx, const TypeInfo &t, void *dst, const void *src);
void DeleteValue(Ctx &ctx, const TypeInfo &t, void *value);

// Resolves a caller's allocator (null = default); false when it lacks a
// function.
bool ResolveAllocator(const GENU_Allocator *alloc, Ctx &ctx);
void Report(Ctx &ctx, uint32_t code);
// Common entry of the exported functions: a null status list ends the call
// (false); otherwise the list is cleared (when asked) and the allocator
// resolved (false with GEN_S_INVALID when it lacks a function).
bool Begin(STF_List *status, const GENU_Allocator *alloc, Ctx &ctx, bool clear = true);

// "Entering: " and "Exiting: " trace lines of the make and extract
// functions.
class MakeTrace {
  public:
    explicit MakeTrace(const char *name);
    ~MakeTrace();
    MakeTrace(const MakeTrace &) = delete;
    MakeTrace &operator=(const MakeTrace &) = delete;

  private:
    const char *name_;
};

// The public shapes, shared by every GEN_ copy and delete function. The
// copy and delete family adds to the caller's list without clearing it
// (clear false): it runs as the lower layer of the attribute sets, whose
// own codes must survive a value's deletion during clean-up.
int CopyNew(STF_List *status, void **out, const void *src, const GENU_Allocator *alloc,
            const TypeInfo &t, bool clear = true);
int DeleteBlock(STF_List *status, void *value, const GENU_Allocator *alloc, const TypeInfo &t,
                bool clear = true);
int DeepCopy(STF_List *status, void *dst, const void *src, const GENU_Allocator *alloc,
             const TypeInfo &t, bool clear = true);
int DeepDelete(STF_List *status, void *value, const GENU_Allocator *alloc, const TypeInfo &t,
               bool clear = true);

// The name syntax of a distinguished name: 0 when none, the identifier of
// a choice-1 syntax, the name-syntax table's identifier of a choice-2 name
// (GENU_NAME_SYNTAX_UNKNOWN when not in the table). Returns 0, or
// GEN_S_INVALID (not reported) for a bad choice, kind or length.
uint32_t NameSyntaxOf(const GEN_NameOrOID *syntax, GENU_ShortOID &out);

// Calls into the attribute-set module and into other syntaxes' descriptors
// report to a list of their own (they clear theirs on entry); a failure is
// carried over as out of memory when that was its cause, else as an
// invalid value.
class Private {
  public:
    Private() : list_(STF_CreateList(nullptr)) {}
    ~Private() {
        if (list_) STF_DeleteList(list_);
    }
    Private(const Private &) = delete;
    Private &operator=(const Private &) = delete;
    STF_List *List() const { return list_; }
    uint32_t Failure() const {
        STF_ObjectInfo info;
        for (uint32_t i = 1; list_ && STF_GetObjectInfo(list_, i, &info) == 0; ++i)
            if (info.code == GEN_S_NOMEM || info.code == AS_S_NOMEM) return GEN_S_NOMEM;
        return GEN_S_INVALID;
    }

  private:
    STF_List *list_;
};

} // namespace vrcore::syntax
