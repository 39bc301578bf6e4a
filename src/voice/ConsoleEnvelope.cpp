#include "voice/ConsoleEnvelope.h"

#include <algorithm>

namespace zarn::console {

void EnvStep(int16_t& level, uint16_t& counter, const EnvRate& rate) {
    const EnvMove move = EnvMoveAt(rate, level);
    const int32_t next = counter + move.inc;  // below 0x10000: the counter is below 0x8000 before
    if ((next & 0x8000) == 0) {
        counter = static_cast<uint16_t>(next);
        return;
    }
    counter = 0;
    level = static_cast<int16_t>(EnvClamp(rate, level + move.step));
}

// ADSR words: adsr1 (0x1F801C08 + 16n)   adsr2 (0x1F801C0A + 16n)
//   15     attack exponential           15     sustain exponential
//   14-10  attack shift                 14     sustain decreases
//   9-8    attack step value            13     unused
//   7-4    decay shift                  12-8   sustain shift
//   3-0    sustain level                7-6    sustain step value
//                                       5      release exponential
//                                       4-0    release shift
EnvRate PhaseRate(uint32_t adsr1, uint32_t adsr2, int phase) {
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

void EnvelopeTick(const ConsoleBus& bus, int v) {
    ConsoleVoice& voice = bus.state->voices[v];
    const uint32_t adsr1 = bus.Img(reg::Voice(v, reg::kEnvelope1));
    const uint32_t adsr2 = bus.Img(reg::Voice(v, reg::kEnvelope2));
    const uint8_t phase = voice.envelopePhase;
    EnvStep(voice.envelopeLevel, voice.envelopeCounter, PhaseRate(adsr1, adsr2, phase));

    // One phase change at most per tick, from the phase the tick began in.
    // Sustain and Release never end by themselves.
    if (phase == kConsoleAttack && voice.envelopeLevel >= 0x7FFF) {
        voice.envelopePhase = kConsoleDecay;
        voice.envelopeCounter = 0;
    } else if (phase == kConsoleDecay && voice.envelopeLevel < SustainThreshold(adsr1)) {
        voice.envelopePhase = kConsoleSustain;
        voice.envelopeCounter = 0;
    }
}

// Volume words (bit 15 clear: fixed; set: sweep):
//   fixed  14-0  volume / 2 (0x3FFF -> 0x7FFE, 0x4000 -> -0x8000)
//   sweep  14 exponential, 13 decreases, 12 negative phase, 11-7 unused,
//          6-2 shift, 1-0 step value
EnvRate SweepRate(uint32_t word) {
    const int shift = static_cast<int>(bits(word, 2, 5)), step = static_cast<int>(bits(word, 0, 2));
    return {
        shift, step, bits(word, 13, 1) != 0, bits(word, 14, 1) != 0, bits(word, 12, 1) != 0, bits(word, 0, 7) == 0x7F};
}

void VolumeTick(uint16_t word, int16_t& level, uint16_t& counter) {
    if ((word & 0x8000) == 0) {
        level = FixedVolume(word);
        counter = 0;
        return;
    }
    EnvStep(level, counter, SweepRate(word));
}

}  // namespace zarn::console
