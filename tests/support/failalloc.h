// Failing allocations and fault points, and the sweep over them.
#pragma once

#include <cstddef>
#include <functional>

#include "system/seam.h"

namespace vrtest {

// The allocator pair, usable wherever the library takes {allocate, free}.
extern "C" void *FailMalloc(size_t size);
extern "C" void FailFree(void *p);

class FailAlloc {
  public:
    // Fails the nth allocation from now (1: the next); 0 none, -1 every one.
    static void Arm(long nth);
    static void Disarm() { Arm(0); }
    // Blocks handed out by FailMalloc and not yet freed.
    static long Live();
    // Whether the armed failure has been delivered.
    static bool Fired();
};

// While it lives, one module's own allocations go through FailMalloc and FailFree
// (the others' to the heap), armed with `nth` (FailAlloc::Arm).
class FailModule {
  public:
    explicit FailModule(vrcore::system::seam::Module m, long nth = 0);
    ~FailModule();
    FailModule(const FailModule &) = delete;
    FailModule &operator=(const FailModule &) = delete;
};

// While it lives, `fails` decides at each named point whether the operation fails.
class FaultPoints {
  public:
    using Fn = std::function<bool(vrcore::system::seam::Point point, unsigned arg)>;
    explicit FaultPoints(Fn fails);
    ~FaultPoints();
    FaultPoints(const FaultPoints &) = delete;
    FaultPoints &operator=(const FaultPoints &) = delete;

  private:
    Fn fails_;
    vrcore::system::seam::Faults faults_;
};

// Runs `op` with allocation n failing, n = 1, 2, ... up to `max_n`, until it completes
// without the failure firing (`op` returns true on success, and undoes its effect).
// After each failure `check_unchanged` must hold and no block may be left; returns
// the number of failing points.
long SweepFailures(const std::function<bool()> &op, const std::function<void()> &check_unchanged,
                   long max_n = 100000);

} // namespace vrtest
