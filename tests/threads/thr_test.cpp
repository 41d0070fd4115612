// Threads, mutexes, condition variables, keys and once-only initialisation.

#include <atomic>
#include <functional>
#include <set>
#include <thread>

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

// fn must outlive the thread.
THR_ThreadId Start(std::function<uint32_t()> &fn, int detached = 0) {
    THR_ThreadId id = 0;
    EXPECT_EQ(THR_StartThread(RunFunction, &fn, 0, THR_PRIORITY_NORMAL, detached, &id), 0u);
    return id;
}

// The exit code of a joined thread (of any, for 0), or ~0 when the join failed.
uint32_t Join(THR_ThreadId id) {
    uint32_t code = ~0u;
    return THR_JoinThread(id, &code) == 0 ? code : ~0u;
}
uint32_t RunJoined(std::function<uint32_t()> fn) { return Join(Start(fn)); }

void SpinUntil(const std::function<bool()> &done) {
    while (!done()) THR_Yield();
}

struct Sync : ::testing::Test {
    THR_Mutex m;
    THR_Condition c;
    void SetUp() override { ASSERT_EQ(THR_InitMutex(&m) + THR_InitCondition(&c), 0u); }
    void TearDown() override { EXPECT_EQ(THR_TermCondition(&c) + THR_TermMutex(&m), 0u); }
    std::pair<uint32_t, uint32_t> WaitersPending() {
        pthread_mutex_lock(&c.count);
        std::pair r{c.waiters, c.pending};
        return pthread_mutex_unlock(&c.count), r;
    }
};

TEST_F(Sync, MutexRecursiveForOwnerBusyForOthersAbandonedAcquired) {
    ASSERT_EQ(THR_LockMutex(&m), 0u);
    EXPECT_EQ(THR_TryLockMutex(&m), 0u);
    EXPECT_EQ(RunJoined([&] { return THR_TryLockMutex(&m); }), THR_S_BUSY);
    EXPECT_EQ(kMisuseChecks ? RunJoined([&] { return THR_UnlockMutex(&m); }) : THR_S_FAILURE,
              THR_S_FAILURE);
    EXPECT_EQ(THR_UnlockMutex(&m), 0u);
    EXPECT_EQ(THR_TermMutex(&m), THR_S_FAILURE) << "still held once";
    EXPECT_EQ(THR_UnlockMutex(&m), 0u);
    EXPECT_EQ(kMisuseChecks ? THR_UnlockMutex(&m) : THR_S_FAILURE, THR_S_FAILURE)
        << "not held any more";
    ASSERT_EQ(RunJoined([&] { return THR_LockMutex(&m); }), 0u);
    EXPECT_EQ(THR_LockMutex(&m) + THR_UnlockMutex(&m) + THR_TryLockMutex(&m) + THR_UnlockMutex(&m),
              0u);
    THR_Mutex m2{}; // never initialised, then terminated: refused
    EXPECT_EQ(THR_LockMutex(&m2), THR_S_FAILURE);
    ASSERT_EQ(THR_InitMutex(&m2) + THR_TermMutex(&m2), 0u);
    EXPECT_EQ(THR_LockMutex(&m2), THR_S_FAILURE);
}

// An expired wait holds the mutex again; signal wakes one, broadcast all present.
TEST_F(Sync, ConditionTimedWaitsAndWakeUpsTakenBeforeReturn) {
    ASSERT_EQ(THR_LockMutex(&m), 0u);
    for (int32_t limit : {-5, 0, 20}) {
        EXPECT_EQ(THR_WaitForConditionTimed(&c, &m, limit), THR_S_TIMEOUT);
        EXPECT_EQ(RunJoined([&] { return THR_TryLockMutex(&m); }), THR_S_BUSY) << limit;
        EXPECT_EQ(WaitersPending(), std::make_pair(0u, 0u));
    }
    EXPECT_EQ(THR_UnlockMutex(&m), 0u);
    EXPECT_EQ(THR_SignalCondition(&c), 0u) << "no waiter: returns at once";
    EXPECT_EQ(kMisuseChecks ? THR_WaitForCondition(&c, &m) : THR_S_FAILURE, THR_S_FAILURE)
        << "mutex not held";
    EXPECT_EQ(WaitersPending(), std::make_pair(0u, 0u));
    constexpr uint32_t kWaiters = 6;
    for (int round = 0; round < 20; ++round) {
        std::atomic<uint32_t> ready{0}; // raised under the mutex the wait then gives up
        std::function<uint32_t()> fn = [&] {
            THR_LockMutex(&m);
            ++ready;
            uint32_t rc = THR_WaitForConditionTimed(&c, &m, 30000);
            return THR_UnlockMutex(&m), rc;
        };
        std::vector<THR_ThreadId> ids;
        for (uint32_t i = 0; i < kWaiters; ++i) ids.push_back(Start(fn));
        SpinUntil([&] { return ready.load() == kWaiters; });
        THR_LockMutex(&m);
        ASSERT_EQ(THR_SignalCondition(&c), 0u);
        EXPECT_EQ(WaitersPending(), std::make_pair(kWaiters - 1, 0u));
        ASSERT_EQ(THR_BroadcastCondition(&c), 0u);
        EXPECT_EQ(WaitersPending(), std::make_pair(0u, 0u));
        EXPECT_EQ(THR_WaitForConditionTimed(&c, &m, 5), THR_S_TIMEOUT) << "nothing left";
        THR_UnlockMutex(&m);
        for (THR_ThreadId id : ids) EXPECT_EQ(Join(id), 0u) << "a waiter missed its wake-up";
    }
}

// Two threads hand a turn back and forth: with a long limit a lost wake-up
// shows as a timeout; with 1 ms timeouts race with signals all the time.
TEST_F(Sync, ConditionPingPongLosesNoWakeUp) {
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
            return THR_UnlockMutex(&m), rc;
        };
        std::function<uint32_t()> a = [&] { return player(0); }, b = [&] { return player(1); };
        THR_ThreadId ia = Start(a), ib = Start(b);
        EXPECT_EQ(Join(ia) | Join(ib), 0u) << "limit " << limit;
        EXPECT_EQ(turn, kTurns);
        EXPECT_EQ(WaitersPending(), std::make_pair(0u, 0u));
    }
}

// A detached thread is not joinable and leaves no record behind.
TEST(Join, ByIdAndAnyIncludingEndedAndDetachedThreads) {
    size_t base = vrcore::system::thr::RecordCount();
    std::function<uint32_t()> seven = [] { return 7u; };
    for (THR_ThreadId any : {0, 1}) {
        THR_ThreadId id = Start(seven);
        SpinUntil([&] { return vrcore::system::thr::HasEnded(id); });
        EXPECT_EQ(Join(any ? 0 : id), 7u);
        EXPECT_EQ(THR_JoinThread(id, nullptr), THR_S_FAILURE) << "already joined";
    }
    EXPECT_EQ(vrcore::system::thr::RecordCount(), base);
    std::atomic<bool> go{false};
    std::function<uint32_t()> fn = [&] { return SpinUntil([&] { return go.load(); }), 3u; };
    THR_ThreadId id = Start(fn, 1), self = 0;
    EXPECT_EQ(THR_JoinThread(id, nullptr), THR_S_FAILURE);
    go = true;
    SpinUntil([&] { return vrcore::system::thr::RecordCount() == base; });
    ASSERT_EQ(THR_GetThreadHandle(&self), 0u);
    for (THR_ThreadId bad : {id, self, 0xFFFFFFF0u, 0u})
        EXPECT_EQ(THR_JoinThread(bad, nullptr), THR_S_FAILURE) << bad;
}

TEST(Join, ConcurrentJoinAnyCollectsEachThreadOnce) {
    constexpr uint32_t kWorkers = 120, kJoiners = 4;
    for (int round = 0; round < 5; ++round) {
        std::vector<std::atomic<int>> taken(kWorkers + 1); // collections of each exit code
        std::vector<std::function<uint32_t()>> workers;
        for (uint32_t i = 0; i < kWorkers; ++i) workers.emplace_back([i] { return i + 1; });
        std::atomic<uint32_t> remaining{kWorkers};
        // The joiners are threads of another origin, so only workers are joinable.
        std::vector<std::thread> joiners;
        for (auto &w : workers) Start(w);
        for (uint32_t j = 0; j < kJoiners; ++j)
            joiners.emplace_back([&] {
                while (remaining.load() > 0)
                    if (uint32_t code; THR_JoinThread(0, &code) != 0)
                        THR_Yield();
                    else
                        ++taken[code], remaining.fetch_sub(1);
            });
        for (auto &j : joiners) j.join();
        EXPECT_EQ(size_t(std::count(taken.begin() + 1, taken.end(), 1)), kWorkers);
    }
}

TEST(Join, ExitThreadSetsCodeAndPriorityIsChecked) {
    std::function<uint32_t()> fn = [] { return THR_ExitThread(42), 1u; };
    EXPECT_EQ(RunJoined(fn), 42u);
    THR_ThreadId id;
    EXPECT_EQ(THR_StartThread(RunFunction, &fn, 0, 3, 0, &id), THR_S_PRIORITY);
    EXPECT_EQ(THR_SetPriority(0, -1), THR_S_PRIORITY);
    EXPECT_EQ(THR_SetPriority(0xFFFFFFF0u, 1), THR_S_FAILURE);
}

TEST(Join, StartThreadSurvivesAllocationFailure) {
    size_t base = vrcore::system::thr::RecordCount();
    vrtest::FailModule fail(vrcore::system::seam::Module::Threads);
    std::function<uint32_t()> fn = [] { return 9u; };
    long points = vrtest::SweepFailures(
        [&] {
            THR_ThreadId id;
            return THR_StartThread(RunFunction, &fn, 0, 1, 0, &id) == 0 && Join(id) == 9u;
        },
        [&] { EXPECT_EQ(vrcore::system::thr::RecordCount(), base); });
    EXPECT_GE(points, 2);
}

std::vector<int> g_destroyed;
THR_ThreadKey g_reset_key;
void RecordDestroy(void *v) {
    g_destroyed.push_back(static_cast<int>(reinterpret_cast<intptr_t>(v)));
}
void ResetOnce(void *v) {
    RecordDestroy(v);
    if (reinterpret_cast<intptr_t>(v) < 1000)
        THR_SetThreadKeyValue(g_reset_key, reinterpret_cast<void *>(1000));
}

// Destructors run in key order at thread end; the last THR_TermThreads frees every key.
TEST(Keys, SixtyFourKeysDestructorsInOrderAndRelease) {
    EXPECT_EQ(g_term_before_init, THR_S_NOINIT);
    ASSERT_EQ(THR_InitThreads() + THR_InitThreads() + THR_TermThreads(), 0u);
    ASSERT_EQ(THR_InitThreadKey(&g_reset_key, ResetOnce), 0u);
    std::vector<THR_ThreadKey> keys{g_reset_key};
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
                THR_SetThreadKeyValue(*it,
                                      reinterpret_cast<void *>(static_cast<intptr_t>(*it + 1)));
        void *v = nullptr;
        THR_GetThreadKeyValue(keys.back(), &v);
        return v == reinterpret_cast<void *>(static_cast<intptr_t>(keys.back() + 1)) ? 0u : 1u;
    };
    EXPECT_EQ(RunJoined(fn), 0u);
    std::set<int> expected;
    for (THR_ThreadKey key : keys)
        expected.insert(key == keys[1] ? 1000 : static_cast<int>(key + 1));
    EXPECT_EQ(g_destroyed, std::vector<int>(expected.begin(), expected.end())); // 1000 is last

    void *own = nullptr;
    EXPECT_TRUE(!THR_GetThreadKeyValue(keys[1], &own) && own == &mine);
    ASSERT_EQ(THR_SetThreadKeyValue(keys[0], &mine) + THR_TermThreads(), 0u);
    void *v = &v;
    EXPECT_EQ(THR_GetThreadKeyValue(keys[0], &v), THR_S_FAILURE) << "key freed";
    ASSERT_EQ(THR_InitThreads() + THR_InitThreadKey(&k, nullptr) + THR_GetThreadKeyValue(k, &v),
              0u);
    EXPECT_TRUE(k == keys[0] && v == nullptr);
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
            return THR_Once(&flag, CountRun) == 0 && g_once_runs.load() == 1;
        };
        for (int i = 0; i < kThreads; ++i) Start(fn);
        for (int i = 0; i < kThreads; ++i) EXPECT_EQ(Join(0), 1u);
        EXPECT_EQ(g_once_runs.load(), 1);
    }
    EXPECT_EQ(THR_Once(&g_nested_flag, Nested), 0u); // the nested call is refused
    EXPECT_EQ(g_nested_rc, THR_S_FAILURE);
    EXPECT_EQ(THR_Once(nullptr, CountRun), THR_S_FAILURE);
}

} // namespace
