#include "plugin/SpuLock.h"

#include <windows.h>

namespace zarn {

namespace {
CRITICAL_SECTION spuCriticalSection;
}

void SpuLock::Initialise() { InitializeCriticalSection(&spuCriticalSection); }
void SpuLock::Delete() { DeleteCriticalSection(&spuCriticalSection); }
void SpuLock::Enter() {
    EnterCriticalSection(&spuCriticalSection);
    ++depth_;
}

void SpuLock::Leave() {
    --depth_;
    LeaveCriticalSection(&spuCriticalSection);
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
