// The span kernels for AVX2: eight frames, or eight voices' blocks, per vector.
#include <immintrin.h>

#include <algorithm>
#include <tuple>

#include "sound/ConsoleKernels.h"
#include "sound/SpanKernels.h"
#include "sound/VoiceSpan.h"
#include "voice/ConsoleTables.h"
#include "voice/ConsoleVoice.h"
#include "voice/VoiceGenerator.h"

// Only the code below uses AVX2; the headers above keep the baseline.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC target("avx2")
#endif

namespace zarn {

namespace {

struct Avx2 {
    static constexpr int kDecodeGroups = 2;
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
    static bool AllBelow(V v, int32_t n) {
        return _mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_min_epu32(v, Set1(n - 1)), v)) == -1;
    }
    static V PrefixSum(V v) {
        v = Add(v, _mm256_slli_si256(v, 4));
        v = Add(v, _mm256_slli_si256(v, 8));                    // sums within each half
        const V low = _mm256_permutevar8x32_epi32(v, Set1(3));  // the first half's total, everywhere
        return Add(v, _mm256_blend_epi32(Set1(0), low, 0xF0));
    }
    static V Select(V mask, V a, V b) { return _mm256_blendv_epi8(a, b, mask); }
    template <int n>
    static V Sra(V v) {
        return _mm256_srai_epi32(v, n);
    }
    static V Sll(V v, int n) { return _mm256_sll_epi32(v, _mm_cvtsi32_si128(n)); }
    static int32_t First(V v) { return _mm256_cvtsi256_si32(v); }
    static V Permute(V table, V index) { return _mm256_permutevar8x32_epi32(table, index); }
    static V Gather(const int32_t* base, V index) { return _mm256_i32gather_epi32(base, index, 4); }
    static void Transpose(V v[8]) {
        const V t0 = _mm256_unpacklo_epi32(v[0], v[1]), t1 = _mm256_unpackhi_epi32(v[0], v[1]);
        const V t2 = _mm256_unpacklo_epi32(v[2], v[3]), t3 = _mm256_unpackhi_epi32(v[2], v[3]);
        const V t4 = _mm256_unpacklo_epi32(v[4], v[5]), t5 = _mm256_unpackhi_epi32(v[4], v[5]);
        const V t6 = _mm256_unpacklo_epi32(v[6], v[7]), t7 = _mm256_unpackhi_epi32(v[6], v[7]);
        const V u0 = _mm256_unpacklo_epi64(t0, t2), u1 = _mm256_unpackhi_epi64(t0, t2);
        const V u2 = _mm256_unpacklo_epi64(t1, t3), u3 = _mm256_unpackhi_epi64(t1, t3);
        const V u4 = _mm256_unpacklo_epi64(t4, t6), u5 = _mm256_unpackhi_epi64(t4, t6);
        const V u6 = _mm256_unpacklo_epi64(t5, t7), u7 = _mm256_unpackhi_epi64(t5, t7);
        v[0] = _mm256_permute2x128_si256(u0, u4, 0x20);
        v[1] = _mm256_permute2x128_si256(u1, u5, 0x20);
        v[2] = _mm256_permute2x128_si256(u2, u6, 0x20);
        v[3] = _mm256_permute2x128_si256(u3, u7, 0x20);
        v[4] = _mm256_permute2x128_si256(u0, u4, 0x31);
        v[5] = _mm256_permute2x128_si256(u1, u5, 0x31);
        v[6] = _mm256_permute2x128_si256(u2, u6, 0x31);
        v[7] = _mm256_permute2x128_si256(u3, u7, 0x31);
    }
    static void StoreFirst(int32_t* p, V v, int count) {
        if (count == 8) {
            Store(p, v);
        } else {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(v));
        }
    }
    template <int n>
    static V MulShift(V a, V b) {
        const V even = _mm256_srli_epi64(_mm256_mul_epi32(a, b), n);
        const V odd = _mm256_mul_epi32(_mm256_srli_epi64(a, 32), _mm256_srli_epi64(b, 32));
        return _mm256_blend_epi32(even, _mm256_slli_epi64(_mm256_srli_epi64(odd, n), 32), 0xAA);
    }
    static V MulHigh(V a, V b) {
        const V even = _mm256_srli_epi64(_mm256_mul_epi32(a, b), 32);
        const V odd = _mm256_mul_epi32(_mm256_srli_epi64(a, 32), _mm256_srli_epi64(b, 32));
        return _mm256_blend_epi32(even, odd, 0xAA);
    }
    static void LoadPairs(const int32_t* p, V& left, V& right) {
        const V split = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
        const V low = _mm256_permutevar8x32_epi32(Load(p), split);       // L0..L3 R0..R3
        const V high = _mm256_permutevar8x32_epi32(Load(p + 8), split);  // L4..L7 R4..R7
        left = _mm256_permute2x128_si256(low, high, 0x20);
        right = _mm256_permute2x128_si256(low, high, 0x31);
    }
    static void StorePairs(int32_t* p, V left, V right) {
        const V low = _mm256_unpacklo_epi32(left, right), high = _mm256_unpackhi_epi32(left, right);
        Store(p, _mm256_permute2x128_si256(low, high, 0x20));
        Store(p + 8, _mm256_permute2x128_si256(low, high, 0x31));
    }
    static void StoreFrames16(int16_t* p, V left, V right) {
        // Per 128-bit half: L0 R0 L1 R1 and L2 R2 L3 R3 packed side by side.
        const V packed = _mm256_packs_epi32(_mm256_unpacklo_epi32(left, right), _mm256_unpackhi_epi32(left, right));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), packed);
    }
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
    // The console kernels' operations (sound/ConsoleKernels.inl).
    static V Or(V a, V b) { return _mm256_or_si256(a, b); }
    static V MulHigh16(V a, V b) { return _mm256_mulhi_epi16(a, b); }
    static V MulLow16(V a, V b) { return _mm256_mullo_epi16(a, b); }
    template <int n>
    static V Sll16(V v) {
        return _mm256_slli_epi16(v, n);
    }
    template <int n>
    static V Srl16(V v) {
        return _mm256_srli_epi16(v, n);
    }
    static V Madd16(V a, V b) { return _mm256_madd_epi16(a, b); }
    static V GatherQuads(const int16_t* base, V indexes, int half) {
        const __m128i four = half == 0 ? _mm256_castsi256_si128(indexes) : _mm256_extracti128_si256(indexes, 1);
        return _mm256_i32gather_epi64(reinterpret_cast<const long long*>(base), four, 2);
    }
    static V PairSums(V a, V b) {
        // Per 128-bit half the sums of a's pairs, then b's: a0 a1 b0 b1 | a2 a3 b2 b3 in 64-bit pieces.
        return _mm256_permute4x64_epi64(_mm256_hadd_epi32(a, b), _MM_SHUFFLE(3, 1, 2, 0));
    }
    static V LoadWords16(const int16_t* p) {
        return _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    static void StoreWords16(int16_t* p, V v) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                         _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1)));
    }
};

#include "sound/SpanKernels.inl"

namespace console_set {
using namespace console;
#include "sound/ConsoleKernels.inl"
}  // namespace console_set

}  // namespace

const SpanKernels kAvx2Kernels = KernelsOf<Avx2>();
const console::ConsoleKernels console::kAvx2Kernels = console_set::ConsoleKernelsOf<Avx2>();

}  // namespace zarn

#if defined(__clang__)
#pragma clang attribute pop
#endif
