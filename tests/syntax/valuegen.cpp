#include "valuegen.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "vrcore/as.h"
#include "vrcore/genu.h"

namespace vrtest {

using vrcore::syntax::Field;
using vrcore::syntax::FieldKind;
using vrcore::syntax::TypeInfo;

namespace {

// Kind of every text and name in narrow mode; 0 when off.
int32_t g_narrow = 0;

// The member of type T at offset `off` of a value (read-only where the value is).
template <typename T> T &At(const void *v, uint32_t off) {
    return *reinterpret_cast<T *>(const_cast<char *>(static_cast<const char *>(v)) + off);
}

int Pick(std::mt19937 &rng, int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}
// A byte of a string: printable, or 'a' or 'b' in narrow mode.
char Letter(std::mt19937 &rng) {
    return static_cast<char>(g_narrow ? Pick(rng, 'a', 'b') : Pick(rng, 0x20, 0x7E));
}
// A byte of counted octets: any, or 'a' or 'b' in narrow mode.
unsigned char Byte(std::mt19937 &rng) {
    return static_cast<unsigned char>(g_narrow ? Pick(rng, 'a', 'b') : Pick(rng, 0, 255));
}
// The length of a string of at most max characters or bytes.
int Length(std::mt19937 &rng, int max) { return Pick(rng, 0, g_narrow ? 2 : max); }

char *NewString(std::mt19937 &rng, int max) {
    int n = Length(rng, max);
    char *s = static_cast<char *>(std::calloc(static_cast<size_t>(n) + 1, 1));
    for (int i = 0; i < n; ++i) s[i] = Letter(rng);
    return s;
}

void GenOctets(std::mt19937 &rng, GEN_OctetString &o, int max) {
    o.length = Length(rng, max);
    o.value = o.length ? static_cast<unsigned char *>(std::malloc(static_cast<size_t>(o.length)))
                       : nullptr;
    for (int i = 0; i < o.length; ++i) o.value[i] = Byte(rng);
}

// The syntaxes of generated attribute values and substrings.
const TypeInfo &TypeOf(uint32_t value_type) {
    return value_type == 1    ? vrcore::syntax::T_Cardinal
           : value_type == 27 ? vrcore::syntax::T_SimpleName
                              : vrcore::syntax::T_Text;
}
uint32_t RandomValueType(std::mt19937 &rng) {
    return std::array<uint32_t, 3>{1, 27, 28}[Pick(rng, 0, 2)];
}

void GenValue(std::mt19937 &rng, const TypeInfo &t, void *v, int depth);

void *NewValue(std::mt19937 &rng, const TypeInfo &t, int depth) {
    void *v = std::calloc(1, t.size);
    GenValue(rng, t, v, depth);
    return v;
}
void *NewValueOf(std::mt19937 &rng, uint32_t value_type, int depth) {
    return NewValue(rng, TypeOf(value_type), depth + 1);
}

// Up to three values in a set of its own, the set's handle released.
AS_AttrHandle NewAttribute(std::mt19937 &rng, int depth) {
    StatusList st;
    AS_SetHandle set = nullptr;
    AS_AttrHandle attr = nullptr;
    uint32_t type = RandomValueType(rng);
    auto id = static_cast<GENU_ShortOID>(Pick(rng, 1, 1092));
    AS_Create(st, &set, nullptr, 0);
    AS_AddAttr(st, set, id, type, &attr);
    for (int n = Pick(rng, 0, 3); n > 0; --n)
        AS_AddAttrVal(st, set, id, type, NewValueOf(rng, type, depth), GENU_AVT2Descriptor(type),
                      nullptr);
    AS_FreeSetHandle(st, &set);
    return attr;
}

void GenField(std::mt19937 &rng, const Field &f, void *v, int depth) {
    switch (f.kind) {
    case FieldKind::Flat:
        for (uint32_t i = 0; i < f.size; ++i)
            At<char>(v, f.offset + i) = static_cast<char>(g_narrow ? 0 : Pick(rng, 0, 255));
        if (g_narrow) At<char>(v, f.offset) = static_cast<char>(Pick(rng, 0, 2));
        break;
    case FieldKind::CharArray:
        for (int i = 0, n = Length(rng, static_cast<int>(f.size) - 1); i <= n; ++i)
            At<char>(v, f.offset + i) = i < n ? Letter(rng) : 0;
        break;
    case FieldKind::CString:
        At<char *>(v, f.offset) = Pick(rng, 0, 4) ? NewString(rng, 30) : nullptr;
        break;
    case FieldKind::Octets: GenOctets(rng, At<GEN_OctetString>(v, f.offset), 40); break;
    case FieldKind::Text: {
        auto &t = At<GEN_Text>(v, f.offset);
        t.kind = g_narrow ? g_narrow : Pick(rng, 1, 5);
        if (t.kind <= 2)
            t.u.string = Pick(rng, 0, 5) ? NewString(rng, 60) : nullptr;
        else
            GenOctets(rng, t.u.octets, 60);
        t.charset = t.kind == 5 && !g_narrow ? static_cast<GENU_ShortOID>(Pick(rng, 0, 4000)) : 0;
        break;
    }
    case FieldKind::SimpleName: {
        auto &n = At<GEN_SimpleName>(v, f.offset);
        n.kind = g_narrow ? g_narrow : Pick(rng, 1, 5);
        int len = g_narrow          ? Length(rng, 2)
                  : Pick(rng, 0, 1) ? Pick(rng, 0, 20)
                                    : Pick(rng, 240, 255);
        for (int i = 0; i < len; ++i)
            n.kind <= 2 ? void(n.u.string[i] = Letter(rng))
                        : void(n.u.counted.value[i] = Byte(rng));
        if (n.kind > 2) n.u.counted.length = static_cast<uint16_t>(len);
        n.charset = n.kind == 5 && !g_narrow ? static_cast<GENU_ShortOID>(Pick(rng, 0, 4000)) : 0;
        break;
    }
    case FieldKind::Inline: GenValue(rng, *f.type, &At<char>(v, f.offset), depth + 1); break;
    case FieldKind::Ptr:
        At<void *>(v, f.offset) =
            depth < 6 && Pick(rng, 0, 3) ? NewValue(rng, *f.type, depth + 1) : nullptr;
        break;
    case FieldKind::Choice: {
        const vrcore::syntax::Alt &alt = f.alts[Pick(rng, 0, static_cast<int>(f.nalts) - 1)];
        GenField(rng, alt.field, v, depth);
        At<int32_t>(v, f.offset) = alt.choice;
        break;
    }
    case FieldKind::CountedArray: {
        auto count = static_cast<uint32_t>(Pick(rng, 0, static_cast<int>(f.max)));
        for (uint32_t i = 0; i < count; ++i)
            GenValue(rng, *f.type, &At<char>(v, f.elem_offset + i * f.type->size), depth + 1);
        At<uint16_t>(v, f.offset) = static_cast<uint16_t>(count);
        break;
    }
    case FieldKind::ValueType: At<uint32_t>(v, f.offset) = RandomValueType(rng); break;
    case FieldKind::AnyValue:
        At<void *>(v, f.offset) =
            Pick(rng, 0, 2) ? NewValueOf(rng, At<uint32_t>(v, f.elem_offset), depth) : nullptr;
        break;
    case FieldKind::AnyValueList: {
        GEN_SeqOfValues **tail = &At<GEN_SeqOfValues *>(v, f.offset);
        for (int n = Pick(rng, 0, 3); n > 0; --n, tail = &(*tail)->next) {
            *tail = static_cast<GEN_SeqOfValues *>(std::calloc(1, sizeof(GEN_SeqOfValues)));
            (*tail)->value = NewValueOf(rng, At<uint32_t>(v, f.elem_offset), depth);
        }
        break;
    }
    case FieldKind::AttrHandle:
        At<AS_AttrHandle>(v, f.offset) = Pick(rng, 0, 4) ? NewAttribute(rng, depth) : nullptr;
        break;
    }
}

void GenNode(std::mt19937 &rng, const TypeInfo &t, void *v, int depth) {
    for (uint32_t i = 0; i < t.nfields; ++i) GenField(rng, t.fields[i], v, depth);
}

void GenValue(std::mt19937 &rng, const TypeInfo &t, void *v, int depth) {
    GenNode(rng, t, v, depth);
    for (int n = t.list ? Pick(rng, 0, 3) : 0; n > 0; --n) {
        void *node = std::calloc(1, t.size);
        GenNode(rng, t, node, depth);
        *static_cast<void **>(v) = node;
        v = node;
    }
}

// A string in quotes, "null" for none.
std::string Quoted(const char *s, size_t n) { return s ? '"' + std::string(s, n) + '"' : "null"; }
std::string Quoted(const char *s) { return Quoted(s, s ? std::strlen(s) : 0); }

// Bytes as a quoted string when every one is printable, else in hex.
void Bytes(std::string &out, const void *p, size_t n, bool text = true) {
    auto *b = static_cast<const unsigned char *>(p);
    for (size_t i = 0; i < n; ++i) text = text && b[i] >= 0x20 && b[i] < 0x7F && b[i] != '"';
    if (text) return void(out += Quoted(static_cast<const char *>(p), n));
    for (size_t i = 0; i < n; ++i)
        out += "0123456789abcdef"[b[i] >> 4], out += "0123456789abcdef"[b[i] & 15];
}

void DumpNode(std::string &out, const TypeInfo &t, const void *v);

void DumpAttribute(std::string &out, AS_AttrHandle attr) {
    if (!attr) return void(out += "null");
    StatusList st;
    GENU_ShortOID id = 0;
    uint32_t type = 0, count = 0;
    AS_GetAttrIDR(st, attr, &id);
    AS_GetAttrValTypeR(st, attr, &type);
    AS_GetAttrValCountR(st, attr, &count);
    out += "attr" + std::to_string(id) + '/' + std::to_string(type) + '/' + std::to_string(count) +
           '[';
    AS_AttrValHandle vh = nullptr;
    void *value = nullptr;
    for (int rc = count ? AS_FindFirstAttrValR(st, attr, &vh, &value) : 1; rc == 0;
         rc = AS_FindNextAttrValVR(st, &vh, &value))
        out += Dump(TypeOf(type), value);
    if (vh) AS_FreeAttrValHandle(st, &vh);
    out += ']';
}

void DumpField(std::string &out, const Field &f, const void *v) {
    out += std::string(f.name) + '=';
    switch (f.kind) {
    case FieldKind::Flat: {
        uint64_t n = 0;
        if (f.size == 1 || f.size == 2 || f.size == 4 || f.size == 8) {
            std::memcpy(&n, &At<char>(v, f.offset), f.size);
            out += std::to_string(n);
        } else
            Bytes(out, &At<char>(v, f.offset), f.size, false);
        break;
    }
    case FieldKind::CharArray:
        out += Quoted(&At<char>(v, f.offset), strnlen(&At<char>(v, f.offset), f.size));
        break;
    case FieldKind::CString: out += Quoted(At<char *>(v, f.offset)); break;
    case FieldKind::Octets: {
        auto &o = At<GEN_OctetString>(v, f.offset);
        out += std::to_string(o.length) + ':';
        if (o.length > 0) Bytes(out, o.value, static_cast<size_t>(o.length));
        break;
    }
    case FieldKind::Text: {
        auto &t = At<GEN_Text>(v, f.offset);
        out += "kind" + std::to_string(t.kind) + '/' + std::to_string(t.charset) + ':';
        if (t.kind <= 2)
            out += Quoted(t.u.string);
        else if (t.u.octets.length > 0)
            Bytes(out, t.u.octets.value, static_cast<size_t>(t.u.octets.length));
        break;
    }
    case FieldKind::SimpleName: {
        auto &n = At<GEN_SimpleName>(v, f.offset);
        out += "kind" + std::to_string(n.kind) + '/' + std::to_string(n.charset) + ':';
        if (n.kind <= 2)
            out += Quoted(n.u.string, strnlen(n.u.string, sizeof n.u.string));
        else
            Bytes(out, n.u.counted.value, n.u.counted.length);
        break;
    }
    case FieldKind::Inline: DumpNode(out, *f.type, &At<char>(v, f.offset)); break;
    case FieldKind::Ptr: {
        const void *p = At<void *>(v, f.offset);
        out += p ? '&' + Dump(*f.type, p) : std::string("null");
        break;
    }
    case FieldKind::Choice: {
        int32_t c = At<int32_t>(v, f.offset);
        out += std::to_string(c) + ':';
        for (uint32_t i = 0; i < f.nalts; ++i)
            if (f.alts[i].choice == c) DumpField(out, f.alts[i].field, v);
        break;
    }
    case FieldKind::CountedArray: {
        uint16_t count = At<uint16_t>(v, f.offset);
        out += std::to_string(count) + '[';
        for (uint32_t i = 0; i < count && i < f.max; ++i)
            DumpNode(out, *f.type, &At<char>(v, f.elem_offset + i * f.type->size));
        out += ']';
        break;
    }
    case FieldKind::ValueType: out += std::to_string(At<uint32_t>(v, f.offset)); break;
    case FieldKind::AnyValue: {
        const void *p = At<void *>(v, f.offset);
        out += p ? Dump(TypeOf(At<uint32_t>(v, f.elem_offset)), p) : std::string("null");
        break;
    }
    case FieldKind::AnyValueList:
        out += '[';
        for (auto *n = At<GEN_SeqOfValues *>(v, f.offset); n; n = n->next)
            out += Dump(TypeOf(At<uint32_t>(v, f.elem_offset)), n->value) + ';';
        out += ']';
        break;
    case FieldKind::AttrHandle: DumpAttribute(out, At<AS_AttrHandle>(v, f.offset)); break;
    }
    out += ' ';
}

void DumpNode(std::string &out, const TypeInfo &t, const void *v) {
    out += '{';
    for (uint32_t i = 0; i < t.nfields; ++i) DumpField(out, t.fields[i], v);
    out += '}';
}

// The descriptors whose structure has their name, then the others.
#define S(N) D(N, N)
#define D(N, T)                                                                                    \
    { #N, &GENU_##N##Desc, &vrcore::syntax::T_##T }
// clang-format off
const Described kDescribed[] = {
    S(Boolean), S(Cardinal), S(CardinalRange), S(DeltaTime), S(DistNameString), S(DocumentContent),
    S(EventHandlingProfile), S(FontReference), S(Identifier), S(Integer), S(IntegerRange),
    S(JobIdentifier), S(MaximumInteger), S(MinimumInteger), S(NameOrOID), S(NumbersUpSupported),
    S(OctetString), S(PageIdType), S(PositiveInteger), S(Real), S(Realization), S(RealRange),
    S(Sides), S(SimpleName), S(Text), S(Cardinal64), S(Cardinal64Range), S(OidCardinalMap),
    S(CardinalOrNoid), S(CardinalOrOid), S(DeliveryAddress), S(Dimension), S(DistNameStringSeq),
    S(DocumentFormat), S(Edge), S(FileReference), S(Finishing), S(GeneralizedTime),
    S(InputTrayMedium), S(Locale), S(Locations), S(MediumDimensions), S(NameOrOidSeq),
    S(NewJobIdentifier), S(NonNegativeReal), S(NonNegativeRealRange), S(ObjectIdent),
    S(MediaSelect), S(PageOrderType), S(PageSelectSeq), S(Percent), S(PosIntOrOid), S(Checkpoint),
    S(Priority), S(Privileges), S(ResultsProfile), S(XYDimensions), S(PSISAccessControlList),
    S(RPCAddress), S(SocketAddress), S(FastFilterDef), S(ExtACL), S(MediaConsumed),
    S(MediaConsumedSeq), S(PreprocessorDefinition), S(DriverInfo), S(AEIdentifier), S(AETitle),
    S(CountryName), S(CriterionType), S(DocumentIdentifier), S(DomainDefinedAttr),
    S(DomainDefinedAttrs), S(DomainName), S(ExtensionAttrs), S(External), S(IfwRDNSeq),
    S(LocationalIdentifier), S(Name), S(NetworkAddress), S(NumericUserId), S(ObjNameComponent),
    S(OrganizationName), S(OrganizationUnitName), S(OrganizationUnitNames), S(OwnerName),
    S(PageIdentifier), S(PageMediaSelect), S(PageSelect), S(PersonalName), S(QosLevel),
    S(QualityOfService), S(SeqOfFinishingProcSpec), S(SeqOfInsertSheet), S(SeqOfOctetString),
    S(SeqOfStrings), S(SetOfNameComponent), S(SetOfObjId), S(SetOfObjNameComponent), S(SetOfText),
    S(Surface), S(TerminalIdentifier), S(Token), S(Criteria), S(IgnoredAttribute), S(Filter),
    S(SetOfFilter), S(Selector), D(Descriptor, Text), D(Message, Text),
    D(DescriptiveName, SimpleName), D(RdnSeq, IfwRDNSeq), D(SeqOfObjId, SetOfObjId),
    D(APContexts, SetOfObjId), D(IfwRDN, SetOfObjNameComponent),
    D(SetOfOctetStrings, SeqOfOctetString), D(SetOfOids, SetOfObjId),
};
// clang-format on
#undef S
#undef D

} // namespace

std::span<const Described> DescribedTypes() { return kDescribed; }

const TypeInfo *TypeOfValueType(uint32_t type) {
    for (const Described &d : kDescribed)
        if (d.desc == GENU_AVT2Descriptor(type)) return d.type;
    return nullptr;
}

NarrowValues::NarrowValues(int32_t kind) { g_narrow = kind; }
NarrowValues::~NarrowValues() { g_narrow = 0; }

void *NewRandomValue(std::mt19937 &rng, const TypeInfo &t) { return NewValue(rng, t, 0); }

std::string Dump(const TypeInfo &t, const void *v) {
    std::string out;
    for (const void *n = v; n; n = t.list ? *static_cast<void *const *>(n) : nullptr) {
        DumpNode(out, t, n);
        if (t.list) out += ';';
    }
    return out;
}

} // namespace vrtest
