// Allocation failure at every point of a registry rewrite.
#include <cerrno>
#include <functional>
#include <new>

#include "failalloc.h"
#include "helpers.h"
#include "system/config.h"

// This test program's global allocation functions are the failing allocator.
void *operator new(std::size_t n) {
    if (void *p = vrtest::FailMalloc(n)) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t n) { return operator new(n); }
void operator delete(void *p) noexcept { vrtest::FailFree(p); }
void operator delete[](void *p) noexcept { vrtest::FailFree(p); }
void operator delete(void *p, std::size_t) noexcept { vrtest::FailFree(p); }
void operator delete[](void *p, std::size_t) noexcept { vrtest::FailFree(p); }

namespace {

using namespace vrcore::system::cfg;
using vrtest::FailAlloc;

TEST(RegistryAlloc, EveryFailingAllocationLeavesTheFileAlone) {
    cfgtest::ScratchRoot root;
    Registry reg;
    ASSERT_EQ(reg.SetString("Software\\A", "keep", "me"), 0);
    ASSERT_EQ(reg.SetDword("Software\\B", "n", 1), 0);
    const std::string before = vrtest::ReadFile(reg.Path());
    const std::string etc = root.Dir() + "/etc/vrcore";
    ASSERT_TRUE(cfgtest::Strays(etc).empty());
    // Each call, its results with and without a failure, and its least failure points.
    struct Row {
        std::function<int()> op;
        int ok, failed;
        long points;
    };
    for (const Row &r : std::initializer_list<Row>{
             {[&] { return reg.SetString("Software\\C\\D", "new", "value", true); }, 0, ENOMEM, 10},
             {[&] { return static_cast<int>(reg.GetDword("Software\\B", "n", 9)); }, 1, 9, 1}}) {
        long points = vrtest::SweepFailures(
            [&] {
                int rc = r.op();
                if (!FailAlloc::Fired()) return rc == r.ok;
                EXPECT_EQ(rc, r.failed);
                return false;
            },
            [&] {
                EXPECT_EQ(vrtest::ReadFile(reg.Path()), before);
                EXPECT_TRUE(cfgtest::Strays(etc).empty());
            });
        EXPECT_GE(points, r.points);
        vrtest::WriteFile(reg.Path(), before); // undo the successful write
    }
}

} // namespace
