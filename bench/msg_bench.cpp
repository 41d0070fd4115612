// MSG_snprintf against the C library's snprintf on typical log formats,
// and the cost of a catalog lookup with formatting.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "vrcore/msg.h"

namespace {

char g_buf[256];

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
template <class F> void LogLine(benchmark::State &state, F f) {
    for (auto _ : state) {
        int n = f(g_buf, sizeof g_buf, "%s:%d: %s(): handle %p, status 0x%08x, %u entries\n",
                  "attrset/as_create.cpp", 412, "AS_Create", static_cast<void *>(g_buf),
                  0xC0030079u, 17u);
        benchmark::DoNotOptimize(n);
    }
}

template <class F> void Positional(benchmark::State &state, F f) {
    for (auto _ : state) {
        int n = f(g_buf, sizeof g_buf, "%2$s failed with error %1$d: %3$s", 2, "open",
                  "/var/spool/vrcore/job-17");
        benchmark::DoNotOptimize(n);
    }
}

template <class F> void Numbers(benchmark::State &state, F f) {
    for (auto _ : state) {
        int n =
            f(g_buf, sizeof g_buf, "%-12s %8.3f %+6ld %#x %c", "elapsed", 12.3456, -42L, 255u, 'y');
        benchmark::DoNotOptimize(n);
    }
}
#pragma GCC diagnostic pop

int (*const kLib)(char *, size_t, const char *, ...) = std::snprintf;
int (*const kMsg)(char *, size_t, const char *, ...) = MSG_snprintf;

void BM_LogLine_libc(benchmark::State &s) { LogLine(s, kLib); }
void BM_LogLine_MSG(benchmark::State &s) { LogLine(s, kMsg); }
void BM_Positional_libc(benchmark::State &s) { Positional(s, kLib); }
void BM_Positional_MSG(benchmark::State &s) { Positional(s, kMsg); }
void BM_Numbers_libc(benchmark::State &s) { Numbers(s, kLib); }
void BM_Numbers_MSG(benchmark::State &s) { Numbers(s, kMsg); }

void BM_CatalogFormatted(benchmark::State &state) {
    setenv("NLSPATH", VRCORE_BINARY_DIR "/nls/%N", 1);
    MSG_UsageBegin("BENCH");
    STF_ArgRecord args[2] = {};
    args[0].type = STF_ARG_INT;
    args[0].value.i = 2;
    args[1].type = STF_ARG_STRING;
    args[1].value.p = "open of spool file";
    uint32_t len;
    for (auto _ : state) {
        uint32_t rc =
            MSG_GetFormattedByArray(1, 0xC0010005u, 0, nullptr, sizeof g_buf, &len, g_buf, 2, args);
        benchmark::DoNotOptimize(rc);
    }
    MSG_UsageEnd();
}

} // namespace

BENCHMARK(BM_LogLine_libc);
BENCHMARK(BM_LogLine_MSG);
BENCHMARK(BM_Positional_libc);
BENCHMARK(BM_Positional_MSG);
BENCHMARK(BM_Numbers_libc);
BENCHMARK(BM_Numbers_MSG);
BENCHMARK(BM_CatalogFormatted);
BENCHMARK_MAIN();
