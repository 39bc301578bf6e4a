// The SPU lock: a critical section, recursive by nature.
#include <windows.h>

#include "platform/Platform.h"

namespace zarn::platform {

namespace {
CRITICAL_SECTION spuCriticalSection;
}

void CreateRecursiveLock() { InitializeCriticalSection(&spuCriticalSection); }
void DestroyRecursiveLock() { DeleteCriticalSection(&spuCriticalSection); }
void LockRecursive() { EnterCriticalSection(&spuCriticalSection); }
void UnlockRecursive() { LeaveCriticalSection(&spuCriticalSection); }

}  // namespace zarn::platform
