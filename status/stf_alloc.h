// The status module's allocation wrappers, for the modules that allocate
// status-related buffers (the rendering of status messages): every such
// allocation passes the test seam as the status module's.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {
// Allocation wrappers of the status module. The tag names the allocation
// site (0x20003 list blocks, 0x20002 message buffers).
void *_STF__Malloc(size_t size, uint32_t tag);
void _STF__Free(void *p);
}

namespace vrcore::status {

inline constexpr uint32_t kTagListBlock = 0x20003;
inline constexpr uint32_t kTagMessageBuffer = 0x20002;

} // namespace vrcore::status
