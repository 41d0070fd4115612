// Invariant checks of debug builds. VR_ASSERT(condition) states what must
// hold at a place where a broken invariant would corrupt data (a B-tree
// node's fill, a status list's area, a handle's record); in a build
// without NDEBUG a false condition prints where it failed and aborts. In
// release builds (NDEBUG) the condition is not evaluated, so it must have
// no effect and cost nothing worth measuring.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace vrcore::system::check {

[[noreturn]] inline void AssertFailed(const char *condition, const char *file, int line) {
    std::fprintf(stderr, "%s:%d: invariant does not hold: %s\n", file, line, condition);
    std::abort();
}

} // namespace vrcore::system::check

#ifdef NDEBUG
// The condition stays a use of what it names (no "unused function"
// warnings) but is never evaluated.
#define VR_ASSERT(condition) static_cast<void>(false && (condition))
#else
#define VR_ASSERT(condition)                                                                       \
    ((condition) ? static_cast<void>(0)                                                            \
                 : ::vrcore::system::check::AssertFailed(#condition, __FILE__, __LINE__))
#endif
