// One of the SPU's 24 voices: the fields its registers set, its envelope, the
// decoded ADPCM block it is playing, its read position and its noise state.
//
// Sound-RAM addresses held here count in 8-byte units (byte = unit x 8); one
// 16-byte ADPCM block is 2 units. The per-frame work on a voice lives in
// voice/VoiceGenerator.h and voice/Envelope.h.
#pragma once

#include <cstdint>

namespace zarn {

enum EnvelopePhase : int32_t { kOff = 0, kAttack = 1, kDecay = 2, kSustain = 3, kRelease = 4 };

class SpuVoice {
public:
    static constexpr int kBlockSamples = 28;
    static constexpr int32_t kBlockEnd = kBlockSamples << 12;  // pitchCounter at which a block is played out
    static constexpr int32_t kFullScale = 0x7FFFFF;            // envelopeLevel at full volume
    static constexpr int32_t kMaxVolume = 0xFFFFFF;            // currentVolume: 1024 x the 14-bit volume

    SpuVoice() = default;
    virtual ~SpuVoice() = default;

    // Links set while the sound model is built, and the IRQ address copy.
    void SetRam(const uint8_t* soundRam) { ram = soundRam; }
    void SetPrevVoice(const SpuVoice* voice) { prevVoice = voice; }
    void SetIrqAddress(uint32_t value) { irqAddress = static_cast<int32_t>(value & 0xFFFF); }

    // Register side
    void KeyOn();
    void KeyOff();
    // The envelope step of the current phase, re-derived after a rate change.
    int32_t PhaseStep() const;

    // Envelope step of each phase (truncating integer division).
    int32_t AttackStep() const { return 0x3FFFFF / (attackRate * attackRate * 2 + 1); }
    int32_t DecayStep() const { return -0x7FFFFF / ((decayRate + 1) * 4096); }
    int32_t SustainStep() const {
        if (sustainRate == 127) return 0;
        const int32_t numerator = 0x3FFFFF - sustainDecrease * 0x7FFFFE;  // +-4194303
        const int32_t rate = sustainRate + 1;
        return numerator / ((rate * rate * rate) / 4 + 1);
    }
    int32_t ReleaseStep() const {
        const int32_t rate = releaseRate + 1;
        return -0x3FFFFF / (rate * rate * rate * 2);
    }
    // The level at which Decay gives way to Sustain; sustain level 0 gives -1.
    int32_t SustainTarget() const { return sustainLevel * 0x7FFFF - 1; }

    // Fields: what the registers set, then the state of playback.
    const uint8_t* ram = nullptr;  // first byte of sound RAM
    int32_t irqAddress = 0;        // copy of the IRQ address register, 8-byte units
    int32_t sweepModeL = 0;        // 1: the left volume sweeps
    int32_t sweepModeR = 0;
    int32_t fixedVolumeL = 0;  // -16383..16383
    int32_t fixedVolumeR = 0;
    int32_t sweepStepL = 0;  // -127..127
    int32_t sweepStepR = 0;
    int32_t sweepDecreaseL = 0;  // 1: the sweep runs downward
    int32_t sweepDecreaseR = 0;
    int32_t pitch = 0;                        // 1/4096 sample per output frame; 0x1000 == 1.0
    int32_t startAddress = 0;                 // 8-byte units
    int32_t attackRate = 0;                   // 0..127
    int32_t decayRate = 0;                    // 0..15
    int32_t sustainLevel = 0;                 // 0..15
    int32_t sustainDecrease = 0;              // 1: sustain falls
    int32_t sustainRate = 0;                  // 0..127; 127 holds
    int32_t releaseRate = 0;                  // 0..31
    int32_t envelopeVolume = 0;               // envelopeLevel >> 8, at least 1 while the level is not 0
    int32_t repeatAddress = 0;                // loop target, 8-byte units
    int32_t pitchModulation = 0;              // 1: pitch modulated by the previous voice's output
    int32_t noiseEnabled = 0;                 // 1: noise replaces the samples
    int32_t reverbEnabled = 0;                // 1: also feeds the reverb
    int32_t active = 0;                       // published bit of the voice-activity registers
    int32_t envelopePhase = kOff;             // EnvelopePhase
    int32_t samples[kBlockSamples + 1] = {};  // [0]: last sample of the previous block; [1..28]: this block
    int32_t pitchCounter = 0;                 // position in the block, 1/4096 sample; 0x1000 is samples[1]
    uint8_t needDecode = 1;                   // the block at blockAddress must be decoded first
    int32_t blockAddress = 0;                 // block being played, 8-byte units; grows by 2 per block
    int32_t currentVolumeL = 0;               // effective volume x 1024, within +-0xFFFFFF
    int32_t currentVolumeR = 0;
    int32_t envelopeLevel = 0;            // full scale 0x7FFFFF
    int32_t envelopeStep = 0;             // added to envelopeLevel per frame
    const SpuVoice* prevVoice = nullptr;  // voice numbered one lower; null for voice 0
    int32_t lastOutput = 0;               // last envelope-scaled sample: the next voice's modulator
    int32_t noiseCounter = 0;             // frames counted while playing noise
    int32_t noiseValue = 0;               // the noise sample being held
    int32_t noiseRate = 0;                // noise steps per second, from the control register
    int32_t noiseTick = 0;                // index of the noise step noiseValue belongs to
    int32_t history1 = 0;                 // ADPCM predictor: last decoded sample
    int32_t history2 = 0;                 // ADPCM predictor: the one before
};

}  // namespace zarn
