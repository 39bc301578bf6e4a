// The console model's reverb (sound/ConsoleReverb.h) over a span in which its
// registers stand still: the same work-area accesses, values and resampler
// rings as ReverbTick tick by tick.
//
// The offsets of the 14 accesses of each side are reduced into the work area
// once, so an access is one add and one wrap instead of a `%`. The four
// resampler rings are laid out flat in time order for the span (the 64
// samples before it, then one per tick), so each filter is one dot product of
// consecutive samples.
#pragma once

#include <cstdint>

#include "sound/ConsoleReverb.h"
#include "sound/ConsoleVoiceSpan.h"
#include "voice/ConsoleBus.h"

namespace zarn::console {

class ReverbSpan {
public:
    ReverbSpan();

    // Takes up the registers and the state's rings for a span. False, taking
    // up nothing, while the buffer address lies outside the work area (a
    // tick of ReverbTick brings it back).
    bool Begin(const ConsoleBus& bus);
    // The first tick below `ticks` in which an access touches the 8-byte unit
    // `irqUnit`, or kNever.
    int32_t FirstTouch(uint16_t irqUnit, int32_t ticks) const;
    // Where its writes go, when SPUCNT bit 7 lets it write.
    void AddWrites(SpanGuard& guard) const;
    // The span's next tick, ReverbTick's work on the clamped inputs.
    void Tick(uint8_t* ram, int32_t inL, int32_t inR, int32_t& rvL, int32_t& rvR);
    // The rings, positions and buffer address after the ticks run, into the
    // state.
    void End(ConsoleState& state) const;

private:
    static constexpr int32_t kRing = ConsoleState::kFirTaps;
    static constexpr int32_t kFlat = kRing + kSpanTicks + 8;  // each ring flat, with room to read one past

    int16_t taps_[40];  // H in reverse, for a dot product oldest first, and a zero
    int32_t base_ = 0, size_ = 0;
    int32_t position_ = 0;  // the buffer address less the base
    int32_t parity_ = 0, firPos_ = 0, tick_ = 0;
    bool writes_ = false;
    ReverbVolumes volumes_[2] = {};
    int32_t offsets_[2][kReverbAccesses] = {};  // reduced into 0..size-1
    int16_t inL_[kFlat] = {}, inR_[kFlat] = {}, outL_[kFlat] = {}, outR_[kFlat] = {};
};

}  // namespace zarn::console
