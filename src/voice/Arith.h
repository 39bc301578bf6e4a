// Integer helpers shared by the SPU and the mixer.
//
// Sound arithmetic is 32-bit two's complement. Shifts of negative values are
// arithmetic (defined since C++20). Where a sum or a product may leave the
// 32-bit range (unclamped ADPCM history, reverb feedback above unity, huge
// register values) it wraps around on purpose, and says so through these
// helpers so that the code stays defined behaviour.
#pragma once

#include <cstdint>

namespace zarn {

// `count` bits of `value` starting at bit `first`.
constexpr uint32_t bits(uint32_t value, int first, int count) { return (value >> first) & ((1u << count) - 1u); }

constexpr int32_t wrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

constexpr int32_t wrapSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

constexpr int32_t wrapMul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// (a * b) >> shift with a 64-bit product, kept as its low 32 bits.
constexpr int32_t mulShift64(int32_t a, int32_t b, int shift) {
    return static_cast<int32_t>((static_cast<int64_t>(a) * b) >> shift);
}

// Output samples saturate symmetrically: -32767..32767, never -32768.
constexpr int32_t saturate16(int32_t value) {
    if (value >= 32767) return 32767;
    if (value <= -32767) return -32767;
    return value;
}

// The console model's clamp: the full 16-bit range, -32768..32767. Not the
// symmetric saturate16 above; the two models keep their own. Sound seldom
// clips, so the test is a branch that stays predicted: the value goes on
// without waiting for it (the reverb's chains of clamps run faster so).
constexpr int32_t Clamp16(int32_t x) {
    if (static_cast<uint32_t>(x) + 32768u > 65535u) [[unlikely]]
        return x < 0 ? -32768 : 32767;
    return x;
}

// The low 16 bits of `u` read as a signed value.
constexpr int32_t S16(uint32_t u) { return static_cast<int16_t>(u & 0xFFFF); }

// (a * b) >> 15, floored, with a 32-bit product. Every pair the console
// model multiplies keeps it in range: the largest, 32767 x 65535, comes from
// pitch modulation.
constexpr int32_t Mul15(int32_t a, int32_t b) { return (a * b) >> 15; }

}  // namespace zarn
