// One output frame: the 24 voices, CD-XA and CD audio, main volume, reverb,
// automatic gain and the symmetric 16-bit clamp.
//
// All arithmetic is 32-bit two's complement with arithmetic shifts and
// divisions that truncate toward zero. Three products of the output stage
// (main volume, reverb return, automatic gain) are taken in 64 bits and kept
// as their low 32 bits: in 32 bits they would wrap as soon as a few loud
// voices sound together, turning a saturating mix into noise.
#include "settings/DriverSettings.h"
#include "sound/StandardModel.h"
#include "voice/Envelope.h"
#include "voice/VoiceGenerator.h"
#include "xa/XaRing.h"

namespace zarn {

namespace {

constexpr int32_t kMaxVolume = SpuVoice::kMaxVolume;

// Fixed volume, or a sweep that moves the same amount every frame.
inline int32_t NextVolume(int32_t current, int32_t sweepMode, int32_t fixedVolume, int32_t sweepStep,
                          int32_t sweepDecrease) {
    if (sweepMode == 0) return fixedVolume << 10;
    const int32_t next = current + (1 - 2 * sweepDecrease) * sweepStep * 4;
    return next > kMaxVolume ? kMaxVolume : next < -kMaxVolume ? -kMaxVolume : next;
}

}  // namespace

// Steers the positive peak of each 1024-frame window towards 24576, one
// eighth of the way per window; 32768 is unity.
inline void StandardModel::AutoGain(int32_t& dryL, int32_t& dryR) {
    if (dryL > autoGainPeak) autoGainPeak = dryL;
    if (dryR > autoGainPeak) autoGainPeak = dryR;
    if (++autoGainCount >= 1024) {
        const int32_t target = autoGainPeak > 24576 ? 0x30000000 / autoGainPeak : 32767;
        autoGainPeak = 0;
        autoGainCount = 0;
        autoGain = (7 * autoGain + target) >> 3;
    }
    dryL = mulShift64(autoGain, dryL, 15);
    dryR = mulShift64(autoGain, dryR, 15);
}

void StandardModel::AutoGainFrames(int32_t* dryL, int32_t* dryR, int32_t frames) {
    for (int32_t f = 0; f < frames; ++f) AutoGain(dryL[f], dryR[f]);
}

// The output stage of one frame, from the sum of the voices (dry) and of
// those that feed the reverb (send): XA, CD audio, main volume, reverb,
// automatic gain and the clamp.
inline void StandardModel::FinishFrame(int32_t dryL, int32_t dryR, int32_t sendL, int32_t sendR, int16_t out[2]) {
    const DriverSettings& settings = *settings_;
    for (XaRing* cd : {&xa_, &cdda_}) {
        int32_t cdL, cdR;
        if (cd->TakeFrame(cdL, cdR)) {
            dryL = wrapAdd(dryL, cdL);
            dryR = wrapAdd(dryR, cdR);
        }
    }

    dryL = mulShift64(mixer.mainVolumeL, dryL, 14);
    dryR = mulShift64(mixer.mainVolumeR, dryR, 14);

    if (settings.EnableReverb != 0) {
        // One feedback delay of 4096 frames; feedback 0.75 x ReverbVolume %.
        // Each side's return also carries half of the other side's echo.
        // With ReverbVolume above 133 % the echo grows and wraps at 32 bits.
        const int32_t percent = settings.ReverbVolume;
        int32_t* line = mixer.reverbLine + mixer.reverbCursor;
        const int32_t a = wrapMul(wrapMul(line[0], 192) >> 8, percent) / 100;
        const int32_t b = wrapMul(wrapMul(line[1], 192) >> 8, percent) / 100;
        line[0] = wrapAdd(sendL, a);
        line[1] = wrapAdd(sendR, b);
        mixer.reverbCursor = (mixer.reverbCursor + 2) & (MixerState::kReverbEntries - 1);
        dryL = wrapAdd(dryL, mulShift64(wrapAdd(b >> 1, a), mixer.reverbVolumeL, 14));
        dryR = wrapAdd(dryR, mulShift64(wrapAdd(a >> 1, b), mixer.reverbVolumeR, 14));
    }

    if (settings.EnableAutoGain != 0) AutoGain(dryL, dryR);

    out[0] = static_cast<int16_t>(saturate16(dryL));
    out[1] = static_cast<int16_t>(saturate16(dryR));
    mixer.dryL = mixer.dryR = 0;
    mixer.reverbSendL = mixer.reverbSendR = 0;
}

void StandardModel::MixFrame(int16_t out[2]) {
    const DriverSettings& settings = *settings_;
    const bool noiseAndFm = settings.EnableNoiseAndFM != 0;
    const IrqLine* irq = (settings.EnableSpuIrq != 0 && irq_->handler != nullptr) ? irq_ : nullptr;

    // The sums live in the mixer, not in locals: a render from inside the
    // interrupt function puts out the frame summed so far, and this one goes
    // on from the zeros it leaves.
    //
    // Ascending order: a modulated voice reads its predecessor's output of
    // this same frame.
    for (SpuVoice& voice : voices) {
        if (voice.envelopePhase == kOff) {
            voice.active = 0;
            continue;
        }
        voice.active = 1;
        StepBlocks(voice, irq);
        if (voice.needDecode) DecodeBlock(voice);
        voice.currentVolumeL = NextVolume(voice.currentVolumeL, voice.sweepModeL, voice.fixedVolumeL, voice.sweepStepL,
                                          voice.sweepDecreaseL);
        voice.currentVolumeR = NextVolume(voice.currentVolumeR, voice.sweepModeR, voice.fixedVolumeR, voice.sweepStepR,
                                          voice.sweepDecreaseR);
        EnvelopeStep(voice);
        const int32_t sample = ReadSample(voice, noiseAndFm);
        voice.lastOutput = wrapMul(voice.envelopeVolume, sample) >> 15;
        const int32_t left = wrapMul(voice.currentVolumeL >> 10, voice.lastOutput) >> 14;
        const int32_t right = wrapMul(voice.currentVolumeR >> 10, voice.lastOutput) >> 14;
        mixer.dryL = wrapAdd(mixer.dryL, left);
        mixer.dryR = wrapAdd(mixer.dryR, right);
        if (voice.reverbEnabled != 0) {
            mixer.reverbSendL = wrapAdd(mixer.reverbSendL, left);
            mixer.reverbSendR = wrapAdd(mixer.reverbSendR, right);
        }
        AdvancePitch(voice, noiseAndFm);
    }

    FinishFrame(mixer.dryL, mixer.dryR, mixer.reverbSendL, mixer.reverbSendR, out);
}

void StandardModel::Render(int16_t* out, uint32_t frames) {
    if (const SpanKernels* kernels = KernelsFor(mixPath)) {
        fastMixer.Render(*this, out, frames, *kernels);
    } else {
        for (uint32_t f = 0; f < frames; ++f) MixFrame(out + 2 * f);
    }
}

}  // namespace zarn
