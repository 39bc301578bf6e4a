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

#include "sound/ConsoleKernels.h"
#include "sound/ConsoleReverb.h"
#include "sound/ConsoleVoiceSpan.h"
#include "voice/ConsoleBus.h"

namespace zarn::console {

class ReverbSpan {
public:
    // Takes up the registers and the state's rings for a span. False, taking
    // up nothing, while the buffer address lies outside the work area (a
    // tick of ReverbTick brings it back).
    bool Begin(const ConsoleBus& bus);
    // The first tick below `ticks` in which an access touches the 8-byte unit
    // `irqUnit`, or kNever.
    int32_t FirstTouch(uint16_t irqUnit, int32_t ticks) const;
    // Where its writes go, when SPUCNT bit 7 lets it write.
    void AddWrites(SpanGuard& guard) const;
    // Whether the work area starts below byte `address`.
    bool Below(uint32_t address) const { return static_cast<uint32_t>(base_) < address; }

    // A span's ticks: the clamped inputs of each tick go into Input(0) and
    // Input(1) (left, right); Decimate filters them all; Step runs the
    // network of one tick after the other, reading and writing sound RAM;
    // Interpolate gives the returns of the ticks stepped; End leaves the
    // rings, positions and buffer address in the state.
    int16_t* Input(int side) { return (side == 0 ? inL_ : inR_) + kRing; }
    void Decimate(const ConsoleKernels& kernels, int32_t ticks);
    void Step(uint8_t* ram);
    void Interpolate(const ConsoleKernels& kernels, int16_t* rvL, int16_t* rvR) const;
    void End(ConsoleState& state) const;

private:
    static constexpr int32_t kRing = ConsoleState::kFirTaps;
    static constexpr int32_t kFlat = kRing + kSpanTicks + kTickRoom;

    int32_t base_ = 0, size_ = 0;
    int32_t position_ = 0;  // the buffer address less the base
    int32_t parity_ = 0, firPos_ = 0, tick_ = 0;
    bool writes_ = false;
    ReverbVolumes volumes_[2] = {};
    int32_t offsets_[2][kReverbAccesses] = {};  // reduced into 0..size-1
    // The registers 0x1F801DC0..0x1F801DFE and the base the offsets were
    // reduced for.
    static constexpr uint32_t kFirstRegister = 0x1F801DC0;
    static constexpr int kRegisters = 32;
    uint16_t registers_[kRegisters] = {};
    int32_t reducedFor_ = -1;
    // The four rings flat in time order: the 64 samples before the span,
    // then one per tick.
    int16_t inL_[kFlat] = {}, inR_[kFlat] = {}, outL_[kFlat] = {}, outR_[kFlat] = {};
    int16_t decimatedL_[kSpanTicks + kTickRoom] = {}, decimatedR_[kSpanTicks + kTickRoom] = {};
};

}  // namespace zarn::console
