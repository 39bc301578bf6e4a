#include "voice/ConsoleEnvelope.h"

#include <algorithm>

namespace zarn::console {

void EnvStep(int16_t& level, uint16_t& counter, int shift, int stepValue, bool dec, bool exp, bool neg, bool frozen) {
    int32_t step = 7 - stepValue;  // +7..+4
    if (dec != neg) step = ~step;  // -8..-5
    step <<= std::max(0, 11 - shift);
    int32_t inc = 0x8000 >> std::max(0, shift - 11);  // 0 for shifts 27-31
    const int32_t current = level;
    if (exp && !dec && current > 0x6000) {
        // Exponential rise: a quarter of the speed in the top quarter.
        if (shift < 10) {
            step >>= 2;
        } else if (shift >= 11) {
            inc >>= 2;
        } else {
            step >>= 1;
            inc >>= 1;
        }
    } else if (exp && dec) {
        step = (step * current) >> 15;  // proportional to the level, floored
    }
    if (!frozen) inc = std::max(inc, 1);

    const int32_t next = counter + inc;  // below 0x10000: the counter is below 0x8000 before
    if ((next & 0x8000) == 0) {
        counter = static_cast<uint16_t>(next);
        return;
    }
    counter = 0;
    int32_t result = current + step;
    if (!dec) {
        result = std::clamp(result, -0x8000, 0x7FFF);
    } else if (neg) {
        result = std::clamp(result, -0x8000, 0);
    } else {
        result = std::max(result, 0);
    }
    level = static_cast<int16_t>(result);
}

// ADSR words: adsr1 (0x1F801C08 + 16n)   adsr2 (0x1F801C0A + 16n)
//   15     attack exponential           15     sustain exponential
//   14-10  attack shift                 14     sustain decreases
//   9-8    attack step value            13     unused
//   7-4    decay shift                  12-8   sustain shift
//   3-0    sustain level                7-6    sustain step value
//                                       5      release exponential
//                                       4-0    release shift
void EnvelopeTick(const ConsoleBus& bus, int v) {
    ConsoleVoice& voice = bus.state->voices[v];
    const uint32_t adsr1 = bus.Img(reg::Voice(v, reg::kEnvelope1));
    const uint32_t adsr2 = bus.Img(reg::Voice(v, reg::kEnvelope2));
    const uint8_t phase = voice.envelopePhase;
    switch (phase) {
    case kConsoleAttack: {
        const int shift = static_cast<int>(bits(adsr1, 10, 5)), step = static_cast<int>(bits(adsr1, 8, 2));
        EnvStep(voice.envelopeLevel, voice.envelopeCounter, shift, step, false, bits(adsr1, 15, 1), false,
                bits(adsr1, 8, 7) == 0x7F);
        break;
    }
    case kConsoleDecay:
        EnvStep(voice.envelopeLevel, voice.envelopeCounter, static_cast<int>(bits(adsr1, 4, 4)), 0, true, true, false,
                false);
        break;
    case kConsoleSustain: {
        const int shift = static_cast<int>(bits(adsr2, 8, 5)), step = static_cast<int>(bits(adsr2, 6, 2));
        EnvStep(voice.envelopeLevel, voice.envelopeCounter, shift, step, bits(adsr2, 14, 1), bits(adsr2, 15, 1), false,
                (shift << 2 | step) == 0x7F);
        break;
    }
    default: {
        const int shift = static_cast<int>(bits(adsr2, 0, 5));
        EnvStep(voice.envelopeLevel, voice.envelopeCounter, shift, 0, true, bits(adsr2, 5, 1), false, shift == 0x1F);
        break;
    }
    }

    // One phase change at most per tick, from the phase the tick began in.
    // Sustain and Release never end by themselves.
    if (phase == kConsoleAttack && voice.envelopeLevel >= 0x7FFF) {
        voice.envelopePhase = kConsoleDecay;
        voice.envelopeCounter = 0;
    } else if (phase == kConsoleDecay && voice.envelopeLevel < static_cast<int32_t>(bits(adsr1, 0, 4) + 1) * 0x800) {
        voice.envelopePhase = kConsoleSustain;
        voice.envelopeCounter = 0;
    }
}

// Volume words (bit 15 clear: fixed; set: sweep):
//   fixed  14-0  volume / 2 (0x3FFF -> 0x7FFE, 0x4000 -> -0x8000)
//   sweep  14 exponential, 13 decreases, 12 negative phase, 11-7 unused,
//          6-2 shift, 1-0 step value
void VolumeTick(uint16_t word, int16_t& level, uint16_t& counter) {
    if ((word & 0x8000) == 0) {
        level = static_cast<int16_t>(S16((word & 0x7FFFu) << 1));
        counter = 0;
        return;
    }
    const int shift = static_cast<int>(bits(word, 2, 5)), step = static_cast<int>(bits(word, 0, 2));
    EnvStep(level, counter, shift, step, bits(word, 13, 1), bits(word, 14, 1), bits(word, 12, 1),
            bits(word, 0, 7) == 0x7F);
}

}  // namespace zarn::console
