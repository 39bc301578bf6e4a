// The vector kernels of the console model's fast mixer
// (sound/ConsoleFastMixer.h): one voice's ticks of a span, 4 or 8 at a time,
// and ADPCM blocks of several voices decoded side by side. The templates
// (sound/ConsoleKernels.inl) are compiled with the standard mixer's, once for
// SSE4.1 and once for AVX2 (sound/SpanKernelsSse41.cpp and
// sound/SpanKernelsAvx2.cpp); the processor picks the set at run time.
//
// Every kernel gives exactly the values of the per-tick code it replaces
// (voice/ConsoleVoice.h, sound/ConsoleMixer.h).
#pragma once

#include <cstdint>

#include "sound/SpanKernels.h"
#include "voice/SpuConstants.h"

namespace zarn::console {

// The blocks of one voice decoded in order into consecutive samples: block k
// into out[28 k .. 28 k + 27], its prediction running on from out[-2] and
// out[-1] (DecodeSamples). One call takes a job per voice at most.
struct ConsoleDecodeJob {
    const uint16_t* units;  // block addresses, 8-byte units
    int32_t count;
    int16_t* out;
};

// Per-tick levels: an array, or one level for every tick when it is null.
struct TickLevels {
    const int16_t* perTick;
    int16_t level;
};

// One voice over `frames` ticks.
struct ConsoleVoiceFrames {
    const int16_t* stream;  // the voice's samples (sound/ConsoleVoiceSpan.h)
    // Per tick, the count whose sample index (>> 12) and interpolation index
    // ((>> 4) & 0xFF) the tick reads; when null, start + tick x step.
    const int32_t* position;
    int32_t start, step;
    const int16_t (*weights)[4];  // per interpolation index: the weights of the oldest .. newest sample
    const int16_t* noise;         // per tick: the noise sample, or null: interpolate the stream
    TickLevels envelope;          // the envelope level after the tick's step
    TickLevels volumeL;           // the volumes after the tick's steps
    TickLevels volumeR;
    int16_t* out;   // per tick: the voice's output (VxOUTX)
    int32_t* dryL;  // per-tick sums it adds its left and right to; null while muted
    int32_t* dryR;
    int32_t* wetL;  // the reverb input sums, or null when the voice does not feed the reverb
    int32_t* wetR;
    int32_t frames;  // every per-tick array has room for whole vectors past it (kVectorRoom)
};

struct ConsoleKernels {
    void (*decode)(const uint8_t* ram, const ConsoleDecodeJob* jobs, int32_t count);
    void (*mixVoice)(const ConsoleVoiceFrames& voice);
    // The reverb's resampling filter H over consecutive samples, `newest`
    // pointing at tick 0's newest sample (with 38 samples before it):
    // out[t] = Clamp16((sum of H[k] x newest[t - k]) >> 15) for decimation,
    // >> 14 for interpolation, for t < count.
    void (*decimate)(const int16_t* newest, int32_t count, int16_t* out);
    void (*interpolate)(const int16_t* newest, int32_t count, int16_t* out);
};

// The 16 bytes of the block at `unit`, through `wrapped` for the one block
// that wraps at the end of sound RAM.
inline const uint8_t* BlockBytes(const uint8_t* ram, uint16_t unit, uint8_t wrapped[16]) {
    const uint32_t at = unit * 8u;
    if (at + 16 <= kRamBytes) return ram + at;
    for (uint32_t k = 0; k < 16; ++k) wrapped[k] = ram[(at + k) & kRamMask];
    return wrapped;
}

extern const ConsoleKernels kSse41Kernels;
extern const ConsoleKernels kAvx2Kernels;

// The kernels of `path`; null for kReference and for paths this processor
// does not run.
const ConsoleKernels* ConsoleKernelsFor(MixPath path);

}  // namespace zarn::console
