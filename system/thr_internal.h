// Internal hooks of the threads module, for the tests.
#pragma once

#include "vrcore/thr.h"
#include "vrcore/vrtypes.h"

namespace vr::thr {

// Allocator for thread records and per-thread key storage; NULL restores
// the process heap. Blocks remember the free function they came with.
void SetAllocator(const GENU_Allocator *alloc);

// Number of thread records in the table (joinable threads not yet joined
// and detached threads still running).
size_t RecordCount();

// Whether a thread started here has ended and waits to be joined.
bool HasEnded(THR_ThreadId id);

} // namespace vr::thr
