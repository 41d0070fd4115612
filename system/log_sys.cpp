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

std::recursive_mutex g_mutex;
pthread_key_t g_key;
std::atomic<bool> g_started{false};
std::once_flag g_once;

} // namespace

bool Start(void (*destructor)(void *)) {
    std::call_once(g_once,
                   [destructor] { g_started = pthread_key_create(&g_key, destructor) == 0; });
    return g_started;
}

void Lock() { g_mutex.lock(); }
void Unlock() { g_mutex.unlock(); }

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
