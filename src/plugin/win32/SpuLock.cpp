#include "plugin/SpuLock.h"

#include <windows.h>

namespace zarn {

namespace {
CRITICAL_SECTION spuCriticalSection;
}

void SpuLock::Initialise() { InitializeCriticalSection(&spuCriticalSection); }
void SpuLock::Delete() { DeleteCriticalSection(&spuCriticalSection); }
void SpuLock::Enter() { EnterCriticalSection(&spuCriticalSection); }
void SpuLock::Leave() { LeaveCriticalSection(&spuCriticalSection); }

}  // namespace zarn
