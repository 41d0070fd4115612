// Attribute sets at 1,000 attributes of one value each: adding, finding by
// identifier, copying and destroying, with a plain vector of the same
// records as the peer. Adding and finding also run on a set of 5, the
// common size, where the peer's linear search is at its best.
//
// The "per_op" counter is the time per attribute (per lookup for Find).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "vrcore/as.h"

namespace {

constexpr int kAttrs = 1000;

int Attrs(const benchmark::State &state) { return static_cast<int>(state.range(0)); }

int IntCopy(STF_List *, void **out, const void *src, const GENU_Allocator *al) {
    auto *p = static_cast<int *>(al->alloc(sizeof(int)));
    if (!p) return 1;
    *p = *static_cast<const int *>(src);
    *out = p;
    return 0;
}
int IntDelete(STF_List *, void *v, const GENU_Allocator *al) {
    al->free(v);
    return 0;
}
const GENU_ValueDescriptor kDesc{IntCopy, IntDelete};

void PerOp(benchmark::State &state, int n = kAttrs) {
    state.counters["per_op"] = benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

AS_SetHandle Build(STF_List *st, int n = kAttrs) {
    AS_SetHandle h = nullptr;
    AS_Create(st, &h, nullptr, 0);
    for (int i = 0; i < n; ++i) {
        int v = i;
        AS_AddAttrValM(st, h, static_cast<GENU_ShortOID>(i + 1), 7, &v, &kDesc, nullptr);
    }
    return h;
}

void BM_AS_Add(benchmark::State &state) {
    const int n = Attrs(state);
    STF_List *st = STF_CreateList(nullptr);
    for (auto _ : state) {
        AS_SetHandle h = nullptr;
        AS_Create(st, &h, nullptr, 0);
        for (int i = 0; i < n; ++i) {
            auto *v = static_cast<int *>(GENU__CoveredMalloc(sizeof(int)));
            *v = i;
            AS_AddAttrVal(st, h, static_cast<GENU_ShortOID>(i + 1), 7, v, &kDesc, nullptr);
        }
        state.PauseTiming();
        AS_Destroy(st, &h);
        state.ResumeTiming();
    }
    PerOp(state, n);
    STF_DeleteList(st);
}

void BM_AS_Find(benchmark::State &state) {
    const int n = Attrs(state);
    STF_List *st = STF_CreateList(nullptr);
    AS_SetHandle h = Build(st, n);
    for (auto _ : state) {
        for (int i = 0; i < n; ++i) {
            AS_AttrHandle a = nullptr;
            AS_FindAttr(st, h, static_cast<GENU_ShortOID>(i + 1), &a);
            AS_FreeAttrHandle(st, &a);
        }
    }
    PerOp(state, n);
    AS_Destroy(st, &h);
    STF_DeleteList(st);
}

void BM_AS_Copy(benchmark::State &state) {
    STF_List *st = STF_CreateList(nullptr);
    AS_SetHandle h = Build(st);
    for (auto _ : state) {
        AS_SetHandle c = nullptr;
        AS_Copy(st, &c, h, nullptr);
        state.PauseTiming();
        AS_Destroy(st, &c);
        state.ResumeTiming();
    }
    PerOp(state);
    AS_Destroy(st, &h);
    STF_DeleteList(st);
}

void BM_AS_Destroy(benchmark::State &state) {
    STF_List *st = STF_CreateList(nullptr);
    for (auto _ : state) {
        state.PauseTiming();
        AS_SetHandle h = Build(st);
        state.ResumeTiming();
        AS_Destroy(st, &h);
    }
    PerOp(state);
    STF_DeleteList(st);
}

// The peer: a vector of {identifier, owned value} searched linearly.
struct Rec {
    GENU_ShortOID id;
    std::unique_ptr<int> v;
};

void BM_Vector_Add(benchmark::State &state) {
    const int n = Attrs(state);
    for (auto _ : state) {
        std::vector<Rec> s;
        for (int i = 0; i < n; ++i)
            s.push_back(Rec{static_cast<GENU_ShortOID>(i + 1), std::make_unique<int>(i)});
        benchmark::DoNotOptimize(s.data());
        state.PauseTiming();
        s.clear();
        state.ResumeTiming();
    }
    PerOp(state, n);
}

void BM_Vector_Find(benchmark::State &state) {
    const int n = Attrs(state);
    std::vector<Rec> s;
    for (int i = 0; i < n; ++i)
        s.push_back(Rec{static_cast<GENU_ShortOID>(i + 1), std::make_unique<int>(i)});
    for (auto _ : state) {
        for (int i = 0; i < n; ++i) {
            auto id = static_cast<GENU_ShortOID>(i + 1);
            auto it = std::find_if(s.begin(), s.end(), [id](const Rec &r) { return r.id == id; });
            benchmark::DoNotOptimize(it);
        }
    }
    PerOp(state, n);
}

void BM_Vector_Copy(benchmark::State &state) {
    std::vector<Rec> s;
    for (int i = 0; i < kAttrs; ++i)
        s.push_back(Rec{static_cast<GENU_ShortOID>(i + 1), std::make_unique<int>(i)});
    for (auto _ : state) {
        std::vector<Rec> c;
        c.reserve(s.size());
        for (const Rec &r : s) c.push_back(Rec{r.id, std::make_unique<int>(*r.v)});
        benchmark::DoNotOptimize(c.data());
        state.PauseTiming();
        c.clear();
        state.ResumeTiming();
    }
    PerOp(state);
}

} // namespace

BENCHMARK(BM_AS_Add)->Arg(kAttrs)->Arg(5);
BENCHMARK(BM_Vector_Add)->Arg(kAttrs)->Arg(5);
BENCHMARK(BM_AS_Find)->Arg(kAttrs)->Arg(5);
BENCHMARK(BM_Vector_Find)->Arg(kAttrs)->Arg(5);
BENCHMARK(BM_AS_Copy);
BENCHMARK(BM_Vector_Copy);
BENCHMARK(BM_AS_Destroy);
BENCHMARK_MAIN();
