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
