// An encoder into the SPU's 4-bit ADPCM: 16-bit samples into the 16-byte
// blocks of sound RAM, each block with the filter and shift that reproduce
// it best. Integer arithmetic only, so every build encodes alike.
//
// Block: byte 0 shift (bits 0-3) | filter (bits 4-7); byte 1 flags; bytes
// 2-15 28 four-bit samples, low nibble first. A sample decodes as
//   out = ((int16_t)(nibble << 12) >> shift) + ((h1 * f0 + h2 * f1) >> 6)
// with the two previous outputs h1, h2 carried from block to block.
//
// Flags that the voices follow: 6 marks the loop start and goes on, 2 goes
// on, 3 jumps back to the loop start; 0 goes on, 1 ends the sound.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "voice/SpuConstants.h"

namespace spuhost {

constexpr int kAdpcmBlockSamples = 28;
constexpr int kAdpcmBlockBytes = 16;

struct AdpcmHistory {
    int32_t h1 = 0, h2 = 0;
    bool operator==(const AdpcmHistory&) const = default;
};

// Encodes one block. Every filter with every shift 0-12 is tried; each
// sample's nibble is chosen against the decoder's own history, so the
// rounding errors do not pile up, and the pair with the least squared error
// (no output outside 16 bits) is kept. `history` is advanced as the decoder
// will advance it.
inline void EncodeAdpcmBlock(const int16_t* samples, uint8_t flags, AdpcmHistory& history, uint8_t* block) {
    const AdpcmHistory before = history;
    int64_t bestError = INT64_MAX;
    for (int filter = 0; filter < zarn::kPredictionFilters; ++filter) {
        for (int shift = 0; shift <= 12; ++shift) {
            AdpcmHistory h = before;
            uint8_t nibbles[kAdpcmBlockSamples];
            int64_t error = 0;
            bool fits = true;
            for (int i = 0; i < kAdpcmBlockSamples; ++i) {
                const int32_t predicted =
                    (h.h1 * zarn::kPrediction[filter][0] + h.h2 * zarn::kPrediction[filter][1]) >> 6;
                const int32_t step = 1 << (12 - shift);
                const int32_t difference = samples[i] - predicted;
                const int32_t rounded = (std::abs(difference) + step / 2) / step;  // half away from zero
                const int32_t nibble = std::clamp(difference < 0 ? -rounded : rounded, -8, 7);
                const int32_t out = ((nibble * 4096) >> shift) + predicted;
                fits = fits && out >= INT16_MIN && out <= INT16_MAX;
                error += int64_t{out - samples[i]} * (out - samples[i]);
                h = {out, h.h1};
                nibbles[i] = static_cast<uint8_t>(nibble & 0xF);
            }
            if (!fits || error >= bestError) continue;
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

// A sustained sound that loops whole (at least two blocks; samples past the
// last whole block are left out): the first block flagged 6 sets the loop
// point, the middle ones 2, the last 3 jumps back to it. The loop is encoded
// against the history its own end leaves, so every pass after the first
// decodes alike.
inline std::vector<uint8_t> EncodeAdpcmLoop(const std::vector<int16_t>& samples) {
    const size_t blocks = samples.size() / kAdpcmBlockSamples;
    std::vector<uint8_t> out(blocks * kAdpcmBlockBytes);
    AdpcmHistory start;
    for (int pass = 0; pass < 8; ++pass) {
        AdpcmHistory history = start;
        for (size_t b = 0; b < blocks; ++b) {
            const uint8_t flags = b == 0 ? 6 : b + 1 == blocks ? 3 : 2;
            EncodeAdpcmBlock(&samples[b * kAdpcmBlockSamples], flags, history, &out[b * kAdpcmBlockBytes]);
        }
        if (history == start) break;
        start = history;
    }
    return out;
}

// A sound played once: blocks flagged 0 and the last one 1, which ends it.
// The samples are padded with silence to whole blocks.
inline std::vector<uint8_t> EncodeAdpcmOneShot(std::vector<int16_t> samples) {
    const size_t blocks = std::max<size_t>(1, (samples.size() + kAdpcmBlockSamples - 1) / kAdpcmBlockSamples);
    samples.resize(blocks * kAdpcmBlockSamples);
    std::vector<uint8_t> out(blocks * kAdpcmBlockBytes);
    AdpcmHistory history;
    for (size_t b = 0; b < blocks; ++b) {
        const uint8_t flags = b + 1 == blocks ? 1 : 0;
        EncodeAdpcmBlock(&samples[b * kAdpcmBlockSamples], flags, history, &out[b * kAdpcmBlockBytes]);
    }
    return out;
}

}  // namespace spuhost
