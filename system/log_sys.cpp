// The services the logging module stands on: the log mutex, the
// thread-specific slot of the message under construction, the formatter
// and the message catalog. The slot and the mutex are the platform's own:
// the library's thread keys can be released wholesale by the program, and
// their failures are themselves logged.
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "system/log_internal.h"
#include "vrcore/msg.h"

namespace vrcore::log::sys {
namespace {

// The log mutex: recursive, and held for one write(2) at a time. A thread
// that finds it taken spins for a while before it sleeps, since the
// holder usually lets go within a few microseconds: a sleeping waiter
// costs both threads a system call and a wake-up.
std::mutex g_mutex;
std::atomic<int> g_owner{0}; // thread id of the holder, 0 when free
int g_depth = 0;             // the holder's nesting
constexpr int kSpins = 100;  // a few microseconds: a write or two

void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

pthread_key_t g_key;
std::atomic<bool> g_started{false};
std::once_flag g_once;

} // namespace

bool Start(void (*destructor)(void *)) {
    std::call_once(g_once,
                   [destructor] { g_started = pthread_key_create(&g_key, destructor) == 0; });
    return g_started;
}

void Lock() {
    const int self = ThreadId();
    if (g_owner.load(std::memory_order_relaxed) == self) {
        ++g_depth;
        return;
    }
    for (int i = 0; !g_mutex.try_lock(); ++i) {
        if (i == kSpins) {
            g_mutex.lock();
            break;
        }
        Pause();
    }
    g_owner.store(self, std::memory_order_relaxed);
    g_depth = 1;
}

void Unlock() {
    if (--g_depth > 0) return;
    g_owner.store(0, std::memory_order_relaxed);
    g_mutex.unlock();
}

bool GetState(ThreadState **out) {
    // Before the slot exists no thread has a message; reading key 0 would
    // hand back another module's value.
    *out = g_started.load(std::memory_order_acquire)
               ? static_cast<ThreadState *>(pthread_getspecific(g_key))
               : nullptr;
    return true;
}

bool SetState(ThreadState *st) {
    return g_started.load(std::memory_order_acquire) && pthread_setspecific(g_key, st) == 0;
}

int ThreadId() {
    thread_local int tid = static_cast<int>(syscall(SYS_gettid));
    return tid;
}

int VFormat(char *buf, size_t size, const char *format, va_list ap) {
    return MSG_vsnprintf(buf, size, format, ap);
}

bool UserText(int number, char *buf, size_t size) {
    uint32_t length = 0;
    uint32_t rc = MSG_GetUnformatted(MSG_KIND_USER, static_cast<uint32_t>(number), nullptr,
                                     static_cast<uint32_t>(size), &length, buf);
    return rc == 0 || rc == MSG_S_TRUNCATED;
}

} // namespace vrcore::log::sys
