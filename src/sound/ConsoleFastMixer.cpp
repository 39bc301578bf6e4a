#include "sound/ConsoleFastMixer.h"

#include <algorithm>

#include "sound/ConsoleEnvelopeSpan.h"
#include "sound/ConsoleMixer.h"
#include "voice/ConsoleTables.h"
#include "voice/ConsoleVoice.h"
#include "xa/XaRing.h"

namespace zarn::console {

namespace {

constexpr int32_t kBlockSamples = ConsoleVoice::kBlockSamples;

// The first tick from now whose capture writes touch the 8-byte unit
// `irqUnit`: the unit holds four slots of its area.
int32_t CaptureTouch(uint16_t capturePos, uint16_t irqUnit) {
    if (irqUnit >= kCaptureBytes / 8) return kNever;
    const int32_t first = static_cast<int32_t>(irqUnit % (kCaptureArea / 8)) * 4;
    return FirstCaptureTick(capturePos, first, first + 3);
}

}  // namespace

const ConsoleKernels* ConsoleKernelsFor(MixPath path) {
    if (path == MixPath::kReference || !MixPathSupported(path)) return nullptr;
    return path == MixPath::kAvx2 ? &kAvx2Kernels : &kSse41Kernels;
}

ConsoleFastMixer::ConsoleFastMixer() {
    for (int i = 0; i < 256; ++i) {
        weights_[i][0] = G[0x0FF - i];  // oldest
        weights_[i][1] = G[0x1FF - i];
        weights_[i][2] = G[0x100 + i];
        weights_[i][3] = G[0x000 + i];  // newest
    }
}

void ConsoleFastMixer::Render(const ConsoleBus& bus, CdInput& cd, int16_t* out, uint32_t frames, const IrqLine& irq) {
    kernels_ = ConsoleKernelsFor(path);
    if (kernels_ == nullptr) {
        RenderReference(bus, cd, out, frames, irq);
        counters.referenceTicks += frames;
        return;
    }
    ConsoleState& state = *bus.state;
    uint32_t done = 0;
    while (done < frames) {
        const int32_t ticks = static_cast<int32_t>(std::min<uint32_t>(frames - done, kSpanTicks));
        const int32_t mixed = MixSpan(bus, cd, out + 2 * done, ticks);
        if (mixed > 0) {
            done += static_cast<uint32_t>(mixed);
            ++counters.spans;
            counters.spanTicks += static_cast<uint64_t>(mixed);
        } else {
            for (int32_t k = 0; k < fallback_; ++k) {
                ConsoleTick(bus, cd, out + 2 * done);
                ++done;
                ++counters.referenceTicks;
                if (state.irqCallPending != 0) break;
            }
        }
        // The host may change anything, so the next span plans afresh.
        CallPendingIrq(state, irq);
    }
}

int32_t ConsoleFastMixer::MixSpan(const ConsoleBus& bus, CdInput& cd, int16_t* out, int32_t ticks) {
    ConsoleState& state = *bus.state;
    fallback_ = 1;
    // An interrupt owed from before the call is paid after its first tick.
    if (state.irqCallPending != 0 || !reverb_.Begin(bus)) return 0;
    int32_t touch = kNever;  // the tick that raises the interrupt
    ticks = Plan(bus, ticks, touch);
    if (ticks < kShortSpan) {
        fallback_ = ticks;
        return 0;
    }
    const uint32_t ctl = bus.Img(reg::kControl);
    uint16_t level = state.noiseLevel;
    int32_t timer = state.noiseTimer;
    for (int32_t t = 0; t < ticks; ++t) {
        NoiseStep(level, timer, ctl);
        noise_[t] = static_cast<int16_t>(level);
        noiseTimer_[t] = timer;
    }
    DecodeAhead(bus, ticks);
    std::fill_n(dryL_, ticks + kTickRoom, 0);
    std::fill_n(dryR_, ticks + kTickRoom, 0);
    std::fill_n(wetL_, ticks + kTickRoom, 0);
    std::fill_n(wetR_, ticks + kTickRoom, 0);
    const int32_t planned = ticks;
    for (int v = 0; v < kVoiceCount; ++v) MixVoice(bus, v, ticks, touch);
    if (ticks < planned) ++counters.cuts;

    FinishVoices(bus, ticks);
    state.noiseLevel = static_cast<uint16_t>(noise_[ticks - 1]);
    state.noiseTimer = noiseTimer_[ticks - 1];
    OutputTicks(bus, cd, out, ticks);
    if (touch < ticks) {
        state.irqFlag = 1;
        state.irqCallPending = 1;
    }
    return ticks;
}

// The span's length before the modulated voices: the first touch of the IRQ
// address by the capture writes, the reverb or a voice with a steady pitch,
// and the first read of a block the span writes.
int32_t ConsoleFastMixer::Plan(const ConsoleBus& bus, int32_t ticks, int32_t& touch) {
    const ConsoleState& state = *bus.state;
    const uint32_t ctl = bus.Img(reg::kControl);
    const uint16_t irqUnit = bus.Img(reg::kIrqAddress);
    const bool armed = (ctl & (kEnable | kIrqEnable)) == (kEnable | kIrqEnable) && state.irqFlag == 0;
    if (armed) {
        if (bus.Img(reg::kTransferControl) & kCaptureTouches) touch = CaptureTouch(state.capturePos, irqUnit);
        touch = std::min(touch, reverb_.FirstTouch(irqUnit, ticks));
        if (touch < ticks) ticks = touch + 1;
    }
    guard_.Reset(armed, irqUnit, state.capturePos);
    reverb_.AddWrites(guard_);
    for (int v = 0; v < kVoiceCount; ++v) {
        const ConsoleVoice& voice = state.voices[v];
        start_[v] = voice;
        modulated_[v] = v > 0 && bus.VoiceBit(reg::kPitchModulation, v);
        if (modulated_[v]) continue;
        step_[v] = static_cast<int32_t>(PitchStep(bus.Img(reg::Voice(v, reg::kPitch)), false, 0));
        const PitchCounts pitch = {static_cast<int32_t>(voice.pitchCounter), step_[v], nullptr};
        ticks = chains_[v].Walk(bus.ram, voice, pitch, guard_, ticks, touch);
    }
    return ticks;
}

// The stream's first samples: those the voice holds (its block, when
// decoded), or the three before the block it decodes first.
void ConsoleFastMixer::StartStream(int v) {
    const ConsoleVoice& voice = start_[v];
    if (voice.needDecode) {
        std::copy_n(voice.samples + kBlockSamples, ConsoleVoice::kHistory, streams_[v]);
    } else {
        std::copy_n(voice.samples, ConsoleVoice::kHistory + kBlockSamples, streams_[v]);
    }
}

// The blocks of the voices with a steady pitch, all voices side by side.
void ConsoleFastMixer::DecodeAhead(const ConsoleBus& bus, int32_t ticks) {
    int32_t count = 0;
    for (int v = 0; v < kVoiceCount; ++v) {
        if (modulated_[v]) continue;
        StartStream(v);
        const VoiceChain& chain = chains_[v];
        const int32_t first = chain.blocks[0].decoded ? 0 : 1;
        int32_t blocks = 0;
        while (first + blocks < chain.blockCount && chain.blocks[first + blocks].from < ticks &&
               chain.blocks[first + blocks].decoded) {
            units_[v][blocks] = chain.blocks[first + blocks].unit;
            ++blocks;
        }
        if (blocks > 0)
            jobs_[count++] = {units_[v], blocks, streams_[v] + first * kBlockSamples + ConsoleVoice::kHistory};
    }
    kernels_->decode(bus.ram, jobs_, count);
}

void ConsoleFastMixer::MixVoice(const ConsoleBus& bus, int v, int32_t& ticks, int32_t& touch) {
    ConsoleVoice& voice = mixed_[v];
    voice = start_[v];
    const int32_t start = static_cast<int32_t>(voice.pitchCounter);
    const int32_t* counts = nullptr;  // a steady pitch counts from start
    if (modulated_[v]) {
        int32_t* position = positions_[v];
        const uint32_t pitch = bus.Img(reg::Voice(v, reg::kPitch));
        const int16_t* previous = outs_[v - 1];
        position[0] = start;
        for (int32_t t = 0; t < ticks; ++t) {
            position[t + 1] = position[t] + static_cast<int32_t>(PitchStep(pitch, true, previous[t]));
        }
        VoiceChain& chain = chains_[v];
        ticks = chain.Walk(bus.ram, voice, {start, 0, position}, guard_, ticks, touch);
        StartStream(v);
        for (int32_t j = 0; j < chain.blockCount && chain.blocks[j].from < ticks; ++j) {
            if (chain.blocks[j].decoded) DecodeSamples(bus.ram, chain.blocks[j].unit, streams_[v] + j * kBlockSamples);
        }
        std::fill_n(position + ticks + 1, kTickRoom, position[ticks]);
        counts = position;
    }

    const uint32_t ctl = bus.Img(reg::kControl);
    const EnvelopeEvents events = {mutes_, chains_[v].Mutes(ticks, mutes_), (ctl & kEnable) == 0};
    TickLevels envelope = {envelope_, 0}, volumeL = {volumeL_, 0}, volumeR = {volumeR_, 0};
    if (EnvelopeSpan(voice, bus.Img(reg::Voice(v, reg::kEnvelope1)), bus.Img(reg::Voice(v, reg::kEnvelope2)), events,
                     ticks, envelope_, envelope.level))
        envelope.perTick = nullptr;
    if (VolumeSpan(bus.Img(reg::Voice(v, reg::kVolumeL)), voice.volumeLevelL, voice.volumeCounterL, ticks, volumeL_,
                   volumeL.level))
        volumeL.perTick = nullptr;
    if (VolumeSpan(bus.Img(reg::Voice(v, reg::kVolumeR)), voice.volumeLevelR, voice.volumeCounterR, ticks, volumeR_,
                   volumeR.level))
        volumeR.perTick = nullptr;
    mixedTicks_[v] = ticks;

    // Mute (SPUCNT bit 14 clear) keeps the voices out of both sums; their
    // outputs still go to modulation and capture.
    const bool sums = (ctl & kUnmute) != 0;
    const bool reverb = sums && bus.VoiceBit(reg::kReverb, v);
    if (envelope.perTick == nullptr && envelope.level == 0) {
        // Silent in every tick: its outputs are 0 and it adds nothing.
        const bool outputsRead = v == 1 || v == 3 || (v + 1 < kVoiceCount && modulated_[v + 1]);
        if (outputsRead) FillLevels(outs_[v], ticks, 0);
        return;
    }
    const ConsoleVoiceFrames frames = {streams_[v],
                                       counts,
                                       start,
                                       step_[v],
                                       weights_,
                                       bus.VoiceBit(reg::kNoise, v) ? noise_ : nullptr,
                                       envelope,
                                       volumeL,
                                       volumeR,
                                       outs_[v],
                                       sums ? dryL_ : nullptr,
                                       sums ? dryR_ : nullptr,
                                       reverb ? wetL_ : nullptr,
                                       reverb ? wetR_ : nullptr,
                                       ticks};
    kernels_->mixVoice(frames);
}

// Every voice's state after the span's `ticks` ticks. A voice mixed for more
// (before a cut) runs its envelope and volumes again to the span's end.
void ConsoleFastMixer::FinishVoices(const ConsoleBus& bus, int32_t ticks) {
    ConsoleState& state = *bus.state;
    const uint32_t ctl = bus.Img(reg::kControl);
    for (int v = 0; v < kVoiceCount; ++v) {
        ConsoleVoice& voice = state.voices[v];
        ConsoleVoice& after = mixed_[v];
        if (mixedTicks_[v] != ticks) {
            after = start_[v];
            const EnvelopeEvents events = {mutes_, chains_[v].Mutes(ticks, mutes_), (ctl & kEnable) == 0};
            int16_t level;
            EnvelopeSpan(after, bus.Img(reg::Voice(v, reg::kEnvelope1)), bus.Img(reg::Voice(v, reg::kEnvelope2)),
                         events, ticks, nullptr, level);
            VolumeSpan(bus.Img(reg::Voice(v, reg::kVolumeL)), after.volumeLevelL, after.volumeCounterL, ticks, nullptr,
                       level);
            VolumeSpan(bus.Img(reg::Voice(v, reg::kVolumeR)), after.volumeLevelR, after.volumeCounterR, ticks, nullptr,
                       level);
        }
        voice.envelopePhase = after.envelopePhase;
        voice.envelopeLevel = after.envelopeLevel;
        voice.envelopeCounter = after.envelopeCounter;
        voice.volumeLevelL = after.volumeLevelL;
        voice.volumeLevelR = after.volumeLevelR;
        voice.volumeCounterL = after.volumeCounterL;
        voice.volumeCounterR = after.volumeCounterR;
        const int32_t count =
            modulated_[v] ? positions_[v][ticks] : static_cast<int32_t>(start_[v].pitchCounter) + ticks * step_[v];
        chains_[v].Finish(voice, state.endx, v, ticks, count, streams_[v]);
    }
}

// ConsoleTick's T3-T8 for the span's ticks: the voices' sums with the CD
// input, the capture writes, the reverb and the main volume. The reverb's
// filters run over the whole span; its network runs tick by tick, after
// each tick's capture writes where the work area reaches into the capture
// areas.
void ConsoleFastMixer::OutputTicks(const ConsoleBus& bus, CdInput& cd, int16_t* out, int32_t ticks) {
    ConsoleState& state = *bus.state;
    const uint32_t ctl = bus.Img(reg::kControl);
    const int32_t cdVolumeL = S16(bus.Img(reg::kCdVolumeL)), cdVolumeR = S16(bus.Img(reg::kCdVolumeR));
    const bool cdDry = (ctl & kCdEnable) != 0, cdWet = (ctl & kCdReverb) != 0;
    int16_t* inL = reverb_.Input(0);
    int16_t* inR = reverb_.Input(1);
    for (int32_t t = 0; t < ticks; ++t) {
        int32_t cdL = 0, cdR = 0;
        cd.TakeRawFrame(cdL, cdR);
        cdL_[t] = static_cast<int16_t>(cdL);
        cdR_[t] = static_cast<int16_t>(cdR);
        const int32_t cdOutL = Clamp16(Mul15(cdL, cdVolumeL)), cdOutR = Clamp16(Mul15(cdR, cdVolumeR));
        if (cdDry) {
            dryL_[t] += cdOutL;
            dryR_[t] += cdOutR;
        }
        inL[t] = static_cast<int16_t>(Clamp16(wetL_[t] + (cdWet ? cdOutL : 0)));
        inR[t] = static_cast<int16_t>(Clamp16(wetR_[t] + (cdWet ? cdOutR : 0)));
    }
    reverb_.Decimate(*kernels_, ticks);

    uint32_t capture = state.capturePos;
    const auto captureTick = [&](int32_t t) {
        const uint32_t at = 2 * capture;
        bus.Wr16(kCaptureCdL + at, cdL_[t]);
        bus.Wr16(kCaptureCdR + at, cdR_[t]);
        bus.Wr16(kCaptureVoice1 + at, outs_[1][t]);
        bus.Wr16(kCaptureVoice3 + at, outs_[3][t]);
        capture = (capture + 1) & (ConsoleState::kCaptureSlots - 1);
    };
    if (reverb_.Below(kCaptureBytes)) {
        for (int32_t t = 0; t < ticks; ++t) {
            captureTick(t);
            reverb_.Step(bus.ram);
        }
    } else {
        for (int32_t t = 0; t < ticks; ++t) captureTick(t);
        for (int32_t t = 0; t < ticks; ++t) reverb_.Step(bus.ram);
    }
    state.capturePos = static_cast<uint16_t>(capture);
    reverb_.Interpolate(*kernels_, rvL_, rvR_);
    reverb_.End(state);

    int16_t mainL, mainR;
    if (VolumeSpan(bus.Img(reg::kMainVolumeL), state.mainLevelL, state.mainCounterL, ticks, mainL_, mainL))
        FillLevels(mainL_, ticks, mainL);
    if (VolumeSpan(bus.Img(reg::kMainVolumeR), state.mainLevelR, state.mainCounterR, ticks, mainR_, mainR))
        FillLevels(mainR_, ticks, mainR);
    for (int32_t t = 0; t < ticks; ++t) {
        out[2 * t] = static_cast<int16_t>(Clamp16(Mul15(Clamp16(dryL_[t] + rvL_[t]), mainL_[t])));
        out[2 * t + 1] = static_cast<int16_t>(Clamp16(Mul15(Clamp16(dryR_[t] + rvR_[t]), mainR_[t])));
    }
}

}  // namespace zarn::console
