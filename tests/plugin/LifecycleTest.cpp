// The plugin's entry points and lifecycle, called as a host calls them.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "plugin/Plugin.h"
#include "settings/DriverSettings.h"
#include "spu/SpuCore.h"
#include "support/TestStore.h"

namespace zarn {
namespace {

void ZARN_CALL HostIrq() {}

class LifecycleTest : public ::testing::Test {
protected:
    void SetUp() override { test::UseFreshSettingsStore(); }
    void TearDown() override { SPUshutdown(); }
};

TEST_F(LifecycleTest, IdentificationAndCallsBeforeInit) {
    EXPECT_STREQ(PSEgetLibName(), "Zarn's SPU Audio Driver");
    EXPECT_EQ(PSEgetLibType(), 4u);
    EXPECT_EQ(PSEgetLibVersion(), 65548u);
    EXPECT_EQ(SPUtest(), 0);
    EXPECT_EQ(SPUgetOne(0x1234), 0u);
    // SPU calls before SPUinit are harmless.
    SPUwriteRegister(0x1F801C04, 0x1000);
    EXPECT_EQ(SPUreadRegister(0x1F801C04), 0u);
    uint16_t words[2] = {1, 2};
    SPUreadDMAMem(words, 2);
    EXPECT_EQ(words[0], 1);
    EXPECT_EQ(SPUopen(nullptr), 0);
    EXPECT_FALSE(plugin::SoundThreadRunning());
    EXPECT_EQ(SPUclose(), 0);
    EXPECT_EQ(SPUshutdown(), 0);
}

TEST_F(LifecycleTest, InitCreatesLoadedObjectsAndShutdownDestroysThem) {
    ASSERT_EQ(SPUinit(), 0);
    EXPECT_EQ(SPUtest(), 0);
    ASSERT_NE(plugin::output, nullptr);
    EXPECT_TRUE(test::StoreHasKey());  // the first run wrote the defaults
    EXPECT_EQ(plugin::core->xa.capacity, 48 * 512);
    EXPECT_EQ(SPUshutdown(), 0);  // never opened: no device is touched
    EXPECT_EQ(plugin::core, nullptr);
    EXPECT_EQ(plugin::currentSettings, nullptr);
    EXPECT_EQ(plugin::output, nullptr);
}

TEST_F(LifecycleTest, RegistersTransfersAndCallbacks) {
    ASSERT_EQ(SPUinit(), 0);
    SPUwriteRegister(0x1F801DAE, 0x1FFFF);  // only the low 16 bits count
    EXPECT_EQ(SPUreadRegister(0x1F801DAE), 0xF800u);
    SPUwriteRegister(0x1F801DA6, 0xFFFF);
    const uint16_t out[6] = {1, 2, 3, 4, 5, 6};
    SPUwriteDMAMem(const_cast<uint16_t*>(out), 6);
    SPUwriteDMA(0x10007);
    SPUwriteRegister(0x1F801DA6, 0xFFFF);
    uint16_t back[7] = {};
    SPUreadDMAMem(back, 6);
    back[6] = static_cast<uint16_t>(SPUreadDMA());
    const uint16_t expected[7] = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(std::memcmp(back, expected, sizeof back), 0);
    EXPECT_EQ(plugin::core->transferAddress, 6u);  // wrapped past the end

    SPUregisterCallback(HostIrq);
    SPUregisterCDDAVolume(nullptr);
    EXPECT_EQ(plugin::irqCallback, &HostIrq);
    SPUregisterCallback(nullptr);
    EXPECT_EQ(plugin::irqCallback, nullptr);
}

TEST_F(LifecycleTest, OpenStartsTheThreadsAndCloseStopsThem) {
    ASSERT_EQ(SPUinit(), 0);
    SPUwriteRegister(0x1F801C06, 0x0200);
    SPUwriteRegister(0x1F801D88, 0x0001);
    EXPECT_EQ(SPUopen(reinterpret_cast<void*>(0x1234)), 0);
    EXPECT_EQ(plugin::hostWindow, reinterpret_cast<void*>(0x1234));
    EXPECT_TRUE(plugin::SoundThreadRunning());
    EXPECT_FALSE(plugin::WindowThreadRunning());  // ShowRealtimeConfigWindow 0
    EXPECT_EQ(SPUclose(), 0);
    EXPECT_FALSE(plugin::SoundThreadRunning());
    EXPECT_EQ(plugin::soundStopRequested.load(), 1);

    // With the window wanted both start; a window started by SPUopen is ended
    // by SPUclose even when the setting was reset in between.
    plugin::currentSettings->ShowRealtimeConfigWindow = 1;
    EXPECT_EQ(SPUopen(nullptr), 0);
    EXPECT_TRUE(plugin::WindowThreadRunning() && plugin::SoundThreadRunning());
    plugin::currentSettings->ShowRealtimeConfigWindow = 0;
    SPUopen(nullptr);  // a second open keeps the running threads
    EXPECT_EQ(SPUclose(), 0);
    EXPECT_FALSE(plugin::WindowThreadRunning() || plugin::SoundThreadRunning());

    // The SPU state survives; shutdown with a run still open closes it first.
    SPUopen(nullptr);
    EXPECT_EQ(SPUreadRegister(0x1F801C06), 0x0200u);
    EXPECT_EQ(plugin::core->voices[0].blockAddress, 0x200);
    EXPECT_EQ(SPUshutdown(), 0);
    EXPECT_FALSE(plugin::SoundThreadRunning());
}

TEST_F(LifecycleTest, LegacyEntryPointsDoNothing) {
    ASSERT_EQ(SPUinit(), 0);
    const std::unique_ptr<uint8_t[]> before(new uint8_t[SpuCore::kRamBytes]);
    std::memcpy(before.get(), plugin::core->soundRam, SpuCore::kRamBytes);
    for (auto call : {SPUputOne, SPUsetAddr, SPUsetPitch, SPUsetVolumeL, SPUsetVolumeR}) call(0x1000, 0x3FFF);
    for (auto call : {SPUplaySample, SPUstartChannels1, SPUstartChannels2, SPUstopChannels1, SPUstopChannels2}) {
        call(0xFFFF);
    }
    SPUplaySector();
    EXPECT_EQ(std::memcmp(before.get(), plugin::core->soundRam, SpuCore::kRamBytes), 0);
    for (const SpuVoice& v : plugin::core->voices) EXPECT_EQ(v.pitch + v.envelopePhase + v.startAddress, 0);
}

}  // namespace
}  // namespace zarn
