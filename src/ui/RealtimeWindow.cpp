#include "ui/RealtimeWindow.h"

#include "platform/Platform.h"

namespace zarn {

uint32_t RealtimeWindowThread(void* argument) {
    const RealtimeWindowJob& job = *static_cast<const RealtimeWindowJob*>(argument);
    while (job.stop->load(std::memory_order_relaxed) == 0) platform::SleepMilliseconds(50);
    return 0;
}

}  // namespace zarn
