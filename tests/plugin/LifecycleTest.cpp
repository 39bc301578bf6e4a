// The plugin's entry points and lifecycle, called as a host calls them.
#include <gtest/gtest.h>

#include "plugin/Plugin.h"
#include "settings/DriverSettings.h"
#include "spu/SpuCore.h"
#include "support/TestStore.h"

namespace zarn {
namespace {

struct LifecycleTest : ::testing::Test {
    void SetUp() override { test::UseFreshSettingsStore(); }
    void TearDown() override { SPUshutdown(); }
};

TEST_F(LifecycleTest, IdentificationAndCallsBeforeInit) {
    EXPECT_STREQ(PSEgetLibName(), "Zarn's SPU Audio Driver");
    EXPECT_EQ(PSEgetLibType(), 4u);
    EXPECT_EQ(PSEgetLibVersion(), 65548u);
    EXPECT_EQ(SPUtest(), 0);
    EXPECT_EQ(SPUgetOne(0x1234), 0u);
    SPUwriteRegister(0x1F801C04, 0x1000);
    EXPECT_EQ(SPUreadRegister(0x1F801C04), 0u);
    uint16_t words[2] = {1, 2};
    SPUreadDMAMem(words, 2);
    EXPECT_EQ(words[0], 1);
    EXPECT_EQ(SPUopen(nullptr), 0);
    EXPECT_FALSE(plugin::SoundThreadRunning());
    EXPECT_EQ(SPUclose() | SPUshutdown(), 0);
    EXPECT_FALSE(test::StoreHasKey());
}

TEST_F(LifecycleTest, InitOpenCloseShutdown) {
    ASSERT_EQ(SPUinit(), 0);
    ASSERT_NE(plugin::output, nullptr);
    EXPECT_TRUE(test::StoreHasKey());  // the first run wrote the defaults
    EXPECT_EQ(plugin::core->xa.capacity, 48 * 512);
    SPUwriteRegister(0x1F801C06, 0x0200);
    EXPECT_EQ(SPUopen(reinterpret_cast<void*>(0x1234)), 0);
    EXPECT_EQ(plugin::hostWindow, reinterpret_cast<void*>(0x1234));
    EXPECT_TRUE(plugin::SoundThreadRunning());
    EXPECT_FALSE(plugin::WindowThreadRunning());  // ShowRealtimeConfigWindow 0
    EXPECT_EQ(SPUclose(), 0);
    EXPECT_FALSE(plugin::SoundThreadRunning());

    // With the window wanted both start; a window started by SPUopen is ended
    // by SPUclose even when the setting was reset in between.
    plugin::currentSettings->ShowRealtimeConfigWindow = 1;
    EXPECT_EQ(SPUopen(nullptr), 0);
    plugin::currentSettings->ShowRealtimeConfigWindow = 0;
    SPUopen(nullptr);  // a second open keeps the running threads
    EXPECT_TRUE(plugin::WindowThreadRunning() && plugin::SoundThreadRunning());
    EXPECT_EQ(SPUclose(), 0);
    EXPECT_FALSE(plugin::WindowThreadRunning() || plugin::SoundThreadRunning());

    // The SPU state survives; shutdown with a run still open closes it and
    // destroys the objects.
    SPUopen(nullptr);
    EXPECT_EQ(SPUreadRegister(0x1F801C06), 0x0200u);
    EXPECT_EQ(SPUshutdown(), 0);
    EXPECT_FALSE(plugin::SoundThreadRunning());
    EXPECT_TRUE(plugin::core == nullptr && plugin::currentSettings == nullptr && plugin::output == nullptr);
}

}  // namespace
}  // namespace zarn
