// The CD-XA ring: conversion to 44100 frames per second, fullness, resizing,
// the scaled frames the mixer takes and the XA wait.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "support/TestSettings.h"
#include "xa/XaDecodeBlock.h"
#include "xa/XaRing.h"

namespace zarn {
namespace {

class XaRingTest : public ::testing::Test {
protected:
    test::TestSettings settings;
    std::unique_ptr<XaRing> ring = std::make_unique<XaRing>(settings);
    struct LongBlock {
        XaDecodeBlock head;
        int16_t more[40000];
    };  // hosts may pass blocks this long
    std::unique_ptr<LongBlock> storage = std::make_unique<LongBlock>();
    XaDecodeBlock* block = &storage->head;

    // Sets up a block whose samples count 0, 1, 2, ...; queues it unless `queue` is false.
    void Fill(int32_t frequency, int32_t stereo, int32_t sampleCount, int32_t bits = 4, bool queue = true) {
        std::tie(block->frequency, block->bitsPerSample, block->stereo, block->sampleCount) =
            std::tuple(frequency, bits, stereo, sampleCount);
        for (int i = 0; i < XaDecodeBlock::kMaxSamples + 40000; ++i) block->samples[i] = static_cast<int16_t>(i);
        if (queue) ring->QueueBlock(*block);
    }
    int32_t QueuedFrames() const { return ring->QueuedSamples() / 2; }
};

TEST_F(XaRingTest, ConvertsEveryRateBySampleAndHold) {
    // frequency, stereo, sample count, bits, frames queued
    const std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t> cases[] = {
        {37800, 0, 4032, 4, 4704}, {37800, 1, 2016, 4, 2352},  {18900, 0, 4032, 4, 9408},
        {44100, 1, 2352, 16, 588}, {44100, 0, 2352, 16, 2352},  // 16-bit stereo counts a quarter of its size
        {88200, 0, 100, 4, 50}};                                // above 44100 Hz frames are skipped
    for (const auto& [frequency, stereo, count, bits, frames] : cases) {
        SCOPED_TRACE(testing::Message() << frequency << " Hz, stereo " << stereo << ", " << count);
        ring = std::make_unique<XaRing>(settings);
        Fill(frequency, stereo, count, bits);
        ASSERT_EQ(QueuedFrames(), frames);
        // Output frame n holds source frame n x frequency / 44100; mono goes to both sides.
        for (int64_t n = 0; n < frames; ++n) {
            const int64_t source = n * frequency / 44100 * (stereo + 1);
            ASSERT_EQ(ring->buffer[2 * n], block->samples[source]) << n;
            ASSERT_EQ(ring->buffer[2 * n + 1], block->samples[source + stereo]) << n;
        }
    }
}

TEST_F(XaRingTest, TakeFrameScalesByCdVolumeAndPercent) {
    // CD volumes, XAVolume percent, the queued frame, the frame taken
    const std::tuple<int32_t, int32_t, int32_t, int16_t, int16_t, int32_t, int32_t> cases[] = {
        {0x7FFF, -16384, 75, 16384, 16384, 12287, -6144},  // 16383 x 75 / 100, -8192 x 75 / 100
        {32767, 32767, 50, -3, 3, -1, 1},                  // -3 and 2 after the shift, then toward zero
        {32767, 32767, 100, -1, 1, -1, 0}};                // the shift rounds down
    for (const auto& [volumeL, volumeR, percent, inL, inR, outL, outR] : cases) {
        std::tie(ring->volumeL, ring->volumeR, settings.XAVolume) = std::tuple(volumeL, volumeR, percent);
        std::tie(ring->buffer[0], ring->buffer[1], ring->readIndex, ring->writeIndex) = std::tuple(inL, inR, 0, 2);
        int32_t left = 0, right = 0;
        ASSERT_TRUE(ring->TakeFrame(left, right));
        EXPECT_EQ(std::tuple(left, right), std::tuple(outL, outR)) << inL << ", " << inR;
        EXPECT_FALSE(ring->TakeFrame(left, right));
    }
}

TEST_F(XaRingTest, HostsWaitUntilTheBlockFitsAndLittleIsQueued) {
    // The block, the samples queued before it, whether a waiting host may go
    // on, and the frames queued after the block.
    const std::tuple<int32_t, int32_t, int32_t, int32_t, bool, int32_t> cases[] = {
        // clang-format off
        {44100, 1, 1000, 0, true, 1000},        {44100, 1, 1000, 4096, false, 3048},  // until queued x 2 <= 4096
        {44100, 1, 1000, 2050, false, 2025},    {44100, 1, 1000, 2048, true, 2024},
        {44100, 0, 12000, 1000, false, 12287},  // does not fit yet
        {44100, 0, 30000, 4096, true, 12287},   // could never fit
        {44100, 0, 0x7FFFFFFF, 2048, true, 12287},  // sizes do not wrap
        // Counts not above 0 add nothing, however the size would wrap in 32 bits.
        {44100, 0, -100, 0, true, 0}, {44100, 1, -2147463648, 0, true, 0}, {88200, 0, -2147463648, 0, true, 0},
        // Rates not above 0 and channel counts other than 1 or 2: ignored.
        {0, 0, 100, 4096, true, 2048},    {-44100, 0, 100, 4096, true, 2048},  {44100, -1, 100, 4096, true, 2048},
        {44100, 2, 100, 4096, true, 2048}, {44100, 0x7FFFFFFF, 100, 4096, true, 2048},
        // clang-format on
    };
    for (const auto& [frequency, stereo, count, queued, ready, after] : cases) {
        SCOPED_TRACE(testing::Message() << frequency << " Hz, stereo " << stereo << ", " << count << ", " << queued);
        ring = std::make_unique<XaRing>(settings);
        ring->writeIndex = queued;
        Fill(frequency, stereo, count, 4, false);
        EXPECT_EQ(ring->ReadyFor(*block), ready);
        ring->QueueBlock(*block);
        EXPECT_EQ(QueuedFrames(), after);
    }
}

}  // namespace
}  // namespace zarn
