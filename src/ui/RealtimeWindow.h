// The real-time configuration window's thread: started by SPUopen one level
// below normal when ShowRealtimeConfigWindow is on, polled every 50 ms until
// SPUclose sets its stop flag.
#pragma once

#include <atomic>
#include <cstdint>

namespace zarn {

// What the window thread drives, handed to it by SPUopen.
struct RealtimeWindowJob {
    const std::atomic<uint8_t>* stop;  // set by SPUclose
};

// The thread procedure; `job` is a RealtimeWindowJob that outlives the thread.
uint32_t RealtimeWindowThread(void* job);

}  // namespace zarn
