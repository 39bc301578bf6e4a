// The span kernels for AVX2: eight frames, or eight voices' blocks, per vector.
#include <immintrin.h>

#include "sound/SpanKernels.h"
#include "sound/VoiceGenerator.h"

// Only the code below uses AVX2; the headers above keep the baseline.
#pragma GCC target("avx2")

namespace zarn {

namespace {

struct Avx2 {
    static constexpr int kLanes = 8;
    using V = __m256i;
    static V Set1(int32_t value) { return _mm256_set1_epi32(value); }
    static V Lanes() { return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7); }
    static V Load(const int32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static void Store(int32_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static V Add(V a, V b) { return _mm256_add_epi32(a, b); }
    static V Sub(V a, V b) { return _mm256_sub_epi32(a, b); }
    static V MulLo(V a, V b) { return _mm256_mullo_epi32(a, b); }
    static V And(V a, V b) { return _mm256_and_si256(a, b); }
    static V Min(V a, V b) { return _mm256_min_epi32(a, b); }
    static V Max(V a, V b) { return _mm256_max_epi32(a, b); }
    static V Greater(V a, V b) { return _mm256_cmpgt_epi32(a, b); }
    template <int n> static V Sra(V v) { return _mm256_srai_epi32(v, n); }
    static V Sll(V v, int n) { return _mm256_sll_epi32(v, _mm_cvtsi32_si128(n)); }
    static V Gather(const int32_t* base, V index) { return _mm256_i32gather_epi32(base, index, 4); }
    static void LoadWords(const uint8_t* const* blocks, V words[4]) {
        // Blocks l and l + 4 share a register, then a 4 x 4 transpose per half.
        const auto pair = [&](int lane) {
            return _mm256_setr_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[lane])),
                                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[lane + 4])));
        };
        const V a = pair(0), b = pair(1), c = pair(2), d = pair(3);
        const V ab0 = _mm256_unpacklo_epi32(a, b), ab1 = _mm256_unpackhi_epi32(a, b);
        const V cd0 = _mm256_unpacklo_epi32(c, d), cd1 = _mm256_unpackhi_epi32(c, d);
        words[0] = _mm256_unpacklo_epi64(ab0, cd0);
        words[1] = _mm256_unpackhi_epi64(ab0, cd0);
        words[2] = _mm256_unpacklo_epi64(ab1, cd1);
        words[3] = _mm256_unpackhi_epi64(ab1, cd1);
    }
};

#include "sound/SpanKernels.inl"

}  // namespace

const SpanKernels kAvx2Kernels = KernelsOf<Avx2>();

}  // namespace zarn
