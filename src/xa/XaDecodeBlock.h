// A block of CD-XA audio that the host has already decoded to 16-bit PCM, in
// the little-endian layout hosts pass to SPUplayADPCMchannel and that save
// states embed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zarn {

struct XaDecodeBlock {
    static constexpr int kMaxSamples = 16896;

    int32_t frequency;             // sample rate, Hz
    int32_t bitsPerSample;         // examined only for the value 16
    int32_t stereo;                // 0 mono, 1 stereo: channels = stereo + 1
    int32_t sampleCount;           // frames in the block
    uint8_t reserved[16];          // not read
    int16_t samples[kMaxSamples];  // left and right alternate in a stereo block
};

static_assert(offsetof(XaDecodeBlock, frequency) == 0);
static_assert(offsetof(XaDecodeBlock, bitsPerSample) == 4);
static_assert(offsetof(XaDecodeBlock, stereo) == 8);
static_assert(offsetof(XaDecodeBlock, sampleCount) == 12);
static_assert(offsetof(XaDecodeBlock, samples) == 32);
static_assert(sizeof(XaDecodeBlock) == 32 + 2 * XaDecodeBlock::kMaxSamples && sizeof(XaDecodeBlock) == 33824);

}  // namespace zarn
