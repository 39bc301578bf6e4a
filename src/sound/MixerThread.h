// The sound thread: started by SPUopen one level above normal, it runs until
// SPUclose sets soundStopRequested.
#pragma once

#include <cstdint>

namespace zarn {

uint32_t MixerThread(void* unused);

}  // namespace zarn
