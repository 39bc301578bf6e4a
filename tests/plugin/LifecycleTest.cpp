// The plugin's entry points and lifecycle, called as a host calls them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "plugin/Plugin.h"
#include "settings/DriverSettings.h"
#include "spu/SpuCore.h"
#include "support/Adpcm.h"
#include "support/TestStore.h"
#include "ui/SettingsDialog.h"

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
#if !defined(_WIN32)
    // No GUI here: the About text goes to standard error (the Windows dialogs
    // are tested through the DLL under Wine).
    ::testing::internal::CaptureStderr();
    SPUabout();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), std::string(ui::kAboutText) + "\n");
#endif
}

TEST_F(LifecycleTest, InitOpenCloseShutdown) {
    ASSERT_EQ(SPUinit(), 0);
    ASSERT_NE(plugin::output, nullptr);
    EXPECT_TRUE(test::StoreHasKey());  // the first run wrote the defaults
    EXPECT_EQ(plugin::core->xa.capacity, 48 * 512);
    // SPUconfigure edits a record of its own (here: no dialog opens, or none
    // can, without the DLL's template); the plugin's record stays as it is.
    DriverSettings* const live = plugin::currentSettings;
    live->XAVolume = 150;
    EXPECT_EQ(SPUconfigure(), 0);
    EXPECT_TRUE(plugin::currentSettings == live && live->XAVolume == 150);
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

std::atomic<int> irqCalls{0};
void ZARN_CALL CountIrq() { ++irqCalls; }

// Waits up to five seconds for `done`.
template <typename Condition>
bool Eventually(Condition done) {
    for (int i = 0; i < 5000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

// The sound thread mixes in real time on whatever device there is (without
// one, on the clock), publishes the voice status, raises the interrupt on
// its own thread, and stops mixing when SPUclose returns; the next run
// plays on from the same state.
TEST_F(LifecycleTest, TheSoundThreadPlaysOnAcrossCloseAndReopen) {
    ASSERT_EQ(SPUinit(), 0);
    test::WriteBlock(*plugin::core, 0x10, 0x00, 3, test::Ramp());  // loops on itself
    for (const auto& [address, value] : {std::pair{0x1F801C04u, 0x1000u}, {0x1F801C06, 0x10}, {0x1F801C0E, 0x10},
                                         {0x1F801C08, 0x000F}, {0x1F801C0A, 127 << 6}, {0x1F801DA4, 0x10},
                                         {0x1F801D88, 1}}) {
        SPUwriteRegister(address, value);
    }
    SPUregisterCallback(CountIrq);
    irqCalls = 0;
    SPUopen(nullptr);
    EXPECT_TRUE(Eventually([] { return irqCalls > 10 && SPUreadRegister(0x1F801C0C) == 30719; }));
    EXPECT_EQ(SPUreadRegister(0x1F801D9C), 1u);
    SPUclose();
    const int closedAt = irqCalls;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(irqCalls, closedAt);
    SPUopen(nullptr);
    EXPECT_TRUE(Eventually([&] { return irqCalls > closedAt + 10; }));
    SPUclose();
}

}  // namespace
}  // namespace zarn
