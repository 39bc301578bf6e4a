// Register writes and reads. Only the low 12 bits of an address select a
// register (RegisterMap.h), and only the low 16 bits of a value count. Every
// write is first stored in the register image; odd addresses store into the
// entry of the even address below and do nothing else.
#include "settings/DriverSettings.h"
#include "spu/Arith.h"
#include "spu/RegisterMap.h"
#include "spu/SpuCore.h"

namespace zarn {

namespace {

using namespace reg;

constexpr uint32_t kRegisterBase = Offset(kFirst);
constexpr uint32_t kVoiceEnd = Offset(kMainVolumeL);

constexpr uint32_t ImageIndex(uint32_t address) { return (Offset(address) - kRegisterBase) / 2; }

// Signed register fields subtract the largest magnitude, not the next power
// of two, when their sign bit is set.
int32_t Volume14(uint32_t v) { return static_cast<int32_t>(v & 0x3FFF) - ((v & 0x4000) ? 16383 : 0); }
int32_t Volume15(uint32_t v) { return static_cast<int32_t>(v & 0x7FFF) - ((v & 0x8000) ? 32767 : 0); }
int32_t SweepStep(uint32_t v) { return static_cast<int32_t>(v & 0x7F) - ((v & 0x1000) ? 127 : 0); }

// Volume register: bit 15 selects a fixed volume (14-bit) or a sweep (step in
// bits 0-6 with its sign in bit 12, direction in bit 13). The other mode's
// fields keep their values.
void WriteVolume(uint32_t v, int32_t& sweepMode, int32_t& fixedVolume, int32_t& sweepStep, int32_t& sweepDecrease) {
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
    const uint32_t offset = Offset(address);
    if (offset < kRegisterBase) return;  // not an SPU register
    const uint32_t v = value & 0xFFFF;
    registerImage[ImageIndex(address)] = static_cast<uint16_t>(v);
    if (offset & 1) return;

    if (offset < kVoiceEnd) {
        SpuVoice& voice = voices[VoiceOf(address)];
        switch (offset & 0xF) {
        case kVolumeL:
            WriteVolume(v, voice.sweepModeL, voice.fixedVolumeL, voice.sweepStepL, voice.sweepDecreaseL);
            break;
        case kVolumeR:
            WriteVolume(v, voice.sweepModeR, voice.fixedVolumeR, voice.sweepStepR, voice.sweepDecreaseR);
            break;
        case kPitch: voice.pitch = static_cast<int32_t>(v); break;
        case kStartAddress: voice.startAddress = static_cast<int32_t>(v); break;
        case kEnvelope1:
            voice.attackRate = static_cast<int32_t>(bits(v, 8, 7));
            voice.decayRate = static_cast<int32_t>(bits(v, 4, 4));
            voice.sustainLevel = static_cast<int32_t>(bits(v, 0, 4));
            voice.envelopeStep = voice.PhaseStep();
            break;
        case kEnvelope2:
            voice.sustainDecrease = static_cast<int32_t>(bits(v, 14, 1));
            voice.sustainRate = static_cast<int32_t>(bits(v, 6, 7));
            voice.releaseRate = static_cast<int32_t>(bits(v, 0, 5));
            voice.envelopeStep = voice.PhaseStep();
            break;
        case kEnvelopeVolume:
            voice.envelopeVolume = static_cast<int32_t>(v & 0x7FFF);
            voice.envelopeLevel = static_cast<int32_t>(v & 0x7FFF) << 8;
            break;
        case kRepeatAddress: voice.repeatAddress = static_cast<int32_t>(v); break;
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
    case Offset(kMainVolumeL): mixer.mainVolumeL = Volume14(v); break;
    case Offset(kMainVolumeR): mixer.mainVolumeR = Volume14(v); break;
    case Offset(kReverbVolumeL): mixer.reverbVolumeL = Volume15(v); break;
    case Offset(kReverbVolumeR): mixer.reverbVolumeR = Volume15(v); break;
    case Offset(kKeyOn):
    case Offset(kKeyOn + 2):
        forEachSetBit([](SpuVoice& voice) { voice.KeyOn(); });
        PublishVoiceStatus();
        break;
    case Offset(kKeyOff):
    case Offset(kKeyOff + 2): forEachSetBit([](SpuVoice& voice) { voice.KeyOff(); }); break;
    case Offset(kPitchModulation):
    case Offset(kPitchModulation + 2): setFlags(&SpuVoice::pitchModulation); break;
    case Offset(kNoise):
    case Offset(kNoise + 2): setFlags(&SpuVoice::noiseEnabled); break;
    case Offset(kReverb):
    case Offset(kReverb + 2): setFlags(&SpuVoice::reverbEnabled); break;
    case Offset(kVoiceActivity):
    case Offset(kVoiceActivity + 2):
        // A clear bit stops the voice at once; a set bit starts nothing.
        setFlags(&SpuVoice::active);
        for (int b = 0; b < voiceCount; ++b) {
            if (!((v >> b) & 1)) voices[firstVoice + b].envelopePhase = kOff;
        }
        break;
    case Offset(kIrqAddress):
        for (SpuVoice& voice : voices) voice.SetIrqAddress(v);
        irqAddress = static_cast<uint16_t>(v);
        break;
    case Offset(kTransferAddress): transferAddress = v * 8; break;
    case Offset(kTransferData): WriteTransfer(static_cast<uint16_t>(v)); break;
    case Offset(kControl): {
        control = static_cast<uint16_t>(v);
        // Noise clock c: ((c + 1)^5) >> 15 steps per second, 0..32768.
        const int32_t c1 = static_cast<int32_t>(bits(v, 8, 6)) + 1;
        const int32_t rate = (c1 * c1 * c1 * c1 * c1) / 32768;
        for (SpuVoice& voice : voices) voice.noiseRate = rate;
        break;
    }
    case Offset(kStatus): status = static_cast<uint16_t>(v & 0xF800); break;
    // The CD volumes scale both CD sources, XA and audio tracks.
    case Offset(kCdVolumeL): xa.volumeL = cdda.volumeL = Volume15(v); break;
    case Offset(kCdVolumeR): xa.volumeR = cdda.volumeR = Volume15(v); break;
    default: break;  // image only
    }
}

uint16_t SpuCore::ReadRegister(uint32_t address) {
    const uint32_t offset = Offset(address);
    if (offset < kRegisterBase) return 0;
    switch (offset) {
    case Offset(kIrqAddress): return irqAddress;
    case Offset(kTransferAddress): return static_cast<uint16_t>((transferAddress / 8) & 0xFFFF);
    case Offset(kTransferData): return ReadTransfer();
    case Offset(kControl): return control;
    case Offset(kStatus): return static_cast<uint16_t>(status & 0xF800);
    default: return registerImage[ImageIndex(address)];
    }
}

void SpuCore::PublishVoiceStatus() {
    uint32_t activity = 0;
    for (int n = 0; n < kVoiceCount; ++n) {
        const SpuVoice& voice = voices[n];
        registerImage[ImageIndex(Voice(n, kEnvelopeVolume))] = static_cast<uint16_t>(voice.envelopeVolume);
        registerImage[ImageIndex(Voice(n, kRepeatAddress))] = static_cast<uint16_t>(voice.repeatAddress);
        if (voice.active != 0) activity |= 1u << n;
    }
    registerImage[ImageIndex(kVoiceActivity)] = static_cast<uint16_t>(activity & 0xFFFF);
    registerImage[ImageIndex(kVoiceActivity + 2)] = static_cast<uint16_t>(activity >> 16);
}

}  // namespace zarn
