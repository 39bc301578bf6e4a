#include "platform/SpuLock.h"

#include "platform/Platform.h"

namespace zarn {

thread_local int SpuLock::depth_ = 0;

void SpuLock::Initialise() { platform::CreateRecursiveLock(); }
void SpuLock::Delete() { platform::DestroyRecursiveLock(); }

void SpuLock::Enter() {
    platform::LockRecursive();
    ++depth_;
}

void SpuLock::Leave() {
    --depth_;
    platform::UnlockRecursive();
}

int SpuLock::LeaveAll() {
    const int depth = depth_;
    for (int i = 0; i < depth; ++i) Leave();
    return depth;
}

void SpuLock::Reenter(int depth) {
    for (int i = 0; i < depth; ++i) Enter();
}

}  // namespace zarn
