#include "failalloc.h"

#include <array>
#include <atomic>
#include <cstdlib>
#include <utility>

#include <gtest/gtest.h>

namespace vrtest {
namespace {
std::atomic<long> g_nth{0};
std::atomic<long> g_attempts{0};
std::atomic<long> g_live{0};
std::atomic<bool> g_fired{false};
} // namespace

extern "C" void *FailMalloc(size_t size) {
    long n = ++g_attempts;
    long nth = g_nth.load();
    if (nth < 0 || (nth != 0 && n == nth)) {
        g_fired = true;
        return nullptr;
    }
    void *p = std::malloc(size ? size : 1);
    if (p) ++g_live;
    return p;
}

extern "C" void FailFree(void *p) {
    if (!p) return;
    --g_live;
    std::free(p);
}

namespace {
using vrcore::system::seam::Module;

// One allocator per module: a block kept with its allocator goes back the way it came.
template <Module M> void *RoutedAlloc(Module m, size_t n) {
    return m == M ? FailMalloc(n) : std::malloc(n);
}
template <Module M> void RoutedFree(Module m, void *p) { m == M ? FailFree(p) : std::free(p); }
template <size_t... I> constexpr auto Routed(std::index_sequence<I...>) {
    return std::array<vrcore::system::seam::Allocator, sizeof...(I)>{
        vrcore::system::seam::Allocator{RoutedAlloc<Module(I)>, RoutedFree<Module(I)>}...};
}
constexpr auto kRouted = Routed(std::make_index_sequence<vrcore::system::seam::kModules>());
} // namespace

FailModule::FailModule(Module m, long nth) {
    FailAlloc::Arm(nth);
    vrcore::system::seam::SetAllocator(&kRouted[size_t(m)]);
}
FailModule::~FailModule() {
    vrcore::system::seam::SetAllocator(nullptr);
    FailAlloc::Disarm();
}

FaultPoints::FaultPoints(Fn fails)
    : fails_(std::move(fails)), faults_{[](void *ctx, vrcore::system::seam::Point p, unsigned arg) {
                                            return (*static_cast<Fn *>(ctx))(p, arg);
                                        },
                                        &fails_} {
    vrcore::system::seam::SetFaults(&faults_);
}
FaultPoints::~FaultPoints() { vrcore::system::seam::SetFaults(nullptr); }

void FailAlloc::Arm(long nth) {
    g_attempts = 0;
    g_fired = false;
    g_nth = nth;
}
long FailAlloc::Live() { return g_live.load(); }
bool FailAlloc::Fired() { return g_fired.load(); }

long SweepFailures(const std::function<bool()> &op, const std::function<void()> &check_unchanged,
                   long max_n) {
    for (long n = 1; n <= max_n; ++n) {
        long live_before = FailAlloc::Live();
        FailAlloc::Arm(n);
        bool ok = op();
        bool fired = FailAlloc::Fired();
        FailAlloc::Disarm();
        if (!fired) {
            EXPECT_TRUE(ok) << "operation failed without an allocation failure at n=" << n;
            return n - 1;
        }
        if (ok) continue; // it recovered; the caller's check decides on content
        EXPECT_EQ(FailAlloc::Live(), live_before) << "leak after failing allocation " << n;
        check_unchanged();
        if (::testing::Test::HasFatalFailure()) return n;
    }
    ADD_FAILURE() << "sweep did not finish within " << max_n << " failure points";
    return max_n;
}

} // namespace vrtest
