// A console voice's way through its blocks over a span of ticks, worked out
// ahead of its samples (sound/ConsoleFastMixer.h).
//
// The voice's pitch counter is followed as one linear count: block j of the
// span covers counts j x 0x1C000 up to (j + 1) x 0x1C000, starting from the
// voice's pitchCounter in block 0. A steady pitch reaches the end of each
// block at a tick found by one division; a modulated one is read from the
// counts of each tick. The flags a block holds in RAM decide its successor,
// as BlockEnd does, and a loop-start flag sets the repeat address when the
// block is decoded, as DecodeBlock does.
//
// The samples come from one stream per voice: the three samples before block
// 0, then the blocks of the span back to back, so that while block j plays,
// stream[28 j .. 28 j + 30] is what the voice's `samples` hold, and the
// sample the interpolation reads at count c is stream[c >> 12].
#pragma once

#include <cstdint>

#include "voice/ConsoleState.h"
#include "voice/SpuConstants.h"

namespace zarn::console {

// The longest span. A voice passes a block in 7 ticks at the least.
constexpr int32_t kSpanTicks = 512;
constexpr int32_t kSpanBlocks = kSpanTicks / 7 + 3;
// Per-tick arrays keep this many entries of room after the span for whole
// vectors.
constexpr int32_t kTickRoom = 8;
// A voice's stream: the three samples before, the blocks, room for vectors.
constexpr int32_t kStreamSamples = ConsoleVoice::kHistory + ConsoleVoice::kBlockSamples * (kSpanBlocks + 1) + 16;
constexpr int32_t kNever = INT32_MAX;  // a tick beyond every span

// The first tick of a span that starts at capture slot `capturePos` whose
// capture writes land in slots lo..hi (the same in all four areas): the slot
// moves on by one every tick and wraps after 0x1FF.
inline int32_t FirstCaptureTick(int32_t capturePos, int32_t lo, int32_t hi) {
    constexpr int32_t kMask = ConsoleState::kCaptureSlots - 1;
    return ((capturePos - lo) & kMask) <= hi - lo ? 0 : (lo - capturePos) & kMask;
}

// What a span writes into sound RAM besides the voices (which only read),
// and the IRQ address while a touch would raise the interrupt.
class SpanGuard {
public:
    // `capturePos`: the capture slot of the span's first tick.
    void Reset(bool armed, uint16_t irqUnit, uint16_t capturePos);
    // The reverb writes into the work area from byte `base` (`size` bytes):
    // each of `count` writes starts `starts[k]` bytes into it in the span's
    // first tick and moves on by 2 bytes every other tick, wrapping in the area.
    void AddReverbWrites(int32_t base, int32_t size, const int32_t* starts, int count);
    // Whether any of `bytes` bytes from `address` (wrapping at 512 KiB) may be
    // written before tick `tick`.
    bool Written(uint32_t address, uint32_t bytes, int32_t tick) const;
    // Whether a voice playing the block at `unit` touches the IRQ address.
    bool Touches(uint16_t unit) const {
        return armed_ && (unit == irqUnit_ || static_cast<uint16_t>(unit + 1) == irqUnit_);
    }

private:
    bool Captured(uint32_t from, uint32_t to, int32_t tick) const;
    bool Reverberated(uint32_t from, uint32_t to, int32_t tick) const;

    static constexpr int kWrites = 8;
    bool armed_ = false;
    uint16_t irqUnit_ = 0;
    int32_t capturePos_ = 0;
    int32_t base_ = 0, size_ = 0, writes_ = 0;
    int32_t starts_[kWrites] = {};
};

// The counts of a voice's pitch over a span: a steady step from `start`, or
// those of each tick (position[t] before tick t's advance, position[t + 1]
// after it) when `position` is set.
struct PitchCounts {
    int32_t start;
    int32_t step;
    const int32_t* position;
};

struct SpanBlock {
    uint16_t unit;   // its address, 8-byte units
    uint8_t flags;   // the flags it held at its end
    bool decoded;    // decoded in the span, at tick `from`
    bool loopStart;  // decoded with the loop-start flag
    int32_t from;    // the first tick it plays
    int32_t end;     // the tick whose advance passes its last sample, or kNever
};

class VoiceChain {
public:
    // Follows the voice from its state for up to `limit` ticks and gives the
    // ticks the span can keep: fewer when the voice would read a block (or its
    // flags) that the span writes before that tick, and no more than the tick
    // in which it touches the IRQ address (`touch` is then lowered to it).
    int32_t Walk(const uint8_t* ram, const ConsoleVoice& voice, const PitchCounts& pitch, const SpanGuard& guard,
                 int32_t limit, int32_t& touch);

    // The ticks before `ticks` whose block end silences the voice, ascending,
    // into `mutes`; returns how many.
    int32_t Mutes(int32_t ticks, int32_t* mutes) const;

    // The voice's blocks, repeat address, pitch counter and samples after
    // `ticks` ticks (`count` is the linear count then), and its ENDX bit (bit
    // `v` of `endx`). The envelope is not touched.
    void Finish(ConsoleVoice& voice, uint32_t& endx, int v, int32_t ticks, int32_t count, const int16_t* stream) const;

    SpanBlock blocks[kSpanBlocks];
    int32_t blockCount = 0;
};

}  // namespace zarn::console
