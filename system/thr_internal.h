// Internal views of the threads module, for the tests.
#pragma once

#include "vrcore/thr.h"
#include "vrcore/vrtypes.h"

namespace vrcore::system::thr {

// Number of thread records in the table (joinable threads not yet joined
// and detached threads still running).
size_t RecordCount();

// Whether a thread started here has ended and waits to be joined.
bool HasEnded(THR_ThreadId id);

} // namespace vrcore::system::thr
