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
#include "state/FreezeRecord.h"
#include "support/Adpcm.h"
#include "support/TestStore.h"
#include "xa/XaDecodeBlock.h"

namespace zarn {
namespace {

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseFreshSettingsStore();
        ASSERT_EQ(SPUinit(), 0);
    }
    void TearDown() override { SPUshutdown(); }

    // Voice 0 loops the ramp block 4096, 8192, ... at unit 0x10.
    void KeyOnRampVoice(uint32_t pitch) {
        test::WriteBlock(*plugin::core, 0x10, 0x00, 3, test::Ramp());
        const uint32_t program[][2] = {{0x1F801C00, 0x3FFF}, {0x1F801C02, 0x2000}, {0x1F801C04, pitch},
                                       {0x1F801C06, 0x10},   {0x1F801C08, 0x000F}, {0x1F801C0A, 127 << 6},
                                       {0x1F801C0E, 0x10},   {0x1F801D80, 0x3FFF}, {0x1F801D82, 0x3FFF},
                                       {0x1F801D88, 1}};
        for (const auto& [address, value] : program) SPUwriteRegister(address, value);
    }
};

TEST_F(SoundTest, RenderWritesWholeFramesAndAlwaysPublishes) {
    KeyOnRampVoice(0x1000);
    std::vector<int16_t> out(4, 0x5555);
    SPUrender(out.data(), 6);  // one frame; the last 2 bytes stay
    EXPECT_EQ(out, (std::vector<int16_t>{2045, 1022, 0x5555, 0x5555}));
    EXPECT_EQ(SPUreadRegister(0x1F801C0C), 16383u);
    // Fewer than 4 bytes: nothing written, the status published all the same.
    SPUwriteRegister(0x1F801D9D, 0xFFFF);  // an odd address only stores into the image
    SPUrender(nullptr, 0);
    EXPECT_EQ(SPUreadRegister(0x1F801D9C), 1u);
    SPUwriteRegister(0x1F801D9D, 0xFFFF);
    SPUrender(out.data(), 3);
    EXPECT_EQ(out[0], 2045);
    EXPECT_EQ(SPUreadRegister(0x1F801D9C), 1u);
}

TEST_F(SoundTest, XaBlocksAreMixedAfterTheVoices) {
    auto block = std::make_unique<XaDecodeBlock>();
    *block = {};
    block->frequency = 44100;
    block->stereo = 1;
    block->sampleCount = 1;
    block->samples[0] = 16384;
    block->samples[1] = -16384;
    SPUplayADPCMchannel(block.get());
    SPUplayADPCMchannel(nullptr);
    for (uint32_t address : {0x1F801DB0u, 0x1F801DB2u}) SPUwriteRegister(address, 0x7FFF);
    for (uint32_t address : {0x1F801D80u, 0x1F801D82u}) SPUwriteRegister(address, 0x3FFF);
    int16_t out[4];
    SPUrender(out, sizeof out);
    // 16384 at CD volume 32767 -> 16383, at 75 % -> 12287, main volume -> 12286.
    EXPECT_EQ(out[0], 12286);
    EXPECT_EQ(out[1], (16383 * -12288) >> 14);
    EXPECT_EQ(out[2], 0);  // the ring is empty again
}

TEST_F(SoundTest, XaWaitLetsTheMixerDrainTheRing) {
    plugin::currentSettings->EnableXAWait = 1;
    auto record = std::make_unique<FreezeRecord>();
    ASSERT_EQ(SPUfreeze(1, record.get()), 1);
    XaDecodeBlock& block = record->xa;
    block.frequency = 44100;
    block.sampleCount = 3000;  // mono: 6000 samples queued
    SPUplayADPCMchannel(&block);
    // Both the entry point and a save-state load (which holds the lock when
    // it passes the block on) wait until at most 2048 samples are queued.
    for (const bool load : {false, true}) {
        std::atomic<bool> queued{false};
        std::thread host([&] {
            if (load) SPUfreeze(0, record.get());
            else SPUplayADPCMchannel(&block);
            queued = true;
        });
        std::vector<int16_t> out(2 * 100);
        while (!queued) {
            SPUrender(out.data(), 4 * 100);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        host.join();
        EXPECT_GE(plugin::core->xa.QueuedSamples(), 6000);
        EXPECT_LE(plugin::core->xa.QueuedSamples(), 6000 + 2048);
    }
}

}  // namespace
}  // namespace zarn
