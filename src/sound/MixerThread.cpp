#include "sound/MixerThread.h"

#include "plugin/Platform.h"
#include "plugin/Plugin.h"

namespace zarn {

uint32_t MixerThread(void*) {
    // The stop flag is tested before the first pass and after every pass.
    while (plugin::soundStopRequested.load(std::memory_order_relaxed) == 0) {
        platform::SleepMilliseconds(1);
    }
    return 0;
}

}  // namespace zarn
