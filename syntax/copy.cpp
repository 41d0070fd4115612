// Deep copy and deletion of values, driven by the structure descriptions
// of types.cpp, and the exported GEN_Copy / GEN_Delete family.
#include <cstring>

#include "system/guard.h"
#include "syntax/gentype.h"
#include "vrcore/as.h"
#include "vrcore/gen.h"
#include "vrcore/genu.h"
#include "vrcore/stf.h"

namespace vrcore::syntax {

namespace {

template <typename T> T &At(void *base, uint32_t off) {
    return *reinterpret_cast<T *>(static_cast<char *>(base) + off);
}
template <typename T> const T &At(const void *base, uint32_t off) {
    return *reinterpret_cast<const T *>(static_cast<const char *>(base) + off);
}

uint32_t Fail(Ctx &ctx, uint32_t code) {
    Report(ctx, code);
    return code;
}

const Alt *FindAlt(const Field &f, int32_t choice) {
    for (uint32_t i = 0; i < f.nalts; ++i)
        if (f.alts[i].choice == choice) return &f.alts[i];
    return nullptr;
}

uint32_t CopyString(Ctx &ctx, char *&dst, const char *src) {
    dst = nullptr;
    if (!src) return 0;
    size_t n = std::strlen(src);
    char *p = static_cast<char *>(ctx.alloc(n + 1));
    if (!p) return Fail(ctx, GEN_S_NOMEM);
    std::memcpy(p, src, n + 1);
    dst = p;
    return 0;
}

uint32_t CopyOctets(Ctx &ctx, GEN_OctetString &dst, const GEN_OctetString &src) {
    dst.length = 0;
    dst.value = nullptr;
    if (src.length < 0) return Fail(ctx, GEN_S_INVALID);
    if (src.length == 0) return 0;
    if (!src.value) return Fail(ctx, GEN_S_INVALID);
    size_t n = static_cast<size_t>(src.length);
    auto *p = static_cast<unsigned char *>(ctx.alloc(n + 1));
    if (!p) return Fail(ctx, GEN_S_NOMEM);
    std::memcpy(p, src.value, n);
    p[n] = 0;
    dst.length = src.length;
    dst.value = p;
    return 0;
}

uint32_t CopyText(Ctx &ctx, GEN_Text &dst, const GEN_Text &src) {
    switch (src.kind) {
    case GEN_KIND_IRV:
    case GEN_KIND_STRING:
        if (uint32_t r = CopyString(ctx, dst.u.string, src.u.string)) return r;
        break;
    case GEN_KIND_LATIN1:
    case GEN_KIND_OCTETS:
    case GEN_KIND_CODESET:
        if (uint32_t r = CopyOctets(ctx, dst.u.octets, src.u.octets)) return r;
        break;
    default: return Fail(ctx, GEN_S_INVALID);
    }
    dst.kind = src.kind;
    dst.charset = src.charset;
    return 0;
}

uint32_t CopySimpleName(Ctx &ctx, GEN_SimpleName &dst, const GEN_SimpleName &src) {
    switch (src.kind) {
    case GEN_KIND_IRV:
    case GEN_KIND_STRING: {
        const void *nul = std::memchr(src.u.string, 0, GEN_SIMPLE_NAME_MAX + 1);
        if (!nul) return Fail(ctx, GEN_S_INVALID);
        size_t n = static_cast<size_t>(static_cast<const char *>(nul) - src.u.string);
        std::memcpy(dst.u.string, src.u.string, n + 1);
        break;
    }
    case GEN_KIND_LATIN1:
    case GEN_KIND_OCTETS:
    case GEN_KIND_CODESET:
        if (src.u.counted.length > GEN_SIMPLE_NAME_MAX) return Fail(ctx, GEN_S_INVALID);
        dst.u.counted.length = src.u.counted.length;
        std::memcpy(dst.u.counted.value, src.u.counted.value, src.u.counted.length);
        break;
    default: return Fail(ctx, GEN_S_INVALID);
    }
    dst.kind = src.kind;
    dst.charset = src.charset;
    return 0;
}

const GENU_ValueDescriptor *DescriptorOf(uint32_t type) { return GENU_AVT2Descriptor(type); }

uint32_t CopyAny(Ctx &ctx, uint32_t type, void *&out, const void *in) {
    out = nullptr;
    if (!in) return 0;
    const GENU_ValueDescriptor *desc = DescriptorOf(type);
    if (!desc) return Fail(ctx, GEN_S_INVALID);
    Private p;
    if (!p.List()) return Fail(ctx, GEN_S_NOMEM);
    GENU_Allocator a = {ctx.alloc, ctx.free};
    if (desc->copy(p.List(), &out, in, &a) != 0) {
        out = nullptr;
        return Fail(ctx, p.Failure());
    }
    return 0;
}

void DeleteAny(Ctx &ctx, uint32_t type, void *&value) {
    if (!value) return;
    const GENU_ValueDescriptor *desc = DescriptorOf(type);
    Private p;
    GENU_Allocator a = {ctx.alloc, ctx.free};
    if (!desc || !p.List() || desc->del(p.List(), value, &a) != 0) Report(ctx, GEN_S_INVALID);
    value = nullptr;
}

uint32_t CopyValues(Ctx &ctx, uint32_t type, GEN_SeqOfValues *&out, const GEN_SeqOfValues *in) {
    out = nullptr;
    GEN_SeqOfValues **tail = &out;
    for (; in; in = in->next) {
        auto *node = static_cast<GEN_SeqOfValues *>(ctx.alloc(sizeof(GEN_SeqOfValues)));
        if (!node) return Fail(ctx, GEN_S_NOMEM);
        node->next = nullptr;
        *tail = node; // linked first, so that clean-up finds it
        tail = &node->next;
        if (uint32_t r = CopyAny(ctx, type, node->value, in->value)) return r;
    }
    return 0;
}

void DeleteValues(Ctx &ctx, uint32_t type, GEN_SeqOfValues *&list) {
    while (list) {
        GEN_SeqOfValues *next = list->next;
        DeleteAny(ctx, type, list->value);
        ctx.free(list);
        list = next;
    }
}

// The attribute is copied into a new set of the copy's allocator; the set
// lives on behind the attribute's handle.
uint32_t CopyAttr(Ctx &ctx, AS_AttrHandle &out, AS_AttrHandle in) {
    out = nullptr;
    if (!in) return 0;
    Private p;
    if (!p.List()) return Fail(ctx, GEN_S_NOMEM);
    GENU_Allocator a = {ctx.alloc, ctx.free};
    AS_SetHandle set = nullptr;
    if (AS_Create(p.List(), &set, &a, 0) != 0) return Fail(ctx, p.Failure());
    AS_AttrHandle attr = nullptr;
    if (AS_CopyAttrR(p.List(), set, in, &attr) != 0) {
        uint32_t code = p.Failure();
        AS_Destroy(p.List(), &set);
        return Fail(ctx, code);
    }
    AS_FreeSetHandle(p.List(), &set);
    out = attr;
    return 0;
}

void DeleteAttr(Ctx &ctx, AS_AttrHandle &attr) {
    if (!attr) return;
    Private p;
    AS_SetHandle set = nullptr;
    if (!p.List() || AS_GetAttrSetR(p.List(), attr, &set) != 0) {
        Report(ctx, GEN_S_INVALID);
        if (p.List()) AS_FreeAttrHandle(p.List(), &attr);
        attr = nullptr;
        return;
    }
    AS_FreeAttrHandle(p.List(), &attr);
    if (AS_Destroy(p.List(), &set) != 0) Report(ctx, GEN_S_INVALID);
    attr = nullptr;
}

uint32_t CopyFields(Ctx &ctx, const TypeInfo &t, void *dst, const void *src);
void DeleteFields(Ctx &ctx, const TypeInfo &t, void *value);

uint32_t CopyField(Ctx &ctx, const Field &f, void *dst, const void *src) {
    switch (f.kind) {
    case FieldKind::Flat:
        std::memcpy(static_cast<char *>(dst) + f.offset, static_cast<const char *>(src) + f.offset,
                    f.size);
        return 0;
    case FieldKind::CharArray: {
        const char *s = &At<char>(src, f.offset);
        const void *nul = std::memchr(s, 0, f.size);
        if (!nul) return Fail(ctx, GEN_S_INVALID);
        std::memcpy(&At<char>(dst, f.offset), s,
                    static_cast<size_t>(static_cast<const char *>(nul) - s) + 1);
        return 0;
    }
    case FieldKind::CString:
        return CopyString(ctx, At<char *>(dst, f.offset), At<char *>(src, f.offset));
    case FieldKind::Octets:
        return CopyOctets(ctx, At<GEN_OctetString>(dst, f.offset),
                          At<GEN_OctetString>(src, f.offset));
    case FieldKind::Text:
        return CopyText(ctx, At<GEN_Text>(dst, f.offset), At<GEN_Text>(src, f.offset));
    case FieldKind::SimpleName:
        return CopySimpleName(ctx, At<GEN_SimpleName>(dst, f.offset),
                              At<GEN_SimpleName>(src, f.offset));
    case FieldKind::Inline:
        return CopyValue(ctx, *f.type, &At<char>(dst, f.offset), &At<char>(src, f.offset));
    case FieldKind::Ptr: {
        void *&out = At<void *>(dst, f.offset);
        const void *in = At<void *>(src, f.offset);
        out = nullptr;
        if (!in) return 0;
        void *block = ctx.alloc(f.type->size);
        if (!block) return Fail(ctx, GEN_S_NOMEM);
        if (uint32_t r = CopyValue(ctx, *f.type, block, in)) {
            ctx.free(block);
            return r;
        }
        out = block;
        return 0;
    }
    case FieldKind::Choice: {
        int32_t choice = At<int32_t>(src, f.offset);
        const Alt *alt = FindAlt(f, choice);
        if (!alt) return Fail(ctx, GEN_S_INVALID);
        if (uint32_t r = CopyField(ctx, alt->field, dst, src)) return r;
        At<int32_t>(dst, f.offset) = choice;
        return 0;
    }
    case FieldKind::CountedArray: {
        uint16_t count = At<uint16_t>(src, f.offset);
        if (count > f.max) return Fail(ctx, GEN_S_INVALID);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t off = f.elem_offset + i * f.type->size;
            if (uint32_t r = CopyValue(ctx, *f.type, &At<char>(dst, off), &At<char>(src, off))) {
                // Elements are cleared by their own failed copy; earlier
                // ones are deleted with the whole value.
                At<uint16_t>(dst, f.offset) = static_cast<uint16_t>(i);
                return r;
            }
        }
        At<uint16_t>(dst, f.offset) = count;
        return 0;
    }
    case FieldKind::ValueType: At<uint32_t>(dst, f.offset) = At<uint32_t>(src, f.offset); return 0;
    case FieldKind::AnyValue:
        return CopyAny(ctx, At<uint32_t>(src, f.elem_offset), At<void *>(dst, f.offset),
                       At<void *>(src, f.offset));
    case FieldKind::AnyValueList:
        return CopyValues(ctx, At<uint32_t>(src, f.elem_offset),
                          At<GEN_SeqOfValues *>(dst, f.offset),
                          At<GEN_SeqOfValues *>(src, f.offset));
    case FieldKind::AttrHandle:
        return CopyAttr(ctx, At<AS_AttrHandle>(dst, f.offset), At<AS_AttrHandle>(src, f.offset));
    }
    return Fail(ctx, GEN_S_INVALID);
}

void DeleteField(Ctx &ctx, const Field &f, void *value) {
    switch (f.kind) {
    case FieldKind::Flat:
    case FieldKind::CharArray: return;
    case FieldKind::CString: {
        char *&s = At<char *>(value, f.offset);
        if (s) ctx.free(s);
        s = nullptr;
        return;
    }
    case FieldKind::Octets: {
        GEN_OctetString &o = At<GEN_OctetString>(value, f.offset);
        if (o.value) ctx.free(o.value);
        o.value = nullptr;
        o.length = 0;
        return;
    }
    case FieldKind::Text: {
        GEN_Text &t = At<GEN_Text>(value, f.offset);
        switch (t.kind) {
        case GEN_KIND_IRV:
        case GEN_KIND_STRING:
            if (t.u.string) ctx.free(t.u.string);
            break;
        case GEN_KIND_LATIN1:
        case GEN_KIND_OCTETS:
        case GEN_KIND_CODESET:
            if (t.u.octets.value) ctx.free(t.u.octets.value);
            break;
        default: Report(ctx, GEN_S_INVALID); break;
        }
        std::memset(&t, 0, sizeof t);
        return;
    }
    case FieldKind::SimpleName: {
        int32_t kind = At<int32_t>(value, f.offset);
        if (kind < GEN_KIND_IRV || kind > GEN_KIND_CODESET) Report(ctx, GEN_S_INVALID);
        return;
    }
    case FieldKind::Inline: DeleteValue(ctx, *f.type, &At<char>(value, f.offset)); return;
    case FieldKind::Ptr: {
        void *&p = At<void *>(value, f.offset);
        if (p) {
            DeleteValue(ctx, *f.type, p);
            ctx.free(p);
        }
        p = nullptr;
        return;
    }
    case FieldKind::Choice: {
        const Alt *alt = FindAlt(f, At<int32_t>(value, f.offset));
        if (!alt) {
            Report(ctx, GEN_S_INVALID);
            return;
        }
        DeleteField(ctx, alt->field, value);
        return;
    }
    case FieldKind::CountedArray: {
        uint16_t count = At<uint16_t>(value, f.offset);
        if (count > f.max) {
            Report(ctx, GEN_S_INVALID);
            count = static_cast<uint16_t>(f.max);
        }
        for (uint32_t i = 0; i < count; ++i)
            DeleteValue(ctx, *f.type, &At<char>(value, f.elem_offset + i * f.type->size));
        return;
    }
    case FieldKind::ValueType: return;
    case FieldKind::AnyValue:
        DeleteAny(ctx, At<uint32_t>(value, f.elem_offset), At<void *>(value, f.offset));
        return;
    case FieldKind::AnyValueList:
        DeleteValues(ctx, At<uint32_t>(value, f.elem_offset),
                     At<GEN_SeqOfValues *>(value, f.offset));
        return;
    case FieldKind::AttrHandle: DeleteAttr(ctx, At<AS_AttrHandle>(value, f.offset)); return;
    }
}

// One structure (one node of a list), without the chain.
uint32_t CopyFields(Ctx &ctx, const TypeInfo &t, void *dst, const void *src) {
    std::memset(dst, 0, t.size);
    if (t.flat) {
        std::memcpy(dst, src, t.size);
        return 0;
    }
    for (uint32_t i = 0; i < t.nfields; ++i) {
        if (uint32_t r = CopyField(ctx, t.fields[i], dst, src)) {
            bool quiet = ctx.quiet;
            ctx.quiet = true;
            DeleteFields(ctx, t, dst);
            ctx.quiet = quiet;
            return r;
        }
    }
    return 0;
}

void DeleteFields(Ctx &ctx, const TypeInfo &t, void *value) {
    if (!t.flat)
        for (uint32_t i = 0; i < t.nfields; ++i) DeleteField(ctx, t.fields[i], value);
    std::memset(value, 0, t.size);
}

void *&Next(void *node) { return *static_cast<void **>(node); }
const void *NextOf(const void *node) { return *static_cast<void *const *>(node); }

} // namespace

void Report(Ctx &ctx, uint32_t code) {
    if (!ctx.error) ctx.error = code;
    if (!ctx.quiet && ctx.status) STF_AddStatus(ctx.status, code, 0);
}

uint32_t CopyValue(Ctx &ctx, const TypeInfo &t, void *dst, const void *src) {
    Nesting nesting(ctx);
    if (nesting.TooDeep()) {
        std::memset(dst, 0, t.size);
        return Fail(ctx, GEN_S_INVALID);
    }
    if (uint32_t r = CopyFields(ctx, t, dst, src)) return r;
    if (!t.list) return 0;
    // The rest of the chain, one node at a time.
    void *tail = dst;
    for (const void *s = NextOf(src); s; s = NextOf(s)) {
        void *node = ctx.alloc(t.size);
        uint32_t r = node ? CopyFields(ctx, t, node, s) : Fail(ctx, GEN_S_NOMEM);
        if (r) {
            if (node) ctx.free(node);
            bool quiet = ctx.quiet;
            ctx.quiet = true;
            DeleteValue(ctx, t, dst);
            ctx.quiet = quiet;
            return r;
        }
        Next(tail) = node;
        tail = node;
    }
    return 0;
}

void DeleteValue(Ctx &ctx, const TypeInfo &t, void *value) {
    Nesting nesting(ctx);
    if (nesting.TooDeep()) {
        // Only a value made outside the library can nest this deep; what it
        // owns below this level is left alone.
        Report(ctx, GEN_S_INVALID);
        std::memset(value, 0, t.size);
        return;
    }
    void *rest = t.list ? Next(value) : nullptr;
    DeleteFields(ctx, t, value);
    while (rest) {
        void *next = Next(rest);
        DeleteFields(ctx, t, rest);
        ctx.free(rest);
        rest = next;
    }
}

bool ResolveAllocator(const GENU_Allocator *alloc, Ctx &ctx) {
    if (!alloc) {
        ctx.alloc = GENU__CoveredMalloc;
        ctx.free = GENU__CoveredFree;
        return true;
    }
    ctx.alloc = alloc->alloc;
    ctx.free = alloc->free;
    return ctx.alloc && ctx.free;
}

bool Begin(STF_List *status, const GENU_Allocator *alloc, Ctx &ctx, bool clear) {
    ctx = Ctx{status, nullptr, nullptr, false, 0, 0};
    if (!status) return false;
    if (clear) STF_ClearStatus(status);
    if (!ResolveAllocator(alloc, ctx)) {
        Report(ctx, GEN_S_INVALID);
        return false;
    }
    return true;
}

int CopyNew(STF_List *status, void **out, const void *src, const GENU_Allocator *alloc,
            const TypeInfo &t, bool clear) {
    if (out) *out = nullptr;
    Ctx ctx;
    if (!Begin(status, alloc, ctx, clear)) return 1;
    if (!out || !src) {
        Report(ctx, GEN_S_NULLARG);
        return 1;
    }
    void *block = ctx.alloc(t.size);
    if (!block) {
        Report(ctx, GEN_S_NOMEM);
        return 1;
    }
    if (CopyValue(ctx, t, block, src)) {
        ctx.free(block);
        return 1;
    }
    *out = block;
    return 0;
}

namespace {
// Frees what the value owns and, when asked, its block; the block goes
// even when the value was found invalid.
int Delete(STF_List *status, void *value, const GENU_Allocator *alloc, const TypeInfo &t,
           bool clear, bool free_block) {
    Ctx ctx;
    if (!Begin(status, alloc, ctx, clear)) return 1;
    if (!value) {
        Report(ctx, GEN_S_NULLDELETE);
        return 1;
    }
    DeleteValue(ctx, t, value);
    if (free_block) ctx.free(value);
    return ctx.error ? 1 : 0;
}
} // namespace

int DeleteBlock(STF_List *status, void *value, const GENU_Allocator *alloc, const TypeInfo &t,
                bool clear) {
    return Delete(status, value, alloc, t, clear, true);
}

int DeepCopy(STF_List *status, void *dst, const void *src, const GENU_Allocator *alloc,
             const TypeInfo &t, bool clear) {
    Ctx ctx;
    bool ok = Begin(status, alloc, ctx, clear);
    if (dst && (!ok || !src)) std::memset(dst, 0, t.size);
    if (!ok) return 1;
    if (!dst || !src) {
        Report(ctx, GEN_S_NULLARG);
        return 1;
    }
    return CopyValue(ctx, t, dst, src) ? 1 : 0;
}

int DeepDelete(STF_List *status, void *value, const GENU_Allocator *alloc, const TypeInfo &t,
               bool clear) {
    return Delete(status, value, alloc, t, clear, false);
}

} // namespace vrcore::syntax

// ---- The exported family ------------------------------------------------

#define VRSYN_COPY_DELETE(X, T)                                                                    \
    extern "C" VR_EXPORT int GEN_Copy##X(STF_List *status, void **out, const void *src,            \
                                         const GENU_Allocator *alloc) try {                        \
        return vrcore::syntax::CopyNew(status, out, src, alloc, vrcore::syntax::T_##T, false);     \
    }                                                                                              \
    VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)                                          \
    extern "C" VR_EXPORT int GEN_Delete##X(STF_List *status, void *value,                          \
                                           const GENU_Allocator *alloc) try {                      \
        return vrcore::syntax::DeleteBlock(status, value, alloc, vrcore::syntax::T_##T, false);    \
    }                                                                                              \
    VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)
#define VRSYN_DEEP(X, CT, T)                                                                       \
    VRSYN_COPY_DELETE(X, T)                                                                        \
    extern "C" VR_EXPORT int GEN_DeepCopy##X(STF_List *status, CT *dst, const CT *src,             \
                                             const GENU_Allocator *alloc) try {                    \
        return vrcore::syntax::DeepCopy(status, dst, src, alloc, vrcore::syntax::T_##T, false);    \
    }                                                                                              \
    VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)                                          \
    extern "C" VR_EXPORT int GEN_DeepDelete##X(STF_List *status, CT *value,                        \
                                               const GENU_Allocator *alloc) try {                  \
        return vrcore::syntax::DeepDelete(status, value, alloc, vrcore::syntax::T_##T, false);     \
    }                                                                                              \
    VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VRSYN_COPY_DELETE(Boolean, Boolean)
VRSYN_COPY_DELETE(Cardinal, Cardinal)
VRSYN_COPY_DELETE(DeltaTime, DeltaTime)
VRSYN_COPY_DELETE(Identifier, Identifier)
VRSYN_COPY_DELETE(Integer, Integer)
VRSYN_COPY_DELETE(MaximumInteger, MaximumInteger)
VRSYN_COPY_DELETE(MinimumInteger, MinimumInteger)
VRSYN_COPY_DELETE(PageIdType, PageIdType)
VRSYN_COPY_DELETE(PositiveInteger, PositiveInteger)
VRSYN_COPY_DELETE(Realization, Realization)
VRSYN_COPY_DELETE(Edge, Edge)
VRSYN_COPY_DELETE(PageOrderType, PageOrderType)
VRSYN_COPY_DELETE(Sides, Sides)
VRSYN_COPY_DELETE(Percent, Percent)
VRSYN_COPY_DELETE(Priority, Priority)
VRSYN_COPY_DELETE(Real, Real)
VRSYN_COPY_DELETE(NonNegativeReal, NonNegativeReal)
VRSYN_COPY_DELETE(QosLevel, QosLevel)
VRSYN_COPY_DELETE(CriterionType, CriterionType)
VRSYN_COPY_DELETE(CardinalRange, CardinalRange)
VRSYN_COPY_DELETE(IntegerRange, IntegerRange)
VRSYN_COPY_DELETE(RealRange, RealRange)
VRSYN_COPY_DELETE(NonNegativeRealRange, NonNegativeRealRange)
VRSYN_COPY_DELETE(MediumDimensions, MediumDimensions)
VRSYN_COPY_DELETE(Cardinal64, Cardinal64)
VRSYN_COPY_DELETE(Cardinal64Range, Cardinal64Range)
VRSYN_COPY_DELETE(GeneralizedTime, GeneralizedTime)
VRSYN_COPY_DELETE(Dimension, Dimension)
VRSYN_COPY_DELETE(XYDimensions, XYDimensions)

VRSYN_DEEP(OctetString, GEN_OctetString, OctetString)
VRSYN_DEEP(Text, GEN_Text, Text)
VRSYN_DEEP(Descriptor, GEN_Text, Text)
VRSYN_DEEP(Message, GEN_Text, Text)
VRSYN_DEEP(SimpleName, GEN_SimpleName, SimpleName)
VRSYN_DEEP(DescriptiveName, GEN_SimpleName, SimpleName)
VRSYN_DEEP(NameOrOID, GEN_NameOrOID, NameOrOID)
VRSYN_DEEP(DistNameString, GEN_DistNameString, DistNameString)
VRSYN_DEEP(JobIdentifier, GEN_JobIdentifier, JobIdentifier)
VRSYN_DEEP(DocumentIdentifier, GEN_DocumentIdentifier, DocumentIdentifier)
VRSYN_DEEP(FontReference, GEN_FontReference, FontReference)
VRSYN_DEEP(ObjectIdent, GEN_ObjectIdent, ObjectIdent)
VRSYN_DEEP(CardinalOrOid, GEN_CardinalOrOid, CardinalOrOid)
VRSYN_DEEP(PosIntOrOid, GEN_PosIntOrOid, PosIntOrOid)
VRSYN_DEEP(CardinalOrNoid, GEN_CardinalOrNoid, CardinalOrNoid)
VRSYN_DEEP(NumbersUpSupported, GEN_NumbersUpSupported, NumbersUpSupported)
VRSYN_DEEP(NewJobIdentifier, GEN_NewJobIdentifier, NewJobIdentifier)
VRSYN_DEEP(DocumentFormat, GEN_DocumentFormat, DocumentFormat)
VRSYN_DEEP(OidCardinalMap, GEN_OidCardinalMap, OidCardinalMap)
VRSYN_DEEP(SetOfObjId, GEN_SetOfObjId, SetOfObjId)
VRSYN_DEEP(SetOfOids, GEN_SetOfOids, SetOfObjId)
VRSYN_DEEP(SeqOfObjId, GEN_SeqOfObjId, SetOfObjId)
VRSYN_DEEP(APContexts, GEN_APContexts, SetOfObjId)
VRSYN_DEEP(SetOfText, GEN_SetOfText, SetOfText)
VRSYN_DEEP(SeqOfStrings, GEN_SeqOfStrings, SeqOfStrings)
VRSYN_DEEP(SeqOfOctetString, GEN_SeqOfOctetString, SeqOfOctetString)
VRSYN_DEEP(SetOfOctetStrings, GEN_SetOfOctetStrings, SeqOfOctetString)
VRSYN_DEEP(DistNameStringSeq, GEN_DistNameStringSeq, DistNameStringSeq)
VRSYN_DEEP(NameOrOidSeq, GEN_NameOrOidSeq, NameOrOidSeq)
VRSYN_DEEP(ObjNameComponent, GEN_ObjNameComponent, ObjNameComponent)
VRSYN_DEEP(SetOfObjNameComponent, GEN_SetOfObjNameComponent, SetOfObjNameComponent)
VRSYN_DEEP(IfwRDN, GEN_IfwRDN, SetOfObjNameComponent)
VRSYN_DEEP(IfwRDNSeq, GEN_IfwRDNSeq, IfwRDNSeq)
VRSYN_DEEP(RdnSeq, GEN_RdnSeq, IfwRDNSeq)
VRSYN_DEEP(SetOfNameComponent, GEN_SetOfNameComponent, SetOfNameComponent)
VRSYN_DEEP(Name, GEN_Name, Name)
VRSYN_DEEP(CountryName, GEN_CountryName, CountryName)
VRSYN_DEEP(DomainName, GEN_DomainName, DomainName)
VRSYN_DEEP(NetworkAddress, GEN_NetworkAddress, NetworkAddress)
VRSYN_DEEP(TerminalIdentifier, GEN_TerminalIdentifier, TerminalIdentifier)
VRSYN_DEEP(OrganizationName, GEN_OrganizationName, OrganizationName)
VRSYN_DEEP(NumericUserId, GEN_NumericUserId, NumericUserId)
VRSYN_DEEP(OrganizationUnitName, GEN_OrganizationUnitName, OrganizationUnitName)
VRSYN_DEEP(PersonalName, GEN_PersonalName, PersonalName)
VRSYN_DEEP(OrganizationUnitNames, GEN_OrganizationUnitNames, OrganizationUnitNames)
VRSYN_DEEP(DomainDefinedAttr, GEN_DomainDefinedAttr, DomainDefinedAttr)
VRSYN_DEEP(DomainDefinedAttrs, GEN_DomainDefinedAttrs, DomainDefinedAttrs)
VRSYN_DEEP(ExtensionAttrs, GEN_ExtensionAttrs, ExtensionAttrs)
VRSYN_DEEP(DeliveryAddress, GEN_DeliveryAddress, DeliveryAddress)
VRSYN_DEEP(Locale, GEN_Locale, Locale)
VRSYN_DEEP(EventHandlingProfile, GEN_EventHandlingProfile, EventHandlingProfile)
VRSYN_DEEP(ResultsProfile, GEN_ResultsProfile, ResultsProfile)
VRSYN_DEEP(External, GEN_External, External)
VRSYN_DEEP(LocationalIdentifier, GEN_LocationalIdentifier, LocationalIdentifier)
VRSYN_DEEP(AETitle, GEN_AETitle, AETitle)
VRSYN_DEEP(AEIdentifier, GEN_AEIdentifier, AEIdentifier)
VRSYN_DEEP(QualityOfService, GEN_QualityOfService, QualityOfService)
VRSYN_DEEP(Token, GEN_Token, Token)
VRSYN_DEEP(FileReference, GEN_FileReference, FileReference)
VRSYN_DEEP(DocumentContent, GEN_DocumentContent, DocumentContent)
VRSYN_DEEP(PageIdentifier, GEN_PageIdentifier, PageIdentifier)
VRSYN_DEEP(PageSelect, GEN_PageSelect, PageSelect)
VRSYN_DEEP(PageSelectSeq, GEN_PageSelectSeq, PageSelectSeq)
VRSYN_DEEP(PageMediaSelect, GEN_PageMediaSelect, PageMediaSelect)
VRSYN_DEEP(MediaSelect, GEN_MediaSelect, MediaSelect)
VRSYN_DEEP(InputTrayMedium, GEN_InputTrayMedium, InputTrayMedium)
VRSYN_DEEP(Surface, GEN_Surface, Surface)
VRSYN_DEEP(SeqOfFinishingProcSpec, GEN_SeqOfFinishingProcSpec, SeqOfFinishingProcSpec)
VRSYN_DEEP(SeqOfInsertSheet, GEN_SeqOfInsertSheet, SeqOfInsertSheet)
VRSYN_DEEP(Finishing, GEN_Finishing, Finishing)
VRSYN_DEEP(MediaConsumed, GEN_MediaConsumed, MediaConsumed)
VRSYN_DEEP(MediaConsumedSeq, GEN_MediaConsumedSeq, MediaConsumedSeq)
VRSYN_DEEP(Locations, GEN_Locations, Locations)
VRSYN_DEEP(Checkpoint, GEN_Checkpoint, Checkpoint)
VRSYN_DEEP(OwnerName, GEN_OwnerName, OwnerName)
VRSYN_DEEP(Privileges, GEN_Privileges, Privileges)
VRSYN_DEEP(PSISAccessControlList, GEN_PSISAccessControlList, PSISAccessControlList)
VRSYN_DEEP(ExtACL, GEN_ExtACL, ExtACL)
VRSYN_DEEP(RPCAddress, GEN_RPCAddress, RPCAddress)
VRSYN_DEEP(SocketAddress, GEN_SocketAddress, SocketAddress)
VRSYN_DEEP(FastFilterDef, GEN_FastFilterDef, FastFilterDef)
VRSYN_DEEP(PreprocessorDefinition, GEN_PreprocessorDefinition, PreprocessorDefinition)
VRSYN_DEEP(DriverInfo, GEN_DriverInfo, DriverInfo)
VRSYN_DEEP(ErrorMessage, GEN_ErrorMessage, ErrorMessage)
VRSYN_DEEP(Criteria, GEN_Criteria, Criteria)
VRSYN_DEEP(IgnoredAttribute, GEN_IgnoredAttribute, IgnoredAttribute)
VRSYN_DEEP(Substrings, GEN_Substrings, Substrings)
VRSYN_DEEP(FilterItem, GEN_FilterItem, FilterItem)
VRSYN_DEEP(Filter, GEN_Filter, Filter)
VRSYN_DEEP(SetOfFilter, GEN_SetOfFilter, SetOfFilter)
VRSYN_DEEP(SeqOfObjectIdent, GEN_SeqOfObjectIdent, SeqOfObjectIdent)
VRSYN_DEEP(Selector, GEN_Selector, Selector)
