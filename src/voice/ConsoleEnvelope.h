// The console model's envelope engine. One stepping rule serves the ADSR
// envelope of every voice and all 50 sweepable volumes (two per voice, two
// main volumes).
//
// Levels are 16-bit, 0x7FFF == 1.0. A counter gains an increment every tick;
// when it reaches 0x8000 the level takes one step and the counter restarts
// at 0. Step and increment come from a 5-bit shift and a 2-bit step value:
// small shifts step by large amounts every tick, large ones step by 4..7 (or
// -5..-8) every 2^(shift - 11) ticks.
#pragma once

#include <algorithm>
#include <cstdint>

#include "voice/ConsoleBus.h"

namespace zarn::console {

// The rate of one envelope phase or one volume sweep. `dec`: the level
// falls; `exp`: exponential (a falling step scales with the level, a rising
// one slows down above 0x6000); `neg`: a sweep of negative volumes, which
// mirrors the step's sign; `frozen`: the all-ones rate, which never steps.
struct EnvRate {
    int shift;
    int stepValue;
    bool dec, exp, neg, frozen;
};

// The rate of ADSR phase `phase` (ConsolePhase) from the envelope words, and
// that of a sweeping volume word (bit 15 set).
//
// ADSR words: adsr1 (0x1F801C08 + 16n)   adsr2 (0x1F801C0A + 16n)
//   15     attack exponential           15     sustain exponential
//   14-10  attack shift                 14     sustain decreases
//   9-8    attack step value            13     unused
//   7-4    decay shift                  12-8   sustain shift
//   3-0    sustain level                7-6    sustain step value
//                                       5      release exponential
//                                       4-0    release shift
inline EnvRate PhaseRate(uint32_t adsr1, uint32_t adsr2, int phase) {
    switch (phase) {
    case kConsoleAttack: {
        const int shift = static_cast<int>(bits(adsr1, 10, 5)), step = static_cast<int>(bits(adsr1, 8, 2));
        return {shift, step, false, bits(adsr1, 15, 1) != 0, false, bits(adsr1, 8, 7) == 0x7F};
    }
    case kConsoleDecay: return {static_cast<int>(bits(adsr1, 4, 4)), 0, true, true, false, false};
    case kConsoleSustain: {
        const int shift = static_cast<int>(bits(adsr2, 8, 5)), step = static_cast<int>(bits(adsr2, 6, 2));
        return {shift, step, bits(adsr2, 14, 1) != 0, bits(adsr2, 15, 1) != 0, false, (shift << 2 | step) == 0x7F};
    }
    default: {
        const int shift = static_cast<int>(bits(adsr2, 0, 5));
        return {shift, 0, true, bits(adsr2, 5, 1) != 0, false, shift == 0x1F};
    }
    }
}
EnvRate SweepRate(uint32_t word);

// What one tick does at `level`: the counter gains `inc`, and when it reaches
// 0x8000 the level moves by `step` (then clamped by EnvClamp). Only an
// exponential rate makes them depend on the level.
struct EnvMove {
    int32_t step;
    int32_t inc;
};
inline EnvMove EnvMoveAt(const EnvRate& rate, int32_t level) {
    int32_t step = 7 - rate.stepValue;       // +7..+4
    if (rate.dec != rate.neg) step = ~step;  // -8..-5
    step <<= std::max(0, 11 - rate.shift);
    int32_t inc = 0x8000 >> std::max(0, rate.shift - 11);  // 0 for shifts 27-31
    if (rate.exp && !rate.dec && level > 0x6000) {
        // Exponential rise: a quarter of the speed in the top quarter.
        if (rate.shift < 10) {
            step >>= 2;
        } else if (rate.shift >= 11) {
            inc >>= 2;
        } else {
            step >>= 1;
            inc >>= 1;
        }
    } else if (rate.exp && rate.dec) {
        step = (step * level) >> 15;  // proportional to the level, floored
    }
    if (!rate.frozen) inc = std::max(inc, 1);
    return {step, inc};
}

inline int32_t EnvClamp(const EnvRate& rate, int32_t level) {
    if (!rate.dec) return std::clamp(level, -0x8000, 0x7FFF);
    if (rate.neg) return std::clamp(level, -0x8000, 0);
    return std::max(level, 0);
}

// One tick of the engine on `level` and `counter`.
void EnvStep(int16_t& level, uint16_t& counter, const EnvRate& rate);

// The level at which Decay gives way to Sustain: below (sustain level + 1) x
// 0x800, from adsr1 bits 0-3.
inline int32_t SustainThreshold(uint32_t adsr1) { return static_cast<int32_t>(bits(adsr1, 0, 4) + 1) * 0x800; }

// One tick of voice v's ADSR envelope, with the rates its words in the image
// hold now, then the automatic phase change (Attack -> Decay at 0x7FFF,
// Decay -> Sustain below the sustain level).
void EnvelopeTick(const ConsoleBus& bus, int v);

// One tick of a volume: `word` is its register, bit 15 clear for a fixed
// volume (half the level in bits 0-14), set for a sweep.
void VolumeTick(uint16_t word, int16_t& level, uint16_t& counter);
// The level of a fixed volume word (bit 15 clear).
inline int16_t FixedVolume(uint32_t word) { return static_cast<int16_t>(S16((word & 0x7FFFu) << 1)); }

}  // namespace zarn::console
