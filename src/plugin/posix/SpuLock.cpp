#include "plugin/SpuLock.h"

#include <pthread.h>

namespace zarn {

namespace {
pthread_mutex_t spuMutex;
}

void SpuLock::Initialise() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&spuMutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

void SpuLock::Delete() { pthread_mutex_destroy(&spuMutex); }
void SpuLock::Enter() { pthread_mutex_lock(&spuMutex); }
void SpuLock::Leave() { pthread_mutex_unlock(&spuMutex); }

}  // namespace zarn
