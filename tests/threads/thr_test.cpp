// Threads, mutexes, condition variables, keys and once-only initialisation.

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "failalloc.h"
#include "system/thr_internal.h"
#include "vrcore/thr.h"

namespace {

// Deliberate misuse (unlocking a mutex one does not hold) is reported by
// ThreadSanitizer itself; those checks run in the other builds only.
#if defined(__SANITIZE_THREAD__)
constexpr bool kMisuseChecks = false;
#else
constexpr bool kMisuseChecks = true;
#endif

// Taken before any test runs: nothing has initialised the module yet.
const uint32_t g_term_before_init = THR_TermThreads();

uint32_t RunFunction(void *p) { return (*static_cast<std::function<uint32_t()> *>(p))(); }

// Starts a joinable thread running fn; fn must outlive the thread.
THR_ThreadId Start(std::function<uint32_t()> &fn, int detached = 0) {
    THR_ThreadId id = 0;
    EXPECT_EQ(THR_StartThread(RunFunction, &fn, 0, THR_PRIORITY_NORMAL, detached, &id), 0u);
    return id;
}

// Runs fn on a joinable thread and joins it: the thread's exit code, or ~0
// when the start or the join failed.
uint32_t RunJoined(std::function<uint32_t()> fn) {
    uint32_t code = 0;
    return THR_JoinThread(Start(fn), &code) == 0 ? code : ~0u;
}

void SpinUntil(const std::function<bool()> &done) {
    while (!done()) THR_Yield();
}

// A mutex and a condition variable, created for each test.
struct Sync : ::testing::Test {
    THR_Mutex m;
    THR_Condition c;
    void SetUp() override {
        ASSERT_EQ(THR_InitMutex(&m), 0u);
        ASSERT_EQ(THR_InitCondition(&c), 0u);
    }
    void TearDown() override {
        EXPECT_EQ(THR_TermCondition(&c), 0u);
        EXPECT_EQ(THR_TermMutex(&m), 0u);
    }
    // Counters of the condition, read under its own lock.
    std::pair<uint32_t, uint32_t> WaitersPending() {
        pthread_mutex_lock(&c.count);
        auto r = std::make_pair(c.waiters, c.pending);
        pthread_mutex_unlock(&c.count);
        return r;
    }
};

using Mutex = Sync;
using Condition = Sync;

TEST_F(Mutex, RecursiveForOwnerBusyForOthers) {
    ASSERT_EQ(THR_LockMutex(&m), 0u);
    EXPECT_EQ(THR_TryLockMutex(&m), 0u); // again, by the owner
    EXPECT_EQ(RunJoined([&] { return THR_TryLockMutex(&m); }), THR_S_BUSY);
    if (kMisuseChecks) {
        EXPECT_EQ(RunJoined([&] { return THR_UnlockMutex(&m); }), THR_S_FAILURE) << "not the owner";
    }
    EXPECT_EQ(THR_UnlockMutex(&m), 0u);
    EXPECT_EQ(THR_TermMutex(&m), THR_S_FAILURE) << "still held once";
    EXPECT_EQ(THR_UnlockMutex(&m), 0u);
    if (kMisuseChecks) {
        EXPECT_EQ(THR_UnlockMutex(&m), THR_S_FAILURE) << "not held any more";
    }
}

TEST_F(Mutex, AbandonedMutexCountsAsAcquired) {
    ASSERT_EQ(RunJoined([&] { return THR_LockMutex(&m); }), 0u);
    EXPECT_EQ(THR_LockMutex(&m), 0u);
    EXPECT_EQ(THR_UnlockMutex(&m), 0u);
    EXPECT_EQ(THR_TryLockMutex(&m), 0u);
    EXPECT_EQ(THR_UnlockMutex(&m), 0u);
}

TEST(MutexUse, UninitialisedOrTerminatedIsRefused) {
    THR_Mutex m{};
    THR_Condition c{};
    EXPECT_EQ(THR_LockMutex(&m), THR_S_FAILURE);
    EXPECT_EQ(THR_SignalCondition(&c), THR_S_FAILURE);
    ASSERT_EQ(THR_InitMutex(&m), 0u);
    ASSERT_EQ(THR_TermMutex(&m), 0u);
    EXPECT_EQ(THR_LockMutex(&m), THR_S_FAILURE);
}

TEST_F(Condition, TimedWaitLimits) {
    ASSERT_EQ(THR_LockMutex(&m), 0u);
    auto other_try = [&] {
        return RunJoined([&] {
            uint32_t rc = THR_TryLockMutex(&m);
            if (rc == 0) THR_UnlockMutex(&m);
            return rc;
        });
    };
    // A limit below 1 ms fails at once and keeps the mutex held.
    EXPECT_EQ(THR_WaitForConditionTimed(&c, &m, 0), THR_S_TIMEOUT);
    EXPECT_EQ(THR_WaitForConditionTimed(&c, &m, -5), THR_S_TIMEOUT);
    EXPECT_EQ(other_try(), THR_S_BUSY);
    // An expired wait holds the mutex again and leaves no waiter behind.
    EXPECT_EQ(THR_WaitForConditionTimed(&c, &m, 20), THR_S_TIMEOUT);
    EXPECT_EQ(other_try(), THR_S_BUSY);
    EXPECT_EQ(WaitersPending(), std::make_pair(0u, 0u));
    EXPECT_EQ(THR_UnlockMutex(&m), 0u);
    EXPECT_EQ(THR_SignalCondition(&c), 0u) << "no waiter: returns at once";
    if (kMisuseChecks) {
        EXPECT_EQ(THR_WaitForCondition(&c, &m), THR_S_FAILURE) << "mutex not held";
    }
    EXPECT_EQ(WaitersPending(), std::make_pair(0u, 0u));
}

// Signal returns only once one waiter has taken the wake-up, and wakes no
// more than one; broadcast wakes exactly the waiters present when it began.
TEST_F(Condition, WakeUpsAreTakenBeforeReturn) {
    constexpr uint32_t kWaiters = 6;
    for (int round = 0; round < 20; ++round) {
        int ready = 0;
        std::function<uint32_t()> fn = [&] {
            THR_LockMutex(&m);
            ++ready;
            uint32_t rc = THR_WaitForConditionTimed(&c, &m, 30000);
            THR_UnlockMutex(&m);
            return rc;
        };
        std::vector<THR_ThreadId> ids;
        for (uint32_t i = 0; i < kWaiters; ++i) ids.push_back(Start(fn));
        SpinUntil([&] {
            THR_LockMutex(&m);
            bool all = ready == static_cast<int>(kWaiters);
            THR_UnlockMutex(&m);
            return all;
        });
        THR_LockMutex(&m);
        ASSERT_EQ(THR_SignalCondition(&c), 0u);
        EXPECT_EQ(WaitersPending(), std::make_pair(kWaiters - 1, 0u));
        ASSERT_EQ(THR_BroadcastCondition(&c), 0u);
        EXPECT_EQ(WaitersPending(), std::make_pair(0u, 0u));
        // A wait begun after the broadcast finds nothing left to take.
        EXPECT_EQ(THR_WaitForConditionTimed(&c, &m, 5), THR_S_TIMEOUT);
        THR_UnlockMutex(&m);
        for (THR_ThreadId id : ids) {
            uint32_t code = 1;
            ASSERT_EQ(THR_JoinThread(id, &code), 0u);
            EXPECT_EQ(code, 0u) << "a waiter missed its wake-up";
        }
    }
}

// Two threads hand a turn back and forth. With a long limit one lost
// wake-up shows as a timeout; with a 1 ms limit timeouts race with signals
// all the time, and the counters must still come out even.
TEST_F(Condition, PingPongLosesNoWakeUp) {
    constexpr int kTurns = 4000;
    for (int32_t limit : {10000, 1}) {
        int turn = 0; // even: first player, odd: second
        std::function<uint32_t(int)> player = [&](int me) {
            uint32_t rc = 0;
            THR_LockMutex(&m);
            while (turn < kTurns && rc == 0) {
                while (turn % 2 != me && turn < kTurns && rc == 0)
                    if (THR_WaitForConditionTimed(&c, &m, limit) != 0 && limit > 1) rc = 1;
                if (turn < kTurns) ++turn;
                THR_SignalCondition(&c);
            }
            THR_UnlockMutex(&m);
            return rc;
        };
        std::function<uint32_t()> a = [&] { return player(0); }, b = [&] { return player(1); };
        THR_ThreadId ia = Start(a), ib = Start(b);
        uint32_t ca = 1, cb = 1;
        ASSERT_EQ(THR_JoinThread(ia, &ca), 0u);
        ASSERT_EQ(THR_JoinThread(ib, &cb), 0u);
        EXPECT_EQ(ca + cb, 0u) << "limit " << limit;
        EXPECT_EQ(turn, kTurns);
        EXPECT_EQ(WaitersPending(), std::make_pair(0u, 0u));
    }
}

TEST(Join, ByIdAndAnyIncludingEndedThreads) {
    size_t base = vr::thr::RecordCount();
    std::function<uint32_t()> seven = [] { return 7u; };
    THR_ThreadId id = Start(seven);
    SpinUntil([&] { return vr::thr::HasEnded(id); });
    uint32_t code = 0;
    ASSERT_EQ(THR_JoinThread(0, &code), 0u) << "thread ended before the join began";
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(THR_JoinThread(id, &code), THR_S_FAILURE) << "already joined";

    id = Start(seven);
    SpinUntil([&] { return vr::thr::HasEnded(id); });
    ASSERT_EQ(THR_JoinThread(id, &code), 0u);
    EXPECT_EQ(vr::thr::RecordCount(), base);

    THR_ThreadId self = 0;
    ASSERT_EQ(THR_GetThreadHandle(&self), 0u);
    EXPECT_NE(self, 0u);
    EXPECT_EQ(THR_JoinThread(self, nullptr), THR_S_FAILURE);
    EXPECT_EQ(THR_JoinThread(0xFFFFFFF0u, nullptr), THR_S_FAILURE);
    EXPECT_EQ(THR_JoinThread(0, nullptr), THR_S_FAILURE) << "nothing left to join";
    int eq = -1;
    EXPECT_EQ(THR_Equal(self, self, &eq), 0u);
    EXPECT_EQ(eq, 1);
}

// Several joiners of "any thread" and many workers: each exit code is
// collected exactly once.
TEST(Join, ConcurrentJoinAnyCollectsEachThreadOnce) {
    constexpr uint32_t kWorkers = 120, kJoiners = 4;
    for (int round = 0; round < 5; ++round) {
        std::vector<uint32_t> codes[kJoiners];
        std::vector<std::function<uint32_t()>> workers;
        for (uint32_t i = 0; i < kWorkers; ++i) workers.emplace_back([i] { return i + 1; });
        std::atomic<uint32_t> remaining{kWorkers};
        // The joiners are threads of another origin, so that only the
        // workers are joinable; each stops when every worker is taken.
        std::vector<std::thread> joiners;
        for (auto &w : workers) Start(w);
        for (uint32_t j = 0; j < kJoiners; ++j)
            joiners.emplace_back([&, j] {
                while (remaining.load() > 0) {
                    uint32_t code;
                    if (THR_JoinThread(0, &code) == 0) {
                        codes[j].push_back(code);
                        remaining.fetch_sub(1);
                    } else {
                        THR_Yield();
                    }
                }
            });
        for (auto &j : joiners) j.join();
        std::multiset<uint32_t> all;
        for (auto &v : codes) all.insert(v.begin(), v.end());
        ASSERT_EQ(all.size(), kWorkers);
        EXPECT_EQ(std::set<uint32_t>(all.begin(), all.end()).size(), kWorkers);
    }
}

TEST(Join, DetachedThreadIsNotJoinableAndLeavesNothing) {
    size_t base = vr::thr::RecordCount();
    std::atomic<bool> go{false};
    std::function<uint32_t()> fn = [&] {
        while (!go.load()) THR_Yield();
        return 3u;
    };
    THR_ThreadId id = Start(fn, 1);
    EXPECT_EQ(THR_JoinThread(id, nullptr), THR_S_FAILURE);
    go = true;
    SpinUntil([&] { return vr::thr::RecordCount() == base; });
    EXPECT_EQ(THR_JoinThread(id, nullptr), THR_S_FAILURE);
}

TEST(Join, ExitThreadSetsCodeAndPriorityIsChecked) {
    std::function<uint32_t()> fn = [] {
        THR_ExitThread(42);
        return 1u;
    };
    EXPECT_EQ(RunJoined(fn), 42u);

    THR_ThreadId id;
    EXPECT_EQ(THR_StartThread(RunFunction, &fn, 0, 3, 0, &id), THR_S_PRIORITY);
    EXPECT_EQ(THR_SetPriority(0, -1), THR_S_PRIORITY);
    EXPECT_EQ(THR_SetPriority(0xFFFFFFF0u, 1), THR_S_FAILURE);
    // Lowering one's own priority works without privileges.
    EXPECT_EQ(RunJoined([] {
                  id_t tid = static_cast<id_t>(syscall(SYS_gettid));
                  int before = getpriority(PRIO_PROCESS, tid);
                  if (THR_SetPriority(0, THR_PRIORITY_BELOW_NORMAL) != 0) return 1u;
                  return getpriority(PRIO_PROCESS, tid) > before ? 0u : 2u;
              }),
              0u);
}

TEST(Join, StartThreadSurvivesAllocationFailure) {
    size_t base = vr::thr::RecordCount();
    vrtest::FailModule fail(vrcore::seam::Module::Threads);
    std::function<uint32_t()> fn = [] { return 9u; };
    long points = vrtest::SweepFailures(
        [&] {
            THR_ThreadId id;
            if (THR_StartThread(RunFunction, &fn, 0, 1, 0, &id) != 0) return false;
            uint32_t code = 0;
            return THR_JoinThread(id, &code) == 0 && code == 9u;
        },
        [&] { EXPECT_EQ(vr::thr::RecordCount(), base); });
    EXPECT_GE(points, 2);
}

std::vector<int> g_destroyed;
THR_ThreadKey g_reset_key;
void RecordDestroy(void *v) { g_destroyed.push_back(static_cast<int>(reinterpret_cast<intptr_t>(v))); }
void ResetOnce(void *v) {
    RecordDestroy(v);
    if (reinterpret_cast<intptr_t>(v) < 1000) THR_SetThreadKeyValue(g_reset_key, reinterpret_cast<void *>(1000));
}

// Initialisations are counted; the key table is filled, destructors run in
// key order at thread end (again for values set by a destructor), and the
// last THR_TermThreads frees every key without exposing old values to the
// next owner.
TEST(Keys, SixtyFourKeysDestructorsInOrderAndRelease) {
    EXPECT_EQ(g_term_before_init, THR_S_NOINIT);
    ASSERT_EQ(THR_InitThreads(), 0u);
    ASSERT_EQ(THR_InitThreads(), 0u);
    EXPECT_EQ(THR_TermThreads(), 0u);
    std::vector<THR_ThreadKey> keys;
    ASSERT_EQ(THR_InitThreadKey(&g_reset_key, ResetOnce), 0u);
    keys.push_back(g_reset_key);
    THR_ThreadKey k;
    while (THR_InitThreadKey(&k, RecordDestroy) == 0) keys.push_back(k);
    ASSERT_GE(keys.size(), 2u);
    EXPECT_EQ(THR_InitThreadKey(&k, RecordDestroy), THR_S_FAILURE) << "a 65th key";
    EXPECT_EQ(std::set<THR_ThreadKey>(keys.begin(), keys.end()).size(), keys.size());
    EXPECT_EQ(THR_SetThreadKeyValue(THR_MAX_KEYS, nullptr), THR_S_FAILURE);

    g_destroyed.clear();
    int mine = 0;
    ASSERT_EQ(THR_SetThreadKeyValue(keys[1], &mine), 0u);
    std::function<uint32_t()> fn = [&] {
        void *theirs = &theirs;
        if (THR_GetThreadKeyValue(keys[1], &theirs) != 0 || theirs != nullptr) return 2u;
        for (auto it = keys.rbegin(); it != keys.rend(); ++it)
            if (*it != keys[1]) // one key keeps a null value: no call for it
                THR_SetThreadKeyValue(*it, reinterpret_cast<void *>(static_cast<intptr_t>(*it + 1)));
        void *v = nullptr;
        THR_GetThreadKeyValue(keys.back(), &v);
        return v == reinterpret_cast<void *>(static_cast<intptr_t>(keys.back() + 1)) ? 0u : 1u;
    };
    EXPECT_EQ(RunJoined(fn), 0u);
    std::vector<int> expected;
    for (THR_ThreadKey key : keys)
        if (key != keys[1]) expected.push_back(static_cast<int>(key + 1));
    std::sort(expected.begin(), expected.end());
    expected.push_back(1000);
    EXPECT_EQ(g_destroyed, expected);

    void *own = nullptr;
    ASSERT_EQ(THR_GetThreadKeyValue(keys[1], &own), 0u);
    EXPECT_EQ(own, &mine);
    ASSERT_EQ(THR_SetThreadKeyValue(keys[0], &mine), 0u);
    ASSERT_EQ(THR_TermThreads(), 0u);
    void *v = &v;
    EXPECT_EQ(THR_GetThreadKeyValue(keys[0], &v), THR_S_FAILURE) << "key freed";
    ASSERT_EQ(THR_InitThreads(), 0u);
    ASSERT_EQ(THR_InitThreadKey(&k, nullptr), 0u);
    EXPECT_EQ(k, keys[0]);
    ASSERT_EQ(THR_GetThreadKeyValue(k, &v), 0u);
    EXPECT_EQ(v, nullptr);
    EXPECT_EQ(THR_TermThreads(), 0u);
    EXPECT_EQ(THR_TermThreads(), THR_S_FAILURE);
}

std::atomic<int> g_once_runs{0};
THR_OnceFlag g_nested_flag = THR_ONCE_INIT;
uint32_t g_nested_rc = 0;
void CountRun() {
    for (int i = 0; i < 1000; ++i) THR_Yield();
    g_once_runs.fetch_add(1);
}
void Nested() { g_nested_rc = THR_Once(&g_nested_flag, Nested); }

TEST(Once, RunsOnceAndEveryCallerSeesItDone) {
    constexpr int kThreads = 12;
    for (int round = 0; round < 10; ++round) {
        g_once_runs = 0;
        THR_OnceFlag flag = THR_ONCE_INIT;
        std::function<uint32_t()> fn = [&] {
            if (THR_Once(&flag, CountRun) != 0) return 1u;
            return g_once_runs.load() == 1 ? 0u : 2u;
        };
        for (int i = 0; i < kThreads; ++i) Start(fn);
        for (int i = 0; i < kThreads; ++i) {
            uint32_t code = 1;
            ASSERT_EQ(THR_JoinThread(0, &code), 0u);
            EXPECT_EQ(code, 0u);
        }
        EXPECT_EQ(g_once_runs.load(), 1);
    }
    // A function that calls THR_Once on its own flag is refused, not looped.
    EXPECT_EQ(THR_Once(&g_nested_flag, Nested), 0u);
    EXPECT_EQ(g_nested_rc, THR_S_FAILURE);
    EXPECT_EQ(THR_Once(nullptr, CountRun), THR_S_FAILURE);
}

} // namespace
