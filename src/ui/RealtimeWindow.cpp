#include "ui/RealtimeWindow.h"

#include "plugin/Platform.h"
#include "plugin/Plugin.h"

namespace zarn {

uint32_t RealtimeWindowThread(void*) {
    while (plugin::windowStopRequested.load(std::memory_order_relaxed) == 0) {
        platform::SleepMilliseconds(50);
    }
    return 0;
}

}  // namespace zarn
