// A sound device as the sound thread sees it: one looping stream buffer of
// 16-bit stereo frames at 44100 Hz (4 bytes a frame, left first) that the
// device plays round and round, with a play cursor that moves on as it
// plays. The bytes from the play cursor back to where the thread last wrote
// have been played and may be written again. DirectSound's secondary buffers
// are the model; the ALSA device and the clock device behave the same way.
#pragma once

#include <cstdint>
#include <memory>

namespace zarn {

// The longest step the SPU's interrupts and voice status take between two
// passes of the sound thread: the ALSA device's cursor moves at most this far
// a pass, and on the clock device the passes come this far apart.
constexpr uint32_t kLongestPassMilliseconds = 20;

// The wave format of DirectSound's primary buffer.
struct WaveFormat {
    uint16_t channels;
    uint32_t samplesPerSecond;
    uint16_t bitsPerSample;
    uint16_t blockAlign;
    uint32_t averageBytesPerSecond;
};

class SoundDevice {
public:
    // One piece of a locked span of the stream buffer.
    struct Region {
        uint8_t* data = nullptr;
        uint32_t bytes = 0;
    };
    enum class LockResult { Locked, Lost, Refused };
    // A lost buffer given back; still lost, for now (DirectSound while
    // another program has the device); or not to be had again (the device
    // is gone).
    enum class RestoreResult { Restored, StillLost, Failed };

    virtual ~SoundDevice() = default;

    // Setup, all on the sound thread. Open takes the device for the host's
    // window; CreateStream makes a looping stream of about `bytes` bytes,
    // starts it, and reports the size the device actually gave it.
    virtual bool Open(void* window, const WaveFormat& primaryFormat) = 0;
    virtual bool CreateStream(uint32_t bytes, uint32_t& streamBytes) = 0;
    virtual void DestroyStream() = 0;
    virtual void Close() = 0;

    // The stream. PlayCursor is the byte offset the device plays next. Lock
    // hands out `bytes` bytes from `offset`, in two pieces when they wrap
    // past the end of the buffer; Unlock gives them back, as Lock returned
    // them, for the device to play. A lost buffer is asked back by Restore.
    virtual bool PlayCursor(uint32_t& cursor) = 0;
    virtual LockResult Lock(uint32_t offset, uint32_t bytes, Region& first, Region& second) = 0;
    virtual void Unlock(const Region& first, const Region& second) = 0;
    virtual RestoreResult Restore() = 0;
};

// Lock of a looping buffer in memory: `bytes` from `offset`, wrapping to
// the start. Refused when nothing or more than the whole buffer is asked
// for, or the offset lies outside it.
SoundDevice::LockResult LockLoop(uint8_t* buffer, uint32_t size, uint32_t offset, uint32_t bytes,
                                 SoundDevice::Region& first, SoundDevice::Region& second);

// The system's sound device: DirectSound on Windows, ALSA's default PCM
// elsewhere. Constructing it opens nothing.
std::unique_ptr<SoundDevice> CreateSystemSoundDevice();

}  // namespace zarn
