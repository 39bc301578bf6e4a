#include "xa/ZigZag.h"

#include <algorithm>
#include <iterator>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "voice/Arith.h"
#include "voice/ConsoleTables.h"
#include "xa/XaDecodeBlock.h"

namespace zarn::console {

namespace {

constexpr int32_t kZigMask = ConsoleState::kZigTaps - 1;

void ResetStream(ConsoleState& state, int32_t frequency, int32_t channels) {
    std::fill(std::begin(state.zigRingL), std::end(state.zigRingL), int16_t{0});
    std::fill(std::begin(state.zigRingR), std::end(state.zigRingR), int16_t{0});
    state.zigPos = 0;
    state.zigSixStep = ConsoleState::kZigSteps;
    state.zigFrequency = frequency;
    state.zigChannels = channels;
}

#if defined(__SSE2__)
// The tables as rows of eight: row i - 1 holds the weights of the i-th newest
// sample for outputs 1..7, then a 0.
struct ZigRows {
    alignas(16) int16_t row[kZigZagTaps][8];
};
const ZigRows kZigRows = [] {
    ZigRows rows = {};
    for (int i = 0; i < kZigZagTaps; ++i) std::copy_n(kZigZag[i], kZigZagTables, rows.row[i]);
    return rows;
}();

// Zig for the seven tables at once: each product of a sample and a weight
// floored on its own, the 32-bit sums clamped.
void ZigAll(const int16_t* ring, int32_t zigPos, int16_t out[8]) {
    __m128i low = _mm_setzero_si128(), high = _mm_setzero_si128();  // outputs 1-4, 5-8
    for (int i = 1; i <= kZigZagTaps; ++i) {
        const __m128i sample = _mm_set1_epi16(ring[(zigPos - i) & kZigMask]);
        const __m128i weights = _mm_load_si128(reinterpret_cast<const __m128i*>(kZigRows.row[i - 1]));
        const __m128i productLow = _mm_mullo_epi16(sample, weights), productHigh = _mm_mulhi_epi16(sample, weights);
        low = _mm_add_epi32(low, _mm_srai_epi32(_mm_unpacklo_epi16(productLow, productHigh), 15));
        high = _mm_add_epi32(high, _mm_srai_epi32(_mm_unpackhi_epi16(productLow, productHigh), 15));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(low, high));
}
#else
void ZigAll(const int16_t* ring, int32_t zigPos, int16_t out[8]) {
    for (int t = 1; t <= kZigZagTables; ++t) out[t - 1] = static_cast<int16_t>(Zig(ring, zigPos, t));
}
#endif

}  // namespace

int32_t Zig(const int16_t* ring, int32_t zigPos, int t) {
    int32_t sum = 0;
    for (int i = 1; i <= kZigZagTaps; ++i) sum += (ring[(zigPos - i) & kZigMask] * kZigZag[i - 1][t - 1]) >> 15;
    return Clamp16(sum);
}

void ZigPush(ConsoleState& state, XaRing& xa, int32_t left, int32_t right) {
    state.zigRingL[state.zigPos] = static_cast<int16_t>(left);
    state.zigRingR[state.zigPos] = static_cast<int16_t>(right);
    state.zigPos = (state.zigPos + 1) & kZigMask;
    if (--state.zigSixStep != 0) return;
    state.zigSixStep = ConsoleState::kZigSteps;
    int16_t framesL[8], framesR[8];
    ZigAll(state.zigRingL, state.zigPos, framesL);
    ZigAll(state.zigRingR, state.zigPos, framesR);
    // A full ring drops the frame; the history stays fed.
    for (int t = 0; t < kZigZagTables; ++t) xa.Push(framesL[t], framesR[t]);
}

void QueueConsoleBlock(ConsoleState& state, XaRing& xa, const XaDecodeBlock& block) {
    int64_t frames;
    if (!xa.BeginBlock(block, frames)) return;
    const int32_t channels = block.stereo + 1;
    if (block.frequency != state.zigFrequency || channels != state.zigChannels) {
        ResetStream(state, block.frequency, channels);
    }
    if (block.frequency != 37800 && block.frequency != 18900) {
        xa.Hold(block, frames);
        return;
    }
    const int pushes = block.frequency == 18900 ? 2 : 1;  // repeated, the documented filter smooths it
    // A host's block may be longer than the array a save state's block has:
    // it is read to its own end, through a pointer, as XaRing::Hold reads it.
    const int16_t* const samples = block.samples;
    for (int64_t s = 0; s < frames; ++s) {
        const int16_t left = samples[s * channels];
        const int16_t right = samples[s * channels + channels - 1];  // mono feeds both sides
        for (int k = 0; k < pushes; ++k) ZigPush(state, xa, left, right);
    }
}

}  // namespace zarn::console
