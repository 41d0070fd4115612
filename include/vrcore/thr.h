/* vrcore threads and synchronisation: the library's one threading
 * interface. Threads joined singly or as "any one that has ended",
 * recursive mutexes, condition variables with timed waits and
 * acknowledged wake-ups, 64 thread-specific keys with destructors and
 * once-only initialisation.
 *
 * Every function returns 0 on success or a THR_S_ code directly. */
#ifndef VRCORE_THR_H
#define VRCORE_THR_H

#include <pthread.h>

#include "vrdefs.h"

VR_BEGIN_DECLS

/* Status codes. */
#define THR_S_FAILURE 0xC00C0001u  /* resource creation failed or invalid use */
#define THR_S_PRIORITY 0xC00C0002u /* priority not 0, 1 or 2 */
#define THR_S_TIMEOUT 0xC00C0003u  /* timed wait expired, or limit below 1 ms */
#define THR_S_BUSY 0xC00C0004u     /* mutex held by another thread */
#define THR_S_NOINIT 0xC00C0005u   /* THR_TermThreads without THR_InitThreads */

/* Thread priorities. */
#define THR_PRIORITY_BELOW_NORMAL 0
#define THR_PRIORITY_NORMAL 1
#define THR_PRIORITY_ABOVE_NORMAL 2

/* Number of thread-specific keys. */
#define THR_MAX_KEYS 64

/* A thread id: never 0 for a thread; 0 means "any thread" to
 * THR_JoinThread and "the calling thread" to THR_SetPriority. */
typedef uint32_t THR_ThreadId;

/* A thread's body; its result becomes the exit code. */
typedef uint32_t (*THR_ThreadFn)(void *argument);

/* A mutex, recursive in the owning thread. Initialise with THR_InitMutex
 * before use and do not copy it. */
typedef struct THR_Mutex {
    uint32_t magic;
    pthread_mutex_t m;
} THR_Mutex;

/* A condition variable. A waiter that has been woken has taken its wake-up
 * before THR_SignalCondition or THR_BroadcastCondition returns.
 * Initialise with THR_InitCondition and do not copy it. */
typedef struct THR_Condition {
    uint32_t magic;
    uint32_t waiters;      /* waiting and not yet woken */
    uint32_t pending;      /* wake-ups released, not yet taken */
    uint32_t release_gen;  /* bumped by every signal or broadcast */
    pthread_mutex_t op;    /* serialises signal and broadcast */
    pthread_mutex_t count; /* guards the counters */
    pthread_cond_t wake;   /* waiters sleep here */
    pthread_cond_t ack;    /* the signaller sleeps here */
} THR_Condition;

/* A thread-specific key: an index 0..63. */
typedef uint32_t THR_ThreadKey;
typedef void (*THR_KeyDestructor)(void *value);

/* A once flag: initialise to THR_ONCE_INIT (0). */
typedef int32_t THR_OnceFlag;
#define THR_ONCE_INIT 0

/* Library-wide initialisation, counted. */
VR_EXPORT uint32_t THR_InitThreads(void);
VR_EXPORT uint32_t THR_TermThreads(void);

VR_EXPORT uint32_t THR_InitMutex(THR_Mutex *mutex);
VR_EXPORT uint32_t THR_TermMutex(THR_Mutex *mutex);
VR_EXPORT uint32_t THR_LockMutex(THR_Mutex *mutex);
VR_EXPORT uint32_t THR_TryLockMutex(THR_Mutex *mutex);
VR_EXPORT uint32_t THR_UnlockMutex(THR_Mutex *mutex);

VR_EXPORT uint32_t THR_InitCondition(THR_Condition *cond);
VR_EXPORT uint32_t THR_TermCondition(THR_Condition *cond);
/* The mutex must be held once by the caller; it is released while waiting
 * and held again on return, whatever the result. */
VR_EXPORT uint32_t THR_WaitForCondition(THR_Condition *cond, THR_Mutex *mutex);
VR_EXPORT uint32_t THR_WaitForConditionTimed(THR_Condition *cond, THR_Mutex *mutex,
                                             int32_t milliseconds);
VR_EXPORT uint32_t THR_SignalCondition(THR_Condition *cond);
VR_EXPORT uint32_t THR_BroadcastCondition(THR_Condition *cond);

VR_EXPORT uint32_t THR_InitThreadKey(THR_ThreadKey *key, THR_KeyDestructor destructor);
VR_EXPORT uint32_t THR_SetThreadKeyValue(THR_ThreadKey key, void *value);
VR_EXPORT uint32_t THR_GetThreadKeyValue(THR_ThreadKey key, void **value);

/* stack_size 0: the default. detached != 0: the thread cannot be joined and
 * leaves nothing behind when it ends. id may be NULL. */
VR_EXPORT uint32_t THR_StartThread(THR_ThreadFn function, void *argument, size_t stack_size,
                                   int priority, int detached, THR_ThreadId *id);
/* Ends the calling thread with that exit code; returns only on failure. */
VR_EXPORT uint32_t THR_ExitThread(uint32_t code);
/* id 0: waits for any joinable thread that has ended. code may be NULL. */
VR_EXPORT uint32_t THR_JoinThread(THR_ThreadId id, uint32_t *code);
VR_EXPORT uint32_t THR_SetPriority(THR_ThreadId id, int priority);

VR_EXPORT uint32_t THR_Once(THR_OnceFlag *flag, void (*function)(void));
VR_EXPORT uint32_t THR_Yield(void);
VR_EXPORT uint32_t THR_GetThreadHandle(THR_ThreadId *id);
VR_EXPORT uint32_t THR_Equal(THR_ThreadId a, THR_ThreadId b, int *result);
/* Accepted for compatibility; signal masks are left alone. */
VR_EXPORT uint32_t THR_SetSignalMask(int how, const void *set, void *old_set);

VR_END_DECLS

#endif /* VRCORE_THR_H */
