// The plugin's entry points called as a host calls them: its lifecycle and
// sound thread, rendering and XA, save states and the recorder.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <thread>
#include <tuple>
#include <vector>

#include "plugin/Plugin.h"
#include "settings/DriverSettings.h"
#include "state/FreezeRecord.h"
#include "state/SpuRecorder.h"
#include "support/CoreRig.h"
#include "support/TestStore.h"
#include "ui/SettingsDialog.h"

namespace zarn {
namespace {

constexpr size_t kRecordBytes = 558640, kXaOffset = 524816;

void Write(std::initializer_list<std::pair<uint32_t, uint32_t>> program) {
    for (const auto& [address, value] : program) SPUwriteRegister(address, value);
}
SpuCore& Core() { return *plugin::Inspect().core; }
int32_t Queued() { return Core().xa.QueuedSamples(); }

// The interrupt function counts, and queues the blocks asked for.
std::atomic<int> irqCalls{0};
std::vector<std::unique_ptr<XaDecodeBlock>> blocksFromIrq;
void ZARN_CALL OnIrq() {
    ++irqCalls;
    for (const auto& block : blocksFromIrq) SPUplayADPCMchannel(block.get());
}

// Waits up to five seconds for `done`.
template <typename Condition>
bool Eventually(Condition done) {
    for (int i = 0; i < 5000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

// Makes `call` on a host thread, rendering on this one as the sound thread
// would, until the call returns.
template <typename Call>
void RenderWhile(Call call) {
    std::atomic<bool> done{false};
    std::thread host([&] { call(), done = true; });
    for (int16_t out[2 * 100]; !done; std::this_thread::sleep_for(std::chrono::milliseconds(1)))
        SPUrender(out, sizeof out);
    host.join();
}

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override { test::UseFreshSettingsStore(); }
    void TearDown() override {
        SPUshutdown();
        blocksFromIrq.clear();
    }
    // Voice 0 loops the ramp block at unit 0x10, raising the interrupt at every pass.
    void PlayALoopingVoice(uint8_t flags = 3) {
        test::WriteBlock(Core(), 0x10, 0x00, flags, test::Ramp());
        // clang-format off
        Write({{0x1F801C00, 0x3FFF}, {0x1F801C02, 0x2000}, {0x1F801C04, 0x1000}, {0x1F801C06, 0x10},
               {0x1F801C08, 0x000F}, {0x1F801C0A, 127 << 6}, {0x1F801C0E, 0x10}, {0x1F801D80, 0x3FFF},
               {0x1F801D82, 0x3FFF}, {0x1F801DA4, 0x10}, {0x1F801D88, 1}});
        // clang-format on
        SPUregisterCallback(OnIrq);
        irqCalls = 0;
    }
    std::unique_ptr<FreezeRecord> record = std::make_unique<FreezeRecord>();  // zeroed
    uint8_t* bytes = reinterpret_cast<uint8_t*>(record.get());
    XaDecodeBlock& xa = record->xa;
};

// Without a core (before SPUinit, or when it could not make one) nothing may
// look done: saves and loads return 0, and the host's buffers get zeros
// rather than keep their old bytes.
TEST_F(PluginTest, CallsBeforeInitThenARunOfTheSoundThread) {
    std::memset(bytes, 0xA5, kRecordBytes);
    const int32_t saved = SPUfreeze(1, record.get()) + SPUfreeze(0, record.get());
    EXPECT_EQ(std::tuple(saved, bytes[16], SPUfreeze(2, record.get())),
              std::tuple(0, 0xA5, 1));  // size query: no state
    int16_t out[3] = {7, 7, 7};
    SPUrender(out, 6);
    uint16_t words[3] = {5, 5, 5};
    SPUreadDMAMem(words, 2);
    EXPECT_EQ(std::vector<int>({out[0], out[1], out[2], words[0], words[1], words[2]}),
              std::vector<int>({0, 0, 7, 0, 0, 5}));
    EXPECT_EQ(std::tuple(SPUreadRegister(0x1F801C04), SPUreadDMA(), SPUopen(nullptr), SPUclose(), SPUshutdown()),
              std::tuple(0u, 0u, 0, 0, 0));
    EXPECT_FALSE(plugin::Inspect().soundThreadRunning || test::StoreHasKey());
    ASSERT_EQ(SPUinit(), 0);
    EXPECT_TRUE(test::StoreHasKey());  // the first run wrote the defaults
    EXPECT_EQ(Core().xa.capacity, 48 * 512);
    // The sound thread mixes in real time (on the clock without a device),
    // publishes, raises the interrupt, and stops when SPUclose returns.
    PlayALoopingVoice();
    EXPECT_EQ(SPUopen(reinterpret_cast<void*>(0x1234)), 0);
    EXPECT_EQ(plugin::Inspect().hostWindow, reinterpret_cast<void*>(0x1234));
    EXPECT_TRUE(plugin::Inspect().soundThreadRunning && !plugin::Inspect().windowThreadRunning);
    EXPECT_TRUE(Eventually([] { return irqCalls > 10 && SPUreadRegister(0x1F801C0C) == 30719; }));
    EXPECT_EQ(std::tuple(SPUreadRegister(0x1F801D9C), SPUclose()), std::tuple(1u, 0));
    const int closedAt = irqCalls;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(std::tuple(irqCalls.load(), plugin::Inspect().soundThreadRunning), std::tuple(closedAt, false));
    // The next run plays on. With the window wanted both threads start; SPUclose
    // ends a window SPUopen started even when the setting was reset since.
    DriverSettings* const live = plugin::Inspect().settings;
    live->ShowRealtimeConfigWindow = 1;
    EXPECT_EQ(SPUopen(nullptr), 0);
    live->ShowRealtimeConfigWindow = 0;
    SPUopen(nullptr);  // a second open keeps the running threads
    EXPECT_TRUE(plugin::Inspect().windowThreadRunning && plugin::Inspect().soundThreadRunning);
    EXPECT_TRUE(Eventually([&] { return irqCalls > closedAt + 10; }));
    EXPECT_EQ(SPUclose(), 0);
    EXPECT_FALSE(plugin::Inspect().windowThreadRunning || plugin::Inspect().soundThreadRunning);
    // Shutdown with a run still open closes it and destroys the objects.
    SPUopen(nullptr);
    EXPECT_EQ(SPUshutdown(), 0);
    const plugin::Objects after = plugin::Inspect();
    EXPECT_TRUE(!after.soundThreadRunning && !after.core && !after.settings && !after.output);
#if !defined(_WIN32)
    // No GUI here: the About text goes to standard error.
    ::testing::internal::CaptureStderr();
    SPUabout();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), std::string(ui::kAboutText) + "\n");
#endif
}

TEST_F(PluginTest, RenderWritesWholeFramesAndAlwaysPublishes) {
    ASSERT_EQ(SPUinit(), 0);
    PlayALoopingVoice();
    std::array<int16_t, 4> out = {0, 0, 0x5555, 0x5555};
    SPUrender(out.data(), 6);  // one frame; the last 2 bytes stay
    EXPECT_EQ(out, (std::array<int16_t, 4>{2045, 1022, 0x5555, 0x5555}));
    EXPECT_EQ(SPUreadRegister(0x1F801C0C), 16383u);
    // Fewer than 4 bytes: nothing written, the status published all the same.
    SPUwriteRegister(0x1F801D9D, 0xFFFF);
    SPUrender(out.data(), 3);
    EXPECT_EQ(std::tuple(out[0], SPUreadRegister(0x1F801D9C)), std::tuple(2045, 1u));
}

TEST_F(PluginTest, XaIsMixedAfterTheVoicesAndCanBeWaitedFor) {
    ASSERT_EQ(SPUinit(), 0);
    std::tie(xa.frequency, xa.stereo, xa.sampleCount, xa.samples[0], xa.samples[1]) =
        std::tuple(44100, 1, 1, 16384, -16384);
    SPUplayADPCMchannel(nullptr);
    SPUplayADPCMchannel(&xa);
    Write({{0x1F801DB0, 0x7FFF}, {0x1F801DB2, 0x4000}, {0x1F801D80, 0x3FFF}, {0x1F801D82, 0x3FFF}});
    int16_t out[4];
    SPUrender(out, sizeof out);
    // 16384 at CD volume 32767 -> 16383, at the default 75 % -> 12287, main
    // volume -> 12286; -16384 at CD volume 16384 -> -8192 -> -6144 -> -6144.
    EXPECT_EQ(std::vector<int16_t>(out, out + 3), (std::vector<int16_t>{12286, -6144, 0}));

    // The XA wait: the mixer drains the ring while the host waits. Both the
    // entry point and a save-state load (which holds the lock when it passes
    // the block on) wait until at most 2048 samples are queued.
    plugin::Inspect().settings->EnableXAWait = 1;
    ASSERT_EQ(SPUfreeze(1, record.get()), 1);                          // clears the record's XA block
    std::tie(xa.frequency, xa.sampleCount) = std::tuple(44100, 3000);  // mono: 6000 samples queued
    SPUplayADPCMchannel(&xa);
    for (const bool load : {false, true}) {
        RenderWhile([&] { load ? SPUfreeze(0, record.get()) : (SPUplayADPCMchannel(&xa), 0); });
        EXPECT_TRUE(Queued() >= 6000 && Queued() <= 6000 + 2048) << Queued();
    }
}

#if !defined(_WIN32)  // an entry point of the Linux library only
// CD audio sectors: PCM at 44100 Hz in a ring of their own, mixed after XA.
TEST_F(PluginTest, CdAudioIsMixedAfterXaKeepsItsOrderAndWaitsLikeXa) {
    ASSERT_EQ(SPUinit(), 0);
    const XaRing& ring = Core().cdda;
    std::vector<int16_t> pcm = {16384, -16384, 100, 200, 7};
    SPUplayCDDAchannel(nullptr, 4);
    SPUplayCDDAchannel(pcm.data(), -4);
    SPUplayCDDAchannel(pcm.data(), 3);
    EXPECT_EQ(ring.QueuedSamples(), 0);
    // After XA, scaled alike (16384 -> 12287, -16384 -> -12288, 100 -> 74);
    // the half frame at the end is left out.
    std::tie(xa.frequency, xa.sampleCount, xa.samples[0]) = std::tuple(44100, 1, 16384);
    SPUplayADPCMchannel(&xa);
    SPUplayCDDAchannel(pcm.data(), 10);
    Write({{0x1F801DB0, 0x7FFF}, {0x1F801DB2, 0x7FFF}, {0x1F801D80, 0x3FFF}, {0x1F801D82, 0x3FFF}});
    std::array<int16_t, 6> out;
    SPUrender(out.data(), sizeof out);
    EXPECT_EQ(out, (std::array<int16_t, 6>{24572, -1, 73, 148, 0, 0}));
    // A full ring keeps what it holds and drops the newest frames.
    const auto frames = [](int count, int16_t first, int16_t step) {
        std::vector<int16_t> pcm;
        for (int n = 0; n < count; ++n) pcm.insert(pcm.end(), 2, static_cast<int16_t>(first + n * step));
        return pcm;
    };
    std::vector<int16_t> first = frames(12000, 0, 1), second = frames(588, -1, -1);
    SPUplayCDDAchannel(first.data(), 12000 * 4);
    SPUplayCDDAchannel(second.data(), 588 * 4);
    EXPECT_EQ(ring.QueuedSamples(), ring.capacity - 2);
    const auto queued = [&](int frame) { return ring.buffer[(ring.readIndex + 2 * frame) % ring.capacity]; };
    EXPECT_EQ(std::tuple(queued(11999), queued(12000), queued(ring.capacity / 2 - 2)), std::tuple(11999, -1, -287));
    // With the XA wait the host waits until the sector fits and at most 2048
    // samples are queued.
    plugin::Inspect().settings->EnableXAWait = 1;
    RenderWhile([&] { SPUplayCDDAchannel(second.data(), 588 * 4); });
    EXPECT_TRUE(ring.QueuedSamples() >= 1176 && ring.QueuedSamples() <= 1176 + 2048) << ring.QueuedSamples();
}
#endif

// Blocks queued from the interrupt function, which runs in the middle of a
// mixed frame: a block exactly as long as a host's, with a negative frame
// count (whose size would wrap in 32 bits), and one the ring cannot take.
TEST_F(PluginTest, XaFromTheInterruptNeverWaitsNorReadsPastTheBlock) {
    ASSERT_EQ(SPUinit(), 0);
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
    PlayALoopingVoice(1);
    int16_t frame[2];
    for (int frames = 0; frames < 30 && irqCalls == 0; ++frames) SPUrender(frame, sizeof frame);
    EXPECT_EQ(std::tuple(irqCalls.load(), Queued()), std::tuple(1, 24574 - 2));  // full, less the frame that raised it
}

TEST_F(PluginTest, SavesLaidOutAsTheRecordAndTheSizeQuery) {
    // The header with bytes 6 and 7 as given; from `rest` on every byte as given.
    const auto holds = [&](uint8_t pad, size_t rest, uint8_t value) {
        const uint8_t header[16] = {'T', 'O', 'V', 'R', 'A', 0, pad, pad, 1, 0, 0, 0, 0x30, 0x86, 0x08, 0};
        return std::memcmp(bytes, header, 16) == 0 &&
               std::all_of(bytes + rest, bytes + kRecordBytes, [&](uint8_t b) { return b == value; });
    };
    ASSERT_EQ(SPUinit(), 0);
    EXPECT_EQ(SPUfreeze(1, nullptr) + SPUfreeze(0, nullptr), 0);
    Write({{0x1F801C04, 0x1234}, {0x1F801DFE, 0xABCD}, {0x1F801DA6, 0}});
    uint16_t data[2] = {0x0201, 0x0403};
    SPUwriteDMAMem(data, 2);
    Core().soundRam[0x7FFFF] = 0x77;
    // Mode 1 clears the record first; any other non-zero mode saves over it.
    for (const uint32_t mode : {1u, 7u}) {
        std::memset(bytes, 0xA5, kRecordBytes);
        EXPECT_EQ(SPUfreeze(mode, record.get()), 1);
        EXPECT_TRUE(holds(mode == 1 ? 0 : 0xA5, kXaOffset, mode == 1 ? 0 : 0xA5)) << mode;
        EXPECT_EQ(bytes[16 + 4] | bytes[16 + 5] << 8 | bytes[16 + 510] << 16, 0xCD1234);
        EXPECT_EQ(bytes[528] | bytes[529] << 8 | bytes[530] << 16 | bytes[531] << 24, 0x04030201);
        EXPECT_EQ(bytes[528 + 0x7FFFF], 0x77);
    }
    // The size query writes only name, version and size, with no plugin state.
    SPUshutdown();
    std::memset(bytes, 0xA5, kRecordBytes);
    EXPECT_EQ(SPUfreeze(2, record.get()), 1);
    EXPECT_TRUE(holds(0xA5, 16, 0xA5));
}

TEST_F(PluginTest, LoadReplaysTheRegistersAndPassesTheXaBlockOnWhenItFits) {
    // Voice 0 keyed on and off in the saved words, voice 1 on; a data word at 0x80.
    ASSERT_EQ(SPUinit(), 0);
    Write({{0x1F801C06, 0x0100},
           {0x1F801C16, 0x0200},
           {0x1F801C26, 0x0300},
           {0x1F801C1A, 5},
           {0x1F801D88, 3},
           {0x1F801D8C, 1},
           {0x1F801DA6, 0x10},
           {0x1F801DA8, 0xBEEF}});
    ASSERT_EQ(SPUfreeze(1, record.get()), 1);
    // Move the state on. Voices 2 and 4 sound without being keyed on in the
    // record; voice 4 has not been mixed since it started (activity bit clear).
    SpuVoice* v = Core().standard.voices;
    v[2].envelopePhase = v[4].envelopePhase = kSustain;
    std::tie(v[2].active, v[2].blockAddress, v[2].pitchCounter, v[0].pitchCounter) =
        std::tuple(1, 0x333, 0x5000, 0x5000);
    Core().soundRam[0x1000] = 0x99;
    std::tie(record->soundRam[0x80], record->soundRam[0x81]) = std::tuple(0x11, 0x22);  // a later upload's
    std::memcpy(record.get(), "XXXXXXXX\2\0\0\0\0\0\0", 16);                            // the header is not examined
    ASSERT_EQ(SPUfreeze(0, record.get()), 1);
    // Sound RAM exactly the record's: the replayed data word is not stored
    // again, yet the transfer address moves on past it.
    EXPECT_EQ(
        std::tuple(Core().soundRam[0x1000], Core().soundRam[0x80] | Core().soundRam[0x81] << 8, Core().transferAddress),
        std::tuple(0, 0x2211, 0x82u));
    // Voices 0 and 1 restarted, voice 0's key-off replayed after its key-on;
    // voice 2 keeps its position; voice 4's clear bit in the activity word
    // published by the key-on replay stops it.
    const auto state = [](const SpuVoice& v) { return std::tuple(v.envelopePhase, v.blockAddress, v.pitchCounter); };
    EXPECT_EQ(state(v[0]), std::tuple(kRelease, 0x100, 0x1000));
    EXPECT_EQ(state(v[1]), std::tuple(kAttack, 0x200, 0x1000));
    EXPECT_EQ(state(v[2]), std::tuple(kSustain, 0x333, 0x5000));
    EXPECT_EQ(std::tuple(v[4].envelopePhase, v[1].releaseRate), std::tuple(kOff, 5));
    // The published status; the envelope volume refreshed by key-on.
    EXPECT_EQ(std::tuple(SPUreadRegister(0x1F801D9C), SPUreadRegister(0x1F801C0C)), std::tuple(0x0007u, 1u));

    // The XA block is passed on only when it is mono or stereo with 1 to
    // 4032 frames: stereo, sampleCount, frames queued.
    const int32_t cases[][3] = {{0, 4032, 4032}, {0, 4033, 0}, {1, 4032, 4032},       {0, 1, 1},   {0, 0, 0},
                                {0, -1, 0},      {2, 4032, 0}, {0x7FFFFFFF, 4032, 0}, {-1, 100, 0}};
    xa.frequency = 44100;
    for (const auto& [stereo, sampleCount, frames] : cases) {
        Core().xa.readIndex = Core().xa.writeIndex = 0;
        std::tie(xa.stereo, xa.sampleCount) = std::tuple(stereo, sampleCount);
        ASSERT_EQ(SPUfreeze(0, record.get()), 1);
        EXPECT_EQ(Queued() / 2, frames) << stereo << " " << sampleCount;
    }
}

}  // namespace
}  // namespace zarn
