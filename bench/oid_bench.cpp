// Registry lookups by name with the lookup caches on and off, over a
// working set that fits the 73-entry name cache (50 names) and one that
// does not (400 names), in a registry made as the registry tool makes it.
// The built-in table's own binary search (GENU_AsciiToShortOID) runs
// beside them as the floor. Reported per lookup.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "oid/registry_internal.h"
#include "oid/shortoid_internal.h"
#include "vrcore/genu.h"

namespace {

struct Registry {
    STF_List *st = STF_CreateList(nullptr);
    std::string dir;
    OID_Db *h = nullptr;
    std::vector<std::string> names;
    bool ok = false;
    Registry() {
        char tmpl[] = "/tmp/oidbench-XXXXXX";
        if (!mkdtemp(tmpl)) return;
        dir = std::string(tmpl) + "/reg";
        if (vrcore::oid::CreateRegistry(st, dir.c_str()) != 0) return;
        if (OID_Init(st, dir.c_str(), OID_READONLY) != 0) return;
        if (OID_OpenDb(st, dir.c_str(), "C", OID_READONLY, &h) != 0) return;
        // Names spread over the whole table.
        for (uint32_t r = 1; r < vrcore::oid::kRowCount && names.size() < 400; r += 3)
            if (vrcore::oid::kBuiltinRows[r].binary)
                names.push_back(vrcore::oid::kBuiltinRows[r].name);
        ok = true;
    }
    ~Registry() {
        if (h) OID_CloseDb(st, h);
        OID_Term();
        STF_DeleteList(st);
        if (!dir.empty()) std::filesystem::remove_all(std::filesystem::path(dir).parent_path());
    }
};

Registry &R() {
    static Registry r;
    return r;
}

void BM_LookupName(benchmark::State &state) {
    Registry &r = R();
    if (!r.ok) {
        state.SkipWithError("registry could not be made");
        return;
    }
    bool cached = state.range(0) != 0;
    size_t set = static_cast<size_t>(state.range(1));
    vrcore::oid::SetCachesEnabled(cached);
    vrcore::oid::CacheClearAll();
    unsigned char bin[OID_MAX_BINARY];
    size_t i = 0;
    for (auto _ : state) {
        if (OID_LookupName(r.st, r.h, r.names[i].c_str(), bin, nullptr) != 0) {
            state.SkipWithError("lookup failed");
            break;
        }
        benchmark::DoNotOptimize(bin);
        if (++i == set) i = 0;
    }
    vrcore::oid::SetCachesEnabled(true);
    state.SetLabel(std::string(cached ? "caches on" : "caches off") + ", " + std::to_string(set) +
                   " names");
}
BENCHMARK(BM_LookupName)->Args({1, 50})->Args({0, 50})->Args({1, 400})->Args({0, 400});

void BM_BuiltinBinarySearch(benchmark::State &state) {
    Registry &r = R();
    if (!r.ok) {
        state.SkipWithError("registry could not be made");
        return;
    }
    GENU_ShortOID id = 0;
    size_t i = 0;
    for (auto _ : state) {
        GENU_AsciiToShortOID(r.st, r.names[i].c_str(), &id);
        benchmark::DoNotOptimize(id);
        if (++i == 50) i = 0;
    }
}
BENCHMARK(BM_BuiltinBinarySearch);

} // namespace

BENCHMARK_MAIN();
