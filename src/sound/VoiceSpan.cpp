#include "sound/VoiceSpan.h"

#include <algorithm>

#include "sound/SpanKernels.h"
#include "voice/Envelope.h"
#include "voice/VoiceGenerator.h"

namespace zarn {

static_assert(kMaxStep < kBlockEnd, "a frame steps at most one block");

void WalkChain(const SpuVoice& voice, int32_t steps, bool irqOn, Chain& chain, bool untilLoop) {
    int32_t block = voice.blockAddress;
    int32_t repeat = voice.repeatAddress;
    chain.block[0] = block;
    chain.repeat[0] = repeat;
    chain.endStep = 0;
    chain.irqStep = 0;
    // The chain's state is (block, repeat); where they are equal (after a
    // jump to the loop), the block alone. When a state comes back, every
    // block of the loop has been played out once.
    int32_t anchor = -1;
    int32_t step = 0;
    while (step < steps) {
        if (irqOn && chain.irqStep == 0 && IsIrqBlock(voice.irqAddress, block)) chain.irqStep = step + 1;
        const int32_t before = block;
        const int32_t repeatBefore = repeat;
        const bool sounding = FollowFlags(voice.ram, block, repeat);
        ++step;
        chain.block[step] = block;
        chain.repeat[step] = repeat;
        if (!sounding) {
            chain.endStep = step;
            break;
        }
        if (untilLoop) {
            if (block == before && repeat == repeatBefore) break;
            if (block == repeat) {
                if (block == anchor) break;
                if (anchor < 0) anchor = block;
            }
        }
    }
    chain.steps = step;
}

int32_t StepFrame(int32_t start, int32_t pitch, int32_t step) {
    const int32_t distance = step * kBlockEnd - start;
    if (distance <= 0) return 0;
    if (pitch <= 0) return INT32_MAX;
    return (distance + pitch - 1) / pitch;
}

int32_t StepFrame(const int32_t* position, int32_t frames, int32_t step) {
    int32_t frame = 0;
    while (frame < frames && position[frame] < step * kBlockEnd) ++frame;
    return frame;
}

namespace {

constexpr int32_t kNever = INT32_MAX;

// How many frames k = 1, 2, ... keep level + k x step below `bound`, and
// above it. Levels stay within -1..0x7FFFFF plus a step (voice/Envelope.h),
// steps within +-0x3FFFFF, bounds within the levels: all of it fits 32 bits.
int32_t FramesBelow(int32_t level, int32_t step, int32_t bound) {
    if (level + step >= bound) return 0;
    return step <= 0 ? kNever : (bound - 1 - level) / step;
}
int32_t FramesAbove(int32_t level, int32_t step, int32_t bound) {
    if (level + step <= bound) return 0;
    return step >= 0 ? kNever : (level - bound - 1) / -step;
}

// Frames from now in which EnvelopeStep only adds the step: no phase change
// and no clamp (the conditions of voice/Envelope.h, in closed form).
int32_t LinearFrames(const SpuVoice& voice) {
    const int32_t level = voice.envelopeLevel;
    const int32_t step = voice.envelopeStep;
    switch (voice.envelopePhase) {
    case kAttack: return FramesBelow(level, step, SpuVoice::kFullScale);
    case kDecay: return FramesAbove(level, step, voice.SustainTarget());
    case kSustain: return std::min(FramesBelow(level, step, SpuVoice::kFullScale), FramesAbove(level, step, 0));
    case kRelease: return FramesAbove(level, step, 0);
    default: return 0;
    }
}

// Runs up to `frames` frames; returns the frames run, fewer when the envelope
// turns Off (that frame included).
int32_t RunEnvelope(SpuVoice& voice, int32_t frames, int32_t* volume, const SpanKernels& kernels) {
    int32_t done = 0;
    while (done < frames) {
        const int32_t linear = std::min(LinearFrames(voice), frames - done);
        if (linear > 0) {
            // The level stays between the phase's bounds, so the sum fits.
            kernels.fillEnvelope(volume + done, voice.envelopeLevel, voice.envelopeStep, linear);
            voice.envelopeLevel += linear * voice.envelopeStep;
            done += linear;
            voice.envelopeVolume = volume[done - 1];
        } else if (voice.envelopePhase == kSustain && voice.envelopeLevel == SpuVoice::kFullScale &&
                   voice.envelopeStep >= 0) {
            // A rising sustain held at full scale: every frame clamps to it.
            kernels.fillEnvelope(volume + done, voice.envelopeLevel, 0, frames - done);
            voice.envelopeVolume = volume[frames - 1];
            return frames;
        } else {
            // A phase change or a clamp: the per-frame code itself.
            EnvelopeStep(voice);
            volume[done++] = voice.envelopeVolume;
            if (voice.envelopePhase == kOff) return done;
        }
    }
    return frames;
}

}  // namespace

int32_t SoundingFrames(SpuVoice& voice, int32_t frames, int32_t endFrame, int32_t* volume, const SpanKernels& kernels) {
    const int32_t limit = std::min(frames, endFrame);
    const int32_t sounding = RunEnvelope(voice, limit, volume, kernels);
    if (sounding < limit || voice.envelopePhase == kOff || endFrame >= frames) return sounding;
    // The block step of frame endFrame turns the voice Off before its
    // envelope step, which then drops the level to 0.
    voice.envelopePhase = kOff;
    EnvelopeStep(voice);
    volume[endFrame] = voice.envelopeVolume;
    return endFrame + 1;
}

}  // namespace zarn
