// The span kernels for SSE4.1: four frames, or four voices' blocks, per vector.
#include <immintrin.h>

#include "sound/SpanKernels.h"
#include "sound/VoiceGenerator.h"

// Only the code below uses SSE4.1; the headers above keep the baseline.
#pragma GCC target("sse4.1")

namespace zarn {

namespace {

struct Sse41 {
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
    template <int n> static V Sra(V v) { return _mm_srai_epi32(v, n); }
    static V Sll(V v, int n) { return _mm_sll_epi32(v, _mm_cvtsi32_si128(n)); }
    static V Gather(const int32_t* base, V index) {
        return _mm_setr_epi32(base[_mm_cvtsi128_si32(index)], base[_mm_extract_epi32(index, 1)],
                              base[_mm_extract_epi32(index, 2)], base[_mm_extract_epi32(index, 3)]);
    }
    static void LoadWords(const uint8_t* const* blocks, V words[4]) {
        const auto load = [&](int lane) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[lane])); };
        const V a = load(0), b = load(1), c = load(2), d = load(3);
        const V ab0 = _mm_unpacklo_epi32(a, b), ab1 = _mm_unpackhi_epi32(a, b);
        const V cd0 = _mm_unpacklo_epi32(c, d), cd1 = _mm_unpackhi_epi32(c, d);
        words[0] = _mm_unpacklo_epi64(ab0, cd0);
        words[1] = _mm_unpackhi_epi64(ab0, cd0);
        words[2] = _mm_unpacklo_epi64(ab1, cd1);
        words[3] = _mm_unpackhi_epi64(ab1, cd1);
    }
};

#include "sound/SpanKernels.inl"

}  // namespace

const SpanKernels kSse41Kernels = KernelsOf<Sse41>();

}  // namespace zarn
