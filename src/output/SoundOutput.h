// The sound output: the device the sound thread opens for each emulation run
// and the looping stream buffer it fills behind the play cursor. SPUinit
// creates the object without opening anything; only the sound thread uses
// it, in the order Open, CreateStream, a WritePass per pass (DestroyStream
// and CreateStream whenever the buffer size changes), DestroyStream, Close.
//
// When the system device or its stream cannot be had (no sound device, or a
// buffer size the device refuses), the stream runs on a clock device that
// plays into nothing at the real rate, so the SPU goes on in real time. So
// it does when the device fails during playback (unplugged, its driver
// gone): a buffer the device cannot restore, or kFailedPassesForClock
// passes in a row without a play cursor or with a lock refused though bytes
// are free, hand the rest of the stream to the clock. A buffer that is
// merely lost for a while (DirectSound while another program has the
// device) is asked back every pass instead.
#pragma once

#include <cstdint>
#include <memory>

#include "output/ClockDevice.h"

namespace zarn {

class DriverSettings;

// What a pass writes into the stream: `count` frames (left, right) mixed
// into `frames`, then the voice status published, all under the SPU lock.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual void Mix(int16_t* frames, uint32_t count) = 0;
};

class SoundOutput {
public:
    // `system` is the system's sound device, or null where there is none.
    explicit SoundOutput(std::unique_ptr<SoundDevice> system);
    virtual ~SoundOutput();
    SoundOutput(const SoundOutput&) = delete;
    SoundOutput& operator=(const SoundOutput&) = delete;

    // Setup. Open and CreateStream say whether the system device took them;
    // when it did not, the clock device stands in. The primary format comes
    // from the settings' wave-format fields; the stream holds
    // `bufferSizeKiB` x 1024 bytes.
    bool Open(void* window, const DriverSettings& settings);
    bool CreateStream(int32_t bufferSizeKiB);
    bool DestroyStream();
    bool Close();

    // One pass of the write protocol: from WriteOffset up to the play cursor
    // the device has played; the first piece of that span is refilled from
    // `source`, whole frames only, and WriteOffset moves past it. A span that
    // wraps is finished by the next pass from the buffer's start. A refused
    // lock ends the pass with nothing written; a lost buffer is asked back
    // and the pass ends. Returns the bytes written.
    uint32_t WritePass(FrameSource& source);

    static constexpr int kFailedPassesForClock = 100;

    // How long the sound thread sleeps before its next pass: `systemMilliseconds`
    // on the system device. The clock device plays into nothing and needs no
    // finer steps than the system device's longest, kLongestPassMilliseconds
    // (a wakeup every millisecond cost it four times the CPU of the ALSA
    // device's passes); less than half the stream's length, so that its
    // cursor never laps the write offset between two passes; at least 1 ms.
    uint32_t PassMilliseconds(uint32_t systemMilliseconds) const;

    // Whether the stream runs on the system device rather than the clock.
    bool OnSystemDevice() const { return stream_ != nullptr && stream_ == system_.get(); }

    uint32_t StreamBytes = 0;  // size of the stream buffer as the device reports it
    uint32_t WriteOffset = 0;  // where the next pass writes; 0 after CreateStream

private:
    // A pass the device failed; kFailedPassesForClock of them in a row give
    // it up for the clock.
    void DeviceFailed();
    void FallBackToClock();

    std::unique_ptr<SoundDevice> system_;
    ClockDevice clock_;
    bool systemOpen_ = false;
    SoundDevice* stream_ = nullptr;  // the device whose stream is playing
    int failedPasses_ = 0;           // in a row, on the system device
};

}  // namespace zarn
