// Threads and system calls against the plain platform primitives: mutex
// round trips, a signalled hand-over between two threads, key look-ups and
// unique time stamps.

#include <sys/time.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include <benchmark/benchmark.h>

#include "vrcore/sysu.h"
#include "vrcore/thr.h"

namespace {

void BM_ThrLockUnlock(benchmark::State &state) {
    THR_Mutex m;
    THR_InitMutex(&m);
    for (auto _ : state) {
        THR_LockMutex(&m);
        THR_UnlockMutex(&m);
    }
    THR_TermMutex(&m);
}
BENCHMARK(BM_ThrLockUnlock);

void BM_StdMutexLockUnlock(benchmark::State &state) {
    std::mutex m;
    for (auto _ : state) {
        m.lock();
        m.unlock();
    }
}
BENCHMARK(BM_StdMutexLockUnlock);

// One turn passes from one thread to the other and back.
void BM_ThrPingPong(benchmark::State &state) {
    THR_Mutex m;
    THR_Condition c;
    THR_InitMutex(&m);
    THR_InitCondition(&c);
    long turn = 0;
    bool stop = false;
    std::thread other([&] {
        THR_LockMutex(&m);
        while (!stop) {
            if (turn % 2 == 1) {
                ++turn;
                THR_SignalCondition(&c);
            } else {
                THR_WaitForCondition(&c, &m);
            }
        }
        THR_UnlockMutex(&m);
    });
    THR_LockMutex(&m);
    for (auto _ : state) {
        ++turn;
        THR_SignalCondition(&c);
        while (turn % 2 == 1) THR_WaitForCondition(&c, &m);
    }
    stop = true;
    THR_SignalCondition(&c);
    THR_UnlockMutex(&m);
    other.join();
    THR_TermCondition(&c);
    THR_TermMutex(&m);
}
BENCHMARK(BM_ThrPingPong)->UseRealTime();

void BM_StdPingPong(benchmark::State &state) {
    std::mutex m;
    std::condition_variable c;
    long turn = 0;
    bool stop = false;
    std::thread other([&] {
        std::unique_lock<std::mutex> l(m);
        while (!stop) {
            if (turn % 2 == 1) {
                ++turn;
                c.notify_one();
            } else {
                c.wait(l);
            }
        }
    });
    {
        std::unique_lock<std::mutex> l(m);
        for (auto _ : state) {
            ++turn;
            c.notify_one();
            while (turn % 2 == 1) c.wait(l);
        }
        stop = true;
        c.notify_one();
    }
    other.join();
}
BENCHMARK(BM_StdPingPong)->UseRealTime();

void BM_ThrGetKeyValue(benchmark::State &state) {
    THR_ThreadKey k;
    THR_InitThreadKey(&k, nullptr);
    int x = 0;
    THR_SetThreadKeyValue(k, &x);
    void *v;
    for (auto _ : state) {
        THR_GetThreadKeyValue(k, &v);
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_ThrGetKeyValue);

void BM_PthreadGetSpecific(benchmark::State &state) {
    pthread_key_t k;
    pthread_key_create(&k, nullptr);
    int x = 0;
    pthread_setspecific(k, &x);
    for (auto _ : state) benchmark::DoNotOptimize(pthread_getspecific(k));
    pthread_key_delete(k);
}
BENCHMARK(BM_PthreadGetSpecific);

void BM_SysuGettimeofday(benchmark::State &state) {
    timeval tv;
    for (auto _ : state) {
        SYSU_Gettimeofday(&tv, nullptr);
        benchmark::DoNotOptimize(tv);
    }
}
BENCHMARK(BM_SysuGettimeofday)->Threads(1)->Threads(2);

void BM_Gettimeofday(benchmark::State &state) {
    timeval tv;
    for (auto _ : state) {
        gettimeofday(&tv, nullptr);
        benchmark::DoNotOptimize(tv);
    }
}
BENCHMARK(BM_Gettimeofday)->Threads(1)->Threads(2);

} // namespace

BENCHMARK_MAIN();
