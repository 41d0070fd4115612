// Registry reads and writes and named-mutex round trips: what a setting
// read costs a caller that reads it on every use, alone and under the
// value's named mutex.
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "system/config.h"

using namespace vrcore::system::cfg;

namespace {

const char kKey[] = "Software\\Halvane\\Tessaril\\pgr";

// A scratch root whose registry holds `n` values besides the one read.
struct Root {
    std::string dir;
    explicit Root(int n) {
        char tmpl[] = "/tmp/vrcfgbench.XXXXXX";
        dir = mkdtemp(tmpl);
        setenv("TS_ROOT", dir.c_str(), 1);
        unsetenv("VRCORE_REGISTRY");
        Registry reg;
        reg.Update([&](RegDocument &d) {
            for (int i = 0; i < n; ++i) {
                RegValue v;
                v.name = "filler" + std::to_string(i);
                v.type = RegType::String;
                v.text = "some text of a typical length";
                d.Set("Software\\Halvane\\Tessaril\\other", v);
            }
            return 0;
        });
        reg.SetDword(kKey, "CallMaxRetry", 10);
    }
    ~Root() {
        std::string cmd = "rm -rf '" + dir + "'";
        if (std::system(cmd.c_str()) != 0) std::abort();
    }
};

void BM_ReadDword(benchmark::State &state) {
    Root root(static_cast<int>(state.range(0)));
    Registry reg;
    for (auto _ : state) benchmark::DoNotOptimize(reg.GetDword(kKey, "CallMaxRetry", 0));
}
BENCHMARK(BM_ReadDword)->Arg(0)->Arg(100)->Arg(1000);

void BM_ReadDwordUnderNamedMutex(benchmark::State &state) {
    Root root(static_cast<int>(state.range(0)));
    Registry reg;
    NamedMutex m;
    m.Open("CallMaxRetry");
    for (auto _ : state) {
        NamedMutexHold hold(m);
        benchmark::DoNotOptimize(reg.GetDword(kKey, "CallMaxRetry", 0));
    }
}
BENCHMARK(BM_ReadDwordUnderNamedMutex)->Arg(0)->Arg(100);

void BM_NamedMutexLockUnlock(benchmark::State &state) {
    Root root(0);
    NamedMutex m;
    m.Open("bench");
    for (auto _ : state) {
        m.Lock();
        m.Unlock();
    }
}
BENCHMARK(BM_NamedMutexLockUnlock);

void BM_WriteString(benchmark::State &state) {
    Root root(static_cast<int>(state.range(0)));
    Registry reg;
    for (auto _ : state) reg.SetString(kKey, "ServerAddress", "10.0.0.7");
}
BENCHMARK(BM_WriteString)->Arg(0)->Arg(1000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
