// Named system-wide mutexes.
#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <atomic>
#include <thread>

#include "helpers.h"
#include "system/config.h"

using namespace vrcore::system::cfg;

namespace {

TEST(NamedMutex, LockFilesAreNamedSafelyAndSharedByAllUsers) {
    EXPECT_EQ(LockFileName("a/b\\c%d"), "a%2Fb%5Cc%25d.lck");
    EXPECT_EQ(LockFileName(".."), "%2E..lck");
    NamedMutex m;
    EXPECT_EQ(m.Open(""), EINVAL);
    EXPECT_EQ(m.Open(std::string(300, 'x')), ENAMETOOLONG);
    EXPECT_EQ(m.Lock(), EBADF);

    cfgtest::ScratchRoot root;
    ASSERT_EQ(m.Open("CallMaxRetry"), 0);
    EXPECT_EQ(m.Path(), root.Dir() + "/var/vrcore/lock/CallMaxRetry.lck");
    struct stat st;
    ASSERT_EQ(stat(m.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
    ASSERT_EQ(stat((root.Dir() + "/var/vrcore/lock").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 01777u);
}

// Two processes of two threads, each with its own handle, count in a file.
TEST(NamedMutex, ExcludesOtherProcessesAndThreads) {
    cfgtest::ScratchRoot root;
    std::string counter = root.Dir() + "/counter";
    vrtest::WriteFile(counter, "0");
    constexpr int kRounds = 200;
    std::vector<pid_t> kids;
    for (int p = 0; p < 2; ++p)
        kids.push_back(vrtest::Spawn([&] {
            std::atomic<int> failed{0};
            auto add = [&] {
                NamedMutex m;
                failed += m.Open("counter") != 0;
                for (int i = 0; i < kRounds; ++i) {
                    NamedMutexHold hold(m);
                    failed += hold.Status() != 0;
                    int n = std::stoi(vrtest::ReadFile(counter));
                    std::this_thread::yield();
                    vrtest::WriteFile(counter, std::to_string(n + 1));
                }
            };
            std::thread t(add);
            add();
            t.join();
            return failed.load() != 0;
        }));
    for (pid_t k : kids) ASSERT_EQ(vrtest::WaitStatus(k), 0);
    EXPECT_EQ(vrtest::ReadFile(counter), std::to_string(4 * kRounds));
}

// A timed lock expires while another process holds it; the holder's death frees it.
TEST(NamedMutex, TimesOutAndIsReleasedByAHoldersDeath) {
    cfgtest::ScratchRoot root;
    int held[2];
    ASSERT_EQ(pipe(held), 0);
    pid_t pid = vrtest::Spawn([&] {
        NamedMutex m;
        char c = 'h';
        if (m.Open("EnableLocalFile") != 0 || m.Lock() != 0 || write(held[1], &c, 1) != 1) return 1;
        pause();
        return 2;
    });
    char c;
    ASSERT_EQ(read(held[0], &c, 1), 1);
    NamedMutex m;
    ASSERT_EQ(m.Open("EnableLocalFile"), 0);
    EXPECT_EQ(m.Lock(0), ETIMEDOUT);
    EXPECT_EQ(m.Lock(30), ETIMEDOUT);
    kill(pid, SIGKILL);
    EXPECT_EQ(vrtest::WaitStatus(pid), SIGKILL);
    EXPECT_EQ(m.Lock(), 0);
    EXPECT_EQ(m.Unlock(), 0);
    ::close(held[0]);
    ::close(held[1]);
}

// Recursive for the owner, not inherited by a child, released by closing the last handle.
TEST(NamedMutex, RecursiveForTheOwnerNotInheritedReleasedByClosing) {
    cfgtest::ScratchRoot root;
    auto child_locks = [] {
        return vrtest::InChild([] {
            NamedMutex c;
            return c.Open("ImportMaxTry") != 0 ? 2 : c.Lock(0);
        });
    };
    {
        NamedMutex a, b;
        ASSERT_EQ(a.Open("ImportMaxTry"), 0);
        ASSERT_EQ(b.Open("ImportMaxTry"), 0);
        ASSERT_EQ(a.Lock(), 0);
        ASSERT_EQ(b.Lock(0), 0); // the same mutex, already ours
        int other_lock = -1, other_unlock = -1;
        std::thread t([&] {
            NamedMutex c;
            if (c.Open("ImportMaxTry") == 0) {
                other_lock = c.Lock(20);
                other_unlock = a.Unlock();
            }
        });
        t.join();
        EXPECT_EQ(other_lock, ETIMEDOUT);
        EXPECT_EQ(other_unlock, EPERM);
        EXPECT_EQ(child_locks(), ETIMEDOUT);
        EXPECT_EQ(b.Unlock(), 0);
        EXPECT_EQ(a.Unlock(), 0);
        EXPECT_EQ(a.Unlock(), EPERM);
        ASSERT_EQ(a.Lock(), 0);
    }
    EXPECT_EQ(child_locks(), 0);
}

} // namespace
