#include "sound/FastMixer.h"

#include <algorithm>
#include <tuple>

#include "settings/DriverSettings.h"
#include "sound/StandardModel.h"
#include "voice/NoiseRandom.h"
#include "voice/VoiceGenerator.h"
#include "xa/XaRing.h"

namespace zarn {

namespace {

// A span costs about as much as ten frames of MixFrame before its first
// frame: shorter spans go to MixFrame.
constexpr int32_t kShortestSpan = 16;
// While interrupts come too close together for spans, MixFrame goes on
// without planning for a while: 16 frames after the first plan that fails,
// twice as long after each further one, 512 (11.6 ms) at most.
constexpr int32_t kLongestHoldOff = 512;

// Mixed frames leave the position below two blocks (one step at most, then
// an advance below one block) and the pitch is a 16-bit register.
bool CanPlan(const SpuVoice& voice) {
    return voice.pitchCounter >= 0 && voice.pitchCounter < 2 * kBlockEnd && voice.pitch >= 0 && voice.pitch <= kMaxStep;
}

int32_t ClampVolume(int32_t volume) { return std::clamp(volume, -SpuVoice::kMaxVolume, SpuVoice::kMaxVolume); }

// The volume before the span and its change per frame, as MixFrame moves
// currentVolume: fixed, or swept by the same amount every frame.
void Volume(int32_t current, int32_t sweepMode, int32_t fixedVolume, int32_t sweepStep, int32_t sweepDecrease,
            int32_t& volume, int32_t& sweep) {
    volume = sweepMode == 0 ? fixedVolume << 10 : current;
    sweep = sweepMode == 0 ? 0 : (1 - 2 * sweepDecrease) * sweepStep * 4;
}

// The noise of one voice over its frames, with the generator's state in
// registers.
void NoiseFrames(SpuVoice& voice, int32_t frames, int32_t* noise) {
    int32_t counter = voice.noiseCounter, tick = voice.noiseTick, value = voice.noiseValue;
    for (int32_t f = 0; f < frames; ++f) noise[f] = NoiseStep(counter, tick, value, voice.noiseRate);
    std::tie(voice.noiseCounter, voice.noiseTick, voice.noiseValue) = std::tuple(counter, tick, value);
}

}  // namespace

void FastMixer::Render(StandardModel& model, int16_t* out, uint32_t frames, const SpanKernels& kernels) {
    kernels_ = &kernels;
    int32_t limit = kSpanFrames;
    uint32_t done = 0;
    const auto exactly = [&](int32_t count) {
        for (int32_t f = 0; f < count; ++f) model.MixFrame(out + 2 * (done + f));
        done += count;
        counters.exactFrames += count;
    };
    while (done < frames) {
        const int32_t wanted = static_cast<int32_t>(std::min<uint32_t>(frames - done, limit));
        if (holdOffLeft_ > 0) {
            const int32_t count = std::min(wanted, holdOffLeft_);
            holdOffLeft_ -= count;
            exactly(count);
            continue;
        }
        const int32_t span = Plan(model, wanted);
        limit = kSpanFrames;
        if (span < kShortestSpan) {
            if (span < wanted) {  // cut short, not by the end of the call
                holdOff_ = std::clamp(2 * holdOff_, kShortestSpan, kLongestHoldOff);
                holdOffLeft_ = holdOff_;
            }
            exactly(std::max(span, 1));
            continue;
        }
        holdOff_ = 0;
        const int32_t mixed = MixSpan(model, span);
        if (mixed < span) {  // put back; mix again up to the interrupt
            limit = mixed;
            ++counters.remixes;
            continue;
        }
        FinishSpan(model, out + 2 * done, span);
        done += span;
        counters.spanFrames += span;
        ++counters.spans;
        if (irqNext_ && done < frames) exactly(1);  // the interrupt's frame, known without planning it
    }
}

// The span's length, at most `frames`: shorter when an interrupt or a noise
// voice's end comes first; 0 when frame 0 must go to MixFrame.
int32_t FastMixer::Plan(StandardModel& model, int32_t frames) {
    const DriverSettings& settings = *model.settings_;
    noiseAndFm_ = settings.EnableNoiseAndFM != 0;
    irqOn_ = settings.EnableSpuIrq != 0 && model.irq_->handler != nullptr;
    int noiseVoices = 0;
    for (int n = 0; n < kVoiceCount; ++n) {
        const SpuVoice& voice = model.voices[n];
        VoicePlan& plan = plans_[n];
        plan.sounding = voice.envelopePhase != kOff;
        if (!plan.sounding) continue;
        if (!CanPlan(voice)) return 0;
        plan.modulated = noiseAndFm_ && voice.pitchModulation != 0 && voice.prevVoice != nullptr;
        plan.noise = noiseAndFm_ && voice.noiseEnabled != 0;
        plan.decodeFirst = voice.needDecode != 0 && voice.pitchCounter < kBlockEnd;
        plan.endFrame = INT32_MAX;
        noiseVoices += plan.noise;
    }
    dealNoise_ = noiseVoices >= 2;

    int32_t span = frames;
    int32_t irqFrame = INT32_MAX;  // the first frame in which a voice with a steady pitch plays out the IRQ block
    remixVoices_ = 0;
    for (int n = 0; n < kVoiceCount; ++n) {
        const SpuVoice& voice = model.voices[n];
        VoicePlan& plan = plans_[n];
        if (!plan.sounding) continue;
        const int32_t start = voice.pitchCounter;
        if (plan.modulated) {
            // Its steps are known once the voice before it is mixed (MixVoice
            // checks them); only a step in frame 0 is certain now.
            if (irqOn_ && start >= kBlockEnd && IsIrqBlock(voice.irqAddress, voice.blockAddress)) return 0;
            if (irqOn_) remixVoices_ = n + 1;
            // Its blocks are decoded ahead as far as 1.5 times its pitch
            // reaches (a modulator within +-16384); MixVoice decodes any further.
            const int32_t likely = std::min(kMaxSteps, StepsWithin(start, voice.pitch + voice.pitch / 2, span));
            if (!(dealNoise_ && plan.noise)) {
                WalkChain(voice, likely, false, plan.chain);
                plan.ahead = plan.chain.steps;
                continue;
            }
            // A dealt noise voice must not fall silent before the span's last
            // frame: end the span at the earliest frame its flags could do so,
            // advancing kMaxStep a frame (nothing at pitch 0).
            const int32_t pitch = std::min(voice.pitch, 1) * kMaxStep;
            WalkChain(voice, StepsWithin(start, pitch, span), false, plan.chain, true);
            const int32_t end = plan.chain.endStep != 0 ? StepFrame(start, pitch, plan.chain.endStep) : span;
            if (end < span) span = end + 1;
            plan.ahead = std::min(plan.chain.steps, likely);
            continue;
        }
        WalkChain(voice, StepsWithin(start, voice.pitch, span), irqOn_, plan.chain);
        if (plan.chain.endStep != 0) plan.endFrame = StepFrame(start, voice.pitch, plan.chain.endStep);
        if (plan.chain.irqStep != 0) irqFrame = std::min(irqFrame, StepFrame(start, voice.pitch, plan.chain.irqStep));
        if (irqFrame < kShortestSpan) return irqFrame;  // too short a span: no need to plan on
    }
    irqNext_ = irqFrame <= span;
    span = std::min(span, irqFrame);
    if (span == 0) return 0;

    for (int n = 0; n < kVoiceCount; ++n) {
        VoicePlan& plan = plans_[n];
        if (!plan.sounding) continue;
        if (dealNoise_ && plan.noise) {
            // A modulated noise voice cannot end before the span's last frame.
            SpuVoice probe = model.voices[n];
            plan.sounds = SoundingFrames(probe, span, plan.modulated ? span : plan.endFrame, envelope_, *kernels_);
        }
    }
    return span;
}

// Mixes every voice over the span into the sums. Returns `frames`, or the
// frame before which it must be mixed again, with the voices put back.
int32_t FastMixer::MixSpan(StandardModel& model, int32_t frames) {
    const uint32_t randomState = NoiseRandomState();
    // A remix puts back the voices mixed up to a modulated one, and the
    // dealt noise voices.
    const int saved = dealNoise_ && remixVoices_ > 0 ? kVoiceCount : remixVoices_;
    std::copy(model.voices, model.voices + saved, saved_);
    for (int32_t* sums : {dryL_, dryR_, sendL_, sendR_}) std::fill_n(sums, frames + kVectorRoom, 0);
    // The sums MixFrame starts from (0 between frames).
    dryL_[0] = model.mixer.dryL;
    dryR_[0] = model.mixer.dryR;
    sendL_[0] = model.mixer.reverbSendL;
    sendR_[0] = model.mixer.reverbSendR;

    if (dealNoise_) DealNoise(model, frames);
    DecodeAhead(model, frames);
    for (int n = 0; n < kVoiceCount; ++n) {
        const int32_t mixed = MixVoice(model, n, frames);
        if (mixed < frames) {
            std::copy(saved_, saved_ + saved, model.voices);
            SetNoiseRandomState(randomState);
            return mixed;
        }
    }
    return frames;
}

// MixFrame's output stage over the span's sums: XA, CD audio, main volume,
// reverb, automatic gain, the clamp.
void FastMixer::FinishSpan(StandardModel& model, int16_t* out, int32_t frames) {
    const DriverSettings& settings = *model.settings_;
    MixerState& mixer = model.mixer;
    for (XaRing* cd : {&model.xa_, &model.cdda_}) {
        for (int32_t f = 0; f < frames; ++f) {
            int32_t left, right;
            if (!cd->TakeFrame(left, right)) break;  // empty until the host's next block
            dryL_[f] = wrapAdd(dryL_[f], left);
            dryR_[f] = wrapAdd(dryR_[f], right);
        }
    }
    OutputFrames stage{dryL_,
                       dryR_,
                       sendL_,
                       sendR_,
                       nullptr,
                       mixer.mainVolumeL,
                       mixer.mainVolumeR,
                       mixer.reverbVolumeL,
                       mixer.reverbVolumeR,
                       settings.ReverbVolume,
                       frames};
    if (settings.EnableReverb == 0) {
        kernels_->finishFrames(stage);
    } else {
        // The line in pieces that end at its end.
        for (int32_t done = 0; done < frames; done += stage.frames) {
            stage.frames = std::min(frames - done, (MixerState::kReverbEntries - mixer.reverbCursor) / 2);
            std::tie(stage.dryL, stage.dryR, stage.sendL, stage.sendR) =
                std::tuple(dryL_ + done, dryR_ + done, sendL_ + done, sendR_ + done);
            stage.line = mixer.reverbLine + mixer.reverbCursor;
            kernels_->finishFrames(stage);
            mixer.reverbCursor = (mixer.reverbCursor + 2 * stage.frames) & (MixerState::kReverbEntries - 1);
        }
    }
    if (settings.EnableAutoGain != 0) model.AutoGainFrames(dryL_, dryR_, frames);
    kernels_->storeFrames(dryL_, dryR_, out, frames);
    mixer.dryL = mixer.dryR = 0;
    mixer.reverbSendL = mixer.reverbSendR = 0;
}

// The noise of the span in MixFrame's order: frame by frame, each frame's
// draws in ascending voice order.
void FastMixer::DealNoise(StandardModel& model, int32_t frames) {
    int noisy[kVoiceCount];
    int count = 0;
    for (int n = 0; n < kVoiceCount; ++n) {
        if (plans_[n].sounding && plans_[n].noise) noisy[count++] = n;
    }
    for (int32_t f = 0; f < frames; ++f) {
        for (int i = 0; i < count; ++i) {
            const int n = noisy[i];
            if (f < plans_[n].sounds) noise_[n][f] = NoiseSample(model.voices[n]);
        }
    }
}

// The blocks of every voice, decoded side by side: as far as a voice with a
// steady pitch gets, as far as a modulated one likely gets.
void FastMixer::DecodeAhead(StandardModel& model, int32_t frames) {
    DecodeJob jobs[kVoiceCount];
    int32_t count = 0;
    for (int n = 0; n < kVoiceCount; ++n) {
        VoicePlan& plan = plans_[n];
        if (!plan.sounding) continue;
        const SpuVoice& voice = model.voices[n];
        if (!plan.modulated)
            plan.ahead = std::min(plan.chain.steps, StepsWithin(voice.pitchCounter, voice.pitch, frames));
        // The samples the voice holds, or, when its block is due, the one
        // sample it keeps of the block before.
        int32_t* stream = streams_[n];
        if (plan.decodeFirst) {
            stream[0] = voice.samples[SpuVoice::kBlockSamples];
        } else {
            std::copy(voice.samples, voice.samples + SpuVoice::kBlockSamples + 1, stream);
        }
        const DecodeJob job = StreamJob(voice, n, plan.decodeFirst ? 0 : 1, plan.ahead + 1);
        if (job.count > 0) jobs[count++] = job;
    }
    kernels_->decode(model.ram_, jobs, count);
}

// Decoding the blocks of steps from..to - 1 into the voice's stream: step k's
// block at 28 k + 1 (step 0: the block the voice is in, due in frame 0),
// after the history the block before left.
DecodeJob FastMixer::StreamJob(const SpuVoice& voice, int n, int32_t from, int32_t to) {
    constexpr int kSamples = SpuVoice::kBlockSamples;
    int32_t* stream = streams_[n];
    const bool first = from == (plans_[n].decodeFirst ? 0 : 1);
    return {plans_[n].chain.block + from, to - from, stream + kSamples * from + 1,
            first ? voice.history1 : stream[kSamples * from], first ? voice.history2 : stream[kSamples * from - 1]};
}

// One voice over the span. Returns `frames`, or the frame in which the voice
// (pitch-modulated) plays out the IRQ block: the span must end before it.
int32_t FastMixer::MixVoice(StandardModel& model, int n, int32_t frames) {
    SpuVoice& voice = model.voices[n];
    VoicePlan& plan = plans_[n];
    // The next voice reads this one's output of every frame when modulated.
    const bool modulates = n + 1 < kVoiceCount && plans_[n + 1].sounding && plans_[n + 1].modulated;
    if (!plan.sounding) {
        voice.active = 0;
        if (modulates) std::fill_n(lastOutput_, frames, voice.lastOutput);
        return frames;
    }

    // Read positions, and the blocks they reach.
    Chain& chain = plan.chain;
    int32_t endFrame = plan.endFrame;
    int32_t irqFrame = frames;
    if (plan.modulated) {
        // lastOutput_ holds the previous voice's output of every frame.
        kernels_->modulatedPositions(voice.pitchCounter, voice.pitch, lastOutput_, frames, position_);
        WalkChain(voice, position_[frames - 1] / kBlockEnd, irqOn_, chain);
        endFrame = chain.endStep != 0 ? StepFrame(position_, frames, chain.endStep) : INT32_MAX;
        if (chain.irqStep != 0) irqFrame = StepFrame(position_, frames, chain.irqStep);
    } else {
        kernels_->fillPositions(position_, voice.pitchCounter, voice.pitch, frames + 1);
    }

    // The envelope, and the frames in which the voice sounds.
    int32_t sounds;
    if (irqFrame < frames) {
        // It reaches the IRQ block in frame irqFrame unless it falls silent first.
        sounds = SoundingFrames(voice, irqFrame, endFrame, envelope_, *kernels_);
        if (sounds == irqFrame && voice.envelopePhase != kOff) return irqFrame;
    } else {
        sounds = SoundingFrames(voice, frames, endFrame, envelope_, *kernels_);
    }
    const int32_t steps = position_[sounds - 1] / kBlockEnd;

    if (steps > plan.ahead) {  // modulated, and further than likely
        const DecodeJob job = StreamJob(voice, n, plan.ahead + 1, steps + 1);
        int32_t history1 = job.history1;
        int32_t history2 = job.history2;
        for (int32_t b = 0; b < job.count; ++b) {
            DecodeSamples(voice.ram, job.blocks[b], history1, history2, job.out + b * SpuVoice::kBlockSamples);
        }
    }
    const int32_t* noise = nullptr;
    if (plan.noise) {
        if (!dealNoise_) NoiseFrames(voice, sounds, noise_[n]);
        noise = noise_[n];
    }

    // The frames themselves. Past the last sounding frame the kernel reads
    // positions that stay inside the decoded stream.
    const int32_t next = position_[sounds];
    std::fill_n(position_ + sounds, kVectorRoom, position_[sounds - 1]);
    VoiceFrames mix{position_,
                    envelope_,
                    noise,
                    streams_[n],
                    0,
                    0,
                    0,
                    0,
                    sounds,
                    plan.modulated ? -1 : voice.pitch,
                    voice.reverbEnabled != 0};
    Volume(voice.currentVolumeL, voice.sweepModeL, voice.fixedVolumeL, voice.sweepStepL, voice.sweepDecreaseL,
           mix.volumeL, mix.sweepL);
    Volume(voice.currentVolumeR, voice.sweepModeR, voice.fixedVolumeR, voice.sweepStepR, voice.sweepDecreaseR,
           mix.volumeR, mix.sweepR);
    voice.lastOutput = kernels_->mixVoice(mix, {dryL_, dryR_, sendL_, sendR_}, modulates ? lastOutput_ : nullptr);

    // The state the voice leaves its last sounding frame with.
    voice.active = sounds == frames ? 1 : 0;
    voice.pitchCounter = next - steps * kBlockEnd;
    voice.blockAddress = chain.block[steps];
    voice.repeatAddress = chain.repeat[steps];
    if (steps > 0 || plan.decodeFirst) {
        const int32_t* held = streams_[n] + steps * SpuVoice::kBlockSamples;
        std::copy(held, held + SpuVoice::kBlockSamples + 1, voice.samples);
        voice.history1 = held[SpuVoice::kBlockSamples];
        voice.history2 = held[SpuVoice::kBlockSamples - 1];
    }
    voice.needDecode = 0;
    voice.currentVolumeL = ClampVolume(mix.volumeL + sounds * mix.sweepL);
    voice.currentVolumeR = ClampVolume(mix.volumeR + sounds * mix.sweepR);
    if (modulates) std::fill(lastOutput_ + sounds, lastOutput_ + frames, voice.lastOutput);
    return frames;
}

bool MixPathSupported(MixPath path) {
    __builtin_cpu_init();
    switch (path) {
    case MixPath::kReference: return true;
    case MixPath::kSse41: return __builtin_cpu_supports("sse4.1");
    case MixPath::kAvx2: return __builtin_cpu_supports("avx2");
    }
    return false;
}

MixPath BestMixPath() {
    for (const MixPath path : {MixPath::kAvx2, MixPath::kSse41}) {
        if (MixPathSupported(path)) return path;
    }
    return MixPath::kReference;
}

const SpanKernels* KernelsFor(MixPath path) {
    if (path == MixPath::kReference || !MixPathSupported(path)) return nullptr;
    return path == MixPath::kAvx2 ? &kAvx2Kernels : &kSse41Kernels;
}

}  // namespace zarn
