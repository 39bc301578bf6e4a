// The fast mixer: the same frames and the same SPU state as MixFrame run frame
// by frame, computed in spans of up to 128 frames voice by voice.
//
// MixFrame works frame-major: every voice, then the output stage, frame after
// frame. Within a span the voices meet in only two ways, and both keep their
// order when the span is mixed voice-major:
//   - a pitch-modulated voice reads the previous voice's output of the same
//     frame: the previous voice has been mixed over the whole span already;
//   - voices with noise draw from one random sequence, frame by frame in
//     ascending voice order: the frames at which each draws depend only on
//     its noise counter and on how long it sounds, so the span's draws are
//     dealt out in that order before the voices are mixed.
// Each voice's frames then come from closed forms (sound/VoiceSpan.h) and the
// vector kernels (sound/SpanKernels.h): read positions, the blocks it plays
// through decoded ahead into one stream (several voices' blocks side by
// side), its envelope, its volume sweep. The sums of every frame then run
// through the output stage of MixFrame itself, frame by frame.
//
// A span never holds a frame in which the interrupt could be raised: the host
// may change any voice from its interrupt function, in the middle of a frame.
// Such a frame, and any frame at which a span cannot be planned, is mixed by
// MixFrame. Planning a span (Plan):
//   - a voice with a steady pitch finishes its blocks at frames known in
//     advance: the span ends before the first frame in which one of them
//     plays out the IRQ block;
//   - a pitch-modulated voice's frames are known only once the voice before
//     it is mixed. When it might reach the IRQ block within the span, the
//     voices are saved first; should it reach it, they are put back and the
//     span is mixed again, ending before that frame (a remix);
//   - with two or more noise voices, a pitch-modulated one must not fall
//     silent through its block flags before the span's last frame (its draws
//     must be known in advance): the span ends at the earliest frame where
//     that could happen;
//   - a voice whose read position is not one a mixed frame leaves (only a
//     test can set one) is left to MixFrame for one frame.
// Envelope phase changes, block ends and the interrupt-free block steps
// happen inside spans, at their frames. A span never reaches across one
// render call.
#pragma once

#include <cstdint>

#include "sound/SpanKernels.h"
#include "sound/VoiceSpan.h"
#include "spu/SpuVoice.h"

namespace zarn {

class SpuCore;

class FastMixer {
public:
    static constexpr int kVoices = 24;

    // `frames` frames into `out` (interleaved), without the voice-status
    // publication. The caller holds the SPU lock.
    void Render(SpuCore& core, int16_t* out, uint32_t frames, const SpanKernels& kernels);

    // How the frames were mixed, for tests and benchmarks.
    struct Counters {
        uint64_t spanFrames = 0;   // frames mixed in spans
        uint64_t spans = 0;
        uint64_t exactFrames = 0;  // frames left to MixFrame
        uint64_t remixes = 0;      // spans mixed again, shorter
    } counters;

private:
    // Room for a voice's stream: the samples it holds, then a block per step.
    static constexpr int32_t kStreamSize = (kMaxSteps + 1) * SpuVoice::kBlockSamples + 1 + kVectorRoom;
    static constexpr int32_t kFrameRoom = kSpanFrames + 1 + 2 * kVectorRoom;

    struct VoicePlan {
        bool sounding;
        bool modulated;    // pitch modulation applies
        bool noise;        // noise applies
        bool decodeFirst;  // the voice's block is still to be decoded, in frame 0
        int32_t endFrame;  // steady pitch: frame whose block flags end the sound
        int32_t ahead;     // steps whose blocks are decoded ahead
        int32_t sounds;    // dealt noise voices: frames in which they sound
        Chain chain;
    };

    int32_t Plan(SpuCore& core, int32_t frames);
    int32_t MixSpan(SpuCore& core, int32_t frames);
    void FinishSpan(SpuCore& core, int16_t* out, int32_t frames);
    void DealNoise(SpuCore& core, int32_t frames);
    void DecodeAhead(SpuCore& core, int32_t frames);
    DecodeJob StreamJob(const SpuVoice& voice, int n, int32_t from, int32_t to);
    int32_t MixVoice(SpuCore& core, int n, int32_t frames);

    const SpanKernels* kernels_ = nullptr;
    bool noiseAndFm_ = false;
    bool irqOn_ = false;
    bool dealNoise_ = false;  // two or more noise voices: their draws are dealt out first
    bool irqNext_ = false;    // the frame after the span raises the interrupt
    int remixVoices_ = 0;     // a remix puts back voices 0 to this - 1: up to the last modulated one
    VoicePlan plans_[kVoices] = {};
    SpuVoice saved_[kVoices];
    int32_t streams_[kVoices][kStreamSize] = {};
    int32_t noise_[kVoices][kFrameRoom] = {};
    int32_t position_[kFrameRoom] = {};
    int32_t envelope_[kFrameRoom] = {};
    int32_t lastOutput_[kFrameRoom] = {};  // the voice just mixed, per frame
    int32_t dryL_[kFrameRoom] = {};
    int32_t dryR_[kFrameRoom] = {};
    int32_t sendL_[kFrameRoom] = {};
    int32_t sendR_[kFrameRoom] = {};
};

}  // namespace zarn
