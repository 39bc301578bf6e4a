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
void SpuLock::Enter() {
    pthread_mutex_lock(&spuMutex);
    ++depth_;
}

void SpuLock::Leave() {
    --depth_;
    pthread_mutex_unlock(&spuMutex);
}

thread_local int SpuLock::depth_ = 0;

int SpuLock::LeaveAll() {
    const int depth = depth_;
    for (int i = 0; i < depth; ++i) Leave();
    return depth;
}

void SpuLock::Reenter(int depth) {
    for (int i = 0; i < depth; ++i) Enter();
}

}  // namespace zarn
