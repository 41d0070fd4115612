// Selectors and filters of the list operations, to and from the runtime's
// structures.
#include <cstring>

#include "encoding/codes.h"
#include "encoding/opsutil.h"
#include "encoding/value_types.h"
#include "system/guard.h"
#include "vrcore/log.h"
#include "vrcore/odpops.h"

using vrcore::encoding::CtxZero;
using vrcore::encoding::Fail;
using vrcore::encoding::HeapZero;
using vrcore::encoding::kObjectIdentType;
using vrcore::encoding::Quiet;

namespace {

constexpr uint32_t kNoMem = GEN_S_NOMEM;
constexpr uint32_t kNullFree = GEN_S_NULLDELETE;
constexpr uint32_t kInvalid = GEN_S_INVALID;
constexpr uint32_t kObjectIdent = GENU_S_CONV_OBJECTIDENT;
constexpr uint32_t kBadOid = GENU_S_CONV_OID;
constexpr int kMaxFilterDepth = 16; // what the runtime's nesting bound carries

void FreeValueNodes(ODP_BerValueNode *v) {
    while (v) {
        ODP_BerValueNode *n = v->next;
        _GENU__MyFree(v->value.value);
        _GENU__MyFree(v);
        v = n;
    }
}

void FreeFilter(ODP_BerFilter *f);

void FreeFilterList(ODP_BerFilterList *l) {
    while (l) {
        ODP_BerFilterList *n = l->next;
        FreeFilter(&l->filter);
        _GENU__MyFree(l);
        l = n;
    }
}

// Releases what a filter owns (not the filter itself).
void FreeFilter(ODP_BerFilter *f) {
    switch (f->choice) {
    case GEN_FILTER_ITEM: {
        ODP_BerFilterItem &i = f->u.item;
        if (i.choice == GEN_ITEM_SUBSTRINGS) {
            _GENU__MyFree(i.u.substrings.initial.value);
            _GENU__MyFree(i.u.substrings.final.value);
            FreeValueNodes(i.u.substrings.any);
        } else if (i.choice != GEN_ITEM_PRESENT) {
            FreeValueNodes(i.u.attribute.values);
        }
        break;
    }
    case GEN_FILTER_AND: FreeFilterList(f->u.and_set); break;
    case GEN_FILTER_OR: FreeFilterList(f->u.or_set); break;
    case GEN_FILTER_NOT:
        if (f->u.not_filter) {
            FreeFilter(f->u.not_filter);
            _GENU__MyFree(f->u.not_filter);
        }
        break;
    default: break;
    }
    memset(f, 0, sizeof *f);
}

int SubstringsToBer(STF_List *st, const GEN_Substrings &s, ODP_BerSubstrings *b) {
    int32_t registered = -1;
    if (GENU_AttrIdToType(st, s.attribute_type, &registered) ||
        static_cast<uint32_t>(registered) != s.value_type) {
        LOG_CondMessage(
            5, __FILE__, __LINE__,
            "ToBER_substrings: Detect inconsistency between attr-Id and attr-value-type :\n");
        LOG_CondMessage(5, __FILE__, __LINE__,
                        "shoid %lu was associated with valType %lu, but should be %d\n",
                        static_cast<unsigned long>(s.attribute_type),
                        static_cast<unsigned long>(s.value_type), registered);
        return Fail(st, kInvalid);
    }
    if (s.match < GEN_MATCH_EXACT || s.match > GEN_MATCH_APPROXIMATE) return Fail(st, kInvalid);
    if (GENU_ShortToBerOID(st, s.attribute_type, &b->type)) return Fail(st, kBadOid);
    b->match = s.match;
    if (s.initial) {
        if (ODP_PackAV(st, s.value_type, s.initial, &b->initial)) return 1;
        b->bit_mask |= 0x80;
    }
    if (s.any) {
        b->bit_mask |= 0x40;
        ODP_BerValueNode **tail = &b->any;
        for (const GEN_SeqOfValues *v = s.any; v; v = v->next) {
            auto *n = static_cast<ODP_BerValueNode *>(CtxZero(sizeof(ODP_BerValueNode)));
            if (!n) return Fail(st, kNoMem);
            *tail = n;
            tail = &n->next;
            if (ODP_PackAV(st, s.value_type, v->value, &n->value)) return 1;
        }
    }
    if (s.final) {
        if (ODP_PackAV(st, s.value_type, s.final, &b->final)) return 1;
        b->bit_mask |= 0x20;
    }
    return 0;
}

int FilterToBer(STF_List *st, const GEN_Filter &f, ODP_BerFilter *b, int depth) {
    if (depth > kMaxFilterDepth) return Fail(st, kInvalid);
    b->choice = static_cast<uint16_t>(f.choice);
    switch (f.choice) {
    case GEN_FILTER_ITEM: {
        const GEN_FilterItem &i = f.u.item;
        ODP_BerFilterItem &o = b->u.item;
        o.choice = static_cast<uint16_t>(i.choice);
        switch (i.choice) {
        case GEN_ITEM_EQUALITY:
        case GEN_ITEM_GREATER_OR_EQUAL:
        case GEN_ITEM_LESS_OR_EQUAL:
        case GEN_ITEM_SUBSET:
        case GEN_ITEM_SUPERSET:
        case GEN_ITEM_INTERSECTION: return ToBER_AVA(st, &o.u.attribute, i.u.attribute);
        case GEN_ITEM_SUBSTRINGS: return SubstringsToBer(st, i.u.substrings, &o.u.substrings);
        case GEN_ITEM_PRESENT:
            if (GENU_ShortToBerOID(st, i.u.present, &o.u.present)) return Fail(st, kBadOid);
            return 0;
        default: o.choice = 0; return Fail(st, kInvalid);
        }
    }
    case GEN_FILTER_AND:
    case GEN_FILTER_OR: {
        ODP_BerFilterList **tail = f.choice == GEN_FILTER_AND ? &b->u.and_set : &b->u.or_set;
        for (const GEN_SetOfFilter *s = f.choice == GEN_FILTER_AND ? f.u.and_set : f.u.or_set; s;
             s = s->next) {
            auto *n = static_cast<ODP_BerFilterList *>(CtxZero(sizeof(ODP_BerFilterList)));
            if (!n) return Fail(st, kNoMem);
            *tail = n;
            tail = &n->next;
            if (FilterToBer(st, s->filter, &n->filter, depth + 1)) return 1;
        }
        return 0;
    }
    case GEN_FILTER_NOT:
        if (!f.u.not_filter) return Fail(st, kInvalid);
        b->u.not_filter = static_cast<ODP_BerFilter *>(CtxZero(sizeof(ODP_BerFilter)));
        if (!b->u.not_filter) return Fail(st, kNoMem);
        return FilterToBer(st, *f.u.not_filter, b->u.not_filter, depth + 1);
    default: b->choice = 0; return Fail(st, kInvalid);
    }
}

// A heap copy of a value unpacked under a syntax.
int UnpackHeap(STF_List *st, const GENU_Buffer &b, uint32_t type, void **out) {
    void *value = nullptr;
    GENU_ValueDescriptor d{};
    if (ODP_UnpackAV(st, b.length, b.value, type, &value, &d)) return 1;
    int rc = d.copy(st, out, value, nullptr);
    Quiet(st, [&](STF_List *q) { d.del(q, value, &genu_ossAllocator[0]); });
    return rc ? Fail(st, kNoMem) : 0;
}

int SubstringsToGen(STF_List *st, const ODP_BerSubstrings &b, GEN_Substrings *s) {
    int32_t type = -1;
    if (GENU_BerToShortOID(st, &b.type, &s->attribute_type) ||
        GENU_AttrIdToType(st, s->attribute_type, &type) || type < 0)
        return Fail(st, kBadOid);
    s->value_type = static_cast<uint32_t>(type);
    s->match = b.match;
    if ((b.bit_mask & 0x80) && UnpackHeap(st, b.initial, s->value_type, &s->initial)) return 1;
    if (b.bit_mask & 0x40) {
        GEN_SeqOfValues **tail = &s->any;
        for (const ODP_BerValueNode *v = b.any; v; v = v->next) {
            auto *n = static_cast<GEN_SeqOfValues *>(HeapZero(sizeof(GEN_SeqOfValues)));
            if (!n) return Fail(st, kNoMem);
            *tail = n;
            tail = &n->next;
            if (UnpackHeap(st, v->value, s->value_type, &n->value)) return 1;
        }
    }
    if ((b.bit_mask & 0x20) && UnpackHeap(st, b.final, s->value_type, &s->final)) return 1;
    return 0;
}

// Fills a zeroed library filter; on failure what was built stays for the
// caller's deep delete.
int FilterToGen(STF_List *st, const ODP_BerFilter &b, GEN_Filter *f, int depth) {
    if (depth > kMaxFilterDepth) return Fail(st, kInvalid);
    switch (b.choice) {
    case GEN_FILTER_ITEM: {
        const ODP_BerFilterItem &i = b.u.item;
        f->choice = GEN_FILTER_ITEM;
        GEN_FilterItem &o = f->u.item;
        switch (i.choice) {
        case GEN_ITEM_SUBSTRINGS:
            o.choice = GEN_ITEM_SUBSTRINGS;
            return SubstringsToGen(st, i.u.substrings, &o.u.substrings);
        case GEN_ITEM_PRESENT:
            o.choice = GEN_ITEM_PRESENT;
            if (GENU_BerToShortOID(st, &i.u.present, &o.u.present)) return Fail(st, kBadOid);
            return 0;
        case GEN_ITEM_EQUALITY:
        case GEN_ITEM_GREATER_OR_EQUAL:
        case GEN_ITEM_LESS_OR_EQUAL:
        case GEN_ITEM_SUBSET:
        case GEN_ITEM_SUPERSET:
        case GEN_ITEM_INTERSECTION:
            if (ToGEN_AVA(st, &i.u.attribute, &o.u.attribute)) return 1;
            o.choice = i.choice;
            return 0;
        default: return Fail(st, kInvalid);
        }
    }
    case GEN_FILTER_AND:
    case GEN_FILTER_OR: {
        f->choice = b.choice;
        GEN_SetOfFilter **tail = b.choice == GEN_FILTER_AND ? &f->u.and_set : &f->u.or_set;
        for (const ODP_BerFilterList *l = b.choice == GEN_FILTER_AND ? b.u.and_set : b.u.or_set; l;
             l = l->next) {
            auto *n = static_cast<GEN_SetOfFilter *>(HeapZero(sizeof(GEN_SetOfFilter)));
            if (!n) return Fail(st, kNoMem);
            *tail = n;
            tail = &n->next;
            if (FilterToGen(st, l->filter, &n->filter, depth + 1)) return 1;
        }
        return 0;
    }
    case GEN_FILTER_NOT: {
        if (!b.u.not_filter) return Fail(st, kInvalid);
        f->choice = GEN_FILTER_NOT;
        f->u.not_filter = static_cast<GEN_Filter *>(HeapZero(sizeof(GEN_Filter)));
        if (!f->u.not_filter) return Fail(st, kNoMem);
        return FilterToGen(st, *b.u.not_filter, f->u.not_filter, depth + 1);
    }
    default: return Fail(st, kInvalid);
    }
}

void FreeValueList(ODP_BerValueList *v) {
    while (v) {
        ODP_BerValueList *n = v->next;
        _GENU__MyFree(v->value.value);
        _GENU__MyFree(v);
        v = n;
    }
}

void ReleaseSelector(ODP_BerSelector *b) {
    FreeValueList(b->object_identifications);
    if (b->filter) {
        FreeFilter(b->filter);
        _GENU__MyFree(b->filter);
    }
    memset(b, 0, sizeof *b);
}

} // namespace

extern "C" {

int ToBER_filter(STF_List *status, ODP_BerFilter *out, const GEN_Filter *in) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!out || !in) return Fail(status, kInvalid);
    memset(out, 0, sizeof *out);
    if (FilterToBer(status, *in, out, 0)) {
        FreeFilter(out);
        return 1;
    }
    STF_ClearStatus(status);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeBER_filter(STF_List *status, ODP_BerFilter *ber) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!ber) return Fail(status, kNullFree);
    FreeFilter(ber);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToGEN_filter(STF_List *status, const ODP_BerFilter *ber, GEN_Filter *out) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!ber || !out) return Fail(status, kInvalid);
    memset(out, 0, sizeof *out);
    if (FilterToGen(status, *ber, out, 0)) {
        Quiet(status, [&](STF_List *q) { GEN_DeepDeleteFilter(q, out, nullptr); });
        memset(out, 0, sizeof *out);
        return 1;
    }
    STF_ClearStatus(status);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToBER_selector(STF_List *status, ODP_BerSelector *out, const GEN_Selector *in) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!out || !in) return Fail(status, kInvalid);
    memset(out, 0, sizeof *out);
    auto fail = [&] {
        ReleaseSelector(out);
        return 1;
    };
    if (in->object_identifications && in->object_identifications->ident) {
        out->bit_mask |= 0x80;
        ODP_BerValueList **tail = &out->object_identifications;
        for (const GEN_SeqOfObjectIdent *o = in->object_identifications; o; o = o->next) {
            if (!o->ident) return Fail(status, kInvalid), fail();
            auto *n = static_cast<ODP_BerValueList *>(CtxZero(sizeof(ODP_BerValueList)));
            if (!n) return Fail(status, kNoMem), fail();
            *tail = n;
            tail = &n->next;
            if (ODP_PackAV(status, kObjectIdentType, o->ident, &n->value))
                return Fail(status, kObjectIdent), fail();
        }
    }
    if (in->filter) {
        out->filter = static_cast<ODP_BerFilter *>(CtxZero(sizeof(ODP_BerFilter)));
        if (!out->filter) return Fail(status, kNoMem), fail();
        out->bit_mask |= 0x40;
        if (FilterToBer(status, *in->filter, out->filter, 0)) return fail();
    }
    if (in->time_limit) {
        out->bit_mask |= 0x20;
        out->time_limit = static_cast<int32_t>(*in->time_limit);
    }
    if (in->count_limit) {
        out->bit_mask |= 0x10;
        out->count_limit = static_cast<int32_t>(*in->count_limit);
    }
    STF_ClearStatus(status);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeBER_selector(STF_List *status, ODP_BerSelector *ber) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!ber) return Fail(status, kNullFree);
    ReleaseSelector(ber);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToGEN_selector(STF_List *status, const ODP_BerSelector *ber, GEN_Selector *out) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!ber || !out) return Fail(status, kInvalid);
    memset(out, 0, sizeof *out);
    auto fail = [&] {
        Quiet(status, [&](STF_List *q) { GEN_DeepDeleteSelector(q, out, nullptr); });
        memset(out, 0, sizeof *out);
        return 1;
    };
    if (ber->bit_mask & 0x80) {
        GEN_SeqOfObjectIdent **tail = &out->object_identifications;
        for (const ODP_BerValueList *v = ber->object_identifications; v; v = v->next) {
            auto *n = static_cast<GEN_SeqOfObjectIdent *>(HeapZero(sizeof(GEN_SeqOfObjectIdent)));
            if (!n) return Fail(status, kNoMem), fail();
            *tail = n;
            tail = &n->next;
            void *ident = nullptr;
            if (UnpackHeap(status, v->value, kObjectIdentType, &ident))
                return Fail(status, kObjectIdent), fail();
            n->ident = static_cast<GEN_ObjectIdent *>(ident);
        }
    }
    if ((ber->bit_mask & 0x40) && ber->filter) {
        out->filter = static_cast<GEN_Filter *>(HeapZero(sizeof(GEN_Filter)));
        if (!out->filter) return Fail(status, kNoMem), fail();
        if (FilterToGen(status, *ber->filter, out->filter, 0)) return fail();
    }
    if (ber->bit_mask & 0x20) {
        out->time_limit = static_cast<uint32_t *>(HeapZero(sizeof(uint32_t)));
        if (!out->time_limit) return Fail(status, kNoMem), fail();
        *out->time_limit = static_cast<uint32_t>(ber->time_limit);
    }
    if (ber->bit_mask & 0x10) {
        out->count_limit = static_cast<uint32_t *>(HeapZero(sizeof(uint32_t)));
        if (!out->count_limit) return Fail(status, kNoMem), fail();
        *out->count_limit = static_cast<uint32_t>(ber->count_limit);
    }
    STF_ClearStatus(status);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

} // extern "C"
