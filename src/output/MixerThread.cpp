// The sound thread's pass loop. Each pass sleeps briefly (longer on the clock
// device), then refills the part of the stream that the device has played
// since the last pass, so a pass mixes exactly as many frames as the device
// consumed and the SPU runs at the device's clock. What is written now is
// heard about one buffer length later (8 KiB, the default, is about 46 ms).
#include "output/MixerThread.h"

#include "core/SpuCore.h"
#include "output/SoundOutput.h"
#include "platform/Platform.h"
#include "platform/SpuLock.h"
#include "settings/DriverSettings.h"

namespace zarn {

namespace {

// Mixes under the SPU lock, then publishes the voice status.
class CoreFrames : public FrameSource {
public:
    explicit CoreFrames(SpuCore& core) : core_(core) {}
    void Mix(int16_t* frames, uint32_t count) override {
        SpuLockGuard lock;
        core_.Render(frames, count);
    }

private:
    SpuCore& core_;
};

}  // namespace

uint32_t MixerThread(void* argument) {
    const MixerThreadJob& job = *static_cast<const MixerThreadJob*>(argument);
    const DriverSettings& settings = *job.settings;
    SoundOutput& output = *job.output;
    CoreFrames source(*job.core);
    const platform::FineTimer fineTimer;  // 1 ms sleeps last about 1 ms

    output.Open(job.window, settings);
    int32_t bufferSize = DriverSettings::Live(settings.SoundBufferSize);
    output.CreateStream(bufferSize);
    // The opposite of the setting, so that the first pass sets the period.
    bool highResolution = DriverSettings::Live(settings.HighResolutionMode) == 0;
    uint32_t sleepMilliseconds = 5;

    // The stop flag is tested before the first pass and after every pass.
    while (job.stop->load(std::memory_order_relaxed) == 0) {
        if ((DriverSettings::Live(settings.HighResolutionMode) != 0) != highResolution) {
            highResolution = !highResolution;
            sleepMilliseconds = highResolution ? 1 : 5;
        }
        if (const int32_t size = DriverSettings::Live(settings.SoundBufferSize); size != bufferSize) {
            bufferSize = size;
            output.DestroyStream();
            output.CreateStream(bufferSize);  // starts empty, at offset 0
        }
        platform::SleepMilliseconds(output.PassMilliseconds(sleepMilliseconds));
        output.WritePass(source);
    }

    output.DestroyStream();
    output.Close();
    return 0;
}

}  // namespace zarn
