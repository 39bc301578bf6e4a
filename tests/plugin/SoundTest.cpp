// Sound through the entry points: SPUrender, SPUplayADPCMchannel and the
// host's interrupt function.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "plugin/Plugin.h"
#include "settings/DriverSettings.h"
#include "spu/SpuCore.h"
#include "support/TestStore.h"
#include "xa/XaDecodeBlock.h"

namespace zarn {
namespace {

int hostIrqs = 0;
void ZARN_CALL HostIrq() { ++hostIrqs; }

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseFreshSettingsStore();
        ASSERT_EQ(SPUinit(), 0);
    }
    void TearDown() override { SPUshutdown(); }

    // The ramp block 4096, 8192, ... uploaded by DMA at unit 0x10, voice 0
    // programmed to play it and keyed on.
    void KeyOnRampVoice(uint32_t pitch) {
        uint16_t block[8] = {0x0300};  // shift 0, filter 0, flags 3
        for (int i = 0; i < 14; ++i) {
            const int a = 1 + (2 * i) % 7, b = 1 + (2 * i + 1) % 7;
            reinterpret_cast<uint8_t*>(block)[2 + i] = static_cast<uint8_t>(a | b << 4);
        }
        SPUwriteRegister(0x1F801DA6, 0x10);
        SPUwriteDMAMem(block, 8);
        SPUwriteRegister(0x1F801C00, 0x3FFF);
        SPUwriteRegister(0x1F801C02, 0x2000);
        SPUwriteRegister(0x1F801C04, pitch);
        SPUwriteRegister(0x1F801C06, 0x10);
        SPUwriteRegister(0x1F801C08, 0x000F);
        SPUwriteRegister(0x1F801C0A, 127 << 6);
        SPUwriteRegister(0x1F801C0E, 0x10);
        SPUwriteRegister(0x1F801D80, 0x3FFF);
        SPUwriteRegister(0x1F801D82, 0x3FFF);
        SPUwriteRegister(0x1F801D88, 1);
    }
};

TEST_F(SoundTest, RenderWritesWholeFramesAndPublishes) {
    KeyOnRampVoice(0x1000);
    std::vector<int16_t> out(8, 0x5555);
    SPUrender(out.data(), 14);  // three frames; the last 2 bytes stay
    EXPECT_EQ(out, (std::vector<int16_t>{2045, 1022, 8189, 4094, 9828, 4914, 0x5555, 0x5555}));
    EXPECT_EQ(SPUreadRegister(0x1F801C0C), 26214u);

    // Fewer than 4 bytes: nothing written, the status still published.
    SPUwriteRegister(0x1F801C0C, 0x0123);
    SPUrender(nullptr, 0);
    EXPECT_EQ(SPUreadRegister(0x1F801C0C), 291u);  // the level written: 0x123 x 256 >> 8
    SPUwriteRegister(0x1F801D9C, 0);  // stopped at once
    int16_t one[2] = {7, 7};
    SPUrender(one, 3);
    EXPECT_EQ(one[0], 7);
    EXPECT_EQ(SPUreadRegister(0x1F801D9C), 0u);
}

TEST_F(SoundTest, RenderRaisesTheHostInterrupt) {
    SPUregisterCallback(HostIrq);
    KeyOnRampVoice(0x4000);
    SPUwriteRegister(0x1F801DA4, 0x11);
    hostIrqs = 0;
    std::vector<int16_t> out(2 * 8);
    SPUrender(out.data(), 4 * 8);  // the block is played out in frame 8
    EXPECT_EQ(hostIrqs, 1);
    plugin::currentSettings->EnableSpuIrq = 0;
    SPUrender(out.data(), 4 * 8);
    EXPECT_EQ(hostIrqs, 1);
    plugin::currentSettings->EnableSpuIrq = 1;
    SPUregisterCallback(nullptr);
    SPUrender(out.data(), 4 * 8);
    EXPECT_EQ(hostIrqs, 1);
}

TEST_F(SoundTest, XaBlocksAreMixedAfterTheVoices) {
    auto block = std::make_unique<XaDecodeBlock>();
    *block = {};
    block->frequency = 44100;
    block->stereo = 1;
    block->sampleCount = 2;
    block->samples[0] = 16384;
    block->samples[1] = -16384;
    block->samples[2] = 100;
    block->samples[3] = 200;
    SPUplayADPCMchannel(block.get());
    SPUplayADPCMchannel(nullptr);
    SPUwriteRegister(0x1F801DB0, 0x7FFF);
    SPUwriteRegister(0x1F801DB2, 0x7FFF);
    SPUwriteRegister(0x1F801D80, 0x3FFF);
    SPUwriteRegister(0x1F801D82, 0x3FFF);
    int16_t out[6];
    SPUrender(out, sizeof out);
    // 16384 -> 16383 at CD volume 32767 -> 12287 at 75 % -> 12286 after the main volume.
    EXPECT_EQ(out[0], (16383 * 12287) >> 14);
    EXPECT_EQ(out[1], (16383 * -12288) >> 14);
    EXPECT_EQ(out[2], (16383 * ((100 * 32767 >> 15) * 75 / 100)) >> 14);
    EXPECT_EQ(out[4], 0);  // the ring is empty again
}

TEST_F(SoundTest, XaWaitLetsTheMixerDrainTheRing) {
    plugin::currentSettings->EnableXAWait = 1;
    auto block = std::make_unique<XaDecodeBlock>();
    *block = {};
    block->frequency = 44100;
    block->stereo = 0;
    block->sampleCount = 3000;  // 3000 frames: 6000 samples queued
    SPUplayADPCMchannel(block.get());
    EXPECT_EQ(plugin::core->xa.QueuedSamples(), 6000);

    std::atomic<bool> queued{false};
    std::thread host([&] {
        SPUplayADPCMchannel(block.get());  // waits until at most 2048 samples are queued
        queued = true;
    });
    std::vector<int16_t> out(2 * 100);
    while (!queued) {
        SPUrender(out.data(), 4 * 100);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    host.join();
    EXPECT_LE(plugin::core->xa.QueuedSamples(), 2048 + 6000);
    EXPECT_GE(plugin::core->xa.QueuedSamples(), 6000);
}

}  // namespace
}  // namespace zarn
