#include "voice/ConsoleVoice.h"

#include <algorithm>
#include <iterator>

#include "voice/ConsoleTables.h"

namespace zarn::console {

namespace {

constexpr uint32_t kBlockUnits = 2;
constexpr uint32_t kCounterPerBlock = ConsoleVoice::kBlockSamples << 12;  // 0x1C000
constexpr uint32_t kMaxStep = 0x4000;                                     // 4 samples a tick
constexpr uint8_t kLoopEnd = 1, kLoopRepeat = 2, kLoopStart = 4;

uint32_t BlockByte(uint16_t unit, uint32_t k) { return (unit * 8u + k) & kRamMask; }

}  // namespace

void DecodeBlock(const ConsoleBus& bus, int v) {
    ConsoleVoice& voice = bus.state->voices[v];
    int16_t* samples = voice.samples;
    std::copy_n(samples + ConsoleVoice::kBlockSamples, ConsoleVoice::kHistory, samples);

    const uint8_t header = bus.ram[BlockByte(voice.blockAddress, 0)];
    int shift = header & 0x0F;
    if (shift > 12) shift = 9;  // QUESTION: as CD-XA headers do; the SPU's is "reportedly the same"
    const AdpcmFilter filter = kAdpcmFilter[(header >> 4) & 7];

    int32_t old = samples[2], older = samples[1];
    for (uint32_t k = 0; k < ConsoleVoice::kBlockSamples; ++k) {
        const uint8_t byte = bus.ram[BlockByte(voice.blockAddress, 2 + k / 2)];
        const int32_t nibble = (k & 1) ? byte >> 4 : byte & 0x0F;
        const int32_t t = nibble >= 8 ? nibble - 16 : nibble;
        // Prediction in 1/64, rounded half up by +32 and a floor shift.
        const int32_t s = Clamp16(((t << 12) >> shift) + ((old * filter.f0 + older * filter.f1 + 32) >> 6));
        samples[ConsoleVoice::kHistory + k] = static_cast<int16_t>(s);
        older = old;
        old = s;
    }
    if (bus.ram[BlockByte(voice.blockAddress, 1)] & kLoopStart) voice.repeatAddress = voice.blockAddress;
}

void BlockEnd(const ConsoleBus& bus, int v) {
    ConsoleVoice& voice = bus.state->voices[v];
    const uint8_t flags = bus.ram[BlockByte(voice.blockAddress, 1)];
    if (flags & kLoopEnd) {
        bus.state->endx |= 1u << v;
        voice.blockAddress = voice.repeatAddress;
        if ((flags & kLoopRepeat) == 0) {
            voice.envelopePhase = kConsoleRelease;
            voice.envelopeLevel = 0;
            voice.envelopeCounter = 0;
        }
    } else {
        voice.blockAddress = static_cast<uint16_t>(voice.blockAddress + kBlockUnits);  // wraps at 512 KiB
    }
    voice.needDecode = 1;
}

int32_t Interpolate(const ConsoleVoice& voice) {
    const uint32_t s = voice.pitchCounter >> 12;
    const uint32_t i = (voice.pitchCounter >> 4) & 0xFF;
    const int16_t* w = voice.samples + s;  // oldest, older, old, new
    return Mul15(G[0x0FF - i], w[0]) + Mul15(G[0x1FF - i], w[1]) + Mul15(G[0x100 + i], w[2]) +
           Mul15(G[0x000 + i], w[3]);
}

void AdvancePitch(const ConsoleBus& bus, int v, int32_t previousOut) {
    ConsoleVoice& voice = bus.state->voices[v];
    uint32_t step = bus.Img(reg::Voice(v, reg::kPitch));
    if (v >= 1 && bus.VoiceBit(reg::kPitchModulation, v)) {
        // The signed reading of the pitch is the hardware's: pitches from
        // 0x8000 up come out wrong, as on the console.
        const int32_t factor = previousOut + 0x8000;  // 0..0xFFFF
        step = static_cast<uint32_t>(Mul15(S16(step), factor)) & 0xFFFF;
    }
    step = std::min(step, kMaxStep);
    voice.pitchCounter += step;
    if (voice.pitchCounter >= kCounterPerBlock) {
        voice.pitchCounter -= kCounterPerBlock;
        BlockEnd(bus, v);
    }
}

// SPUCNT: bits 13-10 shift, bits 9-8 step (4 + value). The timer falls by the
// step every tick; when it drops below 0 the LFSR shifts once (taps 15, 12,
// 11, 10) and the timer is reloaded with 0x20000 >> shift, at most twice.
void NoiseTick(ConsoleState& state, uint32_t ctl) {
    int32_t timer = state.noiseTimer - static_cast<int32_t>(4 + bits(ctl, 8, 2));
    const int32_t reload = 0x20000 >> bits(ctl, 10, 4);
    const uint32_t level = state.noiseLevel;
    const uint32_t parity = ((level >> 15) ^ (level >> 12) ^ (level >> 11) ^ (level >> 10) ^ 1) & 1;
    if (timer < 0) state.noiseLevel = static_cast<uint16_t>((level << 1) | parity);
    if (timer < 0) timer += reload;
    if (timer < 0) timer += reload;
    state.noiseTimer = timer;
}

void KeyOn(const ConsoleBus& bus, int v) {
    if ((bus.Img(reg::kControl) & 0x8000) == 0) return;  // SPU disabled
    ConsoleVoice& voice = bus.state->voices[v];
    voice.blockAddress = bus.Img(reg::Voice(v, reg::kStartAddress));
    voice.pitchCounter = 0;
    voice.needDecode = 1;
    std::fill(std::begin(voice.samples), std::end(voice.samples), int16_t{0});
    voice.envelopePhase = kConsoleAttack;
    voice.envelopeLevel = 0;
    voice.envelopeCounter = 0;
    bus.state->endx &= ~(1u << v);
}

void KeyOff(ConsoleState& state, int v) {
    state.voices[v].envelopePhase = kConsoleRelease;
    state.voices[v].envelopeCounter = 0;
}

}  // namespace zarn::console
