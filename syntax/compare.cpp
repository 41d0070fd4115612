// Comparison of values: the rule of each value type, the walk of
// structured values through their descriptions (types.cpp), the attribute
// rule and the exported GEN_Compare family.
//
// Structured values compare component by component in the order their
// description lists the fields (the order of the C structure), each with
// the rule of the component's own syntax; the first non-zero result
// decides. An optional component present in one value and absent in the
// other makes the value that has it sort after. Choices compare their
// choice numbers first. Lists compare element by element, then the shorter
// first. Plain numbers inside structures (identifiers, cardinals,
// enumerations) compare as unsigned numbers. Exceptions, below: the
// distinguished name rule, the results profile's order, the cardinal map
// and the RPC address (equal or different only).
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "system/guard.h"
#include "syntax/calendar.h"
#include "syntax/compare.h"
#include "vrcore/as.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"

namespace vrcore::syntax {

namespace {

template <typename T> T Get(const void *base, uint32_t off) {
    T v;
    std::memcpy(&v, static_cast<const char *>(base) + off, sizeof v);
    return v;
}
const void *Addr(const void *base, uint32_t off) { return static_cast<const char *>(base) + off; }

template <typename T> int32_t Order(T a, T b) { return a < b ? -1 : a > b ? 1 : 0; }

// Present sorts after absent: true when that settles the order.
bool Presence(const void *a, const void *b, int32_t &r) {
    if (a && b) return false;
    r = a ? 1 : b ? -1 : 0;
    return true;
}

// ---- Numbers -------------------------------------------------------------

// First minus second, kept within 32 bits without changing its sign.
int32_t Difference(int64_t d) {
    if (d > INT32_MAX) return INT32_MAX;
    if (d < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(d);
}

bool SameReal(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// Reals: the difference truncated toward zero, so values less than 1 apart
// are equal. A difference that is not a number cannot order the values.
bool RealRule(Cmp &c, double a, double b, int32_t &r) {
    double d = std::trunc(a - b);
    if (std::isnan(d)) return CmpFail(c, GEN_S_INVALID);
    r = d >= INT32_MAX ? INT32_MAX : d <= INT32_MIN ? INT32_MIN : static_cast<int32_t>(d);
    return true;
}

uint64_t Native(const GEN_Cardinal64 &v) { return (uint64_t{v.high} << 32) | v.low; }

bool TimeRule(const GEN_GeneralizedTime &a, const GEN_GeneralizedTime &b, int32_t &r) {
    int64_t x = TimeToSeconds(a), y = TimeToSeconds(b);
    r = x == y ? int32_t{a.millisecond} - int32_t{b.millisecond} : Order(x, y);
    return true;
}

// Language, territory, code set.
bool LocaleRule(Cmp &c, const GEN_Locale &a, const GEN_Locale &b, int32_t &r) {
    if (a.language_length > 2 || b.language_length > 2 || a.territory_length > 2 ||
        b.territory_length > 2)
        return CmpFail(c, GEN_S_INVALID);
    auto part = [](const char *x, uint16_t nx, const char *y, uint16_t ny) {
        int d = std::memcmp(x, y, nx < ny ? nx : ny);
        return d ? Sign(d) : Order(nx, ny);
    };
    r = part(a.language, a.language_length, b.language, b.language_length);
    if (!r) r = part(a.territory, a.territory_length, b.territory, b.territory_length);
    if (!r) r = Order(a.code_set, b.code_set);
    return true;
}

// The structures without addresses, each with the rule of its syntax.
bool FlatRule(Cmp &c, const TypeInfo &t, const void *a, const void *b, int32_t &r) {
    if (&t == &T_Boolean) { // equal or different; any non-zero value is true
        r = (Get<int32_t>(a, 0) != 0) != (Get<int32_t>(b, 0) != 0);
    } else if (&t == &T_Cardinal || &t == &T_DeltaTime || &t == &T_Identifier ||
               &t == &T_PositiveInteger) {
        r = Order(Get<uint32_t>(a, 0), Get<uint32_t>(b, 0));
    } else if (&t == &T_Integer || &t == &T_MaximumInteger || &t == &T_MinimumInteger ||
               &t == &T_QosLevel || &t == &T_CriterionType) {
        r = Order(Get<int32_t>(a, 0), Get<int32_t>(b, 0));
    } else if (&t == &T_PageIdType || &t == &T_Realization || &t == &T_Edge ||
               &t == &T_PageOrderType) {
        r = Difference(int64_t{Get<int32_t>(a, 0)} - Get<int32_t>(b, 0));
    } else if (&t == &T_Sides) {
        r = Get<uint16_t>(a, 0) != Get<uint16_t>(b, 0);
    } else if (&t == &T_Percent || &t == &T_Priority) {
        r = int32_t{Get<int16_t>(a, 0)} - int32_t{Get<int16_t>(b, 0)};
    } else if (&t == &T_Real || &t == &T_NonNegativeReal) {
        return RealRule(c, Get<double>(a, 0), Get<double>(b, 0), r);
    } else if (&t == &T_CardinalRange || &t == &T_IntegerRange || &t == &T_Cardinal64Range) {
        r = std::memcmp(a, b, t.size) != 0; // equal or different
    } else if (&t == &T_RealRange || &t == &T_NonNegativeRealRange || &t == &T_MediumDimensions) {
        r = !(SameReal(Get<double>(a, 0), Get<double>(b, 0)) &&
              SameReal(Get<double>(a, 8), Get<double>(b, 8)));
    } else if (&t == &T_Cardinal64) {
        r = Order(Native(Get<GEN_Cardinal64>(a, 0)), Native(Get<GEN_Cardinal64>(b, 0)));
    } else if (&t == &T_GeneralizedTime) {
        return TimeRule(Get<GEN_GeneralizedTime>(a, 0), Get<GEN_GeneralizedTime>(b, 0), r);
    } else if (&t == &T_Locale) {
        return LocaleRule(c, Get<GEN_Locale>(a, 0), Get<GEN_Locale>(b, 0), r);
    } else {
        return CmpFail(c, GEN_S_NOTSUPP);
    }
    return true;
}

// A plain number inside a structure.
int32_t FlatField(const Field &f, const void *a, const void *b) {
    switch (f.size) {
    case 4: return Order(Get<uint32_t>(a, f.offset), Get<uint32_t>(b, f.offset));
    case 2: return Order(Get<uint16_t>(a, f.offset), Get<uint16_t>(b, f.offset));
    default: // a range: equal or different
        return std::memcmp(Addr(a, f.offset), Addr(b, f.offset), f.size) != 0;
    }
}

// ---- Attributes -------------------------------------------------------------

// Value lists of an attribute, freed at the end of the comparison.
struct Values {
    AS_ValueList list{0, nullptr};
    ~Values() {
        if (list.values) GENU__CoveredFree(list.values);
    }
};

// Two attributes are equal when they have the same identifier and the same
// number of values, and their values pair off one to one as equal (in any
// order); otherwise they differ (1).
bool AttrRule(Cmp &c, AS_AttrHandle a, AS_AttrHandle b, int32_t &r) {
    if (Presence(a, b, r)) return true;
    Private p;
    if (!p.List()) return CmpFail(c, GEN_S_NOMEM);
    GENU_ShortOID ida = 0, idb = 0;
    uint32_t ta = 0, tb = 0;
    Values va, vb;
    if (AS_GetAttrIDR(p.List(), a, &ida) || AS_GetAttrIDR(p.List(), b, &idb) ||
        AS_GetAttrValTypeR(p.List(), a, &ta) || AS_GetAttrValTypeR(p.List(), b, &tb))
        return CmpFail(c, GEN_S_INVALID);
    if (ta != tb) return CmpFail(c, GEN_S_INVALID);
    r = 1;
    if (ida != idb) return true;
    if (AS_GetAttrValListR(p.List(), a, &va.list, nullptr) ||
        AS_GetAttrValListR(p.List(), b, &vb.list, nullptr))
        return CmpFail(c, p.Failure());
    if (va.list.count != vb.list.count) return true;
    uint32_t n = va.list.count;
    auto *used = static_cast<bool *>(std::calloc(n ? n : 1, sizeof(bool)));
    if (!used) return CmpFail(c, GEN_S_NOMEM);
    bool ok = true, all = true;
    for (uint32_t i = 0; ok && all && i < n; ++i) {
        bool found = false;
        for (uint32_t j = 0; ok && !found && j < n; ++j) {
            if (used[j]) continue;
            int32_t d = 0;
            ok = CompareTyped(c, ta, va.list.values[i], vb.list.values[j], d);
            if (ok && d == 0) used[j] = found = true;
        }
        all = found;
    }
    std::free(used);
    if (ok && all) r = 0;
    return ok;
}

// ---- The walk ---------------------------------------------------------------

bool CompareFields(Cmp &c, const TypeInfo &t, const void *a, const void *b, int32_t &r);

const Alt *FindAlt(const Field &f, int32_t choice) {
    for (uint32_t i = 0; i < f.nalts; ++i)
        if (f.alts[i].choice == choice) return &f.alts[i];
    return nullptr;
}

bool CompareField(Cmp &c, const Field &f, const void *a, const void *b, int32_t &r) {
    switch (f.kind) {
    case FieldKind::Flat:
    case FieldKind::ValueType: r = FlatField(f, a, b); return true;
    case FieldKind::CharArray:
        r = CompareCString(static_cast<const char *>(Addr(a, f.offset)),
                           static_cast<const char *>(Addr(b, f.offset)), f.size);
        return true;
    case FieldKind::CString: {
        auto *x = Get<const char *>(a, f.offset), *y = Get<const char *>(b, f.offset);
        if (!Presence(x, y, r)) r = CompareCString(x, y, UINT32_MAX);
        return true;
    }
    case FieldKind::Octets:
        return CompareOctetsRule(c, Get<GEN_OctetString>(a, f.offset),
                                 Get<GEN_OctetString>(b, f.offset), false, r);
    case FieldKind::Text:
        return CompareTextRule(c, *static_cast<const GEN_Text *>(Addr(a, f.offset)),
                               *static_cast<const GEN_Text *>(Addr(b, f.offset)), false, r);
    case FieldKind::SimpleName:
        return CompareNameRule(c, *static_cast<const GEN_SimpleName *>(Addr(a, f.offset)),
                               *static_cast<const GEN_SimpleName *>(Addr(b, f.offset)), false, r);
    case FieldKind::Inline:
        return CompareValue(c, *f.type, Addr(a, f.offset), Addr(b, f.offset), r);
    case FieldKind::Ptr: {
        auto *x = Get<const void *>(a, f.offset), *y = Get<const void *>(b, f.offset);
        return Presence(x, y, r) || CompareValue(c, *f.type, x, y, r);
    }
    case FieldKind::Choice: {
        int32_t ca = Get<int32_t>(a, f.offset), cb = Get<int32_t>(b, f.offset);
        const Alt *alt = FindAlt(f, ca);
        if (!alt || !FindAlt(f, cb)) return CmpFail(c, GEN_S_INVALID);
        if (ca != cb) {
            r = ca < cb ? -1 : 1;
            return true;
        }
        return CompareField(c, alt->field, a, b, r);
    }
    case FieldKind::CountedArray: {
        uint16_t na = Get<uint16_t>(a, f.offset), nb = Get<uint16_t>(b, f.offset);
        if (na > f.max || nb > f.max) return CmpFail(c, GEN_S_INVALID);
        for (uint32_t i = 0; i < na && i < nb; ++i) {
            uint32_t off = f.elem_offset + i * f.type->size;
            if (!CompareValue(c, *f.type, Addr(a, off), Addr(b, off), r)) return false;
            if (r) return true;
        }
        r = Order(na, nb);
        return true;
    }
    case FieldKind::AnyValue: {
        auto *x = Get<const void *>(a, f.offset), *y = Get<const void *>(b, f.offset);
        return Presence(x, y, r) || CompareTyped(c, Get<uint32_t>(a, f.elem_offset), x, y, r);
    }
    case FieldKind::AnyValueList: {
        uint32_t type = Get<uint32_t>(a, f.elem_offset);
        auto *x = Get<const GEN_SeqOfValues *>(a, f.offset);
        auto *y = Get<const GEN_SeqOfValues *>(b, f.offset);
        for (; x && y; x = x->next, y = y->next) {
            if (!Presence(x->value, y->value, r) && !CompareTyped(c, type, x->value, y->value, r))
                return false;
            if (r) return true;
        }
        r = x ? 1 : y ? -1 : 0;
        return true;
    }
    case FieldKind::AttrHandle:
        return AttrRule(c, Get<AS_AttrHandle>(a, f.offset), Get<AS_AttrHandle>(b, f.offset), r);
    }
    return CmpFail(c, GEN_S_INVALID);
}

bool CompareFields(Cmp &c, const TypeInfo &t, const void *a, const void *b, int32_t &r) {
    r = 0;
    for (uint32_t i = 0; i < t.nfields && r == 0; ++i)
        if (!CompareField(c, t.fields[i], a, b, r)) return false;
    return true;
}

const Field &FieldNamed(const TypeInfo &t, const char *name) {
    for (uint32_t i = 0; i < t.nfields; ++i)
        if (std::strcmp(t.fields[i].name, name) == 0) return t.fields[i];
    std::abort(); // the description lost a field this file names
}

// A distinguished name: the name syntaxes decide first (present after
// absent); then the names, ignoring letter case in the naming syntaxes of
// systems whose names are case-blind. The binary form compares the names
// byte for byte first and the syntaxes after.
bool DistNameRule(Cmp &c, const GEN_DistNameString &a, const GEN_DistNameString &b, int32_t &r) {
    if (c.binary) {
        if (!CompareTextRule(c, a.name, b.name, false, r)) return false;
        return r || Presence(a.syntax, b.syntax, r) ||
               CompareValue(c, T_NameOrOID, a.syntax, b.syntax, r);
    }
    if (Presence(a.syntax, b.syntax, r)) {
        if (r) return true;
    } else {
        if (!CompareValue(c, T_NameOrOID, a.syntax, b.syntax, r)) return false;
        if (r) return true;
    }
    GENU_ShortOID syntax = 0;
    if (uint32_t code = NameSyntaxOf(a.syntax, syntax)) return CmpFail(c, code);
    constexpr GENU_ShortOID kWin95 = 3049, kWinNT = 3050, kNTSecurity = 3051;
    bool icase = syntax == kWin95 || syntax == kWinNT || syntax == kNTSecurity;
    return CompareTextRule(c, a.name, b.name, icase, r);
}

// A results profile: job copies first (absent counts as 1), then delivery
// method, delivery address, results set comment and output bin.
bool ResultsProfileRule(Cmp &c, const GEN_ResultsProfile &a, const GEN_ResultsProfile &b,
                        int32_t &r) {
    r = Order(a.job_copies ? *a.job_copies : 1u, b.job_copies ? *b.job_copies : 1u);
    if (r) return true;
    static const Field *const order[] = {
        &FieldNamed(T_ResultsProfile, "delivery_method"),
        &FieldNamed(T_ResultsProfile, "delivery_address"),
        &FieldNamed(T_ResultsProfile, "results_set_comment"),
        &FieldNamed(T_ResultsProfile, "output_bin"),
    };
    for (const Field *f : order) {
        if (!CompareField(c, *f, &a, &b, r)) return false;
        if (r) return true;
    }
    return true;
}

} // namespace

bool CompareValue(Cmp &c, const TypeInfo &t, const void *a, const void *b, int32_t &r) {
    Nesting nesting(c);
    if (nesting.TooDeep()) return CmpFail(c, GEN_S_INVALID);
    if (t.flat) return FlatRule(c, t, a, b, r);
    if (&t == &T_DistNameString)
        return DistNameRule(c, *static_cast<const GEN_DistNameString *>(a),
                            *static_cast<const GEN_DistNameString *>(b), r);
    if (&t == &T_ResultsProfile)
        return ResultsProfileRule(c, *static_cast<const GEN_ResultsProfile *>(a),
                                  *static_cast<const GEN_ResultsProfile *>(b), r);
    if (!t.list) return CompareFields(c, t, a, b, r);
    // Lists: element by element, then the shorter first.
    for (; a && b; a = Get<const void *>(a, 0), b = Get<const void *>(b, 0)) {
        if (!CompareFields(c, t, a, b, r)) return false;
        if (r) return true;
    }
    r = a ? 1 : b ? -1 : 0;
    return true;
}

namespace {

// How a value type compares.
enum class Rule : uint8_t {
    None,     // not supported
    Walk,     // the value's description
    Area,     // 32 bytes as unsigned bytes
    Map,      // cardinal map: equal or different
    Distinct, // the description, answering equal or different
};
struct TypeRule {
    Rule rule;
    const TypeInfo *type;
};

constexpr uint32_t kTypes = 95;
constexpr size_t kAreaSize = 32;

const TypeRule *RuleOf(uint32_t type) {
    static const TypeRule table[kTypes] = {
        /* 0 */ {Rule::Walk, &T_Boolean},
        {Rule::Walk, &T_Cardinal},
        {Rule::Walk, &T_CardinalRange},
        {Rule::None, nullptr},
        {Rule::Walk, &T_DeltaTime},
        /* 5 */ {Rule::Walk, &T_Text},
        {Rule::Walk, &T_DistNameString},
        {Rule::None, nullptr},
        {Rule::Walk, &T_EventHandlingProfile},
        {Rule::Walk, &T_FontReference},
        /* 10 */ {Rule::Walk, &T_Identifier},
        {Rule::Walk, &T_IgnoredAttribute},
        {Rule::Walk, &T_Integer},
        {Rule::Walk, &T_IntegerRange},
        {Rule::Walk, &T_JobIdentifier},
        /* 15 */ {Rule::Walk, &T_MaximumInteger},
        {Rule::Walk, &T_Text},
        {Rule::Walk, &T_MinimumInteger},
        {Rule::Walk, &T_NameOrOID},
        {Rule::Walk, &T_NumbersUpSupported},
        /* 20 */ {Rule::Walk, &T_OctetString},
        {Rule::Walk, &T_PageIdType},
        {Rule::Walk, &T_PositiveInteger},
        {Rule::Walk, &T_Real},
        {Rule::Walk, &T_Realization},
        /* 25 */ {Rule::Walk, &T_RealRange},
        {Rule::Walk, &T_Sides},
        {Rule::Walk, &T_SimpleName},
        {Rule::Walk, &T_Text},
        {Rule::Area, nullptr},
        /* 30 */ {Rule::None, nullptr},
        {Rule::Walk, &T_Cardinal64},
        {Rule::Walk, &T_Cardinal64Range},
        {Rule::Map, nullptr},
        {Rule::Walk, &T_CardinalOrNoid},
        /* 35 */ {Rule::Walk, &T_CardinalOrOid},
        {Rule::None, nullptr},
        {Rule::Walk, &T_Criteria},
        {Rule::None, nullptr},
        {Rule::Walk, &T_DeliveryAddress},
        /* 40 */ {Rule::Walk, &T_SimpleName},
        {Rule::None, nullptr},
        {Rule::Walk, &T_DistNameStringSeq},
        {Rule::Walk, &T_DocumentFormat},
        {Rule::Walk, &T_Edge},
        /* 45 */ {Rule::Walk, &T_FileReference},
        {Rule::Walk, &T_Finishing},
        {Rule::None, nullptr},
        {Rule::Walk, &T_GeneralizedTime},
        {Rule::Walk, &T_InputTrayMedium},
        /* 50 */ {Rule::None, nullptr},
        {Rule::None, nullptr},
        {Rule::None, nullptr},
        {Rule::None, nullptr},
        {Rule::None, nullptr},
        /* 55 */ {Rule::Walk, &T_Locale},
        {Rule::None, nullptr},
        {Rule::Walk, &T_MediumDimensions},
        {Rule::None, nullptr},
        {Rule::None, nullptr},
        /* 60 */ {Rule::Walk, &T_NameOrOidSeq},
        {Rule::Walk, &T_NewJobIdentifier},
        {Rule::Walk, &T_NonNegativeReal},
        {Rule::Walk, &T_NonNegativeRealRange},
        {Rule::Walk, &T_ObjectIdent},
        /* 65 */ {Rule::None, nullptr},
        {Rule::None, nullptr},
        {Rule::Walk, &T_MediaSelect},
        {Rule::Walk, &T_PageOrderType},
        {Rule::Walk, &T_PageSelectSeq},
        /* 70 */ {Rule::None, nullptr},
        {Rule::Walk, &T_Percent},
        {Rule::Walk, &T_PosIntOrOid},
        {Rule::None, nullptr},
        {Rule::Walk, &T_Checkpoint},
        /* 75 */ {Rule::Walk, &T_Priority},
        {Rule::Walk, &T_Privileges},
        {Rule::None, nullptr},
        {Rule::None, nullptr},
        {Rule::None, nullptr},
        /* 80 */ {Rule::None, nullptr},
        {Rule::Walk, &T_ResultsProfile},
        {Rule::None, nullptr},
        {Rule::None, nullptr},
        {Rule::None, nullptr},
        /* 85 */ {Rule::Walk, &T_PSISAccessControlList},
        {Rule::Distinct, &T_RPCAddress},
        {Rule::Walk, &T_SocketAddress},
        {Rule::Walk, &T_FastFilterDef},
        {Rule::Walk, &T_ExtACL},
        /* 90 */ {Rule::Walk, &T_MediaConsumed},
        {Rule::Walk, &T_MediaConsumedSeq},
        {Rule::Walk, &T_PreprocessorDefinition},
        {Rule::None, nullptr},
        {Rule::Walk, &T_DriverInfo},
    };
    return type < kTypes && table[type].rule != Rule::None ? &table[type] : nullptr;
}

// A cardinal map: equal (0) when the cardinals are equal and the
// identifiers are equal or both absent, otherwise different (1).
int32_t MapRule(const GEN_OidCardinalMap &a, const GEN_OidCardinalMap &b) {
    if (a.cardinal != b.cardinal) return 1;
    if (!a.oid || !b.oid) return a.oid != b.oid;
    return *a.oid != *b.oid;
}

} // namespace

bool CompareTyped(Cmp &c, uint32_t type, const void *a, const void *b, int32_t &r) {
    const TypeRule *rule = RuleOf(type);
    if (!rule) {
        LOG_CondMessage(5, "compare.cpp", __LINE__,
                        "GEN_CompareAttrValue: AVT # %d not yet implemented\n",
                        static_cast<int>(type));
        return CmpFail(c, GEN_S_NOTSUPP);
    }
    if (!a || !b) return CmpFail(c, GEN_S_NULLARG);
    switch (rule->rule) {
    case Rule::Area: r = Sign(std::memcmp(a, b, kAreaSize)); return true;
    case Rule::Map:
        r = MapRule(*static_cast<const GEN_OidCardinalMap *>(a),
                    *static_cast<const GEN_OidCardinalMap *>(b));
        return true;
    case Rule::Distinct:
        if (!CompareValue(c, *rule->type, a, b, r)) return false;
        r = r != 0;
        return true;
    default: return CompareValue(c, *rule->type, a, b, r);
    }
}

} // namespace vrcore::syntax

using namespace vrcore::syntax;

namespace {

int Entry(STF_List *status, const TypeInfo &t, const void *a, const void *b, int32_t *r,
          bool binary) {
    Cmp c;
    if (!BeginCompare(c, status, a, b, r)) return 1;
    c.binary = binary;
    int32_t out = 0;
    if (!CompareValue(c, t, a, b, out)) return 1;
    *r = out;
    return 0;
}

int TypedEntry(STF_List *status, uint32_t type, const void *a, const void *b, int32_t *r,
               bool binary) {
    Cmp c;
    if (!BeginCompare(c, status, a, b, r)) return 1;
    c.binary = binary;
    int32_t out = 0;
    if (!CompareTyped(c, type, a, b, out)) return 1;
    *r = out;
    return 0;
}

} // namespace

#define VRSYN_COMPARE(Name, CT, T, binary)                                                         \
    extern "C" VR_EXPORT int GEN_##Name(STF_List *status, const CT *first, const CT *second,       \
                                        int32_t *result) try {                                     \
        return Entry(status, T_##T, first, second, result, binary);                                \
    }                                                                                              \
    VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VRSYN_COMPARE(CompareNameOrOID, GEN_NameOrOID, NameOrOID, false)
VRSYN_COMPARE(CompareDistNameString, GEN_DistNameString, DistNameString, false)
VRSYN_COMPARE(CompareDistNameStringSeq, GEN_DistNameStringSeq, DistNameStringSeq, false)
VRSYN_COMPARE(CompareIdentifier, GEN_Identifier, Identifier, false)
VRSYN_COMPARE(CompareJobIdentifier, GEN_JobIdentifier, JobIdentifier, false)
VRSYN_COMPARE(CompareDocumentIdentifier, GEN_DocumentIdentifier, DocumentIdentifier, false)
VRSYN_COMPARE(CompareObjectIdent, GEN_ObjectIdent, ObjectIdent, false)
VRSYN_COMPARE(CompareFontReference, GEN_FontReference, FontReference, false)
VRSYN_COMPARE(CompareGeneralizedTime, GEN_GeneralizedTime, GeneralizedTime, false)
VRSYN_COMPARE(BinCompareNameOrOID, GEN_NameOrOID, NameOrOID, true)
VRSYN_COMPARE(BinCompareDistNameString, GEN_DistNameString, DistNameString, true)
VRSYN_COMPARE(BinCompareFontReference, GEN_FontReference, FontReference, true)
VRSYN_COMPARE(BinCompareObjectIdent, GEN_ObjectIdent, ObjectIdent, true)

extern "C" {

VR_EXPORT int GEN_CompareAttrValue(STF_List *status, uint32_t type, const void *first,
                                   const void *second, int32_t *result) try {
    return TypedEntry(status, type, first, second, result, false);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

// Texts, names and the values made of them byte for byte; every other type
// as GEN_CompareAttrValue.
VR_EXPORT int GEN_BinCompareAttrValue(STF_List *status, uint32_t type, const void *first,
                                      const void *second, int32_t *result) try {
    switch (type) {
    case 5:  // descriptor
    case 6:  // distinguished name string
    case 9:  // font reference
    case 16: // message
    case 18: // name or oid
    case 27: // simple name
    case 28: // text
    case 40: // descriptive name
    case 64: // object identification
        return TypedEntry(status, type, first, second, result, true);
    default: return TypedEntry(status, type, first, second, result, false);
    }
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

} // extern "C"
