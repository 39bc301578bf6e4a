// The plugin's entry points and lifecycle, called as a host calls them.
#include <gtest/gtest.h>

#include <cstring>

#include "plugin/Plugin.h"
#include "settings/DriverSettings.h"
#include "spu/SpuCore.h"
#include "support/TestStore.h"

namespace zarn {
namespace {

class LifecycleTest : public ::testing::Test {
protected:
    void SetUp() override { test::UseFreshSettingsStore(); }
    void TearDown() override { SPUshutdown(); }
};

TEST_F(LifecycleTest, IdentificationWorksBeforeInit) {
    EXPECT_STREQ(PSEgetLibName(), "Zarn's SPU Audio Driver");
    EXPECT_EQ(PSEgetLibType(), 4u);
    EXPECT_EQ(PSEgetLibVersion(), 65548u);
    EXPECT_EQ(SPUtest(), 0);
    ASSERT_EQ(SPUinit(), 0);
    EXPECT_EQ(SPUtest(), 0);
    EXPECT_EQ(SPUgetOne(0x1234), 0u);
}

TEST_F(LifecycleTest, SpuCallsBeforeInitAreHarmless) {
    SPUwriteRegister(0x1F801C04, 0x1000);
    EXPECT_EQ(SPUreadRegister(0x1F801C04), 0u);
    uint16_t words[2] = {1, 2};
    SPUwriteDMAMem(words, 2);
    SPUreadDMAMem(words, 2);
    EXPECT_EQ(words[0], 1);
    EXPECT_EQ(SPUopen(nullptr), 0);
    EXPECT_FALSE(plugin::SoundThreadRunning());
    EXPECT_EQ(SPUclose(), 0);
    EXPECT_EQ(SPUshutdown(), 0);
}

TEST_F(LifecycleTest, InitCreatesLoadedObjectsAndShutdownDestroysThem) {
    ASSERT_EQ(SPUinit(), 0);
    ASSERT_NE(plugin::core, nullptr);
    ASSERT_NE(plugin::currentSettings, nullptr);
    ASSERT_NE(plugin::output, nullptr);
    EXPECT_TRUE(test::StoreHasKey());  // first run wrote the defaults
    EXPECT_EQ(plugin::core->xa.capacity, 48 * 512);
    EXPECT_EQ(SPUshutdown(), 0);  // never opened: no device is touched
    EXPECT_EQ(plugin::core, nullptr);
    EXPECT_EQ(plugin::currentSettings, nullptr);
    EXPECT_EQ(plugin::output, nullptr);
}

TEST_F(LifecycleTest, RegistersAndTransfersThroughTheEntryPoints) {
    ASSERT_EQ(SPUinit(), 0);
    SPUwriteRegister(0x1F801DAE, 0x1FFFF);  // only the low 16 bits count
    EXPECT_EQ(SPUreadRegister(0x1F801DAE), 0xF800u);
    EXPECT_EQ(SPUreadRegister(0x1F801DA6), 0xFFFFu);

    SPUwriteRegister(0x1F801DA6, 0xFFFF);
    const uint16_t out[6] = {1, 2, 3, 4, 5, 6};
    SPUwriteDMAMem(const_cast<uint16_t*>(out), 6);
    SPUwriteDMA(0x10007);
    EXPECT_EQ(SPUreadRegister(0x1F801DA6), 0x0000u);  // wrapped to 2 bytes past 0

    SPUwriteRegister(0x1F801DA6, 0xFFFF);
    uint16_t back[7] = {};
    SPUreadDMAMem(back, 6);
    back[6] = static_cast<uint16_t>(SPUreadDMA());
    const uint16_t expected[7] = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(std::memcmp(back, expected, sizeof back), 0);
    EXPECT_EQ(plugin::core->transferAddress, 6u);
}

int irqCalls = 0;
void ZARN_CALL CountIrq() { ++irqCalls; }
void ZARN_CALL NeverCalled(uint16_t, uint16_t) { FAIL() << "the CD-volume function is never called"; }

TEST_F(LifecycleTest, CallbacksAreStoredAndReplaced) {
    ASSERT_EQ(SPUinit(), 0);
    SPUregisterCallback(CountIrq);
    SPUregisterCDDAVolume(NeverCalled);
    EXPECT_EQ(plugin::irqCallback, &CountIrq);
    EXPECT_EQ(plugin::cddaVolumeCallback, &NeverCalled);
    SPUregisterCallback(nullptr);
    EXPECT_EQ(plugin::irqCallback, nullptr);
}

TEST_F(LifecycleTest, OpenStartsTheThreadsAndCloseStopsThem) {
    ASSERT_EQ(SPUinit(), 0);
    EXPECT_EQ(SPUopen(reinterpret_cast<void*>(0x1234)), 0);
    EXPECT_EQ(plugin::hostWindow, reinterpret_cast<void*>(0x1234));
    EXPECT_TRUE(plugin::SoundThreadRunning());
    EXPECT_FALSE(plugin::WindowThreadRunning());  // ShowRealtimeConfigWindow 0
    EXPECT_EQ(plugin::soundStopRequested.load(), 0);
    EXPECT_EQ(SPUclose(), 0);
    EXPECT_FALSE(plugin::SoundThreadRunning());
    EXPECT_EQ(plugin::soundStopRequested.load(), 1);

    // With the window wanted both start; a window started by SPUopen is ended
    // by SPUclose even when the setting was reset in between.
    plugin::currentSettings->ShowRealtimeConfigWindow = 1;
    EXPECT_EQ(SPUopen(nullptr), 0);
    EXPECT_TRUE(plugin::WindowThreadRunning());
    EXPECT_TRUE(plugin::SoundThreadRunning());
    plugin::currentSettings->ShowRealtimeConfigWindow = 0;
    EXPECT_EQ(SPUclose(), 0);
    EXPECT_FALSE(plugin::WindowThreadRunning());
    EXPECT_FALSE(plugin::SoundThreadRunning());
    EXPECT_EQ(plugin::windowStopRequested.load(), 1);
}

TEST_F(LifecycleTest, StateSurvivesCloseAndReopen) {
    ASSERT_EQ(SPUinit(), 0);
    SPUwriteRegister(0x1F801C06, 0x0200);
    SPUwriteRegister(0x1F801D88, 0x0001);
    SPUopen(nullptr);
    SPUclose();
    SPUopen(nullptr);
    SPUopen(nullptr);  // a second open keeps the running threads
    EXPECT_EQ(SPUreadRegister(0x1F801C06), 0x0200u);
    EXPECT_EQ(plugin::core->voices[0].active, 1);
    EXPECT_EQ(plugin::core->voices[0].blockAddress, 0x200);
    // Shutdown with a run still open closes it first.
    EXPECT_EQ(SPUshutdown(), 0);
    EXPECT_FALSE(plugin::SoundThreadRunning());
}

TEST_F(LifecycleTest, LegacyEntryPointsDoNothing) {
    ASSERT_EQ(SPUinit(), 0);
    uint8_t before[SpuCore::kRamBytes / 64];
    std::memcpy(before, plugin::core->soundRam, sizeof before);
    SPUputOne(0x1000, 0xFFFF);
    SPUsetAddr(0, 0x100);
    SPUsetPitch(0, 0x1000);
    SPUsetVolumeL(0, 0x3FFF);
    SPUsetVolumeR(0, 0x3FFF);
    SPUplaySample(1);
    SPUstartChannels1(0xFFFF);
    SPUstartChannels2(0xFF);
    SPUstopChannels1(0xFFFF);
    SPUstopChannels2(0xFF);
    SPUplaySector();
    EXPECT_EQ(std::memcmp(before, plugin::core->soundRam, sizeof before), 0);
    for (const SpuVoice& v : plugin::core->voices) {
        EXPECT_EQ(v.pitch, 0);
        EXPECT_EQ(v.envelopePhase, kOff);
    }
}

}  // namespace
}  // namespace zarn
