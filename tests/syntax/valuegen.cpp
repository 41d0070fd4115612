#include "valuegen.h"

#include <cstdlib>
#include <cstring>

#include "vrcore/as.h"
#include "vrcore/genu.h"

namespace vrtest {

using vrsyn::Field;
using vrsyn::FieldKind;
using vrsyn::TypeInfo;

namespace {

// Kind of every text and name in narrow mode; 0 when off.
int32_t g_narrow = 0;

char *Base(void *v, uint32_t off) { return static_cast<char *>(v) + off; }
const char *Base(const void *v, uint32_t off) { return static_cast<const char *>(v) + off; }

int Pick(std::mt19937 &rng, int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

void RandomChars(std::mt19937 &rng, char *dst, size_t n) {
    for (size_t i = 0; i < n; ++i)
        dst[i] = static_cast<char>(g_narrow ? Pick(rng, 'a', 'b') : Pick(rng, 0x20, 0x7E));
}

// The length of a string of at most max characters or bytes.
int Length(std::mt19937 &rng, int max) { return Pick(rng, 0, g_narrow ? 2 : max); }

char *NewString(std::mt19937 &rng, int max) {
    int n = Length(rng, max);
    char *s = static_cast<char *>(std::malloc(static_cast<size_t>(n) + 1));
    RandomChars(rng, s, static_cast<size_t>(n));
    s[n] = 0;
    return s;
}

void GenOctets(std::mt19937 &rng, GEN_OctetString &o, int max) {
    o.length = Length(rng, max);
    o.value = nullptr;
    if (o.length == 0) return;
    o.value = static_cast<unsigned char *>(std::malloc(static_cast<size_t>(o.length)));
    for (int i = 0; i < o.length; ++i)
        o.value[i] = static_cast<unsigned char>(g_narrow ? Pick(rng, 'a', 'b') : Pick(rng, 0, 255));
}

// The syntaxes of generated attribute values and substrings.
const TypeInfo &TypeOf(uint32_t value_type) {
    switch (value_type) {
    case 1:
        return vrsyn::T_Cardinal;
    case 27:
        return vrsyn::T_SimpleName;
    default:
        return vrsyn::T_Text;
    }
}
uint32_t RandomValueType(std::mt19937 &rng) {
    static const uint32_t types[] = {1, 27, 28};
    return types[Pick(rng, 0, 2)];
}

void *NewValueOf(std::mt19937 &rng, uint32_t value_type, int depth) {
    void *v = std::calloc(1, TypeOf(value_type).size);
    GenValue(rng, TypeOf(value_type), v, depth + 1);
    return v;
}

// An attribute with up to three values in a set of its own, the set's
// handle released: the shape the library gives attributes inside values.
AS_AttrHandle NewAttribute(std::mt19937 &rng, int depth) {
    STF_List *st = STF_CreateList(nullptr);
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
    STF_DeleteList(st);
    return attr;
}

void GenField(std::mt19937 &rng, const Field &f, void *v, int depth) {
    switch (f.kind) {
    case FieldKind::Flat:
        for (uint32_t i = 0; i < f.size; ++i)
            Base(v, f.offset)[i] = static_cast<char>(g_narrow ? 0 : Pick(rng, 0, 255));
        if (g_narrow) Base(v, f.offset)[0] = static_cast<char>(Pick(rng, 0, 2));
        break;
    case FieldKind::CharArray: {
        int n = Length(rng, static_cast<int>(f.size) - 1);
        RandomChars(rng, Base(v, f.offset), static_cast<size_t>(n));
        Base(v, f.offset)[n] = 0;
        break;
    }
    case FieldKind::CString:
        *reinterpret_cast<char **>(Base(v, f.offset)) = Pick(rng, 0, 4) ? NewString(rng, 30) : nullptr;
        break;
    case FieldKind::Octets:
        GenOctets(rng, *reinterpret_cast<GEN_OctetString *>(Base(v, f.offset)), 40);
        break;
    case FieldKind::Text: {
        auto &t = *reinterpret_cast<GEN_Text *>(Base(v, f.offset));
        t.kind = g_narrow ? g_narrow : Pick(rng, 1, 5);
        if (t.kind <= 2)
            t.u.string = Pick(rng, 0, 5) ? NewString(rng, 60) : nullptr;
        else
            GenOctets(rng, t.u.octets, 60);
        t.charset = t.kind == 5 && !g_narrow ? static_cast<GENU_ShortOID>(Pick(rng, 0, 4000)) : 0;
        break;
    }
    case FieldKind::SimpleName: {
        auto &n = *reinterpret_cast<GEN_SimpleName *>(Base(v, f.offset));
        n.kind = g_narrow ? g_narrow : Pick(rng, 1, 5);
        int len = g_narrow ? Length(rng, 2) : Pick(rng, 0, 1) ? Pick(rng, 0, 20) : Pick(rng, 240, 255);
        if (n.kind <= 2) {
            RandomChars(rng, n.u.string, static_cast<size_t>(len));
            n.u.string[len] = 0;
        } else {
            n.u.counted.length = static_cast<uint16_t>(len);
            for (int i = 0; i < len; ++i)
                n.u.counted.value[i] =
                    static_cast<unsigned char>(g_narrow ? Pick(rng, 'a', 'b') : Pick(rng, 0, 255));
        }
        n.charset = n.kind == 5 && !g_narrow ? static_cast<GENU_ShortOID>(Pick(rng, 0, 4000)) : 0;
        break;
    }
    case FieldKind::Inline:
        GenValue(rng, *f.type, Base(v, f.offset), depth + 1);
        break;
    case FieldKind::Ptr: {
        void *&p = *reinterpret_cast<void **>(Base(v, f.offset));
        if (depth < 6 && Pick(rng, 0, 3)) {
            p = std::calloc(1, f.type->size);
            GenValue(rng, *f.type, p, depth + 1);
        } else {
            p = nullptr;
        }
        break;
    }
    case FieldKind::Choice: {
        const vrsyn::Alt &alt = f.alts[Pick(rng, 0, static_cast<int>(f.nalts) - 1)];
        GenField(rng, alt.field, v, depth);
        *reinterpret_cast<int32_t *>(Base(v, f.offset)) = alt.choice;
        break;
    }
    case FieldKind::CountedArray: {
        int count = Pick(rng, 0, static_cast<int>(f.max));
        for (int i = 0; i < count; ++i)
            GenValue(rng, *f.type, Base(v, f.elem_offset + static_cast<uint32_t>(i) * f.type->size),
                     depth + 1);
        *reinterpret_cast<uint16_t *>(Base(v, f.offset)) = static_cast<uint16_t>(count);
        break;
    }
    case FieldKind::ValueType:
        *reinterpret_cast<uint32_t *>(Base(v, f.offset)) = RandomValueType(rng);
        break;
    case FieldKind::AnyValue: {
        uint32_t type = *reinterpret_cast<uint32_t *>(Base(v, f.elem_offset));
        *reinterpret_cast<void **>(Base(v, f.offset)) =
            Pick(rng, 0, 2) ? NewValueOf(rng, type, depth) : nullptr;
        break;
    }
    case FieldKind::AnyValueList: {
        uint32_t type = *reinterpret_cast<uint32_t *>(Base(v, f.elem_offset));
        GEN_SeqOfValues **tail = reinterpret_cast<GEN_SeqOfValues **>(Base(v, f.offset));
        for (int n = Pick(rng, 0, 3); n > 0; --n) {
            auto *node = static_cast<GEN_SeqOfValues *>(std::calloc(1, sizeof(GEN_SeqOfValues)));
            node->value = NewValueOf(rng, type, depth);
            *tail = node;
            tail = &node->next;
        }
        break;
    }
    case FieldKind::AttrHandle:
        *reinterpret_cast<AS_AttrHandle *>(Base(v, f.offset)) =
            Pick(rng, 0, 4) ? NewAttribute(rng, depth) : nullptr;
        break;
    }
}

void GenNode(std::mt19937 &rng, const TypeInfo &t, void *v, int depth) {
    for (uint32_t i = 0; i < t.nfields; ++i) GenField(rng, t.fields[i], v, depth);
}

void Hex(std::string &out, const void *p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    auto *b = static_cast<const unsigned char *>(p);
    for (size_t i = 0; i < n; ++i) {
        out += digits[b[i] >> 4];
        out += digits[b[i] & 15];
    }
}

// Bytes as a quoted string when every one is printable, else in hex.
void Bytes(std::string &out, const void *p, size_t n) {
    auto *b = static_cast<const unsigned char *>(p);
    bool text = true;
    for (size_t i = 0; i < n; ++i) text = text && b[i] >= 0x20 && b[i] < 0x7F && b[i] != '"';
    if (!text) return Hex(out, p, n);
    out += '"';
    out.append(reinterpret_cast<const char *>(b), n);
    out += '"';
}

void DumpNode(std::string &out, const TypeInfo &t, const void *v);

void DumpAttribute(std::string &out, AS_AttrHandle attr) {
    if (!attr) {
        out += "null";
        return;
    }
    STF_List *st = STF_CreateList(nullptr);
    GENU_ShortOID id = 0;
    uint32_t type = 0, count = 0;
    AS_GetAttrIDR(st, attr, &id);
    AS_GetAttrValTypeR(st, attr, &type);
    AS_GetAttrValCountR(st, attr, &count);
    out += "attr" + std::to_string(id) + '/' + std::to_string(type) + '/' +
           std::to_string(count) + '[';
    AS_AttrValHandle vh = nullptr;
    void *value = nullptr;
    if (count && AS_FindFirstAttrValR(st, attr, &vh, &value) == 0) {
        do {
            out += Dump(TypeOf(type), value);
        } while (AS_FindNextAttrValVR(st, &vh, &value) == 0);
        AS_FreeAttrValHandle(st, &vh);
    }
    out += ']';
    STF_DeleteList(st);
}

void DumpField(std::string &out, const Field &f, const void *v) {
    out += f.name;
    out += '=';
    switch (f.kind) {
    case FieldKind::Flat:
        if (f.size == 1 || f.size == 2 || f.size == 4 || f.size == 8) {
            uint64_t n = 0;
            std::memcpy(&n, Base(v, f.offset), f.size);
            out += std::to_string(n);
        } else {
            Hex(out, Base(v, f.offset), f.size);
        }
        break;
    case FieldKind::CharArray:
        out += '"';
        out.append(Base(v, f.offset), strnlen(Base(v, f.offset), f.size));
        out += '"';
        break;
    case FieldKind::CString: {
        const char *s = *reinterpret_cast<char *const *>(Base(v, f.offset));
        out += s ? '"' + std::string(s) + '"' : std::string("null");
        break;
    }
    case FieldKind::Octets: {
        auto &o = *reinterpret_cast<const GEN_OctetString *>(Base(v, f.offset));
        out += std::to_string(o.length) + ':';
        if (o.length > 0) Bytes(out, o.value, static_cast<size_t>(o.length));
        break;
    }
    case FieldKind::Text: {
        auto &t = *reinterpret_cast<const GEN_Text *>(Base(v, f.offset));
        out += "kind" + std::to_string(t.kind) + '/' + std::to_string(t.charset) + ':';
        if (t.kind <= 2)
            out += t.u.string ? '"' + std::string(t.u.string) + '"' : std::string("null");
        else if (t.u.octets.length > 0)
            Bytes(out, t.u.octets.value, static_cast<size_t>(t.u.octets.length));
        break;
    }
    case FieldKind::SimpleName: {
        auto &n = *reinterpret_cast<const GEN_SimpleName *>(Base(v, f.offset));
        out += "kind" + std::to_string(n.kind) + '/' + std::to_string(n.charset) + ':';
        if (n.kind <= 2)
            out += '"' + std::string(n.u.string, strnlen(n.u.string, sizeof n.u.string)) + '"';
        else
            Bytes(out, n.u.counted.value, n.u.counted.length);
        break;
    }
    case FieldKind::Inline:
        DumpNode(out, *f.type, Base(v, f.offset));
        break;
    case FieldKind::Ptr: {
        const void *p = *reinterpret_cast<void *const *>(Base(v, f.offset));
        if (p)
            out += '&' + Dump(*f.type, p);
        else
            out += "null";
        break;
    }
    case FieldKind::Choice: {
        int32_t c = *reinterpret_cast<const int32_t *>(Base(v, f.offset));
        out += std::to_string(c) + ':';
        for (uint32_t i = 0; i < f.nalts; ++i)
            if (f.alts[i].choice == c) DumpField(out, f.alts[i].field, v);
        break;
    }
    case FieldKind::CountedArray: {
        uint16_t count = *reinterpret_cast<const uint16_t *>(Base(v, f.offset));
        out += std::to_string(count) + '[';
        for (uint32_t i = 0; i < count && i < f.max; ++i)
            DumpNode(out, *f.type, Base(v, f.elem_offset + i * f.type->size));
        out += ']';
        break;
    }
    case FieldKind::ValueType:
        out += std::to_string(*reinterpret_cast<const uint32_t *>(Base(v, f.offset)));
        break;
    case FieldKind::AnyValue: {
        uint32_t type = *reinterpret_cast<const uint32_t *>(Base(v, f.elem_offset));
        const void *p = *reinterpret_cast<void *const *>(Base(v, f.offset));
        out += p ? Dump(TypeOf(type), p) : std::string("null");
        break;
    }
    case FieldKind::AnyValueList: {
        uint32_t type = *reinterpret_cast<const uint32_t *>(Base(v, f.elem_offset));
        out += '[';
        for (auto *n = *reinterpret_cast<GEN_SeqOfValues *const *>(Base(v, f.offset)); n;
             n = n->next)
            out += Dump(TypeOf(type), n->value) + ';';
        out += ']';
        break;
    }
    case FieldKind::AttrHandle:
        DumpAttribute(out, *reinterpret_cast<const AS_AttrHandle *>(Base(v, f.offset)));
        break;
    }
    out += ' ';
}

void DumpNode(std::string &out, const TypeInfo &t, const void *v) {
    out += '{';
    for (uint32_t i = 0; i < t.nfields; ++i) DumpField(out, t.fields[i], v);
    out += '}';
}

#define D(N, T) {#N, &GENU_##N##Desc, &vrsyn::T_##T}
const Described kDescribed[] = {
    D(Boolean, Boolean), D(Cardinal, Cardinal), D(CardinalRange, CardinalRange),
    D(DeltaTime, DeltaTime), D(Descriptor, Text), D(DistNameString, DistNameString),
    D(DocumentContent, DocumentContent), D(EventHandlingProfile, EventHandlingProfile),
    D(FontReference, FontReference), D(Identifier, Identifier), D(Integer, Integer),
    D(IntegerRange, IntegerRange), D(JobIdentifier, JobIdentifier),
    D(MaximumInteger, MaximumInteger), D(Message, Text), D(MinimumInteger, MinimumInteger),
    D(NameOrOID, NameOrOID), D(NumbersUpSupported, NumbersUpSupported),
    D(OctetString, OctetString), D(PageIdType, PageIdType), D(PositiveInteger, PositiveInteger),
    D(Real, Real), D(Realization, Realization), D(RealRange, RealRange), D(Sides, Sides),
    D(SimpleName, SimpleName), D(Text, Text), D(Cardinal64, Cardinal64),
    D(Cardinal64Range, Cardinal64Range), D(OidCardinalMap, OidCardinalMap),
    D(CardinalOrNoid, CardinalOrNoid), D(CardinalOrOid, CardinalOrOid),
    D(DeliveryAddress, DeliveryAddress), D(DescriptiveName, SimpleName),
    D(Dimension, Dimension), D(DistNameStringSeq, DistNameStringSeq),
    D(DocumentFormat, DocumentFormat), D(Edge, Edge), D(FileReference, FileReference),
    D(Finishing, Finishing), D(GeneralizedTime, GeneralizedTime),
    D(InputTrayMedium, InputTrayMedium), D(Locale, Locale), D(Locations, Locations),
    D(MediumDimensions, MediumDimensions), D(NameOrOidSeq, NameOrOidSeq),
    D(NewJobIdentifier, NewJobIdentifier), D(NonNegativeReal, NonNegativeReal),
    D(NonNegativeRealRange, NonNegativeRealRange), D(ObjectIdent, ObjectIdent),
    D(MediaSelect, MediaSelect), D(PageOrderType, PageOrderType),
    D(PageSelectSeq, PageSelectSeq), D(Percent, Percent), D(PosIntOrOid, PosIntOrOid),
    D(Checkpoint, Checkpoint), D(Priority, Priority), D(Privileges, Privileges),
    D(RdnSeq, IfwRDNSeq), D(ResultsProfile, ResultsProfile), D(XYDimensions, XYDimensions),
    D(PSISAccessControlList, PSISAccessControlList), D(RPCAddress, RPCAddress),
    D(SocketAddress, SocketAddress), D(FastFilterDef, FastFilterDef), D(ExtACL, ExtACL),
    D(MediaConsumed, MediaConsumed), D(MediaConsumedSeq, MediaConsumedSeq),
    D(PreprocessorDefinition, PreprocessorDefinition), D(SeqOfObjId, SetOfObjId),
    D(DriverInfo, DriverInfo),
    // Components.
    D(AEIdentifier, AEIdentifier), D(AETitle, AETitle), D(APContexts, SetOfObjId),
    D(CountryName, CountryName), D(CriterionType, CriterionType),
    D(DocumentIdentifier, DocumentIdentifier), D(DomainDefinedAttr, DomainDefinedAttr),
    D(DomainDefinedAttrs, DomainDefinedAttrs), D(DomainName, DomainName),
    D(ExtensionAttrs, ExtensionAttrs), D(External, External), D(IfwRDN, SetOfObjNameComponent),
    D(IfwRDNSeq, IfwRDNSeq), D(LocationalIdentifier, LocationalIdentifier), D(Name, Name),
    D(NetworkAddress, NetworkAddress), D(NumericUserId, NumericUserId),
    D(ObjNameComponent, ObjNameComponent), D(OrganizationName, OrganizationName),
    D(OrganizationUnitName, OrganizationUnitName),
    D(OrganizationUnitNames, OrganizationUnitNames), D(OwnerName, OwnerName),
    D(PageIdentifier, PageIdentifier), D(PageMediaSelect, PageMediaSelect),
    D(PageSelect, PageSelect), D(PersonalName, PersonalName), D(QosLevel, QosLevel),
    D(QualityOfService, QualityOfService), D(SeqOfFinishingProcSpec, SeqOfFinishingProcSpec),
    D(SeqOfInsertSheet, SeqOfInsertSheet), D(SeqOfOctetString, SeqOfOctetString),
    D(SeqOfStrings, SeqOfStrings), D(SetOfNameComponent, SetOfNameComponent),
    D(SetOfObjId, SetOfObjId), D(SetOfObjNameComponent, SetOfObjNameComponent),
    D(SetOfOctetStrings, SeqOfOctetString), D(SetOfOids, SetOfObjId), D(SetOfText, SetOfText),
    D(Surface, Surface), D(TerminalIdentifier, TerminalIdentifier), D(Token, Token),
    D(Criteria, Criteria), D(IgnoredAttribute, IgnoredAttribute), D(Filter, Filter),
    D(SetOfFilter, SetOfFilter), D(Selector, Selector),
};
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

void GenValue(std::mt19937 &rng, const TypeInfo &t, void *v, int depth) {
    GenNode(rng, t, v, depth);
    if (!t.list) return;
    void *tail = v;
    for (int n = Pick(rng, 0, 3); n > 0; --n) {
        void *node = std::calloc(1, t.size);
        GenNode(rng, t, node, depth);
        *static_cast<void **>(tail) = node;
        tail = node;
    }
}

void *NewRandomValue(std::mt19937 &rng, const TypeInfo &t) {
    void *v = std::calloc(1, t.size);
    GenValue(rng, t, v, 0);
    return v;
}

std::string Dump(const TypeInfo &t, const void *v) {
    std::string out;
    for (const void *n = v; n; n = t.list ? *static_cast<void *const *>(n) : nullptr) {
        DumpNode(out, t, n);
        if (t.list) out += ';';
    }
    return out;
}

} // namespace vrtest
