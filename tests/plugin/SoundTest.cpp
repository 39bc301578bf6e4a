// Sound through the entry points: SPUrender, SPUplayADPCMchannel,
// SPUplayCDDAchannel and the XA wait.
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
#include "support/Adpcm.h"
#include "support/TestStore.h"

namespace zarn {
namespace {

void Write(std::initializer_list<std::pair<uint32_t, uint32_t>> program) {
    for (const auto& [address, value] : program) SPUwriteRegister(address, value);
}

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
        EXPECT_EQ(out[0], 2045);
        EXPECT_EQ(SPUreadRegister(0x1F801D9C), 1u) << bytes;
    }
}

TEST_F(SoundTest, XaIsMixedAfterTheVoicesAndCanBeWaitedFor) {
    xa.stereo = xa.sampleCount = 1;
    xa.samples[0] = 16384;
    xa.samples[1] = -16384;
    SPUplayADPCMchannel(nullptr);
    SPUplayADPCMchannel(&xa);
    Write({{0x1F801DB0, 0x7FFF}, {0x1F801DB2, 0x7FFF}, {0x1F801D80, 0x3FFF}, {0x1F801D82, 0x3FFF}});
    int16_t out[4];
    SPUrender(out, sizeof out);
    // 16384 at CD volume 32767 -> 16383, at 75 % -> 12287, main volume -> 12286.
    EXPECT_EQ(out[0], 12286);
    EXPECT_EQ(out[1], (16383 * -12288) >> 14);
    EXPECT_EQ(out[2], 0);  // the ring is empty again

    // The XA wait: the mixer drains the ring while the host waits.
    plugin::Inspect().settings->EnableXAWait = 1;
    ASSERT_EQ(SPUfreeze(1, record.get()), 1);  // clears the record's XA block
    xa.frequency = 44100;
    xa.sampleCount = 3000;  // mono: 6000 samples queued
    SPUplayADPCMchannel(&xa);
    // Both the entry point and a save-state load (which holds the lock when
    // it passes the block on) wait until at most 2048 samples are queued.
    for (const bool load : {false, true}) {
        std::atomic<bool> queued{false};
        std::thread host([&] {
            if (load)
                SPUfreeze(0, record.get());
            else
                SPUplayADPCMchannel(&xa);
            queued = true;
        });
        for (int16_t out[2 * 100]; !queued; std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
            SPUrender(out, sizeof out);
        }
        host.join();
        const int32_t queuedSamples = plugin::Inspect().core->xa.QueuedSamples();
        EXPECT_TRUE(queuedSamples >= 6000 && queuedSamples <= 6000 + 2048) << queuedSamples;
    }
}

#if !defined(_WIN32)  // an entry point of the Linux library only
// CD audio sectors: PCM at 44100 Hz in a ring of their own.
TEST_F(SoundTest, CdAudioIsMixedAfterXaKeepsItsOrderAndWaitsLikeXa) {
    const XaRing& ring = plugin::Inspect().core->cdda;
    const auto frames = [](int count, int16_t first, int16_t step) {
        std::vector<int16_t> pcm;
        for (int n = 0; n < count; ++n) pcm.insert(pcm.end(), 2, static_cast<int16_t>(first + n * step));
        return pcm;
    };
    std::vector<int16_t> pcm = {16384, -16384, 100, 200, 7};
    SPUplayCDDAchannel(nullptr, 4);
    SPUplayCDDAchannel(pcm.data(), -4);
    SPUplayCDDAchannel(pcm.data(), 3);
    EXPECT_EQ(ring.QueuedSamples(), 0);

    // After XA, scaled alike (16384 -> 12287, -16384 -> -12288, 100 -> 74);
    // the half frame at the end is left out.
    xa.sampleCount = 1;
    xa.samples[0] = 16384;
    SPUplayADPCMchannel(&xa);
    SPUplayCDDAchannel(pcm.data(), 10);
    Write({{0x1F801DB0, 0x7FFF}, {0x1F801DB2, 0x7FFF}, {0x1F801D80, 0x3FFF}, {0x1F801D82, 0x3FFF}});
    std::array<int16_t, 6> out;
    SPUrender(out.data(), sizeof out);
    EXPECT_EQ(out, (std::array<int16_t, 6>{24572, -1, 73, 148, 0, 0}));

    // A full ring keeps what it holds and drops the newest frames.
    const std::vector<int16_t> first = frames(12000, 0, 1), second = frames(588, -1, -1);
    SPUplayCDDAchannel(const_cast<int16_t*>(first.data()), 12000 * 4);
    SPUplayCDDAchannel(const_cast<int16_t*>(second.data()), 588 * 4);
    EXPECT_EQ(ring.QueuedSamples(), ring.capacity - 2);
    const auto queued = [&](int frame) { return ring.buffer[(ring.readIndex + 2 * frame) % ring.capacity]; };
    EXPECT_EQ(std::tuple(queued(11999), queued(12000), queued(ring.capacity / 2 - 2)), std::tuple(11999, -1, -287));

    // With the XA wait the host waits until the sector fits and at most 2048
    // samples are queued.
    plugin::Inspect().settings->EnableXAWait = 1;
    std::atomic<bool> done{false};
    std::thread host([&] {
        SPUplayCDDAchannel(const_cast<int16_t*>(second.data()), 588 * 4);
        done = true;
    });
    for (int16_t mixed[2 * 100]; !done; std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
        SPUrender(mixed, sizeof mixed);
    }
    host.join();
    EXPECT_TRUE(ring.QueuedSamples() >= 1176 && ring.QueuedSamples() <= 1176 + 2048) << ring.QueuedSamples();
}
#endif

// Blocks queued from the interrupt function, which runs in the middle of a
// mixed frame: a block exactly as long as a host's, with a negative frame
// count (whose size would wrap in 32 bits), and one the ring cannot take.
std::vector<XaDecodeBlock*> blocksFromIrq;
int irqCalls = 0;
void ZARN_CALL QueueFromIrq() {
    ++irqCalls;
    for (XaDecodeBlock* block : blocksFromIrq) SPUplayADPCMchannel(block);
}

TEST_F(SoundTest, XaFromTheInterruptNeverWaitsNorReadsPastTheBlock) {
    std::vector<std::unique_ptr<XaDecodeBlock>> blocks;
    for (const auto& [frequency, stereo, count] :
         {std::tuple(44100, 1, -2147463648), std::tuple(88200, 0, -2147463648), std::tuple(44100, 1, 8000)}) {
        blocks.push_back(std::make_unique<XaDecodeBlock>());
        std::tie(blocks.back()->frequency, blocks.back()->bitsPerSample, blocks.back()->stereo,
                 blocks.back()->sampleCount) = std::tuple(frequency, 4, stereo, count);
        SPUplayADPCMchannel(blocks.back().get());  // from the host's thread: only the last queues
        blocksFromIrq.push_back(blocks.back().get());
    }
    EXPECT_EQ(plugin::Inspect().core->xa.QueuedSamples(), 16000);

    // Voice 0 plays out the IRQ block after 28 frames; the host then queues
    // the three blocks again, with the XA wait on: the ring takes what fits.
    plugin::Inspect().settings->EnableXAWait = 1;
    test::WriteBlock(*plugin::Inspect().core, 0x10, 0x00, 1, test::Ramp());
    Write({{0x1F801C04, 0x1000}, {0x1F801C06, 0x10}, {0x1F801DA4, 0x10}, {0x1F801D88, 1}});
    SPUregisterCallback(QueueFromIrq);
    int16_t frame[2];
    for (int frames = 0; frames < 30 && irqCalls == 0; ++frames) SPUrender(frame, sizeof frame);
    EXPECT_EQ(irqCalls, 1);
    EXPECT_EQ(plugin::Inspect().core->xa.QueuedSamples(), 24574 - 2);  // full, less the frame that raised it
    blocksFromIrq.clear();
}

}  // namespace
}  // namespace zarn
