// The fast mixer: the same frames and the same SPU state as MixFrame run frame
// by frame, computed in spans of up to 128 frames voice by voice.
//
// MixFrame works frame-major: every voice, then the output stage, frame after
// frame. Within a span the voices meet in only two ways, and both keep their
// order when the span is mixed voice-major, in ascending voice order:
//   - a pitch-modulated voice reads the previous voice's output of the same
//     frame: the previous voice has been mixed over the whole span already;
//   - voices with noise draw from one random sequence, frame by frame in
//     ascending voice order: the frames at which each draws depend only on
//     its noise counter and on how long it sounds, so with two or more noise
//     voices the span's draws are dealt out in that order before the voices
//     are mixed (DealNoise).
// Each voice's frames then come from closed forms (sound/VoiceSpan.h) and the
// vector kernels (sound/SpanKernels.h): its read positions, the chain of
// blocks it plays through decoded ahead into one stream (several voices'
// blocks side by side), its envelope, its volume sweep. The span's per-frame
// sums go through the output stage (XA, main volume, reverb, automatic gain,
// clamp) frame for frame as MixFrame would.
//
// Invariants of a span:
//   - no frame in it raises the interrupt: the host may change any voice, or
//     anything else, from its interrupt function in the middle of a frame;
//   - every voice that sounds at its start has a read position below two
//     blocks and a pitch below one block, as every mixed frame leaves them
//     (the planning leaves any other voice to MixFrame for one frame), so a
//     frame steps one block at most;
//   - the frames at which each noise voice draws are known before the first
//     voice is mixed;
//   - nothing outside the voices, the sums and the noise draws changes until
//     the output stage: a span that must be mixed again is put back whole.
// Envelope phase changes, block ends (whatever the flags) and block steps
// happen inside spans, at their frames. A span never reaches across one
// render call, hence across one pass of the sound thread.
//
// What a voice carries out of a span is what its last sounding frame left:
// pitchCounter, blockAddress, repeatAddress, the 29 samples of its block and
// the filter history (read back from its stream), needDecode (clear),
// envelopeLevel, envelopeStep, envelopeVolume and envelopePhase, the two
// current volumes, lastOutput, the noise counter, tick and value, and active
// (whether it still sounded at the start of the span's last frame).
//
// Planning a span (Plan) ends it early, or leaves frames to MixFrame:
//   - a voice with a steady pitch finishes its blocks at frames known in
//     advance: the span ends before the first frame in which one of them
//     plays out the IRQ block, and that frame goes to MixFrame;
//   - a pitch-modulated voice's frames are known only once the voice before it
//     is mixed (only a block step in frame 0 is certain before). With the
//     interrupt on, the voices up to the last modulated one are saved first;
//     should one reach the IRQ block, they are put back and the span is mixed
//     again, ending before that frame (a remix);
//   - with two or more noise voices, a pitch-modulated one must not fall
//     silent through its block flags before the span's last frame: the span
//     ends at the earliest frame where that could happen;
//   - spans shorter than 16 frames (the end of a render call, an interrupt
//     close ahead) go to MixFrame; while interrupts keep coming that close
//     together, MixFrame goes on for up to 512 frames before the next plan.
#pragma once

#include <cstdint>

#include "sound/SpanKernels.h"
#include "sound/VoiceSpan.h"
#include "voice/SpuConstants.h"
#include "voice/SpuVoice.h"

namespace zarn {

class StandardModel;

class FastMixer {
public:
    // `frames` frames into `out` (interleaved), without the voice-status
    // publication. The caller holds the SPU lock.
    void Render(StandardModel& model, int16_t* out, uint32_t frames, const SpanKernels& kernels);

    // How the frames were mixed, for tests and benchmarks.
    struct Counters {
        uint64_t spanFrames = 0;  // frames mixed in spans
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

    int32_t Plan(StandardModel& model, int32_t frames);
    int32_t MixSpan(StandardModel& model, int32_t frames);
    void FinishSpan(StandardModel& model, int16_t* out, int32_t frames);
    void DealNoise(StandardModel& model, int32_t frames);
    void DecodeAhead(StandardModel& model, int32_t frames);
    DecodeJob StreamJob(const SpuVoice& voice, int n, int32_t from, int32_t to);
    int32_t MixVoice(StandardModel& model, int n, int32_t frames);

    const SpanKernels* kernels_ = nullptr;
    bool noiseAndFm_ = false;
    bool irqOn_ = false;
    bool dealNoise_ = false;  // two or more noise voices: their draws are dealt out first
    bool irqNext_ = false;    // the frame after the span raises the interrupt
    int32_t holdOff_ = 0;     // frames MixFrame mixes on after a plan that failed
    int32_t holdOffLeft_ = 0;
    int remixVoices_ = 0;  // a remix puts back voices 0 to this - 1: up to the last modulated one
    VoicePlan plans_[kVoiceCount] = {};
    SpuVoice saved_[kVoiceCount];
    int32_t streams_[kVoiceCount][kStreamSize] = {};
    int32_t noise_[kVoiceCount][kFrameRoom] = {};
    int32_t position_[kFrameRoom] = {};
    int32_t envelope_[kFrameRoom] = {};
    int32_t lastOutput_[kFrameRoom] = {};  // the voice just mixed, per frame
    int32_t dryL_[kFrameRoom] = {};
    int32_t dryR_[kFrameRoom] = {};
    int32_t sendL_[kFrameRoom] = {};
    int32_t sendR_[kFrameRoom] = {};
};

}  // namespace zarn
