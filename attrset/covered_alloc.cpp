// The default allocator pair: plain wrappers around the process heap.
#include <cstdlib>

#include "system/guard.h"
#include "vrcore/vrtypes.h"

extern "C" {
VR_EXPORT void *GENU__CoveredMalloc(size_t size) try { return std::malloc(size ? size : 1); }
VR_CATCH_RETURN(nullptr)
VR_EXPORT void GENU__CoveredFree(void *p) try { std::free(p); }
VR_CATCH_VOID
}
