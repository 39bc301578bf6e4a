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

#include <cstdint>

#include "voice/ConsoleBus.h"

namespace zarn::console {

// One tick of the engine on `level` and `counter`. `dec`: the level falls;
// `exp`: exponential (a falling step scales with the level, a rising one
// slows down above 0x6000); `neg`: a sweep of negative volumes, which
// mirrors the step's sign; `frozen`: the all-ones rate, which never steps.
void EnvStep(int16_t& level, uint16_t& counter, int shift, int stepValue, bool dec, bool exp, bool neg, bool frozen);

// One tick of voice v's ADSR envelope, with the rates its words in the image
// hold now, then the automatic phase change (Attack -> Decay at 0x7FFF,
// Decay -> Sustain below the sustain level).
void EnvelopeTick(const ConsoleBus& bus, int v);

// One tick of a volume: `word` is its register, bit 15 clear for a fixed
// volume (half the level in bits 0-14), set for a sweep.
void VolumeTick(uint16_t word, int16_t& level, uint16_t& counter);

}  // namespace zarn::console
