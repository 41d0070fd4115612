// Internal hooks of the path functions, for the tests.
#pragma once

#include "vrcore/fa.h"
#include "vrcore/vrtypes.h"

namespace vr::fa {

// Allocator of converted paths; NULL restores the process heap. Paths must
// be released while the same allocator is in place.
void SetAllocator(const GENU_Allocator *alloc);

} // namespace vr::fa
