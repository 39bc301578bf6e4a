// The standard model's construction and its side of the registers: what a
// write decodes into the voices and the output stage, what reads come from
// its live state, and the voice status it publishes. Only the low 12 bits of
// an address select a register (voice/RegisterMap.h).
#include "sound/StandardModel.h"

#include "voice/Arith.h"
#include "voice/RegisterMap.h"
#include "xa/XaRing.h"

namespace zarn {

namespace {

using namespace reg;

constexpr uint32_t kVoiceEnd = Offset(kMainVolumeL);

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

StandardModel::StandardModel(const uint8_t* soundRam, uint16_t* registerImage, XaRing& xa, XaRing& cdda,
                             const DriverSettings& settings, const IrqLine& irq)
    : ram_(soundRam), image_(registerImage), xa_(xa), cdda_(cdda), settings_(&settings), irq_(&irq) {
    LinkVoices();
}

void StandardModel::LinkVoices() {
    for (int n = 0; n < kVoiceCount; ++n) {
        voices[n].SetRam(ram_);
        if (n >= 1) voices[n].SetPrevVoice(&voices[n - 1]);
    }
}

void StandardModel::Reset() {
    for (SpuVoice& voice : voices) voice = SpuVoice();
    LinkVoices();
    mixer = MixerState();
    autoGain = 32768;
    autoGainPeak = 0;
    autoGainCount = 0;
    control = 0;
    status = 0;
    irqAddress = 0;
}

void StandardModel::DecodeRegisterWrite(uint32_t address, uint32_t value) {
    const uint32_t offset = Offset(address);
    const uint32_t v = value & 0xFFFF;
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
    case Offset(kCdVolumeL): xa_.volumeL = cdda_.volumeL = Volume15(v); break;
    case Offset(kCdVolumeR): xa_.volumeR = cdda_.volumeR = Volume15(v); break;
    default: break;  // image only
    }
}

uint16_t StandardModel::ReadRegister(uint32_t address) const {
    switch (Offset(address)) {
    case Offset(kIrqAddress): return irqAddress;
    case Offset(kControl): return control;
    case Offset(kStatus): return static_cast<uint16_t>(status & 0xF800);
    default: return image_[ImageIndex(address)];
    }
}

void StandardModel::PublishVoiceStatus() {
    uint32_t activity = 0;
    for (int n = 0; n < kVoiceCount; ++n) {
        const SpuVoice& voice = voices[n];
        image_[ImageIndex(Voice(n, kEnvelopeVolume))] = static_cast<uint16_t>(voice.envelopeVolume);
        image_[ImageIndex(Voice(n, kRepeatAddress))] = static_cast<uint16_t>(voice.repeatAddress);
        if (voice.active != 0) activity |= 1u << n;
    }
    image_[ImageIndex(kVoiceActivity)] = static_cast<uint16_t>(activity & 0xFFFF);
    image_[ImageIndex(kVoiceActivity + 2)] = static_cast<uint16_t>(activity >> 16);
}

}  // namespace zarn
