// The SPU lock: a recursive pthread mutex.
#include <pthread.h>

#include "platform/Platform.h"

namespace zarn::platform {

namespace {
pthread_mutex_t spuMutex;
}

void CreateRecursiveLock() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&spuMutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

void DestroyRecursiveLock() { pthread_mutex_destroy(&spuMutex); }
void LockRecursive() { pthread_mutex_lock(&spuMutex); }
void UnlockRecursive() { pthread_mutex_unlock(&spuMutex); }

}  // namespace zarn::platform
