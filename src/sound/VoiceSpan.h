// One voice over a span of frames, in closed form where the per-frame code
// (voice/VoiceGenerator.h, voice/Envelope.h) allows it: read positions, the
// chain of blocks the voice plays through, and the envelope.
//
// Positions here are counted from the start of the voice's decoded stream
// (FastMixer): block k of the span, k = 0 being the block the voice is in,
// occupies stream positions k x 0x1C000 up to (k + 1) x 0x1C000. The position
// at the start of frame j, before the block step, is position[j]; the number
// of block steps taken up to and including frame j is position[j] / 0x1C000,
// since a frame steps at most one block (the position is below two blocks
// at the start of a frame, as the pitch is below one block).
#pragma once

#include <cstdint>

#include "voice/SpuVoice.h"

namespace zarn {

struct SpanKernels;

constexpr int32_t kBlockEnd = SpuVoice::kBlockEnd;  // 0x1C000: 28 samples
constexpr int32_t kSpanFrames = 128;                // frames of a span at most
constexpr int32_t kMaxStep = 65535;                 // a frame's advance at most, modulated or not
// Block steps of one voice in a span at most.
constexpr int32_t kMaxSteps = (2 * kBlockEnd - 1 + (kSpanFrames - 1) * kMaxStep) / kBlockEnd;

// The chain of blocks ahead of a voice, followed by their flags.
struct Chain {
    int32_t steps = 0;                   // block steps followed
    int32_t endStep = 0;                 // the step (1..steps) whose flags end the sound; 0 when none
    int32_t irqStep = 0;                 // the first step that plays out the IRQ block; 0 when none
    int32_t block[kMaxSteps + 1] = {};   // blockAddress after each step; [0] before the first
    int32_t repeat[kMaxSteps + 1] = {};  // repeatAddress likewise
};

// Follows up to `steps` block steps from the voice's block, stopping after a
// step whose flags end the sound. With `irqOn`, notes the first step that
// plays out the IRQ block (and goes on past it). With `untilLoop` it also
// stops when the chain comes back to where it was (a loop seen whole: the
// steps after it find no end and no IRQ block either); the blocks of the
// steps it skips are then not recorded.
void WalkChain(const SpuVoice& voice, int32_t steps, bool irqOn, Chain& chain, bool untilLoop = false);

// Block steps within the first `frames` frames of a voice that starts at
// `start` and advances `pitch` (at most) per frame.
inline int32_t StepsWithin(int32_t start, int32_t pitch, int32_t frames) {
    return (start + (frames - 1) * pitch) / kBlockEnd;
}

// The frame of block step `step` (1, 2, ...) for a voice that starts at
// `start` and advances `pitch` per frame: exact for a steady pitch, the
// earliest possible frame when `pitch` is only the most it can advance.
// INT32_MAX when it never comes.
int32_t StepFrame(int32_t start, int32_t pitch, int32_t step);

// The first frame whose position has reached block step `step`.
int32_t StepFrame(const int32_t* position, int32_t frames, int32_t step);

// Runs the voice's envelope (a voice that is not Off) over the first
// `frames` frames of a span whose block flags end the sound in frame
// `endFrame` (when it is below `frames`), and writes each frame's
// envelopeVolume. Returns the frames the voice sounds in: all of them, or
// fewer when it turns Off, that frame included.
int32_t SoundingFrames(SpuVoice& voice, int32_t frames, int32_t endFrame, int32_t* volume, const SpanKernels& kernels);

}  // namespace zarn
