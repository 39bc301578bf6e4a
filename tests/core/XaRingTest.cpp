// The CD-XA ring: conversion to 44100 frames per second and the XA wait.
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
    std::unique_ptr<XaDecodeBlock> block = std::make_unique<XaDecodeBlock>();

    // Sets up a block whose samples count 0, 1, 2, ...; queues it unless `queue` is false.
    void Fill(int32_t frequency, int32_t stereo, int32_t sampleCount, int32_t bits = 4, bool queue = true) {
        std::tie(block->frequency, block->bitsPerSample, block->stereo, block->sampleCount) =
            std::tuple(frequency, bits, stereo, sampleCount);
        for (int i = 0; i < XaDecodeBlock::kMaxSamples; ++i) block->samples[i] = static_cast<int16_t>(i);
        if (queue) ring->QueueBlock(*block);
    }
    int32_t QueuedFrames() const { return ring->QueuedSamples() / 2; }
};

TEST_F(XaRingTest, ConvertsEveryRateBySampleAndHold) {
    // frequency, stereo, sample count, bits, frames queued
    // clang-format off
    const std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t> cases[] = {
        {37800, 1, 2016, 4, 2352}, {44100, 1, 2352, 16, 588},  // 16-bit stereo counts a quarter of its size
        {44100, 0, 2352, 16, 2352}, {88200, 0, 100, 4, 50}, {18900, 0, 4032, 4, 9408}};  // above 44100 Hz: skipped
    // clang-format on
    for (const auto& [frequency, stereo, count, bits, frames] : cases) {
        ring = std::make_unique<XaRing>(settings);
        Fill(frequency, stereo, count, bits);
        EXPECT_EQ(QueuedFrames(), frames) << frequency << " Hz, stereo " << stereo << ", " << count;
    }
    // Output frame n holds source frame n x 18900 / 44100 (other rates: the
    // demo's golden render), mono on both sides: frames 0-2 source frame 0.
    EXPECT_EQ(std::vector<int16_t>(ring->buffer, ring->buffer + 8), (std::vector<int16_t>{0, 0, 0, 0, 0, 0, 1, 1}));
}

TEST_F(XaRingTest, HostsWaitUntilTheBlockFitsAndLittleIsQueued) {
    // The block, the samples queued before it, whether a waiting host may go
    // on, and the frames queued after the block.
    const std::tuple<int32_t, int32_t, int32_t, int32_t, bool, int32_t> cases[] = {
        // clang-format off
        {44100, 1, 1000, 0, true, 1000},        {44100, 1, 1000, 4096, false, 3048},  // until queued x 2 <= 4096
        {44100, 1, 1000, 2050, false, 2025},    {44100, 1, 1000, 2048, true, 2024},
        {44100, 0, 12000, 1000, false, 12287},  {44100, 0, 30000, 4096, true, 12287},  // does not fit yet; never
        {44100, 0, 0x7FFFFFFF, 2048, true, 12287}, {-44100, 0, 100, 4096, true, 2048},  // sizes do not wrap; no rate
        // Counts not above 0 add nothing, however the size would wrap in 32 bits; channel counts other than 1
        // and 2 are ignored.
        {44100, 0, -100, 0, true, 0}, {44100, 1, -2147463648, 0, true, 0}, {88200, 0, -2147463648, 0, true, 0},
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
