// A small ADPCM encoder for test programs and tools: 16-bit samples into the
// 16-byte blocks of sound RAM, each block with the filter and shift that
// reproduce it best.
//
// Block: byte 0 shift (bits 0-3) | filter (bits 4-7); byte 1 flags; bytes
// 2-15 28 four-bit samples, low nibble first. A sample decodes as
//   out = ((int16_t)(nibble << 12) >> shift) + ((h1 * f0 + h2 * f1) >> 6)
// with the two previous outputs h1, h2 carried from block to block.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <span>
#include <vector>

namespace zarn::test {

constexpr int32_t kAdpcmFilters[5][2] = {{0, 0}, {60, 0}, {115, -52}, {98, -55}, {122, -60}};
constexpr int kAdpcmBlockSamples = 28;
constexpr int kAdpcmBlockBytes = 16;

struct AdpcmHistory {
    int32_t h1 = 0;
    int32_t h2 = 0;
};

inline int32_t DecodeAdpcmSample(int nibble, int shift, int filter, AdpcmHistory& history) {
    const int32_t raw = static_cast<int16_t>(static_cast<uint16_t>(nibble << 12)) >> shift;
    const int32_t out =
        raw + ((history.h1 * kAdpcmFilters[filter][0] + history.h2 * kAdpcmFilters[filter][1]) >> 6);
    history.h2 = history.h1;
    history.h1 = out;
    return out;
}

// Encodes one block. Every filter and shift is tried; each sample's nibble is
// chosen against the decoder's own history, so the rounding errors do not
// pile up, and the pair with the least squared error (no output outside
// 16 bits) is kept. `history` is advanced as the decoder will advance it.
inline void EncodeAdpcmBlock(std::span<const int16_t, kAdpcmBlockSamples> samples, uint8_t flags,
                             AdpcmHistory& history, uint8_t* block) {
    const AdpcmHistory before = history;
    double bestError = INFINITY;
    for (int filter = 0; filter < 5; ++filter) {
        for (int shift = 0; shift <= 12; ++shift) {
            AdpcmHistory trial = before;
            uint8_t nibbles[kAdpcmBlockSamples];
            double error = 0;
            for (int i = 0; i < kAdpcmBlockSamples && error < bestError; ++i) {
                const int32_t predicted =
                    (trial.h1 * kAdpcmFilters[filter][0] + trial.h2 * kAdpcmFilters[filter][1]) >> 6;
                const double step = static_cast<double>(1 << (12 - shift));
                const long wanted = std::lround((samples[i] - predicted) / step);
                const int nibble = static_cast<int>(wanted < -8 ? -8 : wanted > 7 ? 7 : wanted);
                const int32_t out = DecodeAdpcmSample(nibble & 0xF, shift, filter, trial);
                if (out < INT16_MIN || out > INT16_MAX) error = INFINITY;
                error += static_cast<double>(out - samples[i]) * (out - samples[i]);
                nibbles[i] = static_cast<uint8_t>(nibble & 0xF);
            }
            if (error >= bestError) continue;
            bestError = error;
            block[0] = static_cast<uint8_t>(filter << 4 | shift);
            block[1] = flags;
            for (int i = 0; i < kAdpcmBlockSamples / 2; ++i) {
                block[2 + i] = static_cast<uint8_t>(nibbles[2 * i] | nibbles[2 * i + 1] << 4);
            }
            history = trial;
        }
    }
}

// A looping sound (a whole number of blocks): the first block flagged 6 sets
// the loop point, the middle ones 2, the last 3 jumps back to it. The loop is
// encoded against the history its own end leaves, so every pass after the
// first decodes alike.
inline std::vector<uint8_t> EncodeAdpcmLoop(std::span<const int16_t> samples) {
    const size_t blocks = samples.size() / kAdpcmBlockSamples;
    std::vector<uint8_t> out(blocks * kAdpcmBlockBytes);
    AdpcmHistory start;
    for (int pass = 0; pass < 8; ++pass) {
        AdpcmHistory history = start;
        for (size_t b = 0; b < blocks; ++b) {
            const uint8_t flags = b == 0 ? 6 : b + 1 == blocks ? 3 : 2;
            EncodeAdpcmBlock(samples.subspan(b * kAdpcmBlockSamples).first<kAdpcmBlockSamples>(), flags, history,
                             &out[b * kAdpcmBlockBytes]);
        }
        if (history.h1 == start.h1 && history.h2 == start.h2) break;
        start = history;
    }
    return out;
}

// `periods` whole periods of a sine over `blocks` blocks, peak `amplitude`.
inline std::vector<int16_t> SineSamples(int blocks, int periods, double amplitude) {
    std::vector<int16_t> samples(static_cast<size_t>(blocks) * kAdpcmBlockSamples);
    for (size_t i = 0; i < samples.size(); ++i) {
        const double phase = 2 * std::numbers::pi * periods * static_cast<double>(i) / samples.size();
        samples[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(phase)));
    }
    return samples;
}

}  // namespace zarn::test
