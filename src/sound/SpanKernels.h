// The vector kernels of the fast mixer (sound/FastMixer.h): one voice's frames
// of a span computed 4 or 8 frames at a time, and ADPCM blocks of several
// voices decoded side by side. The same templates (sound/SpanKernels.inl) are
// compiled once for SSE4.1 and once for AVX2; the processor picks the set at
// run time, so the rest of the library needs nothing beyond the baseline.
//
// Every kernel gives exactly the values of the per-frame code it replaces:
// 32-bit products and sums wrap, shifts are arithmetic.
#pragma once

#include <cstdint>

#include "voice/SpuConstants.h"

namespace zarn {

// The mixers StandardModel::Render can run. kReference is MixFrame, frame by frame;
// the others mix spans of frames voice by voice with the named vector unit.
enum class MixPath : uint8_t { kReference, kSse41, kAvx2 };

// Whether this processor runs `path`; kReference runs everywhere.
bool MixPathSupported(MixPath path);
// The fastest path this processor runs.
MixPath BestMixPath();

// Kernels read and write whole vectors: every per-frame array has this many
// entries of room after the frames it holds.
constexpr int32_t kVectorRoom = 8;

// One voice over `frames` consecutive frames, sounding in all of them.
struct VoiceFrames {
    const int32_t* position;  // read position per frame, 1/4096 sample from stream[0]
    const int32_t* envelope;  // envelopeVolume per frame
    const int32_t* noise;     // noise sample per frame, or null: interpolate the stream
    const int32_t* stream;    // decoded samples, the voice's blocks back to back
    int32_t volumeL;          // currentVolumeL before the first frame, x 1024
    int32_t volumeR;
    int32_t sweepL;  // added to the volume every frame before the clamp; 0 when fixed
                     // (a fixed volume is a multiple of 1024)
    int32_t sweepR;
    int32_t frames;
    int32_t pitch;  // the steady advance per frame; -1 when it varies
    bool reverb;    // the voice also feeds the reverb
};

// Per-frame sums of a span, as MixFrame accumulates them.
struct SpanSums {
    int32_t* dryL;
    int32_t* dryR;
    int32_t* sendL;
    int32_t* sendR;
};

// The blocks of one voice, decoded in order with the voice's filter history:
// block k into out[28 k .. 28 k + 27]. One decode call takes a job per voice
// at most.
constexpr int32_t kMaxDecodeJobs = kVoiceCount;

struct DecodeJob {
    const int32_t* blocks;  // block addresses, 8-byte units
    int32_t count;
    int32_t* out;
    int32_t history1;
    int32_t history2;
};

// The output stage of a span's frames after XA: the main volume, then the
// reverb when `line` is set, in place in dryL and dryR.
struct OutputFrames {
    int32_t* dryL;
    int32_t* dryR;
    const int32_t* sendL;
    const int32_t* sendR;
    int32_t* line;  // the reverb line at the first frame's left entry, or null; 2 x frames entries
    int32_t mainVolumeL;
    int32_t mainVolumeR;
    int32_t reverbVolumeL;
    int32_t reverbVolumeR;
    int32_t percent;  // ReverbVolume
    int32_t frames;
};

struct SpanKernels {
    // position[j] = start + j x pitch.
    void (*fillPositions)(int32_t* position, int32_t start, int32_t pitch, int32_t count);
    // position[0..frames] of a pitch-modulated voice (sound/VoiceSpan.h)
    // that starts at `start`: frame j advances by the pitch scaled by
    // modulator[j], the previous voice's output of that frame. A backward
    // step stops at the start of the block being read.
    void (*modulatedPositions)(int32_t start, int32_t pitch, const int32_t* modulator, int32_t frames,
                               int32_t* position);
    // volume[k] = the envelope volume of level + (k + 1) x step.
    void (*fillEnvelope)(int32_t* volume, int32_t level, int32_t step, int32_t count);
    // The jobs' blocks, several voices at a time.
    void (*decode)(const uint8_t* ram, const DecodeJob* jobs, int32_t count);
    // The voice's samples through its envelope and volumes, added to the sums.
    // Returns its envelope-scaled sample of the last frame, and puts that of
    // every frame j into lastOutput[j] unless lastOutput is null.
    int32_t (*mixVoice)(const VoiceFrames& voice, const SpanSums& sums, int32_t* lastOutput);
    void (*finishFrames)(const OutputFrames& frames);
    // Each frame's sums clamped to -32767..32767, into `out` (interleaved).
    void (*storeFrames)(const int32_t* left, const int32_t* right, int16_t* out, int32_t frames);
};

// The kernels of `path`; null for kReference and for paths this processor
// does not run.
const SpanKernels* KernelsFor(MixPath path);

extern const SpanKernels kSse41Kernels;
extern const SpanKernels kAvx2Kernels;

}  // namespace zarn
