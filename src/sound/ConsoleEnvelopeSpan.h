// The console model's envelope engine (voice/ConsoleEnvelope.h) over a span
// of ticks at once: the same levels and counters as EnvelopeTick and
// VolumeTick tick by tick.
//
// Between two steps a level stands still while its counter climbs by a fixed
// increment, so the engine jumps from step to step: the tick of the next step
// is (0x8000 - counter) / increment ticks away, rounded up. A rate that steps
// every tick by a constant amount is filled as an arithmetic run up to the
// first tick that could clamp or change the rate; an exponential fall steps
// tick by tick. A phase change happens only at a step, or at the first tick of
// a phase whose level already meets it (a written ENVX).
#pragma once

#include <cstdint>

#include "voice/ConsoleEnvelope.h"
#include "voice/ConsoleState.h"

namespace zarn::console {

// What a voice's envelope meets over a span besides its own rates.
struct EnvelopeEvents {
    // Ticks whose block end silences the voice (Release at level 0, counter
    // 0) after that tick's envelope step, ascending.
    const int32_t* mutes;
    int32_t muteCount;
    // SPUCNT bit 15 clear: every tick starts from Release at level 0.
    bool disabled;
};

// `ticks` ticks (1 or more) of the voice's ADSR envelope with the words
// `adsr1` and `adsr2`, the voice's envelopePhase, envelopeLevel and
// envelopeCounter moved on. The level after each tick goes into `level`
// (unless null); but when it is the same in every tick, true is returned with
// that level in `constant`, and `level` is left alone.
bool EnvelopeSpan(ConsoleVoice& voice, uint32_t adsr1, uint32_t adsr2, const EnvelopeEvents& events, int32_t ticks,
                  int16_t* level, int16_t& constant);

// `ticks` ticks (1 or more) of VolumeTick with the volume word `word`, the
// levels as EnvelopeSpan gives them.
bool VolumeSpan(uint16_t word, int16_t& level, uint16_t& counter, int32_t ticks, int16_t* levels, int16_t& constant);

// `count` levels of `level` from `out` on.
void FillLevels(int16_t* out, int32_t count, int16_t level);

}  // namespace zarn::console
