// The default allocator pair: plain wrappers around the process heap.
#include <cstdlib>

#include "vrcore/vrtypes.h"

extern "C" {
VR_EXPORT void *GENU__CoveredMalloc(size_t size) { return std::malloc(size ? size : 1); }
VR_EXPORT void GENU__CoveredFree(void *p) { std::free(p); }
}
