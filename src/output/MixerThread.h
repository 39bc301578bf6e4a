// The sound thread: started by SPUopen one level above normal, it runs until
// SPUclose sets its stop flag.
#pragma once

#include <atomic>
#include <cstdint>

namespace zarn {

class DriverSettings;
class SoundOutput;
class SpuCore;

// What the sound thread drives, handed to it by SPUopen.
struct MixerThreadJob {
    SpuCore* core;
    const DriverSettings* settings;
    SoundOutput* output;
    void* window;                      // the host's window, owner of the device
    const std::atomic<uint8_t>* stop;  // set by SPUclose
};

// The thread procedure; `job` is a MixerThreadJob that outlives the thread.
uint32_t MixerThread(void* job);

}  // namespace zarn
