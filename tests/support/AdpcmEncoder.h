// A small ADPCM encoder for test programs: 16-bit samples into the 16-byte
// blocks of sound RAM, each block with the filter and shift that reproduce it
// best.
//
// Block: byte 0 shift (bits 0-3) | filter (bits 4-7); byte 1 flags; bytes
// 2-15 28 four-bit samples, low nibble first. A sample decodes as
//   out = ((int16_t)(nibble << 12) >> shift) + ((h1 * f0 + h2 * f1) >> 6)
// with the two previous outputs h1, h2 carried from block to block.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace zarn::test {

constexpr int kAdpcmBlockSamples = 28;

struct AdpcmHistory {
    int32_t h1 = 0, h2 = 0;
    bool operator==(const AdpcmHistory&) const = default;
};

// Encodes one block. Every filter and shift is tried; each sample's nibble is
// chosen against the decoder's own history, so the rounding errors do not
// pile up, and the pair with the least squared error (no output outside
// 16 bits) is kept. `history` is advanced as the decoder will advance it.
inline void EncodeAdpcmBlock(const int16_t* samples, uint8_t flags, AdpcmHistory& history, uint8_t* block) {
    constexpr int32_t kFilters[5][2] = {{0, 0}, {60, 0}, {115, -52}, {98, -55}, {122, -60}};
    const AdpcmHistory before = history;
    double bestError = INFINITY;
    for (int filter = 0; filter < 5; ++filter) {
        for (int shift = 0; shift <= 12; ++shift) {
            AdpcmHistory h = before;
            uint8_t nibbles[kAdpcmBlockSamples];
            double error = 0;
            for (int i = 0; i < kAdpcmBlockSamples; ++i) {
                const int32_t predicted = (h.h1 * kFilters[filter][0] + h.h2 * kFilters[filter][1]) >> 6;
                const double step = 1 << (12 - shift);
                const long nibble = std::clamp(std::lround((samples[i] - predicted) / step), -8L, 7L);
                const int32_t out = ((static_cast<int32_t>(nibble) * 4096) >> shift) + predicted;
                if (out < INT16_MIN || out > INT16_MAX) error = INFINITY;
                error += double(out - samples[i]) * (out - samples[i]);
                h = {out, h.h1};
                nibbles[i] = static_cast<uint8_t>(nibble & 0xF);
            }
            if (error >= bestError) continue;
            bestError = error;
            history = h;
            block[0] = static_cast<uint8_t>(filter << 4 | shift);
            block[1] = flags;
            for (int i = 0; i < kAdpcmBlockSamples / 2; ++i) {
                block[2 + i] = static_cast<uint8_t>(nibbles[2 * i] | nibbles[2 * i + 1] << 4);
            }
        }
    }
}

// A looping sound (a whole number of blocks): the first block flagged 6 sets
// the loop point, the middle ones 2, the last 3 jumps back to it. The loop is
// encoded against the history its own end leaves, so every pass after the
// first decodes alike.
inline std::vector<uint8_t> EncodeAdpcmLoop(const std::vector<int16_t>& samples) {
    const size_t blocks = samples.size() / kAdpcmBlockSamples;
    std::vector<uint8_t> out(blocks * 16);
    AdpcmHistory start;
    for (int pass = 0; pass < 8; ++pass) {
        AdpcmHistory history = start;
        for (size_t b = 0; b < blocks; ++b) {
            const uint8_t flags = b == 0 ? 6 : b + 1 == blocks ? 3 : 2;
            EncodeAdpcmBlock(&samples[b * kAdpcmBlockSamples], flags, history, &out[b * 16]);
        }
        if (history == start) break;
        start = history;
    }
    return out;
}

}  // namespace zarn::test
