// The real-time configuration window's thread: started by SPUopen one level
// below normal when ShowRealtimeConfigWindow is on, polled every 50 ms until
// SPUclose sets windowStopRequested.
#pragma once

#include <cstdint>

namespace zarn {

uint32_t RealtimeWindowThread(void* unused);

}  // namespace zarn
