// Time stamps, directories, file locks and options.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "scratch.h"
#include "vrcore/sysu.h"

namespace {

namespace fs = std::filesystem;

int64_t Micros(const timeval &tv) { return int64_t{tv.tv_sec} * 1000000 + tv.tv_usec; }

// Every value of every thread is new, in order per thread, near the clock.
TEST(SysuTime, TimeStampsStrictlyIncreaseAcrossThreads) {
    constexpr int kThreads = 4, kCalls = 5000;
    std::vector<std::vector<int64_t>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (timeval v; seen[t].size() < kCalls && SYSU_Gettimeofday(&v, nullptr) == 0 &&
                            v.tv_usec < 1000000;)
                seen[t].push_back(Micros(v));
        });
    for (auto &t : threads) t.join();
    std::set<int64_t> all;
    for (auto &v : seen) {
        EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
        all.insert(v.begin(), v.end());
    }
    EXPECT_EQ(all.size(), size_t{kThreads} * kCalls)
        << "a value was returned twice, or one was wrong";
    EXPECT_LT(std::llabs(*all.rbegin() / 1000000 - time(nullptr)), 2) << "close to the clock";
    EXPECT_EQ(SYSU_Gettimeofday(nullptr, nullptr), -1);
}

struct SysuFiles : ::testing::Test {
    vrtest::ScratchDir scratch{"vrsysu"};
    fs::path dir = scratch.Path();
};

TEST_F(SysuFiles, DirectoryListsEveryEntry) {
    std::string longest(255, 'n');
    for (auto name : {"a", longest.c_str()}) close(SYSU_Creat((dir / name).c_str(), 0644));
    ASSERT_EQ(SYSU_Mkdir((dir / "sub").c_str(), 0755), 0);
    DIR *d = SYSU_Opendir(dir.c_str());
    ASSERT_NE(d, nullptr);
    std::set<std::string> names;
    struct dirent entry, *res;
    int rc;
    while ((rc = SYSU_Readdir_r(d, &entry, &res)) == 0 && res == &entry) names.insert(entry.d_name);
    EXPECT_EQ(rc + SYSU_Closedir(d), 0);
    EXPECT_EQ(res, nullptr);
    EXPECT_EQ(names, (std::set<std::string>{".", "..", "a", "sub", longest}));
    EXPECT_EQ(SYSU_Opendir((dir / "missing").c_str()), nullptr);
}

// Locks belong to the open file: two descriptors of one process exclude
// each other, and closing a third descriptor keeps the lock.
TEST_F(SysuFiles, LocksExcludeWithinTheProcess) {
    std::string file = (dir / "lock").string();
    int a = SYSU_Open(file.c_str(), O_RDWR | O_CREAT, 0644), b = SYSU_Open(file.c_str(), O_RDWR, 0);
    ASSERT_TRUE(a >= 0 && b >= 0);
    struct flock whole {
    }, shared{};
    whole.l_type = F_WRLCK;
    shared.l_type = F_RDLCK;
    ASSERT_EQ(SYSU_LockFile(a, F_SETLK, &whole), 0);
    struct flock other = whole;
    EXPECT_EQ(SYSU_LockFile(b, F_SETLK, &other), -1);
    EXPECT_TRUE(errno == EAGAIN || errno == EACCES);
    close(SYSU_Open(file.c_str(), O_RDONLY, 0));
    EXPECT_EQ(SYSU_LockFile(b, F_SETLK, &(other = shared)), -1) << "still held after another close";

    // A waiting lock is granted once the holder releases it.
    std::atomic<int> waited{1};
    std::thread t([&, w = whole]() mutable { waited = SYSU_LockFile(b, F_SETLKW, &w); });
    EXPECT_EQ(SYSU_UnlockFile(a, &whole), 0);
    t.join();
    EXPECT_EQ(waited.load(), 0);
    EXPECT_EQ(SYSU_LockFile(a, F_SETLK, &shared), -1) << "b holds it exclusively now";
    EXPECT_EQ(SYSU_UnlockFile(b, &whole), 0);
    EXPECT_EQ(SYSU_LockFile(a, F_SETLK, &shared) + SYSU_LockFile(b, F_SETLK, &(other = shared)), 0)
        << "shared, both";
    EXPECT_EQ(SYSU_LockFile(b, 12345, &other), -1);
    EXPECT_EQ(errno, EINVAL);
    close(a), close(b);
}

std::string Scan(std::vector<const char *> args, const char *options) {
    optind = 0;
    std::string out;
    for (int c; (c = SYSU_Getopt(int(args.size()), const_cast<char *const *>(args.data()),
                                 options)) != -1;) {
        out += static_cast<char>(c);
        if (optarg) out += std::string("=") + optarg;
        if (c == '?' || c == ':') out += optopt;
        out += ' ';
    }
    return out + std::to_string(optind);
}

// Clusters, arguments, the end of the options, unknown options and missing
// arguments, with and without the message (a leading ':' is quiet).
TEST(Getopt, ClustersArgumentsUnknownOptionsAndTheEnd) {
    struct Row {
        std::vector<const char *> args;
        const char *options;
        int err;
        const char *want, *message;
    };
    for (const Row &r :
         {Row{{"p", "-ab", "-cval", "-c", "v2", "--", "-a"}, "abc:", 1, "a b c=val c=v2 6", ""},
          Row{{"p", "-a", "file", "-b"}, "ab", 1, "a 2", ""},
          Row{{"p", "-", "-a"}, "a", 1, "1", ""}, Row{{"p"}, "a", 1, "1", ""},
          Row{{"p", "-ac"}, "ac:", 0, "a ?c 2", ""},
          Row{{"prog", "-x", "-a"}, "a", 1, "?x a 3", "prog: unknown option -x\n"},
          Row{{"prog", "-x", "-c"}, "c:", 0, "?x ?c 3", ""},
          Row{{"prog", "-c", "-y"}, ":c:", 1, "c=-y 3", ""},
          Row{{"prog", "-y", "-c"}, ":c:", 1, "?y :c 3", ""}}) {
        opterr = r.err;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Scan(r.args, r.options), r.want) << r.want;
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), r.message) << r.want;
    }
    // Resetting optind restarts the scan even in the middle of a cluster.
    const char *args[] = {"p", "-ab", "-b", nullptr};
    std::string got;
    for (int start : {0, 0, 2})
        got += char((optind = start, SYSU_Getopt(3, const_cast<char *const *>(args), "ab")));
    EXPECT_EQ(got, "aab");
    EXPECT_EQ(optind, 3);
}

} // namespace
