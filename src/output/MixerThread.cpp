#include "output/MixerThread.h"

#include "platform/Platform.h"

namespace zarn {

uint32_t MixerThread(void* argument) {
    const MixerThreadJob& job = *static_cast<const MixerThreadJob*>(argument);
    // The stop flag is tested before the first pass and after every pass.
    while (job.stop->load(std::memory_order_relaxed) == 0) platform::SleepMilliseconds(1);
    return 0;
}

}  // namespace zarn
