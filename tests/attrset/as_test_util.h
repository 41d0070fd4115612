// Shared pieces of the attribute-set tests: a heap-int syntax that fails on demand.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <new>
#include <utility>
#include <vector>

#include "attrset/as_internal.h"
#include "failalloc.h"
#include "status_list.h"
#include "vrcore/as.h"

namespace astest {

constexpr uint32_t kIntType = 7;
constexpr uint32_t kOtherType = 8;
constexpr uint32_t kCopyFailCode = 0xC00E0001u;
constexpr uint32_t kDeleteFailCode = 0xC00E0002u;

struct IntSyntax {
    static inline std::atomic<long> live = 0; // values made, not yet deleted
    static inline long fail_copy = 0;         // fail the nth copy from now (0: never)
    static inline long fail_delete = 0;       // fail the nth delete from now (0: never)
};

inline int IntCopy(STF_List *st, void **out, const void *src, const GENU_Allocator *al) {
    bool fail = IntSyntax::fail_copy && --IntSyntax::fail_copy == 0;
    auto *p = fail ? nullptr : static_cast<int *>(al->alloc(sizeof(int)));
    if (!p) return STF_AddStatus(st, kCopyFailCode, 0), 1;
    *p = *static_cast<const int *>(src);
    *out = p;
    ++IntSyntax::live;
    return 0;
}

inline int IntDelete(STF_List *st, void *value, const GENU_Allocator *al) {
    if (IntSyntax::fail_delete && --IntSyntax::fail_delete == 0)
        return STF_AddStatus(st, kDeleteFailCode, 0), 1;
    al->free(value);
    --IntSyntax::live;
    return 0;
}

inline const GENU_ValueDescriptor kIntDesc{IntCopy, IntDelete};
inline const GENU_Allocator kFailAlloc{vrtest::FailMalloc, vrtest::FailFree};

// A value owned by the caller until a set takes it over.
inline int *MakeInt(int v) {
    ++IntSyntax::live;
    return new (kFailAlloc.alloc(sizeof(int))) int(v);
}
inline void FreeInt(int *p) {
    --IntSyntax::live;
    kFailAlloc.free(p);
}

using Status = vrtest::StatusList;
using Codes = std::vector<uint32_t>;

// The contents of a set: identifiers with their values, in set order.
using Content = std::vector<std::pair<GENU_ShortOID, std::vector<int>>>;

inline Content Read(AS_SetHandle set) {
    Content c;
    for (auto *a = static_cast<vrcore::attrset::Set *>(set->obj)->first; a; a = a->next) {
        c.emplace_back(a->id, std::vector<int>{});
        for (auto *v = a->first; v; v = v->next)
            c.back().second.push_back(*static_cast<int *>(v->value));
    }
    return c;
}

// Links and counts of a whole set, and its index: each identifier's attributes in order.
inline void ExpectConsistent(AS_SetHandle set) {
    namespace as = vrcore::attrset;
    auto *s = static_cast<as::Set *>(set->obj);
    ASSERT_TRUE(as::SetOk(s));
    uint32_t n = 0;
    as::Attr *prev = nullptr;
    std::map<GENU_ShortOID, std::vector<as::Attr *>> by_id;
    for (auto *a = s->first; a; prev = a, a = a->next, ++n) {
        ASSERT_TRUE(as::AttrOk(a) && a->prev == prev && a->set == s) << n;
        by_id[a->id].push_back(a);
        uint32_t m = 0;
        as::Value *vp = nullptr;
        for (auto *v = a->first; v; vp = v, v = v->next, ++m)
            ASSERT_TRUE(as::ValueOk(v) && v->prev == vp && v->attr == a) << n << "/" << m;
        ASSERT_TRUE(a->last == vp && a->count == m) << n;
    }
    ASSERT_TRUE(s->last == prev && s->count == n);
    if (!s->index) return;
    ASSERT_EQ(s->index_used, by_id.size());
    for (const auto &[id, attrs] : by_id) {
        const as::IndexSlot *slot = as::IndexFind(s, id);
        ASSERT_TRUE(slot && slot->count == attrs.size() && slot->last == attrs.back()) << id;
        std::vector<as::Attr *> chain;
        for (auto *a = slot->first; a; a = a->id_next) chain.push_back(a);
        ASSERT_EQ(chain, attrs) << id;
    }
}

// A set on the failing allocator, destroyed at scope end.
struct TestSet {
    AS_SetHandle h = nullptr;
    explicit TestSet(int allow_dups = 0, const GENU_Allocator *al = &kFailAlloc) {
        Status st;
        EXPECT_EQ(AS_Create(st, &h, al, allow_dups), 0);
    }
    // A holder of the set an operation makes.
    explicit TestSet(std::nullptr_t) {}
    ~TestSet() {
        Status st;
        IntSyntax::fail_delete = 0;
        EXPECT_EQ(h ? AS_Destroy(st, &h) : 0, 0) << std::hex << st.Code();
    }
    operator AS_SetHandle() const { return h; }
    // Adds one value per identifier: {id, value}...
    void Add(GENU_ShortOID id, int v) {
        Status st;
        ASSERT_EQ(AS_AddAttrVal(st, h, id, kIntType, MakeInt(v), &kIntDesc, nullptr), 0)
            << std::hex << st.Code();
    }
};

} // namespace astest
