// A 1 MiB request through the bulk packet routine of the ONC records
// against the RPC library's xdr_array of xdr_char, encoding and decoding,
// in memory. Both must put the same bytes on the wire; the program stops
// if they do not.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <rpc/rpc.h>
#include <vector>

#include <benchmark/benchmark.h>

#include "vrcore/odpcli.h"

namespace {

constexpr size_t kBytes = 1 << 20;

template <class F> xdrproc_t Proc(F *f) {
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}

std::vector<char> &Request() {
    static std::vector<char> r = [] {
        std::vector<char> v(kBytes);
        for (size_t i = 0; i < kBytes; ++i) v[i] = static_cast<char>(i * 131 + (i >> 9));
        return v;
    }();
    return r;
}

size_t EncodeBulk(std::vector<char> &wire) {
    XDR x;
    xdrmem_create(&x, wire.data(), u_int(wire.size()), XDR_ENCODE);
    ODP_argument_t a{0, {u_int(kBytes), Request().data()}};
    if (!xdr_ODP_argument_t(&x, &a)) abort();
    return xdr_getpos(&x);
}

size_t EncodeReference(std::vector<char> &wire) {
    XDR x;
    xdrmem_create(&x, wire.data(), u_int(wire.size()), XDR_ENCODE);
    int op = 0;
    char *p = Request().data(); // xdr_char writes each byte back: a writable copy
    u_int n = u_int(kBytes);
    if (!xdr_int(&x, &op) || !xdr_array(&x, &p, &n, ~0u, 1, Proc(xdr_char))) abort();
    return xdr_getpos(&x);
}

std::vector<char> &Wire() {
    static std::vector<char> w = [] {
        std::vector<char> a(8 + 4 * kBytes), b(a.size());
        if (EncodeBulk(a) != a.size() || EncodeReference(b) != b.size() || a != b) {
            fprintf(stderr, "the two routines disagree on the wire bytes\n");
            abort();
        }
        return a;
    }();
    return w;
}

void BM_EncodeBulk(benchmark::State &state) {
    std::vector<char> wire(Wire().size());
    for (auto _ : state) benchmark::DoNotOptimize(EncodeBulk(wire));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
}

void BM_EncodeXdrArrayOfChar(benchmark::State &state) {
    std::vector<char> wire(Wire().size());
    for (auto _ : state) benchmark::DoNotOptimize(EncodeReference(wire));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
}

void BM_DecodeBulk(benchmark::State &state) {
    std::vector<char> &wire = Wire();
    for (auto _ : state) {
        XDR x;
        xdrmem_create(&x, wire.data(), u_int(wire.size()), XDR_DECODE);
        ODP_argument_t a{};
        if (!xdr_ODP_argument_t(&x, &a) || memcmp(a.request.encodePacket_val, Request().data(), 64))
            abort();
        xdr_free(Proc(xdr_ODP_argument_t), reinterpret_cast<char *>(&a));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
}

void BM_DecodeXdrArrayOfChar(benchmark::State &state) {
    std::vector<char> &wire = Wire();
    for (auto _ : state) {
        XDR x;
        xdrmem_create(&x, wire.data(), u_int(wire.size()), XDR_DECODE);
        int op = 0;
        char *p = nullptr;
        u_int n = 0;
        if (!xdr_int(&x, &op) || !xdr_array(&x, &p, &n, ~0u, 1, Proc(xdr_char))) abort();
        free(p);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
}

BENCHMARK(BM_EncodeBulk)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EncodeXdrArrayOfChar)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeBulk)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeXdrArrayOfChar)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
