// Sound through the entry points: SPUrender, SPUplayADPCMchannel and the
// XA wait.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

#include "plugin/Plugin.h"
#include "settings/DriverSettings.h"
#include "state/FreezeRecord.h"
#include "support/CoreRig.h"
#include "support/TestStore.h"

namespace zarn {
namespace {

void Write(std::initializer_list<std::pair<uint32_t, uint32_t>> program) {
    for (const auto& [address, value] : program) SPUwriteRegister(address, value);
}
int32_t Queued() { return plugin::Inspect().core->xa.QueuedSamples(); }

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseFreshSettingsStore();
        ASSERT_EQ(SPUinit(), 0);
        xa.frequency = 44100;
    }
    void TearDown() override { SPUshutdown(); }
    std::unique_ptr<FreezeRecord> record = std::make_unique<FreezeRecord>();  // zeroed
    XaDecodeBlock& xa = record->xa;
};

TEST_F(SoundTest, RenderWritesWholeFramesAndAlwaysPublishes) {
    // Voice 0 loops the ramp block 4096, 8192, ... at unit 0x10.
    test::WriteBlock(*plugin::Inspect().core, 0x10, 0x00, 3, test::Ramp());
    Write({{0x1F801C00, 0x3FFF},
           {0x1F801C02, 0x2000},
           {0x1F801C04, 0x1000},
           {0x1F801C06, 0x10},
           {0x1F801C08, 0x000F},
           {0x1F801C0A, 127 << 6},
           {0x1F801D80, 0x3FFF},
           {0x1F801D82, 0x3FFF},
           {0x1F801D88, 1}});
    std::array<int16_t, 4> out = {0, 0, 0x5555, 0x5555};
    SPUrender(out.data(), 6);  // one frame; the last 2 bytes stay
    EXPECT_EQ(out, (std::array<int16_t, 4>{2045, 1022, 0x5555, 0x5555}));
    EXPECT_EQ(SPUreadRegister(0x1F801C0C), 16383u);
    // Fewer than 4 bytes: nothing written, the status published all the same
    // (an odd address only stores into the image).
    for (const uint32_t bytes : {0u, 3u}) {
        SPUwriteRegister(0x1F801D9D, 0xFFFF);
        SPUrender(bytes == 0 ? nullptr : out.data(), bytes);
        EXPECT_EQ(std::tuple(out[0], SPUreadRegister(0x1F801D9C)), std::tuple(int16_t{2045}, 1u)) << bytes;
    }
}

TEST_F(SoundTest, XaIsMixedAfterTheVoicesAndCanBeWaitedFor) {
    xa.stereo = xa.sampleCount = 1;
    xa.samples[0] = 16384;
    xa.samples[1] = -16384;
    SPUplayADPCMchannel(nullptr);
    SPUplayADPCMchannel(&xa);
    Write({{0x1F801DB0, 0x7FFF}, {0x1F801DB2, 0x4000}, {0x1F801D80, 0x3FFF}, {0x1F801D82, 0x3FFF}});
    int16_t out[4];
    SPUrender(out, sizeof out);
    // 16384 at CD volume 32767 -> 16383, at the default 75 % -> 12287, main
    // volume -> 12286; -16384 at CD volume 16384 -> -8192 -> -6144 -> -6144.
    // The ring is empty again for the second frame.
    EXPECT_EQ(std::vector<int16_t>(out, out + 3), (std::vector<int16_t>{12286, -6144, 0}));

    // The XA wait: the mixer drains the ring while the host waits. Both the
    // entry point and a save-state load (which holds the lock when it passes
    // the block on) wait until at most 2048 samples are queued.
    plugin::Inspect().settings->EnableXAWait = 1;
    ASSERT_EQ(SPUfreeze(1, record.get()), 1);                          // clears the record's XA block
    std::tie(xa.frequency, xa.sampleCount) = std::tuple(44100, 3000);  // mono: 6000 samples queued
    SPUplayADPCMchannel(&xa);
    for (const bool load : {false, true}) {
        std::atomic<bool> queued{false};
        std::thread host([&] {
            load ? SPUfreeze(0, record.get()) : (SPUplayADPCMchannel(&xa), 0);
            queued = true;
        });
        for (int16_t out[2 * 100]; !queued; std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
            SPUrender(out, sizeof out);
        }
        host.join();
        EXPECT_TRUE(Queued() >= 6000 && Queued() <= 6000 + 2048) << Queued();
    }
}

// Blocks queued from the interrupt function, which runs in the middle of a
// mixed frame: a block exactly as long as a host's, with a negative frame
// count (whose size would wrap in 32 bits), and one the ring cannot take.
std::vector<std::unique_ptr<XaDecodeBlock>> blocksFromIrq;
int irqCalls = 0;
void ZARN_CALL QueueFromIrq() {
    ++irqCalls;
    for (const auto& block : blocksFromIrq) SPUplayADPCMchannel(block.get());
}

TEST_F(SoundTest, XaFromTheInterruptNeverWaitsNorReadsPastTheBlock) {
    for (const auto& [frequency, stereo, count] :
         {std::tuple(44100, 1, -2147463648), {88200, 0, -2147463648}, {44100, 1, 8000}}) {
        blocksFromIrq.push_back(std::make_unique<XaDecodeBlock>());
        std::tie(blocksFromIrq.back()->frequency, blocksFromIrq.back()->bitsPerSample, blocksFromIrq.back()->stereo,
                 blocksFromIrq.back()->sampleCount) = std::tuple(frequency, 4, stereo, count);
        SPUplayADPCMchannel(blocksFromIrq.back().get());  // from the host's thread: only the last queues
    }
    EXPECT_EQ(Queued(), 16000);
    // Voice 0 plays out the IRQ block after 28 frames; the host then queues
    // the three blocks again, with the XA wait on: the ring takes what fits.
    plugin::Inspect().settings->EnableXAWait = 1;
    test::WriteBlock(*plugin::Inspect().core, 0x10, 0x00, 1, test::Ramp());
    Write({{0x1F801C04, 0x1000}, {0x1F801C06, 0x10}, {0x1F801DA4, 0x10}, {0x1F801D88, 1}});
    SPUregisterCallback(QueueFromIrq);
    int16_t frame[2];
    for (int frames = 0; frames < 30 && irqCalls == 0; ++frames) SPUrender(frame, sizeof frame);
    EXPECT_EQ(std::tuple(irqCalls, Queued()), std::tuple(1, 24574 - 2));  // full, less the frame that raised it
    blocksFromIrq.clear();
}

}  // namespace
}  // namespace zarn
