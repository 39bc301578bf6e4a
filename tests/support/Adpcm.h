// Building ADPCM blocks in sound RAM for tests.
#pragma once

#include <array>
#include <cstdint>

#include "core/SpuCore.h"

namespace zarn::test {

// Writes one 16-byte block at `unit` (8-byte units): header byte, flags and
// 28 four-bit samples (low nibble first).
inline void WriteBlock(SpuCore& spu, uint32_t unit, uint8_t header, uint8_t flags,
                       const std::array<uint8_t, 28>& nibbles) {
    const uint32_t base = unit * 8;
    spu.soundRam[(base + 0) & kRamMask] = header;
    spu.soundRam[(base + 1) & kRamMask] = flags;
    for (uint32_t i = 0; i < 14; ++i) {
        spu.soundRam[(base + 2 + i) & kRamMask] =
            static_cast<uint8_t>((nibbles[2 * i] & 0xF) | (nibbles[2 * i + 1] << 4));
    }
}

inline std::array<uint8_t, 28> Nibbles(uint8_t value) {
    std::array<uint8_t, 28> n{};
    n.fill(value);
    return n;
}

// Nibbles 1, 2, ..., 7, 1, 2, ...: with shift 0 and filter 0 the samples
// are 4096, 8192, ..., 28672, 4096, ...
inline std::array<uint8_t, 28> Ramp() {
    std::array<uint8_t, 28> n{};
    for (int i = 0; i < 28; ++i) n[i] = static_cast<uint8_t>(1 + i % 7);
    return n;
}

}  // namespace zarn::test
