// Packing and unpacking of attribute values: the syntax table, the value
// conversions between library structures and runtime structures, and the
// two entry points.
#include <cinttypes>
#include <cstring>

#include "encoding/ber_types.h"
#include "encoding/ber_values.h"
#include "encoding/ber_world.h"
#include "encoding/codes.h"
#include "encoding/value_conv.h"
#include "oid/builtin_lookup.h"
#include "system/guard.h"
#include "vrcore/genu.h"
#include "vrcore/iconv.h"
#include "vrcore/log.h"

using namespace vrcore::ber;

namespace {

constexpr uint32_t kNoMem = GEN_S_NOMEM;
constexpr uint32_t kInvalid = GEN_S_INVALID;
constexpr uint32_t kTooLong = GENU_S_CONV_TEXT;
constexpr uint32_t kBackConv = GENU_S_CONV_OCTETS;

enum class Conv : uint8_t {
    Bool,
    U32,
    I32,
    U16,
    I16,
    Real,
    Pair32,
    Pair64,
    Card64,
    Card64Range,
    Text,
    Name,
    Octets,
    JobId,
    Time,
    // The runtime structure is the library value itself (ber_values.cpp);
    // for a list, one pointer to the value's first node.
    Direct,
    DirectList,
};

struct Syntax {
    uint32_t type;
    int pdu;
    Conv conv;
    const GENU_ValueDescriptor *desc;
    size_t gen_size;
    uint32_t pack_fail;
    uint32_t unpack_fail;
};

const Syntax kSyntaxes[] = {
    {0, kPduBoolean, Conv::Bool, &GENU_BooleanDesc, sizeof(GEN_Boolean), 0, 0},
    {1, kPduCardinal, Conv::U32, &GENU_CardinalDesc, sizeof(GEN_Cardinal), 0, 0},
    {2, kPduCardinalRange, Conv::Pair32, &GENU_CardinalRangeDesc, sizeof(GEN_CardinalRange),
     GENU_S_CONV_BACK, GENU_S_CONV_BACK},
    {4, kPduDeltaTime, Conv::U32, &GENU_DeltaTimeDesc, sizeof(GEN_DeltaTime), 0, 0},
    {5, kPduDescriptor, Conv::Text, &GENU_DescriptorDesc, sizeof(GEN_Text), GENU_S_CONV_TEXT,
     GENU_S_CONV_TEXT},
    {12, kPduInteger, Conv::I32, &GENU_IntegerDesc, sizeof(GEN_Integer), 0, 0},
    {14, kPduJobIdentifier, Conv::JobId, &GENU_JobIdentifierDesc, sizeof(GEN_JobIdentifier),
     GENU_S_CONV_BACK, GENU_S_CONV_BACK},
    {15, kPduMaximumInteger, Conv::I32, &GENU_MaximumIntegerDesc, sizeof(GEN_MaximumInteger), 0, 0},
    {16, kPduMessage, Conv::Text, &GENU_MessageDesc, sizeof(GEN_Text), GENU_S_CONV_TEXT,
     GENU_S_CONV_MESSAGE},
    {20, kPduOctetString, Conv::Octets, &GENU_OctetStringDesc, sizeof(GEN_OctetString),
     GENU_S_CONV_OCTETS, GENU_S_CONV_OCTETS},
    {21, kPduPageIdType, Conv::I32, &GENU_PageIdTypeDesc, sizeof(GEN_PageIdType), 0, 0},
    {22, kPduPositiveInteger, Conv::U32, &GENU_PositiveIntegerDesc, sizeof(GEN_PositiveInteger), 0,
     0},
    {23, kPduReal, Conv::Real, &GENU_RealDesc, sizeof(GEN_Real), 0, 0},
    {24, kPduRealization, Conv::I32, &GENU_RealizationDesc, sizeof(GEN_Realization), 0, 0},
    {25, kPduRealRange, Conv::Pair64, &GENU_RealRangeDesc, sizeof(GEN_RealRange), 0, 0},
    {26, kPduSides, Conv::U16, &GENU_SidesDesc, sizeof(GEN_Sides), 0, 0},
    {27, kPduSimpleName, Conv::Name, &GENU_SimpleNameDesc, sizeof(GEN_SimpleName), GENU_S_CONV_NAME,
     GENU_S_CONV_BACK},
    {28, kPduText, Conv::Text, &GENU_TextDesc, sizeof(GEN_Text), GENU_S_CONV_TEXT,
     GENU_S_CONV_TEXT},
    {31, kPduCardinal64, Conv::Card64, &GENU_Cardinal64Desc, sizeof(GEN_Cardinal64), 0, 0},
    {32, kPduCardinal64Range, Conv::Card64Range, &GENU_Cardinal64RangeDesc,
     sizeof(GEN_Cardinal64Range), GENU_S_CONV_BACK, GENU_S_CONV_BACK},
    {40, kPduDescriptiveName, Conv::Name, &GENU_DescriptiveNameDesc, sizeof(GEN_DescriptiveName),
     GENU_S_CONV_NAME, GENU_S_CONV_BACK},
    {44, kPduEdge, Conv::I32, &GENU_EdgeDesc, sizeof(GEN_Edge), 0, 0},
    {48, kPduGeneralizedTime, Conv::Time, &GENU_GeneralizedTimeDesc, sizeof(GEN_GeneralizedTime),
     GENU_S_CONV_TIME, GENU_S_CONV_TIME},
    {57, kPduMediumDimensions, Conv::Pair64, &GENU_MediumDimensionsDesc,
     sizeof(GEN_MediumDimensions), GENU_S_CONV_DIMENSIONS, GENU_S_CONV_DIMENSIONS},
    {62, kPduNonNegativeReal, Conv::Real, &GENU_NonNegativeRealDesc, sizeof(GEN_NonNegativeReal), 0,
     0},
    {63, kPduNonNegativeRealRange, Conv::Pair64, &GENU_NonNegativeRealRangeDesc,
     sizeof(GEN_NonNegativeRealRange), 0, 0},
    {68, kPduPageOrderType, Conv::I32, &GENU_PageOrderTypeDesc, sizeof(GEN_PageOrderType), 0, 0},
    {71, kPduPercent, Conv::I16, &GENU_PercentDesc, sizeof(GEN_Percent), 0, 0},
    {75, kPduPriority, Conv::I16, &GENU_PriorityDesc, sizeof(GEN_Priority), 0, 0},
#define D_(code, pdu, X, T, pack, unpack)                                                          \
    { code, pdu, Conv::Direct, &GENU_##X##Desc, sizeof(T), pack, unpack }
#define L_(code, pdu, X, T, fail)                                                                  \
    { code, pdu, Conv::DirectList, &GENU_##X##Desc, sizeof(T), fail, fail }
    D_(6, kPduDistNameString, DistNameString, GEN_DistNameString, GENU_S_CONV_DN, GENU_S_CONV_DN),
    D_(7, kPduDocumentContent, DocumentContent, GEN_DocumentContent, GENU_S_CONV_CONTENT,
       GENU_S_CONV_CONTENT),
    D_(8, kPduEventHandlingProfile, EventHandlingProfile, GEN_EventHandlingProfile,
       GENU_S_CONV_EVHPROFILE, GENU_S_CONV_EVHPROFILE),
    D_(9, kPduFontReference, FontReference, GEN_FontReference, GENU_S_CONV_FONTREF,
       GENU_S_CONV_FONTREF),
    D_(10, kPduIdentifier, Identifier, GEN_Identifier, GENU_S_CONV_OID, GENU_S_CONV_BACK),
    D_(18, kPduNameOrOid, NameOrOID, GEN_NameOrOID, GENU_S_CONV_NAMEOROID, GENU_S_CONV_NAMEOROID),
    D_(19, kPduNumbersUpSupported, NumbersUpSupported, GEN_NumbersUpSupported,
       GENU_S_CONV_NUMBERSUP, GENU_S_CONV_NUMBERSUP),
    D_(33, kPduOidCardinalMap, OidCardinalMap, GEN_OidCardinalMap, GENU_S_CONV_OIDCARDMAP,
       GENU_S_CONV_OIDCARDMAP),
    D_(34, kPduCardinalOrNoid, CardinalOrNoid, GEN_CardinalOrNoid, GENU_S_CONV_CARDORNOID,
       GENU_S_CONV_CARDORNOID),
    D_(35, kPduCardinalOrOid, CardinalOrOid, GEN_CardinalOrOid, GENU_S_CONV_CARDOROID,
       GENU_S_CONV_CARDOROID),
    D_(39, kPduDeliveryAddress, DeliveryAddress, GEN_DeliveryAddress, GENU_S_CONV_DELIVERY,
       GENU_S_CONV_DELIVERY),
    L_(42, kPduDistNameStringSeq, DistNameStringSeq, GEN_DistNameStringSeq, GENU_S_CONV_DNSEQ),
    D_(43, kPduDocumentFormat, DocumentFormat, GEN_DocumentFormat, GENU_S_CONV_DOCFORMAT,
       GENU_S_CONV_DOCFORMAT),
    D_(45, kPduFileReference, FileReference, GEN_FileReference, GENU_S_CONV_FILEREF,
       GENU_S_CONV_FILEREF),
    D_(46, kPduFinishing, Finishing, GEN_Finishing, GENU_S_CONV_FINISHING, GENU_S_CONV_FINISHING),
    D_(49, kPduInputTrayMedium, InputTrayMedium, GEN_InputTrayMedium, GENU_S_CONV_TRAYMEDIUM,
       GENU_S_CONV_TRAYMEDIUM),
    D_(55, kPduLocale, Locale, GEN_Locale, GENU_S_CONV_LOCALE, GENU_S_CONV_LOCALE),
    L_(60, kPduNameOrOidSeq, NameOrOidSeq, GEN_NameOrOidSeq, GENU_S_CONV_NAMEOROIDSEQ),
    D_(61, kPduNewJobIdentifier, NewJobIdentifier, GEN_NewJobIdentifier, GENU_S_CONV_NEWJOBID,
       GENU_S_CONV_NEWJOBID),
    D_(64, kPduObjectIdentification, ObjectIdent, GEN_ObjectIdent, GENU_S_CONV_OBJECTIDENT,
       GENU_S_CONV_OBJECTIDENT),
    L_(67, kPduMediaSelect, MediaSelect, GEN_MediaSelect, GENU_S_CONV_MEDIASELECT),
    L_(69, kPduPageSelectSeq, PageSelectSeq, GEN_PageSelectSeq, GENU_S_CONV_PAGESELECT),
    D_(72, kPduPosIntOrOid, PosIntOrOid, GEN_PosIntOrOid, GENU_S_CONV_POSINTOROID,
       GENU_S_CONV_POSINTOROID),
    D_(74, kPduPrintCheckpoint, Checkpoint, GEN_Checkpoint, GENU_S_CONV_CHECKPOINT,
       GENU_S_CONV_CHECKPOINT),
    D_(76, kPduPrivileges, Privileges, GEN_Privileges, GENU_S_CONV_PRIVILEGES,
       GENU_S_CONV_PRIVILEGES),
    D_(81, kPduResultsProfile, ResultsProfile, GEN_ResultsProfile, GENU_S_CONV_RESULTSPROFILE,
       GENU_S_CONV_RESULTSPROFILE),
    D_(85, kPduPSISAccessControlList, PSISAccessControlList, GEN_PSISAccessControlList,
       GENU_S_CONV_ACL, GENU_S_CONV_ACL),
    D_(86, kPduRpcAddress, RPCAddress, GEN_RPCAddress, GENU_S_CONV_RPCADDRESS,
       GENU_S_CONV_RPCADDRESS),
    D_(87, kPduSocketAddress, SocketAddress, GEN_SocketAddress, GENU_S_CONV_SOCKETADDRESS,
       GENU_S_CONV_BACK),
    D_(88, kPduFastFilterDef, FastFilterDef, GEN_FastFilterDef, GENU_S_CONV_FASTFILTER,
       GENU_S_CONV_FASTFILTER),
    D_(89, kPduExtACL, ExtACL, GEN_ExtACL, GENU_S_CONV_EXTACL, GENU_S_CONV_EXTACL),
    D_(90, kPduMediaConsumed, MediaConsumed, GEN_MediaConsumed, GENU_S_CONV_MEDIACONSUMED,
       GENU_S_CONV_MEDIACONSUMED),
    L_(91, kPduMediaConsumedSeq, MediaConsumedSeq, GEN_MediaConsumedSeq,
       GENU_S_CONV_MEDIACONSUMEDSEQ),
    D_(92, kPduPreprocessorDefinition, PreprocessorDefinition, GEN_PreprocessorDefinition,
       GENU_S_CONV_PREPROCESSOR, GENU_S_CONV_PREPROCESSOR),
    L_(93, kPduSeqOfObjId, SeqOfObjId, GEN_SeqOfObjId, GENU_S_CONV_OBJECTIDENT),
    D_(94, kPduDriverInfo, DriverInfo, GEN_DriverInfo, GENU_S_CONV_DRIVERINFO,
       GENU_S_CONV_DRIVERINFO),
    D_(11, kPduIgnoredAttribute, IgnoredAttribute, GEN_IgnoredAttribute, GENU_S_CONV_IGNORED,
       GENU_S_CONV_IGNORED),
#undef D_
#undef L_
};

const Syntax *FindSyntax(uint32_t type) {
    struct Index {
        const Syntax *by_type[95] = {};
        Index() {
            for (const Syntax &s : kSyntaxes) by_type[s.type] = &s;
        }
    };
    static const Index index;
    return type < 95 ? index.by_type[type] : nullptr;
}

uint32_t Fail(STF_List *status, uint32_t code) {
    if (status) STF_AddStatus(status, code, 0);
    return code;
}

// A status list for the calls that need one, kept per thread.
STF_List *Scratch() {
    struct Holder {
        STF_List *list = nullptr;
        ~Holder() {
            if (list) STF_DeleteList(list);
        }
    };
    thread_local Holder h;
    if (!h.list) h.list = STF_CreateList(nullptr);
    return h.list;
}

// ---- Text and names --------------------------------------------------

// Library text or name fields, seen the same way.
struct TextView {
    int32_t kind;
    const char *string;
    const unsigned char *octets;
    size_t length;
    GENU_ShortOID charset;
};

// Fills a runtime text or name choice (capacity 4095 or 255).
uint32_t TextToBer(STF_List *status, const TextView &v, uint16_t *choice, char *string,
                   uint16_t *oct_len, unsigned char *oct, uint8_t *bit_mask, BerOid *code_set,
                   size_t cap, uint32_t too_long) {
    switch (v.kind) {
    case GEN_KIND_IRV:
    case GEN_KIND_STRING: {
        const char *s = v.string ? v.string : "";
        size_t n = strnlen(s, cap + 1);
        if (n > cap) return Fail(status, too_long);
        memcpy(string, s, n);
        string[n] = 0;
        break;
    }
    case GEN_KIND_LATIN1:
    case GEN_KIND_OCTETS:
        if (v.length > cap) return Fail(status, too_long);
        if (v.length && !v.octets) return Fail(status, kInvalid);
        if (v.length) memcpy(oct, v.octets, v.length);
        *oct_len = static_cast<uint16_t>(v.length);
        break;
    case GEN_KIND_CODESET: {
        if (v.length > cap) return Fail(status, too_long);
        if (v.length && !v.octets) return Fail(status, kInvalid);
        BerOid set{0, nullptr};
        if (v.charset) {
            if (uint32_t rc = ShortToWire(v.charset, &set)) return Fail(status, rc);
        }
        STF_List *inner = STF_CreateList(nullptr);
        if (!inner) return Fail(status, kNoMem);
        int rc;
        if (cap == 255) {
            uint16_t n = 0;
            rc = ICONV_ToBER_OtherCodeSet255(inner, v.octets, static_cast<uint16_t>(v.length), oct,
                                             &n);
            *oct_len = n;
        } else {
            uint32_t n = 0;
            rc = ICONV_ToBER_OtherCodeSet4095(inner, v.octets, static_cast<uint32_t>(v.length), oct,
                                              &n);
            *oct_len = static_cast<uint16_t>(n);
        }
        uint32_t code = rc ? STF_GetStatus(inner) : 0;
        STF_DeleteList(inner);
        if (rc) return Fail(status, code ? code : too_long);
        *bit_mask = v.charset ? kCodeSetPresent : 0;
        *code_set = set;
        break;
    }
    default: return Fail(status, kInvalid);
    }
    *choice = static_cast<uint16_t>(v.kind);
    return 0;
}

} // namespace

uint32_t vrcore::ber::GenTextToBer(STF_List *status, const GEN_Text &tx, BerText *b) {
    const GEN_Text *t = &tx;
    bool counted = t->kind >= GEN_KIND_LATIN1 && t->kind <= GEN_KIND_CODESET;
    if (counted && t->u.octets.length < 0) return Fail(status, kInvalid);
    TextView v{t->kind, counted ? nullptr : t->u.string, counted ? t->u.octets.value : nullptr,
               counted ? static_cast<size_t>(t->u.octets.length) : 0, t->charset};
    bool other = t->kind == GEN_KIND_CODESET;
    return TextToBer(status, v, &b->choice, b->u.string,
                     other ? &b->u.other.octets.length : &b->u.octets.length,
                     other ? b->u.other.octets.value : b->u.octets.value, &b->u.other.bit_mask,
                     &b->u.other.code_set, 4095, kTooLong);
}

uint32_t vrcore::ber::GenNameToBer(STF_List *status, const GEN_SimpleName &nm, BerSimpleName *b,
                                   uint32_t too_long) {
    const GEN_SimpleName *n = &nm;
    bool counted = n->kind >= GEN_KIND_LATIN1 && n->kind <= GEN_KIND_CODESET;
    if (!counted && !memchr(n->u.string, 0, sizeof n->u.string)) return Fail(status, too_long);
    TextView v{n->kind, counted ? nullptr : n->u.string, counted ? n->u.counted.value : nullptr,
               counted ? static_cast<size_t>(n->u.counted.length) : 0u, n->charset};
    bool other = n->kind == GEN_KIND_CODESET;
    return TextToBer(status, v, &b->choice, b->u.string,
                     other ? &b->u.other.octets.length : &b->u.octets.length,
                     other ? b->u.other.octets.value : b->u.octets.value, &b->u.other.bit_mask,
                     &b->u.other.code_set, 255, n->kind == GEN_KIND_CODESET ? kTooLong : too_long);
}

uint32_t vrcore::ber::ShortToWire(GENU_ShortOID id, BerOid *out) {
    if (const vrcore::oid::BuiltinRow *r = vrcore::oid::RowOf(id)) {
        if (!r->ber.length) return kInvalid;
        out->length = r->ber.length;
        out->value = r->ber.value;
        return 0;
    }
    if (id < vrcore::oid::kDynamicBase) return kInvalid;
    STF_List *st = Scratch();
    if (!st) return kNoMem;
    GENU_BerOID b{0, nullptr};
    if (GENU_ShortToBerOID(st, id, &b)) return kInvalid;
    out->length = b.length;
    out->value = b.value;
    return 0;
}

namespace {

// The built-in identifiers a thread met last, by a hash of their form: a
// repeated identifier skips the search of the table.
struct RecentForm {
    uint8_t length;
    unsigned char form[53];
    GENU_ShortOID id;
};
thread_local RecentForm t_recent[64];

size_t RecentSlot(const unsigned char *p, uint32_t n) {
    uint32_t h = 2166136261u;
    for (uint32_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
    return (h ^ (h >> 16)) & 63;
}

} // namespace

uint32_t vrcore::ber::WireToShort(const BerOid &o, GENU_ShortOID *out) {
    // Longer forms are never registered.
    if (!o.length || o.length > 53 || !o.value) return kInvalid;
    RecentForm &r = t_recent[RecentSlot(o.value, o.length)];
    if (r.length == o.length && !memcmp(r.form, o.value, o.length)) {
        *out = r.id;
        return 0;
    }
    if (const vrcore::oid::IndexEntry *e = vrcore::oid::FindByContent(o.value, o.length)) {
        *out = vrcore::oid::ShortOfRow(e->number);
        r.length = static_cast<uint8_t>(o.length);
        memcpy(r.form, o.value, o.length);
        r.id = *out;
        return 0;
    }
    STF_List *st = Scratch();
    if (!st) return kNoMem;
    GENU_BerOID b{o.length, o.value};
    if (GENU_BerToShortOID(st, &b, out)) return kInvalid;
    return 0;
}

uint32_t vrcore::ber::OctetsToGen(STF_List *status, uint32_t length, const unsigned char *bytes,
                                  GEN_OctetString *o, const GENU_Allocator *a) {
    memset(o, 0, sizeof *o);
    if (length > INT32_MAX - 1 || (length && !bytes)) return Fail(status, kInvalid);
    if (!length) return 0;
    auto *p = static_cast<unsigned char *>(a->alloc(length + 1u));
    if (!p) return Fail(status, kNoMem);
    memcpy(p, bytes, length);
    p[length] = 0;
    o->length = static_cast<int32_t>(length);
    o->value = p;
    return 0;
}

uint32_t vrcore::ber::BerTextToGen(STF_List *status, const BerText &b, GEN_Text *t,
                                   const GENU_Allocator *a) {
    memset(t, 0, sizeof *t);
    t->kind = b.choice;
    switch (b.choice) {
    case GEN_KIND_IRV:
    case GEN_KIND_STRING: {
        size_t n = strnlen(b.u.string, 4095);
        if (!n) return 0;
        t->u.string = static_cast<char *>(a->alloc(n + 1));
        if (!t->u.string) return Fail(status, kNoMem);
        memcpy(t->u.string, b.u.string, n + 1);
        return 0;
    }
    case GEN_KIND_LATIN1:
    case GEN_KIND_OCTETS:
    case GEN_KIND_CODESET: {
        const BerOctets4095 &o = b.choice == GEN_KIND_CODESET ? b.u.other.octets : b.u.octets;
        if (b.choice == GEN_KIND_CODESET && (b.u.other.bit_mask & kCodeSetPresent)) {
            if (uint32_t rc = WireToShort(b.u.other.code_set, &t->charset)) return Fail(status, rc);
        }
        if (!o.length) return 0;
        // Converted text is held only as long as it is: a short text never
        // costs a full block.
        unsigned char converted[4095];
        const unsigned char *from = o.value;
        uint32_t n = o.length;
        if (b.choice == GEN_KIND_CODESET) {
            STF_List *inner = STF_CreateList(nullptr);
            int rc =
                inner ? ICONV_ToGEN_OtherCodeSet4095(inner, o.value, o.length, converted, &n) : 1;
            if (inner) STF_DeleteList(inner);
            if (rc) return Fail(status, inner ? kBackConv : kNoMem);
            from = converted;
            if (!n) return 0;
        }
        return OctetsToGen(status, n, from, &t->u.octets, a);
    }
    default: return Fail(status, kInvalid);
    }
}

uint32_t vrcore::ber::BerNameToGen(STF_List *status, const BerSimpleName &b, GEN_SimpleName *n) {
    memset(n, 0, sizeof *n);
    n->kind = b.choice;
    switch (b.choice) {
    case GEN_KIND_IRV:
    case GEN_KIND_STRING: memcpy(n->u.string, b.u.string, strnlen(b.u.string, 255)); return 0;
    case GEN_KIND_LATIN1:
    case GEN_KIND_OCTETS:
        n->u.counted.length = b.u.octets.length;
        memcpy(n->u.counted.value, b.u.octets.value, b.u.octets.length);
        return 0;
    case GEN_KIND_CODESET: {
        if (b.u.other.bit_mask & kCodeSetPresent) {
            if (uint32_t rc = WireToShort(b.u.other.code_set, &n->charset)) return Fail(status, rc);
        }
        STF_List *inner = STF_CreateList(nullptr);
        uint16_t len = 0;
        int rc =
            inner ? ICONV_ToGEN_OtherCodeSet255(inner, b.u.other.octets.value,
                                                b.u.other.octets.length, n->u.counted.value, &len)
                  : 1;
        if (inner) STF_DeleteList(inner);
        if (rc) return Fail(status, kBackConv);
        n->u.counted.length = len;
        return 0;
    }
    default: return Fail(status, kInvalid);
    }
}

namespace {

// ---- Generalized time --------------------------------------------------

// Writes v (0 <= v < 10^n) in n digits.
char *PutDigits(char *p, int v, int n) {
    for (int i = n - 1; i >= 0; --i, v /= 10) p[i] = static_cast<char>('0' + v % 10);
    return p + n;
}

uint32_t TimeToBer(STF_List *status, const GEN_GeneralizedTime &t, BerGeneralizedTime *b) {
    int year = t.utc ? t.year + 1900 : t.year;
    if (year < 0 || year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 ||
        t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 ||
        t.second > 60 || t.millisecond < 0 || t.millisecond > 999)
        return Fail(status, kInvalid);
    // mindiff is what reaches UTC from local time: the offset is its negation.
    int off = -t.mindiff;
    if (!t.utc && (off < -24 * 60 || off > 24 * 60)) return Fail(status, kInvalid);
    // YYYYMMDDhhmmss[.fff](Z|+hhmm|-hhmm)
    char *p = PutDigits(b->value, year, 4);
    p = PutDigits(p, t.month, 2);
    p = PutDigits(p, t.day, 2);
    p = PutDigits(p, t.hour, 2);
    p = PutDigits(p, t.minute, 2);
    p = PutDigits(p, t.second, 2);
    if (t.millisecond) {
        *p++ = '.';
        p = PutDigits(p, t.millisecond, 3);
    }
    if (t.utc) {
        *p++ = 'Z';
    } else {
        *p++ = off < 0 ? '-' : '+';
        int a = off < 0 ? -off : off;
        p = PutDigits(p, a / 60, 2);
        p = PutDigits(p, a % 60, 2);
    }
    *p = 0;
    return 0;
}

bool Digits(const char *&p, int n, int *out) {
    int v = 0;
    for (int i = 0; i < n; ++i, ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + (*p - '0');
    }
    *out = v;
    return true;
}

uint32_t TimeToGen(STF_List *status, const BerGeneralizedTime &b, GEN_GeneralizedTime *t) {
    memset(t, 0, sizeof *t);
    const char *p = b.value;
    int y, mo, d, h, mi = 0, s = 0, ms = 0;
    if (!Digits(p, 4, &y) || !Digits(p, 2, &mo) || !Digits(p, 2, &d) || !Digits(p, 2, &h))
        return Fail(status, GENU_S_CONV_TIME);
    if (*p >= '0' && *p <= '9' && !Digits(p, 2, &mi)) return Fail(status, GENU_S_CONV_TIME);
    if (*p >= '0' && *p <= '9' && !Digits(p, 2, &s)) return Fail(status, GENU_S_CONV_TIME);
    if (*p == '.' || *p == ',') {
        ++p;
        int k = 0;
        for (; *p >= '0' && *p <= '9'; ++p, ++k)
            if (k < 3) ms = ms * 10 + (*p - '0');
        if (!k) return Fail(status, GENU_S_CONV_TIME);
        for (; k < 3; ++k) ms *= 10;
    }
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60)
        return Fail(status, GENU_S_CONV_TIME);
    t->month = static_cast<int16_t>(mo);
    t->day = static_cast<int16_t>(d);
    t->hour = static_cast<int16_t>(h);
    t->minute = static_cast<int16_t>(mi);
    t->second = static_cast<int16_t>(s);
    t->millisecond = static_cast<int16_t>(ms);
    if (*p == 'Z' && !p[1]) {
        if (y < 1900 || y > 1900 + INT16_MAX) return Fail(status, GENU_S_CONV_TIME);
        t->utc = 1;
        t->year = static_cast<int16_t>(y - 1900);
        return 0;
    }
    t->year = static_cast<int16_t>(y);
    if (!*p) return 0; // local time without an offset
    if ((*p == '+' || *p == '-') && p[1]) {
        int sign = *p++ == '-' ? -1 : 1, oh, om;
        if (!Digits(p, 2, &oh) || !Digits(p, 2, &om) || *p || om > 59)
            return Fail(status, GENU_S_CONV_TIME);
        t->mindiff = static_cast<int16_t>(-sign * (oh * 60 + om));
        return 0;
    }
    return Fail(status, GENU_S_CONV_TIME);
}

// ---- Conversion both ways ----------------------------------------------

size_t BerSize(Conv c) {
    switch (c) {
    case Conv::Bool: return 1;
    case Conv::U16:
    case Conv::I16: return 2;
    case Conv::U32:
    case Conv::I32: return 4;
    case Conv::Real:
    case Conv::Card64: return 8;
    case Conv::Pair32: return sizeof(BerCardinalRange);
    case Conv::Pair64: return sizeof(BerRealRange);
    case Conv::Card64Range: return sizeof(BerCardinal64Range);
    case Conv::Text: return sizeof(BerText);
    case Conv::Name: return sizeof(BerSimpleName);
    case Conv::Octets: return sizeof(BerOctets);
    case Conv::JobId: return sizeof(BerJobIdentifier);
    case Conv::Time: return sizeof(BerGeneralizedTime);
    case Conv::Direct:
    case Conv::DirectList: return 0;
    }
    return 0;
}

uint64_t Join(GEN_Cardinal64 c) { return (static_cast<uint64_t>(c.high) << 32) | c.low; }
GEN_Cardinal64 Split(uint64_t v) {
    return GEN_Cardinal64{static_cast<uint32_t>(v >> 32), static_cast<uint32_t>(v)};
}

// Builds the runtime structure (zero-filled, ber_size bytes) from a value.
uint32_t ToBer(STF_List *status, const Syntax &s, const void *value, void *ber) {
    switch (s.conv) {
    case Conv::Bool:
        *static_cast<uint8_t *>(ber) = *static_cast<const GEN_Boolean *>(value) == 1;
        return 0;
    case Conv::U16:
    case Conv::I16:
    case Conv::U32:
    case Conv::I32:
    case Conv::Real:
    case Conv::Pair32:
    case Conv::Pair64: memcpy(ber, value, BerSize(s.conv)); return 0;
    case Conv::Card64: {
        uint64_t v = Join(*static_cast<const GEN_Cardinal64 *>(value));
        memcpy(ber, &v, sizeof v);
        return 0;
    }
    case Conv::Card64Range: {
        const auto *r = static_cast<const GEN_Cardinal64Range *>(value);
        auto *b = static_cast<BerCardinal64Range *>(ber);
        b->lower = Join(r->lower);
        b->upper = Join(r->upper);
        return 0;
    }
    case Conv::Text:
        return GenTextToBer(status, *static_cast<const GEN_Text *>(value),
                            static_cast<BerText *>(ber));
    case Conv::Name:
        return GenNameToBer(status, *static_cast<const GEN_SimpleName *>(value),
                            static_cast<BerSimpleName *>(ber), s.pack_fail);
    case Conv::Octets: {
        const auto *o = static_cast<const GEN_OctetString *>(value);
        auto *b = static_cast<BerOctets *>(ber);
        if (o->length < 0 || (o->length && !o->value)) return Fail(status, kInvalid);
        b->length = static_cast<uint32_t>(o->length);
        b->value = o->value; // borrowed: released by the caller, never by FreeBER
        return 0;
    }
    case Conv::JobId: {
        const auto *j = static_cast<const GEN_JobIdentifier *>(value);
        if (!memchr(j->value, 0, sizeof j->value)) return Fail(status, kInvalid);
        memcpy(static_cast<BerJobIdentifier *>(ber)->value, j->value, sizeof j->value);
        return 0;
    }
    case Conv::Time:
        return TimeToBer(status, *static_cast<const GEN_GeneralizedTime *>(value),
                         static_cast<BerGeneralizedTime *>(ber));
    case Conv::Direct:
    case Conv::DirectList: break;
    }
    return Fail(status, kInvalid);
}

// Fills a zero-filled library value from a decoded runtime structure.
uint32_t ToGen(STF_List *status, const Syntax &s, const void *ber, void *value,
               const GENU_Allocator *a) {
    switch (s.conv) {
    case Conv::Bool:
        *static_cast<GEN_Boolean *>(value) = *static_cast<const uint8_t *>(ber) ? 1 : 0;
        return 0;
    case Conv::U16:
    case Conv::I16:
    case Conv::U32:
    case Conv::I32:
    case Conv::Real:
    case Conv::Pair32:
    case Conv::Pair64: memcpy(value, ber, BerSize(s.conv)); return 0;
    case Conv::Card64: {
        uint64_t v;
        memcpy(&v, ber, sizeof v);
        *static_cast<GEN_Cardinal64 *>(value) = Split(v);
        return 0;
    }
    case Conv::Card64Range: {
        const auto *b = static_cast<const BerCardinal64Range *>(ber);
        auto *r = static_cast<GEN_Cardinal64Range *>(value);
        r->lower = Split(b->lower);
        r->upper = Split(b->upper);
        return 0;
    }
    case Conv::Text:
        return BerTextToGen(status, *static_cast<const BerText *>(ber),
                            static_cast<GEN_Text *>(value), a);
    case Conv::Name:
        return BerNameToGen(status, *static_cast<const BerSimpleName *>(ber),
                            static_cast<GEN_SimpleName *>(value));
    case Conv::Octets: {
        const auto *b = static_cast<const BerOctets *>(ber);
        return OctetsToGen(status, b->length, b->value, static_cast<GEN_OctetString *>(value), a);
    }
    case Conv::JobId:
        memcpy(static_cast<GEN_JobIdentifier *>(value)->value,
               static_cast<const BerJobIdentifier *>(ber)->value, sizeof(GEN_JobIdentifier));
        return 0;
    case Conv::Time:
        return TimeToGen(status, *static_cast<const BerGeneralizedTime *>(ber),
                         static_cast<GEN_GeneralizedTime *>(value));
    case Conv::Direct:
    case Conv::DirectList: break;
    }
    return Fail(status, kInvalid);
}

bool IsDirect(const Syntax &s) { return s.conv == Conv::Direct || s.conv == Conv::DirectList; }

// ---- Straight packing and unpacking ------------------------------------
//
// A value whose wire form is one primitive element, or a sequence of two,
// goes straight between its library structure and the bytes: packing forms
// the element's head on the stack and allocates the output once at its
// final size, the text or octets copied from where the value keeps them;
// unpacking reads the element in place and allocates only what the new
// value owns. Anything else, or anything these paths do not accept as it
// stands (an invalid value, a code-set text, a constructed or indefinite
// form, a malformed element), takes the general path through the runtime
// structures, so the bytes and every failure stay what that path makes them.

// The packed form: a head of at most kHead octets and a borrowed body.
struct Packed {
    static constexpr size_t kHead = 48;
    unsigned char head[kHead];
    size_t head_len = 0;
    const void *body = nullptr;
    size_t body_len = 0;

    void Byte(unsigned char b) { head[head_len++] = b; }
    // A definite length in its shortest form.
    void Length(size_t n) {
        if (n < 128) return Byte(static_cast<unsigned char>(n));
        int k = 0;
        for (size_t v = n; v; v >>= 8) ++k;
        Byte(static_cast<unsigned char>(0x80 | k));
        for (int i = k - 1; i >= 0; --i) Byte(static_cast<unsigned char>(n >> (8 * i)));
    }
    void Element(unsigned char tag, const unsigned char *p, size_t n) {
        Byte(tag);
        Length(n);
        memcpy(head + head_len, p, n);
        head_len += n;
    }
    void Int(int64_t v, bool big) {
        unsigned char c[kMaxIntContent];
        Element(0x02, c, IntContent(v, big, c));
    }
    void Real(double d) {
        unsigned char c[kMaxRealContent];
        Element(0x09, c, RealContent(d, c));
    }
    // The tag and length of a body held elsewhere.
    void Borrow(unsigned char tag, const void *p, size_t n) {
        Byte(tag);
        Length(n);
        body = p;
        body_len = n;
    }
    // Wraps what is in the head in a SEQUENCE.
    void Sequence() {
        unsigned char inner[kHead];
        size_t n = head_len;
        memcpy(inner, head, n);
        head_len = 0;
        Element(0x30, inner, n);
    }
};

// Forms the packed value; false when the general path must take it.
bool FormStraight(const Syntax &s, const void *value, Packed *out) {
    switch (s.conv) {
    case Conv::Bool: {
        unsigned char c = *static_cast<const GEN_Boolean *>(value) == 1 ? 0xff : 0x00;
        out->Element(0x01, &c, 1);
        return true;
    }
    case Conv::U32: out->Int(*static_cast<const uint32_t *>(value), false); return true;
    case Conv::I32: out->Int(*static_cast<const int32_t *>(value), false); return true;
    case Conv::U16: out->Int(*static_cast<const uint16_t *>(value), false); return true;
    case Conv::I16: out->Int(*static_cast<const int16_t *>(value), false); return true;
    case Conv::Real: out->Real(*static_cast<const double *>(value)); return true;
    case Conv::Card64: {
        uint64_t v = Join(*static_cast<const GEN_Cardinal64 *>(value));
        out->Int(static_cast<int64_t>(v), v > INT64_MAX);
        return true;
    }
    case Conv::Pair32: {
        const auto *r = static_cast<const GEN_CardinalRange *>(value);
        out->Int(r->lower, false);
        out->Int(r->upper, false);
        out->Sequence();
        return true;
    }
    case Conv::Pair64: {
        const auto *r = static_cast<const GEN_RealRange *>(value);
        out->Real(r->lower);
        out->Real(r->upper);
        out->Sequence();
        return true;
    }
    case Conv::Card64Range: {
        const auto *r = static_cast<const GEN_Cardinal64Range *>(value);
        uint64_t lower = Join(r->lower), upper = Join(r->upper);
        out->Int(static_cast<int64_t>(lower), lower > INT64_MAX);
        out->Int(static_cast<int64_t>(upper), upper > INT64_MAX);
        out->Sequence();
        return true;
    }
    case Conv::Text: {
        // Kinds 1 to 4 are the context tags [0] to [3] of the choice.
        const auto *t = static_cast<const GEN_Text *>(value);
        auto tag = static_cast<unsigned char>(0x80 | (t->kind - 1));
        if (t->kind == GEN_KIND_IRV || t->kind == GEN_KIND_STRING) {
            const char *str = t->u.string ? t->u.string : "";
            size_t n = strnlen(str, GEN_TEXT_MAX + 1);
            if (n > GEN_TEXT_MAX) return false;
            out->Borrow(tag, str, n);
            return true;
        }
        if (t->kind != GEN_KIND_LATIN1 && t->kind != GEN_KIND_OCTETS) return false;
        const GEN_OctetString &o = t->u.octets;
        if (o.length < 0 || o.length > GEN_TEXT_MAX || (o.length && !o.value)) return false;
        out->Borrow(tag, o.value, static_cast<size_t>(o.length));
        return true;
    }
    case Conv::Name: {
        const auto *n = static_cast<const GEN_SimpleName *>(value);
        auto tag = static_cast<unsigned char>(0x80 | (n->kind - 1));
        if (n->kind == GEN_KIND_IRV || n->kind == GEN_KIND_STRING) {
            size_t len = strnlen(n->u.string, GEN_SIMPLE_NAME_MAX + 1);
            if (len > GEN_SIMPLE_NAME_MAX) return false;
            out->Borrow(tag, n->u.string, len);
            return true;
        }
        if (n->kind != GEN_KIND_LATIN1 && n->kind != GEN_KIND_OCTETS) return false;
        if (n->u.counted.length > GEN_SIMPLE_NAME_MAX) return false;
        out->Borrow(tag, n->u.counted.value, n->u.counted.length);
        return true;
    }
    case Conv::Octets: {
        const auto *o = static_cast<const GEN_OctetString *>(value);
        // The runtime's buffer holds less than 2^31 octets in all.
        if (o->length < 0 || o->length > INT32_MAX - 8 || (o->length && !o->value)) return false;
        out->Borrow(0x04, o->value, static_cast<size_t>(o->length));
        return true;
    }
    case Conv::JobId: {
        const auto *j = static_cast<const GEN_JobIdentifier *>(value);
        size_t n = strnlen(j->value, sizeof j->value);
        if (n == sizeof j->value) return false;
        out->Borrow(0x16, j->value, n);
        return true;
    }
    case Conv::Time: {
        BerGeneralizedTime b;
        if (TimeToBer(nullptr, *static_cast<const GEN_GeneralizedTime *>(value), &b)) return false;
        out->Element(0x18, reinterpret_cast<const unsigned char *>(b.value), strlen(b.value));
        return true;
    }
    case Conv::Direct:
    case Conv::DirectList: break;
    }
    return false;
}

enum class Straight { kDone, kFailed, kGeneral };

Straight PackStraight(STF_List *status, const Syntax &s, const void *value, World *w,
                      GENU_Buffer *encoded) {
    Packed p;
    if (GENU__printPDU || !FormStraight(s, value, &p)) return Straight::kGeneral;
    size_t n = p.head_len + p.body_len;
    auto *out = static_cast<unsigned char *>(w->alloc(n + 1));
    if (!out) {
        Fail(status, kNoMem);
        return Straight::kFailed;
    }
    memcpy(out, p.head, p.head_len);
    if (p.body_len) memcpy(out + p.head_len, p.body, p.body_len);
    LOG_CondMessage(8, __FILE__, __LINE__, "ODP_PackAV: encoded okay, length = %ld\n",
                    static_cast<long>(n));
    encoded->length = static_cast<uint32_t>(n);
    encoded->value = out;
    return Straight::kDone;
}

// One element of the definite form with a one-octet tag.
struct Tlv {
    unsigned char tag;
    const unsigned char *content;
    size_t length;
    const unsigned char *next;
};

bool ReadTlv(const unsigned char *p, const unsigned char *end, Tlv *e) {
    if (end - p < 2 || (p[0] & 0x1f) == 0x1f) return false;
    e->tag = p[0];
    size_t len = p[1];
    p += 2;
    if (len & 0x80) {
        size_t k = len & 0x7f;
        if (k == 0 || k > 4 || static_cast<size_t>(end - p) < k) return false;
        len = 0;
        for (size_t i = 0; i < k; ++i) len = (len << 8) | *p++;
    }
    if (len > static_cast<size_t>(end - p)) return false;
    e->content = p;
    e->length = len;
    e->next = p + len;
    return true;
}

bool ReadInt(const Tlv &e, uint8_t width, bool is_unsigned, void *field) {
    return e.tag == 0x02 && IntFromContent(e.content, e.length, width, is_unsigned, field) == kOk;
}

bool ReadReal(const Tlv &e, double *d) {
    return e.tag == 0x09 && RealFromContent(e.content, e.length, d) == kOk;
}

// The two members of a SEQUENCE, filling it exactly.
bool ReadPair(const Tlv &e, Tlv *a, Tlv *b) {
    const unsigned char *end = e.content + e.length;
    return e.tag == 0x30 && ReadTlv(e.content, end, a) && ReadTlv(a->next, end, b) &&
           b->next == end;
}

bool CleanString(const Tlv &e, size_t max) {
    return e.length <= max && !memchr(e.content, 0, e.length);
}

// The fixed part of every straight value.
union Fixed {
    GEN_Boolean boolean;
    uint32_t u32;
    int32_t i32;
    uint16_t u16;
    int16_t i16;
    double real;
    GEN_CardinalRange pair32;
    GEN_RealRange pair64;
    GEN_Cardinal64 card64;
    GEN_Cardinal64Range card64_range;
    GEN_Text text;
    GEN_SimpleName name;
    GEN_OctetString octets;
    GEN_JobIdentifier job_id;
    GEN_GeneralizedTime time;
};

// Reads the element into `v` (zero-filled); for texts and octets the
// content to copy is left in *owned. False when the general path must
// take the bytes.
bool ReadStraight(const Syntax &s, const Tlv &e, Fixed *v, Tlv *owned) {
    Tlv a, b;
    switch (s.conv) {
    case Conv::Bool:
        if (e.tag != 0x01 || e.length != 1) return false;
        v->boolean = e.content[0] ? 1 : 0;
        return true;
    case Conv::U32: return ReadInt(e, 4, true, &v->u32);
    case Conv::I32: return ReadInt(e, 4, false, &v->i32);
    case Conv::U16: return ReadInt(e, 2, true, &v->u16);
    case Conv::I16: return ReadInt(e, 2, false, &v->i16);
    case Conv::Real: return ReadReal(e, &v->real);
    case Conv::Card64: {
        uint64_t u;
        if (!ReadInt(e, 8, true, &u)) return false;
        v->card64 = Split(u);
        return true;
    }
    case Conv::Pair32:
        return ReadPair(e, &a, &b) && ReadInt(a, 4, true, &v->pair32.lower) &&
               ReadInt(b, 4, true, &v->pair32.upper);
    case Conv::Pair64:
        return ReadPair(e, &a, &b) && ReadReal(a, &v->pair64.lower) &&
               ReadReal(b, &v->pair64.upper);
    case Conv::Card64Range: {
        uint64_t lower, upper;
        if (!ReadPair(e, &a, &b) || !ReadInt(a, 8, true, &lower) || !ReadInt(b, 8, true, &upper))
            return false;
        v->card64_range = GEN_Cardinal64Range{Split(lower), Split(upper)};
        return true;
    }
    case Conv::Text:
        if (e.tag < 0x80 || e.tag > 0x83 || e.length > GEN_TEXT_MAX) return false;
        v->text.kind = (e.tag & 0x1f) + 1;
        if (v->text.kind <= GEN_KIND_STRING && memchr(e.content, 0, e.length)) return false;
        *owned = e;
        return true;
    case Conv::Name:
        if (e.tag < 0x80 || e.tag > 0x83 || e.length > GEN_SIMPLE_NAME_MAX) return false;
        v->name.kind = (e.tag & 0x1f) + 1;
        if (v->name.kind <= GEN_KIND_STRING) {
            if (memchr(e.content, 0, e.length)) return false;
            memcpy(v->name.u.string, e.content, e.length);
        } else {
            v->name.u.counted.length = static_cast<uint16_t>(e.length);
            memcpy(v->name.u.counted.value, e.content, e.length);
        }
        return true;
    case Conv::Octets:
        if (e.tag != 0x04) return false;
        *owned = e;
        return true;
    case Conv::JobId:
        if (e.tag != 0x16 || !CleanString(e, GEN_JOB_ID_MAX)) return false;
        memcpy(v->job_id.value, e.content, e.length);
        return true;
    case Conv::Time: {
        BerGeneralizedTime t{};
        if (e.tag != 0x18 || !CleanString(e, sizeof t.value - 1)) return false;
        memcpy(t.value, e.content, e.length);
        return TimeToGen(nullptr, t, &v->time) == 0;
    }
    case Conv::Direct:
    case Conv::DirectList: break;
    }
    return false;
}

Straight UnpackStraight(STF_List *status, const Syntax &s, const unsigned char *bytes,
                        uint32_t length, World *w, void **value) {
    if (GENU__printPDU || IsDirect(s)) return Straight::kGeneral;
    Tlv e, owned{0, nullptr, 0, nullptr};
    alignas(Fixed) unsigned char zeroed[sizeof(Fixed)] = {};
    auto *v = reinterpret_cast<Fixed *>(zeroed);
    if (!ReadTlv(bytes, bytes + length, &e) || e.next != bytes + length ||
        !ReadStraight(s, e, v, &owned))
        return Straight::kGeneral;
    // What the runtime would have counted against the decode's budget: its
    // structure and the octets it holds by address.
    if (BerSize(s.conv) + owned.length + 1 > w->decode_budget) return Straight::kGeneral;
    void *gen = w->alloc(s.gen_size);
    if (!gen) {
        Fail(status, kNoMem);
        return Straight::kFailed;
    }
    if (owned.length) {
        // The new value owns its text or octets, with a zero after them.
        auto *p = static_cast<unsigned char *>(w->alloc(owned.length + 1));
        if (!p) {
            w->free(gen);
            Fail(status, kNoMem);
            if (s.unpack_fail) Fail(status, s.unpack_fail);
            return Straight::kFailed;
        }
        memcpy(p, owned.content, owned.length);
        p[owned.length] = 0;
        GEN_OctetString &o = s.conv == Conv::Octets ? v->octets : v->text.u.octets;
        if (s.conv == Conv::Text && v->text.kind <= GEN_KIND_STRING) {
            v->text.u.string = reinterpret_cast<char *>(p);
        } else {
            o.length = static_cast<int32_t>(owned.length);
            o.value = p;
        }
    }
    memcpy(gen, v, s.gen_size);
    *value = gen;
    return Straight::kDone;
}

// Values whose runtime structure is the value itself: encoded in place.
int PackDirect(STF_List *status, const Syntax &s, const void *value, World *w,
               GENU_Buffer *encoded) {
    const void *first = value;
    const void *structure = s.conv == Conv::DirectList ? static_cast<const void *>(&first) : value;
    if (GENU__printPDU) {
        LOG_CondMessage(8, __FILE__, __LINE__, "ODP_PackAV: printing PDU...\n");
        GENU_OssPrintPDU(nullptr, s.pdu, structure);
    }
    GENU_Buffer out{0, nullptr};
    if (int rc = EncodeIn(w, s.pdu, structure, &out)) {
        if (rc == kNoMemory) {
            Fail(status, kNoMem);
        } else {
            Fail(status, GENU_S_ENCODE);
            Fail(status, s.pack_fail);
        }
        return 1;
    }
    LOG_CondMessage(8, __FILE__, __LINE__, "ODP_PackAV: encoded okay, length = %ld\n",
                    static_cast<long>(out.length));
    *encoded = out;
    return 0;
}

// The decoded structure is the new value (a list's holder is dropped).
int UnpackDirect(STF_List *status, const Syntax &s, void *ber, World *w, void **value) {
    if (s.conv == Conv::DirectList) {
        void *first = *static_cast<void **>(ber);
        w->free(ber);
        if (!first) {
            // An empty list has no library form: a list value is its first node.
            Fail(status, s.unpack_fail);
            return 1;
        }
        ber = first;
    }
    *value = ber;
    return 0;
}

// The hooks of an allocator record (null: the heap pair).
Hooks HooksOfAllocator(const GENU_Allocator *a) {
    if (!a) a = &genu_ossAllocator[1];
    return Hooks{a->alloc, a->free};
}

// The copy's status: out of memory stays, anything else becomes `code`.
uint32_t CopyFailure(STF_List *inner, uint32_t code) {
    return inner && STF_GetStatus(inner) == kNoMem ? kNoMem : code;
}

const Syntax *Begin(STF_List *status, uint32_t type, const void *a, const void *b) {
    STF_ClearStatus(status);
    const Syntax *s = FindSyntax(type);
    if (!s) {
        Fail(status, GEN_S_NOTSUPP);
        return nullptr;
    }
    if (!a || !b) {
        Fail(status, kInvalid);
        return nullptr;
    }
    return s;
}

// Copies a library value with the descriptor into a new block of the
// allocator; the block's contents are then moved to `out` and the block
// released (lists keep their first node's block).
uint32_t CopyValue(const Syntax &s, const void *src, void *out, const GENU_Allocator *a,
                   bool keep_block, uint32_t fail) {
    STF_List *inner = STF_CreateList(nullptr);
    if (!inner) return kNoMem;
    void *copy = nullptr;
    int rc = s.desc->copy(inner, &copy, src, a);
    uint32_t code = rc ? CopyFailure(inner, fail) : 0;
    STF_DeleteList(inner);
    if (code) return code;
    if (keep_block) {
        *static_cast<void **>(out) = copy;
    } else {
        memcpy(out, copy, s.gen_size);
        a->free(copy);
    }
    return 0;
}

} // namespace

int vrcore::ber::SyntaxToBer(STF_List *status, uint32_t type, void *ber, const void *value) {
    if (!status) return 1;
    const Syntax *s = Begin(status, type, ber, value);
    if (!s) return 1;
    if (IsDirect(*s)) {
        bool list = s->conv == Conv::DirectList;
        memset(ber, 0, list ? sizeof(void *) : s->gen_size);
        if (uint32_t rc = CopyValue(*s, value, ber, &genu_ossAllocator[0], list, s->pack_fail)) {
            Fail(status, rc);
            return 1;
        }
        return 0;
    }
    memset(ber, 0, BerSize(s->conv));
    if (ToBer(status, *s, value, ber)) {
        if (s->pack_fail && STF_GetStatus(status) != s->pack_fail) Fail(status, s->pack_fail);
        return 1;
    }
    return 0;
}

int vrcore::ber::SyntaxFreeBer(STF_List *status, uint32_t type, void *ber) {
    if (!status) return 1;
    const Syntax *s = Begin(status, type, ber, ber);
    if (!s) return 1;
    // The runtime's own structures hold nothing of their own: texts and
    // names are in place, octets borrowed from the value.
    if (IsDirect(*s)) FreeContent(HooksOfAllocator(&genu_ossAllocator[0]), *PduType(s->pdu), ber);
    return 0;
}

int vrcore::ber::SyntaxToGen(STF_List *status, uint32_t type, const void *ber, void *value,
                             const GENU_Allocator *a) {
    if (!status) return 1;
    const Syntax *s = Begin(status, type, ber, value);
    if (!s) return 1;
    if (!a) a = &genu_ossAllocator[1];
    memset(value, 0, s->gen_size);
    if (IsDirect(*s)) {
        const void *src = ber;
        if (s->conv == Conv::DirectList) {
            src = *static_cast<void *const *>(ber);
            if (!src) {
                Fail(status, s->unpack_fail);
                return 1;
            }
        }
        if (uint32_t rc = CopyValue(*s, src, value, a, false, s->unpack_fail)) {
            Fail(status, rc);
            return 1;
        }
        return 0;
    }
    if (ToGen(status, *s, ber, value, a)) {
        if (s->unpack_fail && STF_GetStatus(status) != s->unpack_fail) Fail(status, s->unpack_fail);
        return 1;
    }
    return 0;
}

int vrcore::ber::SyntaxFreeGen(STF_List *status, uint32_t type, void *value,
                               const GENU_Allocator *a) {
    if (!status) return 1;
    const Syntax *s = Begin(status, type, value, value);
    if (!s) return 1;
    Hooks h = HooksOfAllocator(a);
    if (s->conv == Conv::Direct) {
        FreeContent(h, *PduType(s->pdu), value);
    } else if (s->conv == Conv::DirectList) {
        const Type &list = *PduType(s->pdu);
        FreeContent(h, list, value); // the nodes after the first
        FreeContent(h, *list.elem, static_cast<unsigned char *>(value) + list.elem_offset);
    } else if (s->conv == Conv::Text) {
        auto *t = static_cast<GEN_Text *>(value);
        void *p = t->kind == GEN_KIND_IRV || t->kind == GEN_KIND_STRING
                      ? static_cast<void *>(t->u.string)
                      : static_cast<void *>(t->u.octets.value);
        if (p) h.free(p);
        memset(t, 0, sizeof *t);
    } else if (s->conv == Conv::Octets) {
        auto *o = static_cast<GEN_OctetString *>(value);
        if (o->value) h.free(o->value);
        o->value = nullptr;
        o->length = 0;
    }
    return 0;
}

int vrcore::ber::SyntaxPdu(uint32_t type) {
    const Syntax *s = FindSyntax(type);
    return s ? s->pdu : -1;
}

size_t vrcore::ber::SyntaxBerSize(uint32_t type) {
    const Syntax *s = FindSyntax(type);
    if (!s) return 0;
    if (s->conv == Conv::DirectList) return sizeof(void *);
    return IsDirect(*s) ? s->gen_size : BerSize(s->conv);
}

extern "C" {

int GENU_TypeToPDU(uint32_t type) try {
    const Syntax *s = FindSyntax(type);
    if (s) return s->pdu;
    LOG_CondMessage(5, __FILE__, __LINE__, "GENU_TypeToPDU: unknown type = %d\n",
                    static_cast<int>(type));
    return -1;
}
VR_CATCH_RETURN(-1)

int ODP_PackAV(STF_List *status, uint32_t type, const void *value, GENU_Buffer *encoded) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (encoded) {
        encoded->length = 0;
        encoded->value = nullptr;
    }
    const Syntax *s = FindSyntax(type);
    if (!s) {
        Fail(status, GEN_S_NOTSUPP);
        return 1;
    }
    if (!value || !encoded) {
        Fail(status, kInvalid);
        return 1;
    }
    // One look-up of the thread's context serves the whole call.
    World *w = ThisWorld();
    if (IsDirect(*s)) return PackDirect(status, *s, value, w, encoded);
    if (w) {
        Straight done = PackStraight(status, *s, value, w, encoded);
        if (done != Straight::kGeneral) return done == Straight::kFailed ? 1 : 0;
    }
    void *ber = _GENU__MyMalloc(BerSize(s->conv));
    if (!ber) {
        Fail(status, kNoMem);
        return 1;
    }
    memset(ber, 0, BerSize(s->conv));
    if (ToBer(status, *s, value, ber)) {
        _GENU__MyFree(ber);
        if (s->pack_fail && STF_GetStatus(status) != s->pack_fail) Fail(status, s->pack_fail);
        return 1;
    }
    if (GENU__printPDU) {
        LOG_CondMessage(8, __FILE__, __LINE__, "ODP_PackAV: printing PDU...\n");
        GENU_OssPrintPDU(nullptr, s->pdu, ber);
    }
    GENU_Buffer out{0, nullptr};
    int rc = EncodeIn(w, s->pdu, ber, &out);
    // Only texts own nothing outside the block; octets are borrowed.
    _GENU__MyFree(ber);
    if (rc) {
        Fail(status, GENU_S_ENCODE);
        return 1;
    }
    LOG_CondMessage(8, __FILE__, __LINE__, "ODP_PackAV: encoded okay, length = %ld\n",
                    static_cast<long>(out.length));
    *encoded = out;
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ODP_UnpackAV(STF_List *status, uint32_t length, const unsigned char *bytes, uint32_t type,
                 void **value, GENU_ValueDescriptor *descriptor) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (value) *value = nullptr;
    const Syntax *s = FindSyntax(type);
    if (!s) {
        Fail(status, GEN_S_NOTSUPP);
        return 1;
    }
    if (!value || !descriptor) {
        Fail(status, kInvalid);
        return 1;
    }
    if (length < 1 || !bytes || length > INT32_MAX) {
        Fail(status, GENU_S_UNPACK_EMPTY);
        return 1;
    }
    LOG_CondMessage(8, __FILE__, __LINE__, "ODP_UnpackAV: decoding AV packet, pdunum=%d...\n",
                    s->pdu);
    World *w = ThisWorld();
    if (w) {
        Straight done = UnpackStraight(status, *s, bytes, length, w, value);
        if (done != Straight::kGeneral) {
            if (done == Straight::kDone) *descriptor = *s->desc;
            return done == Straight::kFailed ? 1 : 0;
        }
    }
    int pdu = s->pdu;
    GENU_Buffer in{length, const_cast<unsigned char *>(bytes)};
    void *ber = nullptr;
    if (int rc = DecodeIn(w, &pdu, &in, &ber)) {
        LOG_CondMessage(5, __FILE__, __LINE__, "ODP_UnpackAV: decode failed with code %d\n", rc);
        Fail(status, GENU_S_DECODE);
        // Well-formed, but naming what the library cannot hold (an
        // identifier nobody registered, say): the syntax's own failure.
        if (rc == kConvert && s->unpack_fail) Fail(status, s->unpack_fail);
        return 1;
    }
    if (GENU__printPDU) {
        LOG_CondMessage(8, __FILE__, __LINE__, "ODP_UnpackAV: printing result PDU...\n");
        GENU_OssPrintPDU(nullptr, pdu, ber);
    }
    if (IsDirect(*s)) {
        if (UnpackDirect(status, *s, ber, w, value)) return 1;
        *descriptor = *s->desc;
        return 0;
    }
    void *gen = _GENU__MyMalloc(s->gen_size);
    if (!gen) {
        GENU_OssFreePDU(nullptr, pdu, ber);
        Fail(status, kNoMem);
        return 1;
    }
    memset(gen, 0, s->gen_size);
    if (ToGen(status, *s, ber, gen, &genu_ossAllocator[0])) {
        _GENU__MyFree(gen);
        GENU_OssFreePDU(nullptr, pdu, ber);
        if (s->unpack_fail && STF_GetStatus(status) != s->unpack_fail) Fail(status, s->unpack_fail);
        return 1;
    }
    GENU_OssFreePDU(nullptr, pdu, ber);
    *descriptor = *s->desc;
    *value = gen;
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

} // extern "C"
