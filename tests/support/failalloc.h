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

// While it lives, the library's own allocations of one module go through
// FailMalloc and FailFree (the other modules' to the heap), armed with
// `nth` (FailAlloc::Arm) until it ends.
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

// Runs `op` with allocation n failing, for n = 1, 2, ... until an attempt
// completes without the failure firing. `op` returns true on success.
// After each failed attempt `check_unchanged` must hold and the live-block
// count must equal its value before the attempt. Returns the number of
// failing points exercised. `max_n` bounds the sweep. Each call of `op`
// must start from the same state: an op that succeeds undoes its effect.
long SweepFailures(const std::function<bool()> &op, const std::function<void()> &check_unchanged,
                   long max_n = 100000);

} // namespace vrtest
