// The plugin's entry points and lifecycle, called as a host calls them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <thread>
#include <tuple>
#include <vector>

#include "plugin/Plugin.h"
#include "plugin/Version.h"
#include "settings/DriverSettings.h"
#include "state/FreezeRecord.h"
#include "state/SpuRecorder.h"
#include "support/CoreRig.h"
#include "support/TestStore.h"
#include "ui/SettingsDialog.h"

// The plugin makes its objects, the XA ring and the recorder's buffers with
// nothrow allocations. While armed, the n-th of them from now fails.
namespace {
std::atomic<int> nothrowToFail{0};
std::atomic<bool> nothrowFailed{false};

void* AllocateUnlessArmed(size_t bytes, bool array) noexcept {
    if (nothrowToFail > 0 && --nothrowToFail == 0) {
        nothrowFailed = true;
        return nullptr;
    }
    try {
        return array ? ::operator new[](bytes) : ::operator new(bytes);
    } catch (...) {
        return nullptr;
    }
}
}  // namespace

void* operator new(size_t bytes, const std::nothrow_t&) noexcept { return AllocateUnlessArmed(bytes, false); }
void* operator new[](size_t bytes, const std::nothrow_t&) noexcept { return AllocateUnlessArmed(bytes, true); }

namespace zarn {
namespace {

struct LifecycleTest : ::testing::Test {
    void SetUp() override { test::UseFreshSettingsStore(); }
    void TearDown() override { SPUshutdown(); }
};

std::atomic<int> irqCalls{0};
void ZARN_CALL CountIrq() { ++irqCalls; }

// Waits up to five seconds for `done`.
template <typename Condition>
bool Eventually(Condition done) {
    for (int i = 0; i < 5000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

// Voice 0 loops a ramp block that raises the interrupt at every pass.
void PlayALoopingVoice() {
    test::WriteBlock(*plugin::Inspect().core, 0x10, 0x00, 3, test::Ramp());
    for (const auto& [address, value] : {std::pair{0x1F801C04u, 0x1000u},
                                         {0x1F801C06, 0x10},
                                         {0x1F801C0E, 0x10},
                                         {0x1F801C08, 0x000F},
                                         {0x1F801C0A, 127 << 6},
                                         {0x1F801DA4, 0x10},
                                         {0x1F801D88, 1}}) {
        SPUwriteRegister(address, value);
    }
    SPUregisterCallback(CountIrq);
    irqCalls = 0;
}

TEST_F(LifecycleTest, IdentificationAndCallsBeforeInit) {
    EXPECT_STREQ(PSEgetLibName(), "Zarn's SPU Audio Driver");
    EXPECT_EQ(std::tuple(PSEgetLibType(), PSEgetLibVersion(), SPUtest(), SPUgetOne(0x1234)),
              std::tuple(4u, kLibVersion, 0, 0u));
    SPUwriteRegister(0x1F801C04, 0x1000);
    EXPECT_EQ(SPUreadRegister(0x1F801C04), 0u);
    uint16_t words[2] = {1, 2};
    SPUreadDMAMem(words, 2);  // no core: zeros, not the host's old words
    EXPECT_EQ(words[0] | words[1], 0);
    EXPECT_EQ(SPUopen(nullptr) | SPUclose() | SPUshutdown(), 0);
    EXPECT_FALSE(plugin::Inspect().soundThreadRunning || test::StoreHasKey());
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
    EXPECT_TRUE(test::StoreHasKey());  // the first run wrote the defaults
    EXPECT_EQ(plugin::Inspect().core->xa.capacity, 48 * 512);
    // SPUconfigure edits a record of its own (here: no dialog opens, or none
    // can, without the DLL's template); the plugin's record stays as it is.
    DriverSettings* const live = plugin::Inspect().settings;
    live->XAVolume = 150;
    EXPECT_EQ(SPUconfigure(), 0);
    EXPECT_TRUE(plugin::Inspect().settings == live && live->XAVolume == 150);
    SPUwriteRegister(0x1F801C06, 0x0200);
    EXPECT_EQ(SPUopen(reinterpret_cast<void*>(0x1234)), 0);
    EXPECT_EQ(plugin::Inspect().hostWindow, reinterpret_cast<void*>(0x1234));
    EXPECT_TRUE(plugin::Inspect().soundThreadRunning && !plugin::Inspect().windowThreadRunning);
    EXPECT_EQ(SPUclose(), 0);
    EXPECT_FALSE(plugin::Inspect().soundThreadRunning);
    // With the window wanted both start; a window started by SPUopen is ended
    // by SPUclose even when the setting was reset in between.
    live->ShowRealtimeConfigWindow = 1;
    EXPECT_EQ(SPUopen(nullptr), 0);
    live->ShowRealtimeConfigWindow = 0;
    SPUopen(nullptr);  // a second open keeps the running threads
    EXPECT_TRUE(plugin::Inspect().windowThreadRunning && plugin::Inspect().soundThreadRunning);
    EXPECT_EQ(SPUclose(), 0);
    EXPECT_FALSE(plugin::Inspect().windowThreadRunning || plugin::Inspect().soundThreadRunning);
    // The SPU state survives; shutdown with a run still open closes it and
    // destroys the objects.
    SPUopen(nullptr);
    EXPECT_EQ(SPUreadRegister(0x1F801C06), 0x0200u);
    EXPECT_EQ(SPUshutdown(), 0);
    const plugin::Objects after = plugin::Inspect();
    EXPECT_TRUE(!after.soundThreadRunning && !after.core && !after.settings && !after.output);
}

// The sound thread mixes in real time on whatever device there is (without
// one, on the clock), publishes the voice status, raises the interrupt on
// its own thread, and stops mixing when SPUclose returns; the next run
// plays on from the same state.
TEST_F(LifecycleTest, TheSoundThreadPlaysAcrossCloseAndReopen) {
    ASSERT_EQ(SPUinit(), 0);
    PlayALoopingVoice();
    SPUopen(nullptr);
    EXPECT_TRUE(Eventually([] { return irqCalls > 10 && SPUreadRegister(0x1F801C0C) == 30719; }));
    EXPECT_EQ(SPUreadRegister(0x1F801D9C), 1u);
    SPUclose();
    const int closedAt = irqCalls;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(irqCalls, closedAt);
    SPUopen(nullptr);
    EXPECT_TRUE(Eventually([&] { return irqCalls > closedAt + 10; }));
    SPUshutdown();
}

// Every object SPUinit makes fails in turn. Without a core nothing may look
// done: saves and loads return 0, and the host's buffers get zeros rather
// than keep their old bytes. Without the XA ring's memory or the sound
// device the plugin plays on.
TEST_F(LifecycleTest, WhatCannotBeMadeIsNeverReportedDone) {
    const auto record = std::make_unique<FreezeRecord>();
    uint8_t* const bytes = reinterpret_cast<uint8_t*>(record.get());
    int withoutCore = 0, failures = 0;
    for (;; ++failures) {
        nothrowFailed = false;
        nothrowToFail = failures + 1;
        SPUinit();
        nothrowToFail = 0;
        if (!nothrowFailed) break;
        SCOPED_TRACE(failures + 1);
        const bool core = plugin::Inspect().core != nullptr;
        withoutCore += !core;
        std::memset(bytes, 0xA5, sizeof *record);
        EXPECT_EQ(SPUfreeze(1, record.get()) + SPUfreeze(0, record.get()), core ? 2 : 0);
        if (!core) {
            EXPECT_TRUE(std::all_of(bytes, bytes + sizeof *record, [](uint8_t b) { return b == 0xA5; }));
            EXPECT_EQ(SPUfreeze(2, record.get()), 1);  // the size query needs no state
            int16_t out[3] = {7, 7, 7};
            SPUrender(out, 6);
            uint16_t words[3] = {5, 5, 5};
            SPUreadDMAMem(words, 2);
            EXPECT_EQ(std::vector<int>({out[0], out[1], out[2], words[0], words[1], words[2]}),
                      std::vector<int>({0, 0, 7, 0, 0, 5}));
            EXPECT_EQ(SPUreadRegister(0x1F801C00) | SPUreadDMA(), 0u);
        }
        SPUopen(nullptr);
        EXPECT_EQ(plugin::Inspect().soundThreadRunning, core);
        SPUshutdown();
    }
    EXPECT_GE(withoutCore, 2);  // the settings record, the core
    EXPECT_GT(failures, withoutCore);

    // The recorder's buffers: a start that gets no memory records nothing.
    SPUinit();
    for (const int which : {1, 2}) {
        nothrowToFail = which;
        plugin::StartRecording();
        nothrowToFail = 0;
        EXPECT_FALSE(plugin::Inspect().recorder->IsRecording()) << which;
    }
}

}  // namespace
}  // namespace zarn
