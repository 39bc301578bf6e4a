// The SPU register block, 0x1F801C00..0x1F801DFF as the host forwards it.
// Only the low 12 bits of an address select a register (its offset), and only
// the low 16 bits of a value count. Every write is first stored in the
// register image; odd addresses store into the entry of the even address
// below and do nothing else.
//
//   offset  register                  offset  register
//   C00+16n voice n (n = 0..23):      D80/82  main volume L/R
//     +0/2    volume L/R              D84/86  reverb return volume L/R
//     +4      pitch                   D88/8A  key on, voices 0-15 / 16-23
//     +6      start address           D8C/8E  key off
//     +8      envelope word 1         D90/92  pitch modulation
//     +A      envelope word 2         D94/96  noise
//     +C      envelope volume (*)     D98/9A  reverb
//     +E      repeat address (*)      D9C/9E  voice activity (*)
//                                     DA4     IRQ address
//   (*) words the SPU publishes       DA6     transfer address (x 8 bytes)
//       after each mixing pass        DA8     transfer data
//                                     DAA     control (noise clock: bits 8-13)
//                                     DAE     status (bits 11-15)
//                                     DB0/B2  CD volume L/R
#include "settings/DriverSettings.h"
#include "spu/Arith.h"
#include "spu/SpuCore.h"

namespace zarn {

namespace {

constexpr uint32_t kRegisterBase = 0xC00;
constexpr uint32_t kVoiceEnd = 0xD80;

// Signed register fields subtract the largest magnitude, not the next power
// of two, when their sign bit is set.
int32_t Volume14(uint32_t v) { return static_cast<int32_t>(v & 0x3FFF) - ((v & 0x4000) ? 16383 : 0); }
int32_t Volume15(uint32_t v) { return static_cast<int32_t>(v & 0x7FFF) - ((v & 0x8000) ? 32767 : 0); }
int32_t SweepStep(uint32_t v) { return static_cast<int32_t>(v & 0x7F) - ((v & 0x1000) ? 127 : 0); }

// Volume register: bit 15 selects a fixed volume (14-bit) or a sweep (step in
// bits 0-6 with its sign in bit 12, direction in bit 13). The other mode's
// fields keep their values.
void WriteVolume(uint32_t v, int32_t& sweepMode, int32_t& fixedVolume, int32_t& sweepStep,
                 int32_t& sweepDecrease) {
    sweepMode = static_cast<int32_t>(bits(v, 15, 1));
    if (sweepMode == 0) {
        fixedVolume = Volume14(v);
    } else {
        sweepStep = SweepStep(v);
        sweepDecrease = static_cast<int32_t>(bits(v, 13, 1));
    }
}

}  // namespace

void SpuCore::DecodeRegisterWrite(uint32_t address, uint32_t value) {
    const uint32_t offset = address & 0xFFF;
    if (offset < kRegisterBase) return;  // not an SPU register
    const uint32_t v = value & 0xFFFF;
    registerImage[(offset - kRegisterBase) / 2] = static_cast<uint16_t>(v);
    if (offset & 1) return;

    if (offset < kVoiceEnd) {
        SpuVoice& voice = voices[(offset >> 4) - 0xC0];
        switch (offset & 0xF) {
        case 0x0: WriteVolume(v, voice.sweepModeL, voice.fixedVolumeL, voice.sweepStepL, voice.sweepDecreaseL); break;
        case 0x2: WriteVolume(v, voice.sweepModeR, voice.fixedVolumeR, voice.sweepStepR, voice.sweepDecreaseR); break;
        case 0x4: voice.pitch = static_cast<int32_t>(v); break;
        case 0x6: voice.startAddress = static_cast<int32_t>(v); break;
        case 0x8:
            voice.attackRate = static_cast<int32_t>(bits(v, 8, 7));
            voice.decayRate = static_cast<int32_t>(bits(v, 4, 4));
            voice.sustainLevel = static_cast<int32_t>(bits(v, 0, 4));
            voice.envelopeStep = voice.PhaseStep();
            break;
        case 0xA:
            voice.sustainDecrease = static_cast<int32_t>(bits(v, 14, 1));
            voice.sustainRate = static_cast<int32_t>(bits(v, 6, 7));
            voice.releaseRate = static_cast<int32_t>(bits(v, 0, 5));
            voice.envelopeStep = voice.PhaseStep();
            break;
        case 0xC:
            voice.envelopeVolume = static_cast<int32_t>(v & 0x7FFF);
            voice.envelopeLevel = static_cast<int32_t>(v & 0x7FFF) << 8;
            break;
        case 0xE: voice.repeatAddress = static_cast<int32_t>(v); break;
        }
        return;
    }

    // Per-voice bit registers: the first word covers voices 0-15, the second 16-23.
    const int firstVoice = (offset & 2) ? 16 : 0;
    const int voiceCount = firstVoice == 0 ? 16 : 8;
    const auto setFlags = [&](int32_t SpuVoice::*flag) {
        for (int b = 0; b < voiceCount; ++b) voices[firstVoice + b].*flag = static_cast<int32_t>((v >> b) & 1);
    };
    const auto forEachSetBit = [&](auto&& action) {
        for (int b = 0; b < voiceCount; ++b) {
            if ((v >> b) & 1) action(voices[firstVoice + b]);
        }
    };

    switch (offset) {
    case 0xD80: mixer.mainVolumeL = Volume14(v); break;
    case 0xD82: mixer.mainVolumeR = Volume14(v); break;
    case 0xD84: mixer.reverbVolumeL = Volume15(v); break;
    case 0xD86: mixer.reverbVolumeR = Volume15(v); break;
    case 0xD88:
    case 0xD8A:
        forEachSetBit([](SpuVoice& voice) { voice.KeyOn(); });
        PublishVoiceStatus();
        break;
    case 0xD8C:
    case 0xD8E:
        forEachSetBit([](SpuVoice& voice) { voice.KeyOff(); });
        break;
    case 0xD90:
    case 0xD92: setFlags(&SpuVoice::pitchModulation); break;
    case 0xD94:
    case 0xD96: setFlags(&SpuVoice::noiseEnabled); break;
    case 0xD98:
    case 0xD9A: setFlags(&SpuVoice::reverbEnabled); break;
    case 0xD9C:
    case 0xD9E:
        // A clear bit stops the voice at once; a set bit starts nothing.
        setFlags(&SpuVoice::active);
        for (int b = 0; b < voiceCount; ++b) {
            if (!((v >> b) & 1)) voices[firstVoice + b].envelopePhase = kOff;
        }
        break;
    case 0xDA4:
        for (SpuVoice& voice : voices) voice.SetIrqAddress(v);
        irqAddress = static_cast<uint16_t>(v);
        break;
    case 0xDA6: transferAddress = v * 8; break;
    case 0xDA8: WriteTransfer(static_cast<uint16_t>(v)); break;
    case 0xDAA: {
        control = static_cast<uint16_t>(v);
        // Noise clock c: ((c + 1)^5) >> 15 steps per second, 0..32768.
        const int32_t c1 = static_cast<int32_t>(bits(v, 8, 6)) + 1;
        const int32_t rate = (c1 * c1 * c1 * c1 * c1) / 32768;
        for (SpuVoice& voice : voices) voice.noiseRate = rate;
        break;
    }
    case 0xDAE: status = static_cast<uint16_t>(v & 0xF800); break;
    case 0xDB0: xa.volumeL = Volume15(v); break;
    case 0xDB2: xa.volumeR = Volume15(v); break;
    default: break;  // image only
    }
}

uint16_t SpuCore::ReadRegister(uint32_t address) {
    const uint32_t offset = address & 0xFFF;
    if (offset < kRegisterBase) return 0;
    switch (offset) {
    case 0xDA4: return irqAddress;
    case 0xDA6: return static_cast<uint16_t>((transferAddress / 8) & 0xFFFF);
    case 0xDA8: return ReadTransfer();
    case 0xDAA: return control;
    case 0xDAE: return static_cast<uint16_t>(status & 0xF800);
    default: return registerImage[(offset - kRegisterBase) / 2];
    }
}

void SpuCore::PublishVoiceStatus() {
    uint32_t activity = 0;
    for (int n = 0; n < kVoiceCount; ++n) {
        const SpuVoice& voice = voices[n];
        registerImage[(0x0C + 16 * n) / 2] = static_cast<uint16_t>(voice.envelopeVolume);
        registerImage[(0x0E + 16 * n) / 2] = static_cast<uint16_t>(voice.repeatAddress);
        if (voice.active != 0) activity |= 1u << n;
    }
    registerImage[(0xD9C - kRegisterBase) / 2] = static_cast<uint16_t>(activity & 0xFFFF);
    registerImage[(0xD9E - kRegisterBase) / 2] = static_cast<uint16_t>(activity >> 16);
}

}  // namespace zarn
