// Threads and synchronisation on pthreads.
//
// Threads started here have a record in a table of 512 chains, indexed by
// (id & 0x1FF) and guarded by one lock; the record outlives the thread
// until it is joined (or, for a detached thread, until it ends). Key values
// live in a per-thread block reached through one pthread key whose
// destructor runs the key destructors in key order and records the exit.

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <new>
#include <cstdlib>
#include <ctime>

#include "system/guard.h"
#include "system/seam.h"
#include "system/thr_internal.h"
#include "system/trace.h"

namespace vrcore::system::thr {
namespace {

constexpr uint32_t kMutexMagic = 0x54484d58;     // "THMX"
constexpr uint32_t kConditionMagic = 0x5448434e; // "THCN"
constexpr size_t kChains = 512;
constexpr int kNiceStep = 5; // nice distance of below/above normal

// --- allocation ---------------------------------------------------------

// A block goes back to the allocator it came from.
struct BlockHead {
    const vrcore::system::seam::Allocator *from;
    uint64_t pad;
};

template <class T> T *NewBlock() {
    const vrcore::system::seam::Allocator &from = vrcore::system::seam::CurrentAllocator();
    void *p = from.alloc(vrcore::system::seam::Module::Threads, sizeof(BlockHead) + sizeof(T));
    if (!p) return nullptr;
    auto *h = static_cast<BlockHead *>(p);
    h->from = &from;
    return new (h + 1) T();
}

template <class T> void DeleteBlock(T *t) {
    if (!t) return;
    t->~T();
    BlockHead *h = reinterpret_cast<BlockHead *>(t) - 1;
    h->from->release(vrcore::system::seam::Module::Threads, h);
}

// --- process-wide state -------------------------------------------------

struct Record {
    THR_ThreadId id = 0;
    pthread_t handle{};
    pid_t tid = 0; // kernel thread id once the thread runs
    int priority = THR_PRIORITY_NORMAL;
    bool detached = false;
    bool exited = false;
    bool joining = false;
    uint32_t code = 0;
    Record *next = nullptr;
    THR_ThreadFn function = nullptr;
    void *argument = nullptr;
    struct ThreadState *state = nullptr; // handed to the thread at start
};

struct Slot {
    void *value;
    uint32_t word; // the key's table word when the value was set
};

struct ThreadState {
    THR_ThreadId id = 0;
    bool has_record = false;
    uint32_t exit_code = 0;
    Slot slots[THR_MAX_KEYS] = {};
};

pthread_mutex_t g_table_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t g_exit_cv = PTHREAD_COND_INITIALIZER;
Record *g_chains[kChains];

// Key table. A key's word is (generation << 1) | in-use; the generation
// changes each time the key is handed out, so a value set under an earlier
// owner of the same index is never seen by the next one.
pthread_mutex_t g_key_lock = PTHREAD_MUTEX_INITIALIZER;
std::atomic<uint32_t> g_key_word[THR_MAX_KEYS];
std::atomic<THR_KeyDestructor> g_key_dtor[THR_MAX_KEYS];

pthread_mutex_t g_once_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;

pthread_mutex_t g_init_lock = PTHREAD_MUTEX_INITIALIZER;
int g_init_count = 0;
bool g_ever_initialised = false;

pthread_once_t g_start_once = PTHREAD_ONCE_INIT;
bool g_started = false;
pthread_key_t g_state_key;
int g_base_nice = 0;

std::atomic<uint32_t> g_next_id{1};
thread_local THR_ThreadId t_id = 0;

void ThreadEnd(void *p);

void StartTables() {
    if (pthread_key_create(&g_state_key, ThreadEnd) != 0) {
        vrcore::system::trace::Message(5, __FILE__, __LINE__,
                                       "THR: cannot create the thread state key");
        return;
    }
    errno = 0;
    int nice = getpriority(PRIO_PROCESS, 0);
    g_base_nice = (nice == -1 && errno != 0) ? 0 : nice;
    g_started = true;
}

bool Started() {
    pthread_once(&g_start_once, StartTables);
    return g_started;
}

pid_t Tid() { return static_cast<pid_t>(syscall(SYS_gettid)); }

THR_ThreadId NewId() {
    for (;;) {
        uint32_t id = g_next_id.fetch_add(1, std::memory_order_relaxed);
        if (id != 0) return id;
    }
}

THR_ThreadId CurrentId() {
    if (t_id == 0) t_id = NewId();
    return t_id;
}

Record **FindLink(THR_ThreadId id) { // table lock held
    Record **link = &g_chains[id & (kChains - 1)];
    while (*link && (*link)->id != id) link = &(*link)->next;
    return link;
}

ThreadState *CurrentState(bool create) {
    if (!Started()) return nullptr;
    auto *st = static_cast<ThreadState *>(pthread_getspecific(g_state_key));
    if (st || !create) return st;
    st = NewBlock<ThreadState>();
    if (!st) return nullptr;
    st->id = CurrentId();
    if (pthread_setspecific(g_state_key, st) != 0) {
        DeleteBlock(st);
        return nullptr;
    }
    return st;
}

// Applies a priority to a running thread. Raising the priority needs a
// privilege most processes lack; the request is then left at normal.
void ApplyPriority(pid_t tid, int priority) {
    int nice = g_base_nice + (THR_PRIORITY_NORMAL - priority) * kNiceStep;
    if (nice > 19) nice = 19;
    if (nice < -20) nice = -20;
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) != 0 && errno != EACCES &&
        errno != EPERM && errno != ESRCH)
        vrcore::system::trace::Message(5, __FILE__, __LINE__, "THR: setpriority failed, errno %d",
                                       errno);
}

void RunKeyDestructors(ThreadState *st) {
    // A destructor may set values again; give those a few more rounds.
    for (int round = 0; round < PTHREAD_DESTRUCTOR_ITERATIONS; ++round) {
        bool any = false;
        for (int k = 0; k < THR_MAX_KEYS; ++k) {
            Slot &s = st->slots[k];
            void *v = s.value;
            uint32_t word = s.word;
            s.value = nullptr;
            if (!v) continue;
            if ((word & 1u) == 0 || g_key_word[k].load(std::memory_order_acquire) != word) continue;
            THR_KeyDestructor d = g_key_dtor[k].load(std::memory_order_acquire);
            if (d) {
                d(v);
                any = true;
            }
        }
        if (!any) break;
    }
}

void RecordExit(THR_ThreadId id, uint32_t code) {
    Record *gone = nullptr;
    pthread_mutex_lock(&g_table_lock);
    Record **link = FindLink(id);
    Record *r = *link;
    if (r) {
        if (r->detached) {
            *link = r->next;
            gone = r;
        } else {
            r->code = code;
            r->exited = true;
            pthread_cond_broadcast(&g_exit_cv);
        }
    }
    pthread_mutex_unlock(&g_table_lock);
    DeleteBlock(gone);
}

// Destructor of the state key: runs at the end of every thread that has a
// state block, however the thread ends.
void ThreadEnd(void *p) {
    auto *st = static_cast<ThreadState *>(p);
    pthread_setspecific(g_state_key, st); // key functions keep working in destructors
    RunKeyDestructors(st);
    pthread_setspecific(g_state_key, nullptr);
    if (st->has_record) RecordExit(st->id, st->exit_code);
    DeleteBlock(st);
}

void *ThreadMain(void *p) {
    auto *rec = static_cast<Record *>(p);
    pthread_mutex_lock(&g_table_lock);
    ThreadState *st = rec->state;
    THR_ThreadFn fn = rec->function;
    void *arg = rec->argument;
    rec->tid = Tid();
    if (rec->priority != THR_PRIORITY_NORMAL) ApplyPriority(rec->tid, rec->priority);
    pthread_mutex_unlock(&g_table_lock);
    t_id = st->id;
    if (pthread_setspecific(g_state_key, st) != 0) {
        // Without the key the end of the thread is recorded here instead.
        st->exit_code = fn(arg);
        ThreadEnd(st);
        return nullptr;
    }
    st->exit_code = fn(arg);
    return nullptr;
}

// Takes a record out of the table once its thread has ended, and reaps the
// thread. Table lock held on entry, released on return.
uint32_t Reap(Record **link, uint32_t *code) {
    Record *r = *link;
    *link = r->next;
    pthread_t handle = r->handle;
    if (code) *code = r->code;
    pthread_mutex_unlock(&g_table_lock);
    pthread_join(handle, nullptr);
    DeleteBlock(r);
    return 0;
}

uint32_t JoinAny(uint32_t *code) {
    THR_ThreadId self = CurrentId();
    pthread_mutex_lock(&g_table_lock);
    for (;;) {
        size_t candidates = 0;
        for (size_t c = 0; c < kChains; ++c) {
            for (Record **link = &g_chains[c]; *link; link = &(*link)->next) {
                Record *r = *link;
                if (r->detached || r->joining || r->id == self) continue;
                if (r->exited) return Reap(link, code);
                ++candidates;
            }
        }
        if (candidates == 0) { // nothing left that could ever end
            pthread_mutex_unlock(&g_table_lock);
            return THR_S_FAILURE;
        }
        pthread_cond_wait(&g_exit_cv, &g_table_lock);
    }
}

// User mutexes are robust: a mutex whose owner ended while holding it is
// taken over as acquired.
uint32_t LockRaw(pthread_mutex_t *m) {
    int rc = pthread_mutex_lock(m);
    if (rc == EOWNERDEAD) rc = pthread_mutex_consistent(m);
    return rc == 0 ? 0 : THR_S_FAILURE;
}

bool ValidMutex(const THR_Mutex *m) { return m && m->magic == kMutexMagic; }
bool ValidCondition(const THR_Condition *c) { return c && c->magic == kConditionMagic; }

uint32_t Wait(THR_Condition *c, THR_Mutex *m, int32_t ms, bool timed) {
    if (!ValidCondition(c) || !ValidMutex(m)) return THR_S_FAILURE;
    if (timed && ms < 1) return THR_S_TIMEOUT;
    timespec deadline{};
    if (timed) {
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += ms / 1000;
        deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
    }
    pthread_mutex_lock(&c->count);
    // Counted before the caller's mutex is released: a signal sent after
    // that cannot miss this waiter.
    uint32_t my_gen = c->release_gen;
    ++c->waiters;
    if (pthread_mutex_unlock(&m->m) != 0) { // not the owner
        --c->waiters;
        pthread_mutex_unlock(&c->count);
        return THR_S_FAILURE;
    }
    uint32_t result = 0;
    bool expired = false;
    for (;;) {
        // Only wake-ups released after this wait began belong to it.
        if (c->pending > 0 && my_gen != c->release_gen) {
            --c->pending;
            --c->waiters;
            if (c->pending == 0) pthread_cond_broadcast(&c->ack);
            break;
        }
        if (expired) {
            --c->waiters;
            result = THR_S_TIMEOUT;
            break;
        }
        if (timed) {
            if (pthread_cond_timedwait(&c->wake, &c->count, &deadline) == ETIMEDOUT) expired = true;
        } else {
            pthread_cond_wait(&c->wake, &c->count);
        }
    }
    pthread_mutex_unlock(&c->count);
    if (LockRaw(&m->m) != 0) return THR_S_FAILURE;
    return result;
}

uint32_t Release(THR_Condition *c, bool all) {
    if (!ValidCondition(c)) return THR_S_FAILURE;
    pthread_mutex_lock(&c->op);
    pthread_mutex_lock(&c->count);
    if (c->waiters > 0) {
        // Every current waiter began before this release: all may take it.
        ++c->release_gen;
        c->pending = all ? c->waiters : 1;
        if (all)
            pthread_cond_broadcast(&c->wake);
        else
            pthread_cond_signal(&c->wake);
        while (c->pending > 0) pthread_cond_wait(&c->ack, &c->count);
    }
    pthread_mutex_unlock(&c->count);
    pthread_mutex_unlock(&c->op);
    return 0;
}

bool ValidKey(THR_ThreadKey key, uint32_t *word) {
    if (key >= THR_MAX_KEYS) return false;
    *word = g_key_word[key].load(std::memory_order_acquire);
    return (*word & 1u) != 0;
}

} // namespace

size_t RecordCount() {
    size_t n = 0;
    pthread_mutex_lock(&g_table_lock);
    for (Record *head : g_chains)
        for (Record *r = head; r; r = r->next) ++n;
    pthread_mutex_unlock(&g_table_lock);
    return n;
}

bool HasEnded(THR_ThreadId id) {
    pthread_mutex_lock(&g_table_lock);
    Record *r = *FindLink(id);
    bool ended = r && r->exited;
    pthread_mutex_unlock(&g_table_lock);
    return ended;
}

} // namespace vrcore::system::thr

using namespace vrcore::system::thr;

extern "C" {

VR_EXPORT uint32_t THR_InitThreads(void) try {
    if (!Started()) return THR_S_FAILURE;
    pthread_mutex_lock(&g_init_lock);
    ++g_init_count;
    g_ever_initialised = true;
    pthread_mutex_unlock(&g_init_lock);
    return 0;
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_TermThreads(void) try {
    pthread_mutex_lock(&g_init_lock);
    uint32_t rc = 0;
    if (g_init_count == 0) {
        rc = g_ever_initialised ? THR_S_FAILURE : THR_S_NOINIT;
    } else if (--g_init_count == 0) {
        pthread_mutex_lock(&g_key_lock);
        for (int k = 0; k < THR_MAX_KEYS; ++k) {
            uint32_t w = g_key_word[k].load();
            g_key_word[k].store(w & ~1u, std::memory_order_release);
            g_key_dtor[k].store(nullptr);
        }
        pthread_mutex_unlock(&g_key_lock);
    }
    pthread_mutex_unlock(&g_init_lock);
    return rc;
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_InitMutex(THR_Mutex *mutex) try {
    if (!mutex) return THR_S_FAILURE;
    pthread_mutexattr_t attr;
    if (pthread_mutexattr_init(&attr) != 0) return THR_S_FAILURE;
    int rc = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    if (rc == 0) rc = pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    if (rc == 0) rc = pthread_mutex_init(&mutex->m, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) return THR_S_FAILURE;
    mutex->magic = kMutexMagic;
    return 0;
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_TermMutex(THR_Mutex *mutex) try {
    if (!ValidMutex(mutex)) return THR_S_FAILURE;
    int rc = pthread_mutex_trylock(&mutex->m);
    if (rc == EOWNERDEAD) rc = pthread_mutex_consistent(&mutex->m);
    if (rc != 0) return THR_S_FAILURE; // held by another thread
    // The recursion count tells whether the caller itself still holds it.
    bool held_by_caller = mutex->m.__data.__count > 1;
    pthread_mutex_unlock(&mutex->m);
    if (held_by_caller) return THR_S_FAILURE;
    if (pthread_mutex_destroy(&mutex->m) != 0) return THR_S_FAILURE;
    mutex->magic = 0;
    return 0;
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_LockMutex(THR_Mutex *mutex) try {
    if (!ValidMutex(mutex)) return THR_S_FAILURE;
    return LockRaw(&mutex->m);
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_TryLockMutex(THR_Mutex *mutex) try {
    if (!ValidMutex(mutex)) return THR_S_FAILURE;
    int rc = pthread_mutex_trylock(&mutex->m);
    if (rc == EOWNERDEAD) rc = pthread_mutex_consistent(&mutex->m);
    if (rc == EBUSY) return THR_S_BUSY;
    return rc == 0 ? 0 : THR_S_FAILURE;
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_UnlockMutex(THR_Mutex *mutex) try {
    if (!ValidMutex(mutex)) return THR_S_FAILURE;
    return pthread_mutex_unlock(&mutex->m) == 0 ? 0 : THR_S_FAILURE;
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_InitCondition(THR_Condition *cond) try {
    if (!cond) return THR_S_FAILURE;
    cond->waiters = cond->pending = cond->release_gen = 0;
    pthread_condattr_t attr;
    if (pthread_condattr_init(&attr) != 0) return THR_S_FAILURE;
    int stage = 0;
    int rc = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    if (rc == 0 && (rc = pthread_mutex_init(&cond->op, nullptr)) == 0) stage = 1;
    if (rc == 0 && (rc = pthread_mutex_init(&cond->count, nullptr)) == 0) stage = 2;
    if (rc == 0 && (rc = pthread_cond_init(&cond->wake, &attr)) == 0) stage = 3;
    if (rc == 0 && (rc = pthread_cond_init(&cond->ack, nullptr)) == 0) stage = 4;
    pthread_condattr_destroy(&attr);
    if (rc != 0) {
        if (stage >= 3) pthread_cond_destroy(&cond->wake);
        if (stage >= 2) pthread_mutex_destroy(&cond->count);
        if (stage >= 1) pthread_mutex_destroy(&cond->op);
        return THR_S_FAILURE;
    }
    cond->magic = kConditionMagic;
    return 0;
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_TermCondition(THR_Condition *cond) try {
    if (!ValidCondition(cond)) return THR_S_FAILURE;
    pthread_mutex_lock(&cond->count);
    bool busy = cond->waiters > 0 || cond->pending > 0;
    pthread_mutex_unlock(&cond->count);
    if (busy) return THR_S_FAILURE;
    cond->magic = 0;
    pthread_cond_destroy(&cond->ack);
    pthread_cond_destroy(&cond->wake);
    pthread_mutex_destroy(&cond->count);
    pthread_mutex_destroy(&cond->op);
    return 0;
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_WaitForCondition(THR_Condition *cond, THR_Mutex *mutex) try {
    return Wait(cond, mutex, 0, false);
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_WaitForConditionTimed(THR_Condition *cond, THR_Mutex *mutex,
                                             int32_t milliseconds) try {
    return Wait(cond, mutex, milliseconds, true);
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_SignalCondition(THR_Condition *cond) try { return Release(cond, false); }
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_BroadcastCondition(THR_Condition *cond) try { return Release(cond, true); }
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_InitThreadKey(THR_ThreadKey *key, THR_KeyDestructor destructor) try {
    if (!key || !Started()) return THR_S_FAILURE;
    uint32_t rc = THR_S_FAILURE;
    pthread_mutex_lock(&g_key_lock);
    for (uint32_t k = 0; k < THR_MAX_KEYS; ++k) {
        uint32_t w = g_key_word[k].load();
        if (w & 1u) continue;
        g_key_dtor[k].store(destructor);
        g_key_word[k].store(((w >> 1) + 1) << 1 | 1u, std::memory_order_release);
        *key = k;
        rc = 0;
        break;
    }
    pthread_mutex_unlock(&g_key_lock);
    if (rc != 0)
        vrcore::system::trace::Message(5, __FILE__, __LINE__, "THR: all %d keys in use",
                                       THR_MAX_KEYS);
    return rc;
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_SetThreadKeyValue(THR_ThreadKey key, void *value) try {
    uint32_t word;
    if (!ValidKey(key, &word)) return THR_S_FAILURE;
    ThreadState *st = CurrentState(value != nullptr);
    if (!st) return value ? THR_S_FAILURE : 0;
    st->slots[key] = {value, word};
    return 0;
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_GetThreadKeyValue(THR_ThreadKey key, void **value) try {
    uint32_t word;
    if (!value || !ValidKey(key, &word)) return THR_S_FAILURE;
    ThreadState *st = CurrentState(false);
    *value = (st && st->slots[key].word == word) ? st->slots[key].value : nullptr;
    return 0;
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_StartThread(THR_ThreadFn function, void *argument, size_t stack_size,
                                   int priority, int detached, THR_ThreadId *id) try {
    if (!function) return THR_S_FAILURE;
    if (priority < THR_PRIORITY_BELOW_NORMAL || priority > THR_PRIORITY_ABOVE_NORMAL)
        return THR_S_PRIORITY;
    if (!Started()) return THR_S_FAILURE;
    Record *rec = NewBlock<Record>();
    ThreadState *st = NewBlock<ThreadState>();
    pthread_attr_t attr;
    if (!rec || !st || pthread_attr_init(&attr) != 0) {
        DeleteBlock(rec);
        DeleteBlock(st);
        return THR_S_FAILURE;
    }
    if (stack_size != 0) {
        size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        if (stack_size < static_cast<size_t>(PTHREAD_STACK_MIN)) stack_size = PTHREAD_STACK_MIN;
        stack_size = (stack_size + page - 1) / page * page;
        pthread_attr_setstacksize(&attr, stack_size);
    }
    pthread_attr_setdetachstate(&attr,
                                detached ? PTHREAD_CREATE_DETACHED : PTHREAD_CREATE_JOINABLE);
    rec->function = function;
    rec->argument = argument;
    rec->priority = priority;
    rec->detached = detached != 0;
    rec->state = st;
    st->has_record = true;

    // The record is in the table before the thread runs; the new thread
    // waits on the table lock until its handle is stored.
    pthread_mutex_lock(&g_table_lock);
    THR_ThreadId tid;
    do {
        tid = NewId();
    } while (*FindLink(tid) != nullptr);
    rec->id = st->id = tid;
    Record **link = FindLink(tid);
    *link = rec;
    int rc = pthread_create(&rec->handle, &attr, ThreadMain, rec);
    if (rc != 0) *link = nullptr;
    pthread_mutex_unlock(&g_table_lock);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        vrcore::system::trace::Message(5, __FILE__, __LINE__,
                                       "THR: pthread_create failed, error %d", rc);
        DeleteBlock(rec);
        DeleteBlock(st);
        return THR_S_FAILURE;
    }
    if (id) *id = tid;
    return 0;
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_ExitThread(uint32_t code) try {
    ThreadState *st = CurrentState(true);
    if (!st) return THR_S_FAILURE;
    st->exit_code = code;
    pthread_exit(nullptr);
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_JoinThread(THR_ThreadId id, uint32_t *code) try {
    if (id == 0) return JoinAny(code);
    if (id == CurrentId()) return THR_S_FAILURE;
    pthread_mutex_lock(&g_table_lock);
    Record *r = *FindLink(id);
    if (!r || r->detached || r->joining) {
        pthread_mutex_unlock(&g_table_lock);
        return THR_S_FAILURE;
    }
    r->joining = true;
    while (!r->exited) pthread_cond_wait(&g_exit_cv, &g_table_lock);
    return Reap(FindLink(id), code);
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_SetPriority(THR_ThreadId id, int priority) try {
    if (priority < THR_PRIORITY_BELOW_NORMAL || priority > THR_PRIORITY_ABOVE_NORMAL)
        return THR_S_PRIORITY;
    if (!Started()) return THR_S_FAILURE;
    if (id == 0 || id == CurrentId()) {
        ApplyPriority(Tid(), priority);
        return 0;
    }
    uint32_t rc = 0;
    pthread_mutex_lock(&g_table_lock);
    Record *r = *FindLink(id);
    if (!r) {
        rc = THR_S_FAILURE;
    } else {
        r->priority = priority; // applied by the thread itself if not yet running
        if (r->tid != 0 && !r->exited) ApplyPriority(r->tid, priority);
    }
    pthread_mutex_unlock(&g_table_lock);
    return rc;
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_Once(THR_OnceFlag *flag, void (*function)(void)) try {
    if (!flag || !function) return THR_S_FAILURE;
    std::atomic_ref<int32_t> f(*flag);
    if (f.load(std::memory_order_acquire) == 1) return 0;
    pthread_mutex_lock(&g_once_lock);
    uint32_t rc = 0;
    int32_t v = f.load(std::memory_order_relaxed);
    if (v == 2) {
        rc = THR_S_FAILURE; // called again from inside its own function
    } else if (v != 1) {
        f.store(2, std::memory_order_relaxed);
        function();
        f.store(1, std::memory_order_release);
    }
    pthread_mutex_unlock(&g_once_lock);
    return rc;
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_Yield(void) try {
    sched_yield();
    return 0;
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_GetThreadHandle(THR_ThreadId *id) try {
    if (!id) return THR_S_FAILURE;
    *id = CurrentId();
    return 0;
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_Equal(THR_ThreadId a, THR_ThreadId b, int *result) try {
    if (!result) return THR_S_FAILURE;
    *result = a == b;
    return 0;
}
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

VR_EXPORT uint32_t THR_SetSignalMask(int, const void *, void *) try { return 0; }
VR_CATCH_CODE(THR_S_FAILURE, THR_S_FAILURE)

} // extern "C"
