// Critical sections (recursive, in-process) and interlocked counters.
#include "platform/win32.h"

#include <new>
#include <pthread.h>

namespace {

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::opaque),
              "a critical section holds a pthread mutex");
static_assert(alignof(CRITICAL_SECTION) >= alignof(pthread_mutex_t),
              "a critical section holds a pthread mutex");

pthread_mutex_t* mutexOf(LPCRITICAL_SECTION section) {
    return reinterpret_cast<pthread_mutex_t*>(section->opaque);
}

} // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(new (section->opaque) pthread_mutex_t, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutex_destroy(mutexOf(section));
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutex_lock(mutexOf(section));
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutex_unlock(mutexOf(section));
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    return pthread_mutex_trylock(mutexOf(section)) == 0 ? TRUE : FALSE;
}

LONG InterlockedIncrement(volatile LONG* value) {
    return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST);
}

LONG InterlockedDecrement(volatile LONG* value) {
    return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST);
}
