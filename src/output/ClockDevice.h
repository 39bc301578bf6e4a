// A sound device that plays into nothing at the real rate: a looping buffer
// whose play cursor moves on with a monotonic clock at 176,400 bytes (44100
// frames) per second. The sound thread streams into it whenever the system
// device or its stream cannot be had, so voices, interrupts and XA go on in
// real time even without sound. A writer a whole buffer behind (a pass that
// slept too long) finds the cursor a frame short of where it writes, never
// past it, and catches up over the next passes, a buffer each; what it is
// behind beyond kMostBehindBytes (a second) the clock waits for, as a card
// that ran dry would.
#pragma once

#include <vector>

#include "output/SoundDevice.h"

namespace zarn {

class ClockDevice : public SoundDevice {
public:
    static constexpr uint32_t kDefaultBytes = 8 * 1024;  // for sizes no buffer can have
    static constexpr uint32_t kMaxBytes = 4 * 1024 * 1024;
    static constexpr int64_t kMostBehindBytes = 176400;

    // `now` gives microseconds of a monotonic clock.
    explicit ClockDevice(int64_t (*now)());

    bool Open(void* window, const WaveFormat& primaryFormat) override;
    // Takes `bytes` in whole frames, or kDefaultBytes when that is none or
    // more than kMaxBytes.
    bool CreateStream(uint32_t bytes, uint32_t& streamBytes) override;
    void DestroyStream() override;
    void Close() override;

    bool PlayCursor(uint32_t& cursor) override;
    LockResult Lock(uint32_t offset, uint32_t bytes, Region& first, Region& second) override;
    void Unlock(const Region& first, const Region& second) override;
    RestoreResult Restore() override;

private:
    int64_t (*now_)();
    int64_t start_ = 0;    // microseconds at CreateStream
    int64_t written_ = 0;  // bytes written since CreateStream
    int64_t waited_ = 0;   // bytes of time the clock has stood still for the writer
    std::vector<uint8_t> buffer_;
};

}  // namespace zarn
