// The CD-XA ring: conversion to 44100 frames per second, fullness, resizing
// and the scaled frames the mixer takes.
#include <gtest/gtest.h>

#include <memory>

#include "spu/SpuCore.h"
#include "support/TestSettings.h"
#include "xa/XaDecodeBlock.h"

namespace zarn {
namespace {

class XaRingTest : public ::testing::Test {
protected:
    test::TestSettings settings;
    std::unique_ptr<XaRing> ring = std::make_unique<XaRing>(settings);
    // Hosts may pass blocks longer than a save state's XA section.
    struct LongBlock {
        XaDecodeBlock head;
        int16_t more[40000];
    };
    std::unique_ptr<LongBlock> storage = std::make_unique<LongBlock>();
    XaDecodeBlock* block = &storage->head;

    void Fill(int32_t frequency, int32_t stereo, int32_t sampleCount, int32_t bits = 4) {
        *block = {};
        block->frequency = frequency;
        block->stereo = stereo;
        block->sampleCount = sampleCount;
        block->bitsPerSample = bits;
        int16_t* samples = block->samples;
        for (int i = 0; i < XaDecodeBlock::kMaxSamples + 40000; ++i) samples[i] = static_cast<int16_t>(i);
    }
    int32_t QueuedFrames() const { return ring->QueuedSamples() / 2; }
};

TEST_F(XaRingTest, FrameCountsFollowTheRates) {
    Fill(37800, 0, 4032);  // mono: both sides get the sample
    ring->QueueBlock(*block);
    EXPECT_EQ(QueuedFrames(), 4704);
    EXPECT_EQ(ring->buffer[0], 0);
    EXPECT_EQ(ring->buffer[1], 0);
    // Output frame n carries source frame n x 37800 / 44100: one in six repeats.
    for (int n = 0; n < 12; ++n) {
        EXPECT_EQ(ring->buffer[2 * n], n * 37800 / 44100) << n;
        EXPECT_EQ(ring->buffer[2 * n + 1], n * 37800 / 44100) << n;
    }

    ring = std::make_unique<XaRing>(settings);
    Fill(37800, 1, 2016);
    ring->QueueBlock(*block);
    EXPECT_EQ(QueuedFrames(), 2352);
    EXPECT_EQ(ring->buffer[2 * 7], 2 * 6);  // frame 7 carries source frame 6
    EXPECT_EQ(ring->buffer[2 * 7 + 1], 2 * 6 + 1);

    ring = std::make_unique<XaRing>(settings);
    Fill(18900, 0, 4032);
    ring->QueueBlock(*block);
    EXPECT_EQ(QueuedFrames(), 9408);

    // 16-bit stereo counts a quarter of its nominal size.
    ring = std::make_unique<XaRing>(settings);
    Fill(44100, 1, 2352, 16);
    ring->QueueBlock(*block);
    EXPECT_EQ(QueuedFrames(), 588);
    EXPECT_EQ(ring->buffer[2 * 587], 2 * 587);

    // Above 44100 Hz frames are skipped.
    ring = std::make_unique<XaRing>(settings);
    Fill(88200, 0, 100);
    ring->QueueBlock(*block);
    EXPECT_EQ(QueuedFrames(), 50);
    EXPECT_EQ(ring->buffer[2 * 10], 20);
}

TEST_F(XaRingTest, AFullRingDropsTheRest) {
    Fill(44100, 1, 20000);
    ring->QueueBlock(*block);
    EXPECT_EQ(ring->capacity, 24576);
    EXPECT_EQ(QueuedFrames(), 12287);
    EXPECT_TRUE(ring->IsFull());

    // Full across the wrap: reader at 0, writer at the end.
    ring = std::make_unique<XaRing>(settings);
    ring->writeIndex = 24574;
    ring->readIndex = 0;
    EXPECT_TRUE(ring->IsFull());
    Fill(44100, 0, 10);
    ring->QueueBlock(*block);
    EXPECT_EQ(ring->writeIndex, 24574);
    // One frame taken makes room for exactly one.
    int32_t l, r;
    ring->readIndex = 2;
    ring->QueueBlock(*block);
    EXPECT_EQ(ring->writeIndex, 0);
    EXPECT_EQ(ring->buffer[24574], 0);
    EXPECT_TRUE(ring->IsFull());
    EXPECT_TRUE(ring->TakeFrame(l, r));
}

TEST_F(XaRingTest, SizeChangeRebuildsTheRingEmpty) {
    Fill(44100, 0, 100);
    ring->QueueBlock(*block);
    settings.XABufferSize = 10;
    Fill(44100, 0, 0);  // an empty block changes nothing
    ring->QueueBlock(*block);
    EXPECT_EQ(ring->capacity, 24576);
    EXPECT_EQ(QueuedFrames(), 100);
    Fill(44100, 0, 30);
    ring->QueueBlock(*block);
    EXPECT_EQ(ring->capacity, 5120);
    EXPECT_EQ(ring->sizeSetting, 10);
    EXPECT_EQ(QueuedFrames(), 30);
    EXPECT_EQ(ring->readIndex, 0);
}

TEST_F(XaRingTest, TakeFrameScalesByCdVolumeAndPercent) {
    ring->volumeL = 0x7FFF;
    ring->volumeR = -16384;
    settings.XAVolume = 75;
    Fill(44100, 1, 1);
    block->samples[0] = 16384;
    block->samples[1] = 16384;
    ring->QueueBlock(*block);
    int32_t left = 0, right = 0;
    ASSERT_TRUE(ring->TakeFrame(left, right));
    EXPECT_EQ(left, 12287);   // (16384 x 32767) >> 15 = 16383, x 75 / 100
    EXPECT_EQ(right, -6144);  // -8192 x 75 / 100
    EXPECT_FALSE(ring->TakeFrame(left, right));

    // Truncation toward zero after the arithmetic shift.
    Fill(44100, 0, 1);
    block->samples[0] = -3;
    ring->volumeL = 32767;
    settings.XAVolume = 50;
    ring->QueueBlock(*block);
    ASSERT_TRUE(ring->TakeFrame(left, right));
    EXPECT_EQ(left, -1);  // -3 x 32767 >> 15 = -3; x 50 / 100 = -1
}

TEST_F(XaRingTest, HostInputIsHandledSafely) {
    for (const auto& [frequency, stereo] : {std::pair{0, 0}, {-44100, 0}, {44100, -1}, {44100, 2}, {44100, 0x7FFFFFFF}}) {
        Fill(frequency, stereo, 100);
        ring->QueueBlock(*block);
        EXPECT_EQ(QueuedFrames(), 0) << frequency << " " << stereo;
        EXPECT_TRUE(ring->ReadyFor(*block));  // nothing to wait for
    }
    Fill(44100, 0, -100);
    ring->QueueBlock(*block);
    EXPECT_EQ(QueuedFrames(), 0);

    // An XA buffer size below 1 leaves a ring that holds nothing.
    settings.XABufferSize = 0;
    Fill(44100, 0, 100);
    ring->QueueBlock(*block);
    EXPECT_EQ(ring->capacity, 0);
    EXPECT_EQ(ring->buffer, nullptr);
    int32_t l, r;
    EXPECT_FALSE(ring->TakeFrame(l, r));
    EXPECT_TRUE(ring->ReadyFor(*block));  // a waiting host is never stuck
    settings.XABufferSize = -5;
    ring = std::make_unique<XaRing>(settings);
    EXPECT_EQ(ring->capacity, 0);
    EXPECT_FALSE(ring->TakeFrame(l, r));
}

TEST_F(XaRingTest, WaitingEndsWhenTheBlockFitsAndLittleIsQueued) {
    Fill(44100, 1, 1000);
    EXPECT_TRUE(ring->ReadyFor(*block));
    // It fits, but the host waits until (queued samples) x 2 <= 4096.
    ring->writeIndex = 4096;
    EXPECT_FALSE(ring->ReadyFor(*block));
    ring->writeIndex = 2050;
    EXPECT_FALSE(ring->ReadyFor(*block));
    ring->writeIndex = 2048;
    EXPECT_TRUE(ring->ReadyFor(*block));
    Fill(44100, 0, 30000);  // needs more than the ring holds: never waits
    EXPECT_TRUE(ring->ReadyFor(*block));
    Fill(0, 0, 100);
    EXPECT_TRUE(ring->ReadyFor(*block));
    Fill(44100, 0, 0x7FFFFFFF);  // no overflow in the need
    EXPECT_TRUE(ring->ReadyFor(*block));
}

}  // namespace
}  // namespace zarn
