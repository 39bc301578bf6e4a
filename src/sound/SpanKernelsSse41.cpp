// The span kernels for SSE4.1: four frames, or four voices' blocks, per vector.
#include <immintrin.h>

#include <algorithm>
#include <tuple>

#include "sound/ConsoleKernels.h"
#include "sound/SpanKernels.h"
#include "sound/VoiceSpan.h"
#include "voice/ConsoleTables.h"
#include "voice/ConsoleVoice.h"
#include "voice/VoiceGenerator.h"

// Only the code below uses SSE4.1; the headers above keep the baseline.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("sse4.1"))), apply_to = function)
#else
#pragma GCC target("sse4.1")
#endif

namespace zarn {

namespace {

struct Sse41 {
    static constexpr int kDecodeGroups = 2;
    static constexpr int kLanes = 4;
    using V = __m128i;
    static V Set1(int32_t value) { return _mm_set1_epi32(value); }
    static V Lanes() { return _mm_setr_epi32(0, 1, 2, 3); }
    static V Load(const int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void Store(int32_t* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static V Add(V a, V b) { return _mm_add_epi32(a, b); }
    static V Sub(V a, V b) { return _mm_sub_epi32(a, b); }
    static V MulLo(V a, V b) { return _mm_mullo_epi32(a, b); }
    static V And(V a, V b) { return _mm_and_si128(a, b); }
    static V Min(V a, V b) { return _mm_min_epi32(a, b); }
    static V Max(V a, V b) { return _mm_max_epi32(a, b); }
    static V Greater(V a, V b) { return _mm_cmpgt_epi32(a, b); }
    static bool AllBelow(V v, int32_t n) {
        return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_min_epu32(v, Set1(n - 1)), v)) == 0xFFFF;
    }
    static V PrefixSum(V v) {
        v = Add(v, _mm_slli_si128(v, 4));
        return Add(v, _mm_slli_si128(v, 8));
    }
    static V Select(V mask, V a, V b) { return _mm_blendv_epi8(a, b, mask); }
    template <int n>
    static V Sra(V v) {
        return _mm_srai_epi32(v, n);
    }
    static V Sll(V v, int n) { return _mm_sll_epi32(v, _mm_cvtsi32_si128(n)); }
    static int32_t First(V v) { return _mm_cvtsi128_si32(v); }
    static V Permute(V table, V index) {
        // Byte shuffle: bytes 4 i .. 4 i + 3 of the table for each index i.
        const V quad = _mm_shuffle_epi8(_mm_slli_epi32(index, 2),
                                        _mm_setr_epi8(0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12));
        return _mm_shuffle_epi8(table, _mm_add_epi8(quad, _mm_set1_epi32(0x03020100)));
    }
    static V Gather(const int32_t* base, V index) {
        return _mm_setr_epi32(base[_mm_cvtsi128_si32(index)], base[_mm_extract_epi32(index, 1)],
                              base[_mm_extract_epi32(index, 2)], base[_mm_extract_epi32(index, 3)]);
    }
    static void Transpose(V v[4]) {
        const V t0 = _mm_unpacklo_epi32(v[0], v[1]), t1 = _mm_unpackhi_epi32(v[0], v[1]);
        const V t2 = _mm_unpacklo_epi32(v[2], v[3]), t3 = _mm_unpackhi_epi32(v[2], v[3]);
        v[0] = _mm_unpacklo_epi64(t0, t2);
        v[1] = _mm_unpackhi_epi64(t0, t2);
        v[2] = _mm_unpacklo_epi64(t1, t3);
        v[3] = _mm_unpackhi_epi64(t1, t3);
    }
    static void StoreFirst(int32_t* p, V v, int) { Store(p, v); }
    template <int n>
    static V MulShift(V a, V b) {
        const V even = _mm_srli_epi64(_mm_mul_epi32(a, b), n);
        const V odd = _mm_mul_epi32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
        return _mm_blend_epi16(even, _mm_slli_epi64(_mm_srli_epi64(odd, n), 32), 0xCC);
    }
    static V MulHigh(V a, V b) {
        const V even = _mm_srli_epi64(_mm_mul_epi32(a, b), 32);
        const V odd = _mm_mul_epi32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
        return _mm_blend_epi16(even, odd, 0xCC);
    }
    static void LoadPairs(const int32_t* p, V& left, V& right) {
        const __m128 low = _mm_castsi128_ps(Load(p)), high = _mm_castsi128_ps(Load(p + 4));
        left = _mm_castps_si128(_mm_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0)));
        right = _mm_castps_si128(_mm_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1)));
    }
    static void StorePairs(int32_t* p, V left, V right) {
        Store(p, _mm_unpacklo_epi32(left, right));
        Store(p + 4, _mm_unpackhi_epi32(left, right));
    }
    static void StoreFrames16(int16_t* p, V left, V right) {
        const V packed = _mm_packs_epi32(_mm_unpacklo_epi32(left, right), _mm_unpackhi_epi32(left, right));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), packed);
    }
    static void LoadWords(const uint8_t* const* blocks, V words[4]) {
        for (int lane = 0; lane < 4; ++lane)
            words[lane] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[lane]));
        Transpose(words);
    }
    // The console kernels' operations (sound/ConsoleKernels.inl).
    static V Or(V a, V b) { return _mm_or_si128(a, b); }
    static V MulHigh16(V a, V b) { return _mm_mulhi_epi16(a, b); }
    static V MulLow16(V a, V b) { return _mm_mullo_epi16(a, b); }
    template <int n>
    static V Sll16(V v) {
        return _mm_slli_epi16(v, n);
    }
    template <int n>
    static V Srl16(V v) {
        return _mm_srli_epi16(v, n);
    }
    static V Madd16(V a, V b) { return _mm_madd_epi16(a, b); }
    static V GatherQuads(const int16_t* base, V indexes, int half) {
        const int32_t first = half == 0 ? _mm_cvtsi128_si32(indexes) : _mm_extract_epi32(indexes, 2);
        const int32_t second = half == 0 ? _mm_extract_epi32(indexes, 1) : _mm_extract_epi32(indexes, 3);
        return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(base + first)),
                                  _mm_loadl_epi64(reinterpret_cast<const __m128i*>(base + second)));
    }
    static V PairSums(V a, V b) { return _mm_hadd_epi32(a, b); }
    static V LoadWords16(const int16_t* p) {
        return _mm_cvtepi16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
    }
    static void StoreWords16(int16_t* p, V v) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packs_epi32(v, v));
    }
};

#include "sound/SpanKernels.inl"

namespace console_set {
using namespace console;
#include "sound/ConsoleKernels.inl"
}  // namespace console_set

}  // namespace

const SpanKernels kSse41Kernels = KernelsOf<Sse41>();
const console::ConsoleKernels console::kSse41Kernels = console_set::ConsoleKernelsOf<Sse41>();

}  // namespace zarn

#if defined(__clang__)
#pragma clang attribute pop
#endif
