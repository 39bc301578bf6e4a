#include "sound/ConsoleMixer.h"

#include "sound/ConsoleReverb.h"
#include "voice/ConsoleEnvelope.h"
#include "voice/ConsoleVoice.h"
#include "xa/XaRing.h"

namespace zarn::console {

namespace {

void Capture(const ConsoleBus& bus, uint32_t area, int32_t value, bool touches) {
    const uint32_t a = area + 2u * bus.state->capturePos;
    if (touches) bus.Touch(a >> 3);
    bus.Wr16(a, value);
}

}  // namespace

void ConsoleTick(const ConsoleBus& bus, CdInput& cd, int16_t out[2]) {
    ConsoleState& state = *bus.state;
    // T0
    const uint32_t ctl = bus.Img(reg::kControl);
    const uint32_t dac = bus.Img(reg::kTransferControl);
    int32_t dryL = 0, dryR = 0, wetL = 0, wetR = 0;
    int32_t voiceOut[kVoiceCount];  // VxOUTX: after the envelope, before the volume

    // T1
    NoiseTick(state, ctl);

    // T2: every voice, in order; voice v's pitch modulation reads voice v - 1
    // of this same tick. QUESTION: same tick or the previous one is not known.
    for (int v = 0; v < kVoiceCount; ++v) {
        ConsoleVoice& voice = state.voices[v];
        if ((ctl & kEnable) == 0) {  // SPU disabled: all voices forced silent
            voice.envelopePhase = kConsoleRelease;
            voice.envelopeLevel = 0;
            voice.envelopeCounter = 0;
        }
        if (voice.needDecode) {
            DecodeBlock(bus, v);
            voice.needDecode = 0;
        }
        // The voice reads its block every tick, header and data. QUESTION:
        // the console hits an IRQ address in the second unit only sometimes.
        bus.Touch(voice.blockAddress);
        bus.Touch((voice.blockAddress + 1u) & 0xFFFF);

        // QUESTION: the noise sample is taken as it is, not interpolated.
        const int32_t x = bus.VoiceBit(reg::kNoise, v) ? S16(state.noiseLevel) : Interpolate(voice);
        EnvelopeTick(bus, v);
        voiceOut[v] = Clamp16(Mul15(x, voice.envelopeLevel));

        VolumeTick(bus.Img(reg::Voice(v, reg::kVolumeL)), voice.volumeLevelL, voice.volumeCounterL);
        VolumeTick(bus.Img(reg::Voice(v, reg::kVolumeR)), voice.volumeLevelR, voice.volumeCounterR);
        const int32_t l = Clamp16(Mul15(voiceOut[v], voice.volumeLevelL));
        const int32_t r = Clamp16(Mul15(voiceOut[v], voice.volumeLevelR));
        dryL += l;
        dryR += r;
        if (bus.VoiceBit(reg::kReverb, v)) {
            wetL += l;
            wetR += r;
        }
        AdvancePitch(bus, v, v >= 1 ? voiceOut[v - 1] : 0);
    }

    // T3: mute covers the voices only; CD audio, capture and reverb return
    // go on. QUESTION: whether mute also silences the reverb return.
    if ((ctl & kUnmute) == 0) dryL = dryR = wetL = wetR = 0;

    // T4: CD audio, raw from the rings, scaled by the CD volume registers.
    int32_t cdL = 0, cdR = 0;
    cd.TakeRawFrame(cdL, cdR);
    const int32_t cdOutL = Clamp16(Mul15(cdL, S16(bus.Img(reg::kCdVolumeL))));
    const int32_t cdOutR = Clamp16(Mul15(cdR, S16(bus.Img(reg::kCdVolumeR))));
    if (ctl & kCdEnable) {
        dryL += cdOutL;
        dryR += cdOutR;
    }
    if (ctl & kCdReverb) {
        wetL += cdOutL;
        wetR += cdOutR;
    }

    // T5: capture, whatever SPUCNT says.
    const bool touches = (dac & kCaptureTouches) != 0;
    Capture(bus, kCaptureCdL, cdL, touches);
    Capture(bus, kCaptureCdR, cdR, touches);
    Capture(bus, kCaptureVoice1, voiceOut[1], touches);
    Capture(bus, kCaptureVoice3, voiceOut[3], touches);
    state.capturePos = (state.capturePos + 1) & (ConsoleState::kCaptureSlots - 1);

    // T6
    int32_t rvL, rvR;
    ReverbTick(bus, Clamp16(wetL), Clamp16(wetR), rvL, rvR);

    // T7: the main volume scales the dry mix and the reverb return together.
    VolumeTick(bus.Img(reg::kMainVolumeL), state.mainLevelL, state.mainCounterL);
    VolumeTick(bus.Img(reg::kMainVolumeR), state.mainLevelR, state.mainCounterR);

    // T8
    out[0] = static_cast<int16_t>(Clamp16(Mul15(Clamp16(dryL + rvL), state.mainLevelL)));
    out[1] = static_cast<int16_t>(Clamp16(Mul15(Clamp16(dryR + rvR), state.mainLevelR)));
}

void RenderReference(const ConsoleBus& bus, CdInput& cd, int16_t* out, uint32_t frames, const IrqLine& irq) {
    for (uint32_t frame = 0; frame < frames; ++frame) {
        ConsoleTick(bus, cd, out + 2 * frame);
        CallPendingIrq(*bus.state, irq);
    }
}

void PublishVoiceStatus(const ConsoleState& state, uint16_t* image) {
    const auto word = [image](uint32_t address) -> uint16_t& { return image[ImageIndex(address)]; };
    uint32_t sounding = 0;
    for (int v = 0; v < kVoiceCount; ++v) {
        const ConsoleVoice& voice = state.voices[v];
        word(reg::Voice(v, reg::kEnvelopeVolume)) = static_cast<uint16_t>(voice.envelopeLevel);
        word(reg::Voice(v, reg::kRepeatAddress)) = voice.repeatAddress;
        if (voice.envelopeLevel != 0) sounding |= 1u << v;
    }
    word(reg::kVoiceActivity) = static_cast<uint16_t>(sounding & 0xFFFF);
    word(reg::kVoiceActivity + 2) = static_cast<uint16_t>(sounding >> 16);
}

}  // namespace zarn::console
