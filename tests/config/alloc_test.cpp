// Allocation failure at every point of a registry rewrite: the call reports
// ENOMEM and the file, its directory and the heap are as before.
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <functional>
#include <new>

#include "helpers.h"
#include "system/config.h"

namespace {

std::atomic<long> g_fail_at{0}; // 0: never
std::atomic<long> g_count{0};
std::atomic<bool> g_fired{false};

void *counted_alloc(std::size_t n) {
    long at = g_fail_at.load();
    if (at > 0 && ++g_count == at) {
        g_fired = true;
        throw std::bad_alloc();
    }
    if (void *p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}

void arm(long n) {
    g_count = 0;
    g_fired = false;
    g_fail_at = n;
}

size_t entries(const std::string &dir) {
    size_t n = 0;
    if (DIR *d = opendir(dir.c_str())) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

} // namespace

// This test program's global allocation functions count and can fail.
void *operator new(std::size_t n) { return counted_alloc(n); }
void *operator new[](std::size_t n) { return counted_alloc(n); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }

using namespace vrcore::cfg;

TEST(RegistryAlloc, EveryFailingAllocationLeavesTheFileAlone) {
    cfgtest::ScratchRoot root;
    Registry reg;
    ASSERT_EQ(reg.set_string("Software\\A", "keep", "me"), 0);
    ASSERT_EQ(reg.set_dword("Software\\B", "n", 1), 0);
    const std::string before = vrtest::ReadFile(reg.path());
    const std::string etc = root.dir() + "/etc/vrcore";
    const size_t files = entries(etc);
    auto sweep = [&](const std::function<int()> &op) {
        long points = 0;
        for (long n = 1; n < 10000; ++n) {
            arm(n);
            int rc = op();
            bool fired = g_fired;
            arm(0);
            if (!fired) {
                EXPECT_EQ(rc, 0);
                break;
            }
            ++points;
            EXPECT_EQ(rc, ENOMEM) << n;
            EXPECT_EQ(vrtest::ReadFile(reg.path()), before) << n;
            EXPECT_EQ(entries(etc), files) << n;
        }
        EXPECT_GT(points, 10);
        // Undo the successful write for the next sweep.
        vrtest::WriteFile(reg.path(), before);
    };
    sweep([&] { return reg.set_string("Software\\C\\D", "new", "value", true); });
    sweep([&] { return reg.set_dword("Software\\A", "keep", 7); });
    sweep([&] { return reg.delete_key("Software\\B"); });
}

TEST(RegistryAlloc, ReadsFallBackToTheDefault) {
    cfgtest::ScratchRoot root;
    Registry reg;
    ASSERT_EQ(reg.set_dword("Software\\A", "n", 5), 0);
    for (long n = 1; n < 1000; ++n) {
        arm(n);
        uint32_t v = reg.get_dword("Software\\A", "n", 9);
        bool fired = g_fired;
        arm(0);
        if (!fired) {
            EXPECT_EQ(v, 5u);
            break;
        }
        EXPECT_EQ(v, 9u) << n;
    }
}
