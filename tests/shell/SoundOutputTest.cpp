// The stream write protocol and the sound thread's pass loop, over a
// scripted device.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/SpuCore.h"
#include "output/MixerThread.h"
#include "output/SoundOutput.h"
#include "platform/SpuLock.h"
#include "support/TestSettings.h"

namespace zarn {
namespace {

using Calls = std::vector<std::string>;

// A looping buffer whose play cursors and lock results come from a script,
// and which writes down every call.
class ScriptedDevice : public SoundDevice {
public:
    std::deque<uint32_t> cursors;              // one per pass; the last one repeats
    std::deque<LockResult> lockResults;        // Locked when empty
    std::deque<RestoreResult> restoreResults;  // Restored when empty
    bool cursorFails = false;
    uint32_t reportedBytes = 0;  // 0: the size asked for
    bool opens = true, createsStreams = true;
    std::function<void()> onPass;  // runs in every PlayCursor
    std::vector<uint8_t> buffer;
    Calls calls;

    bool Open(void*, const WaveFormat& format) override {
        calls.push_back("open " + std::to_string(format.averageBytesPerSecond));
        return opens;
    }
    bool CreateStream(uint32_t bytes, uint32_t& streamBytes) override {
        calls.push_back("create " + std::to_string(bytes));
        if (!createsStreams) return false;
        streamBytes = reportedBytes != 0 ? reportedBytes : bytes;
        buffer.assign(streamBytes, 0xAA);
        return true;
    }
    void DestroyStream() override { calls.push_back("destroy"); }
    void Close() override { calls.push_back("close"); }
    bool PlayCursor(uint32_t& cursor) override {
        if (onPass) onPass();
        if (cursorFails) return false;
        cursor = cursors.front();
        if (cursors.size() > 1) cursors.pop_front();
        return true;
    }
    LockResult Lock(uint32_t offset, uint32_t bytes, Region& first, Region& second) override {
        calls.push_back("lock " + std::to_string(offset) + " " + std::to_string(bytes));
        LockResult result = LockResult::Locked;
        if (!lockResults.empty()) {
            result = lockResults.front();
            lockResults.pop_front();
        }
        if (result != LockResult::Locked) return result;
        return LockLoop(buffer.data(), static_cast<uint32_t>(buffer.size()), offset, bytes, first, second);
    }
    void Unlock(const Region& first, const Region& second) override {
        calls.push_back("unlock " + std::to_string(first.bytes) + " " + std::to_string(second.bytes));
    }
    RestoreResult Restore() override {
        calls.push_back("restore");
        if (restoreResults.empty()) return RestoreResult::Restored;
        const RestoreResult result = restoreResults.front();
        restoreResults.pop_front();
        return result;
    }
    int16_t Sample(uint32_t byteOffset) const {
        return static_cast<int16_t>(buffer[byteOffset] | buffer[byteOffset + 1] << 8);
    }
};

// Frames numbered from 1, left positive and right negative.
class CountingFrames : public FrameSource {
public:
    int16_t next = 1;
    void Mix(int16_t* frames, uint32_t count) override {
        for (uint32_t f = 0; f < count; ++f, ++next) {
            frames[2 * f] = next;
            frames[2 * f + 1] = static_cast<int16_t>(-next);
        }
    }
};

class SoundOutputTest : public ::testing::Test {
protected:
    test::TestSettings settings;
    ScriptedDevice* device = new ScriptedDevice;
    SoundOutput output{std::unique_ptr<SoundDevice>(device)};
    CountingFrames frames;

    uint32_t Pass(uint32_t cursor) {
        device->cursors = {cursor};
        device->calls.clear();
        return output.WritePass(frames);
    }
};

TEST_F(SoundOutputTest, EachPassRefillsWhatTheDeviceHasPlayed) {
    ASSERT_TRUE(output.Open(nullptr, settings));
    ASSERT_TRUE(output.CreateStream(settings.SoundBufferSize));
    EXPECT_EQ(device->calls, (Calls{"open 176400", "create 8192"}));
    EXPECT_TRUE(output.OnSystemDevice());
    EXPECT_EQ(output.StreamBytes, 8192u);
    EXPECT_EQ(output.WriteOffset, 0u);

    // From offset 0 up to the cursor; a trailing half frame is locked but not written.
    EXPECT_EQ(Pass(402), 402u);
    EXPECT_EQ(device->calls, (Calls{"lock 0 402", "unlock 402 0"}));
    EXPECT_EQ(frames.next, 101);
    EXPECT_EQ(device->Sample(396) * 1000 + device->Sample(398), 100 * 1000 - 100);
    EXPECT_EQ(device->buffer[400], 0xAA);
    EXPECT_EQ(output.WriteOffset, 402u);

    // The cursor where the last pass stopped: nothing is free and the lock is refused.
    EXPECT_EQ(Pass(402), 0u);
    EXPECT_EQ(device->calls, (Calls{"lock 402 0"}));
    EXPECT_EQ(frames.next, 101);

    // A cursor behind the write offset: this pass fills to the end of the
    // buffer, the next one from its start.
    EXPECT_EQ(Pass(98), 8192u - 402);
    EXPECT_EQ(device->calls, (Calls{"lock 402 7888", "unlock 7790 98"}));
    EXPECT_EQ(output.WriteOffset, 0u);
    EXPECT_EQ(device->Sample(0), 1);  // the second piece is not written: it holds the first pass's frame
    EXPECT_EQ(Pass(98), 98u);
    EXPECT_EQ(device->calls, (Calls{"lock 0 98", "unlock 98 0"}));
    EXPECT_EQ(device->Sample(0), 101 + 7790 / 4);
}

TEST_F(SoundOutputTest, LostAndRefusedLocksEndThePassAndTheDeviceSizeRules) {
    device->reportedBytes = 6000;  // not the size asked for
    output.Open(nullptr, settings);
    output.CreateStream(8);
    EXPECT_EQ(output.StreamBytes, 6000u);
    Pass(5000);
    // A lost buffer is asked back; nothing is mixed, unlocked or moved.
    device->lockResults = {SoundDevice::LockResult::Lost};
    EXPECT_EQ(Pass(1000), 0u);
    EXPECT_EQ(device->calls, (Calls{"lock 5000 2000", "restore"}));
    device->lockResults = {SoundDevice::LockResult::Refused};
    EXPECT_EQ(Pass(1000), 0u);
    EXPECT_EQ(device->calls, (Calls{"lock 5000 2000"}));
    EXPECT_EQ(frames.next, 1251);
    // The device gave the buffer back: the span wraps at the reported size.
    EXPECT_EQ(Pass(1000), 1000u);
    EXPECT_EQ(output.WriteOffset, 0u);
}

// A device that goes away while it plays must not stop the SPU: the clock
// takes the stream over. A buffer that is merely lost is asked back instead.
TEST_F(SoundOutputTest, ADeviceThatFailsHandsTheStreamToTheClock) {
    using Lock = SoundDevice::LockResult;
    using Restore = SoundDevice::RestoreResult;
    constexpr int kLimit = SoundOutput::kFailedPassesForClock;
    output.Open(nullptr, settings);
    output.CreateStream(8);
    Pass(400);
    for (int i = 0; i < 3 * kLimit; ++i) {
        device->lockResults = {Lock::Lost};
        device->restoreResults = {Restore::StillLost};
        ASSERT_EQ(Pass(800), 0u);
    }
    EXPECT_EQ(device->calls, (Calls{"lock 400 400", "restore"}));
    // Passes without a cursor, or with a lock refused though bytes are free,
    // count while they come in a row.
    const auto failedPasses = [&](int count) {
        for (int i = 0; i < count; ++i) {
            device->cursorFails = i % 2 == 1;
            device->lockResults = {Lock::Refused};
            Pass(output.WriteOffset + 4096);
        }
        device->cursorFails = false;
    };
    failedPasses(kLimit - 1);
    EXPECT_EQ(Pass(800), 400u);  // a pass that plays starts the count again
    EXPECT_EQ(Pass(800), 0u);    // nothing free: no failure
    failedPasses(kLimit - 1);
    EXPECT_TRUE(output.OnSystemDevice());
    failedPasses(1);
    EXPECT_EQ(device->calls, (Calls{"lock 800 4096", "destroy"}));
    EXPECT_FALSE(output.OnSystemDevice());
    EXPECT_EQ(std::tuple(output.StreamBytes, output.WriteOffset), std::tuple(8192u, 0u));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GT(output.WritePass(frames), 0u);  // in real time, on the clock

    // A new stream tries the device again; a buffer it cannot restore is given up at once.
    EXPECT_TRUE(output.CreateStream(8));
    device->lockResults = {Lock::Lost};
    device->restoreResults = {Restore::Failed};
    EXPECT_EQ(Pass(800), 0u);
    EXPECT_EQ(device->calls, (Calls{"lock 0 800", "restore", "destroy"}));
    EXPECT_FALSE(output.OnSystemDevice());
    output.DestroyStream();
    device->calls.clear();
    output.Close();
    EXPECT_EQ(device->calls, (Calls{"close"}));
}

TEST_F(SoundOutputTest, WithoutTheDeviceTheClockPlays) {
    device->opens = false;
    EXPECT_FALSE(output.Open(nullptr, settings));
    EXPECT_FALSE(output.CreateStream(8));
    EXPECT_FALSE(output.OnSystemDevice());
    EXPECT_EQ(output.StreamBytes, 8192u);
    output.DestroyStream();
    output.Close();
    EXPECT_EQ(device->calls, (Calls{"open 176400"}));  // nothing more of a device that did not open

    // An open device that refuses the stream, or a size no stream can have.
    device->opens = true;
    device->createsStreams = false;
    output.Open(nullptr, settings);
    EXPECT_FALSE(output.CreateStream(64));
    EXPECT_EQ(output.StreamBytes, 65536u);
    // Sizes in bytes are counted in 32 bits: 0 and 4,194,304 KiB ask for no
    // bytes; -1 asks for 0xFFFFFC00, which this device refuses; 4,194,312 KiB
    // asks for 8 KiB.
    device->calls.clear();
    for (const int32_t size : {0, 4194304, -1}) {
        EXPECT_FALSE(output.CreateStream(size)) << size;
        EXPECT_EQ(output.StreamBytes, ClockDevice::kDefaultBytes) << size;
    }
    EXPECT_EQ(device->calls, (Calls{"create 4294966272"}));
    device->createsStreams = true;
    EXPECT_TRUE(output.CreateStream(4194312));
    EXPECT_EQ(output.StreamBytes, 8192u);
    EXPECT_TRUE(output.CreateStream(1));
    EXPECT_EQ(output.StreamBytes, 1024u);
}

// The clock device is paced in passes as long as the system device's
// longest, yet never so long that its cursor laps the write offset.
TEST_F(SoundOutputTest, PassesOnTheClockAreLongButShorterThanHalfTheStream) {
    ASSERT_TRUE(output.Open(nullptr, settings));
    ASSERT_TRUE(output.CreateStream(1));
    EXPECT_EQ(output.PassMilliseconds(1) * 10 + output.PassMilliseconds(5), 15u);
    device->createsStreams = false;
    for (const auto& [kib, milliseconds] : {std::pair{8, 20u}, {64, 20u}, {1, 2u}}) {
        output.CreateStream(kib);
        EXPECT_EQ(output.PassMilliseconds(1), milliseconds) << kib;
    }
}

TEST(ClockDeviceTest, TheCursorMovesWithTheClockInWholeFrames) {
    static int64_t now = 5'000'000;
    ClockDevice clock([] { return now; });
    uint32_t bytes = 0, cursor = 1;
    ASSERT_TRUE(clock.CreateStream(8194, bytes));
    EXPECT_EQ(bytes, 8192u);
    EXPECT_TRUE(clock.PlayCursor(cursor));
    EXPECT_EQ(cursor, 0u);
    now += 10'000;  // 1764 bytes in 10 ms
    clock.PlayCursor(cursor);
    EXPECT_EQ(cursor, 1764u);
    now += 22;  // 3.88 bytes more: not a whole frame
    clock.PlayCursor(cursor);
    EXPECT_EQ(cursor, 1764u);
    // Written up to 1764, then 60 ms without a pass, longer than the buffer:
    // the cursor stands a frame short of the write offset; once that is
    // written it is where the clock says, 70 ms in.
    SoundDevice::Region first, second;
    const auto write = [&](ClockDevice& device, uint32_t offset, uint32_t bytes) {
        ASSERT_EQ(device.Lock(offset, bytes, first, second), SoundDevice::LockResult::Locked);
        device.Unlock(first, second);
    };
    write(clock, 0, 1764);
    now += 60'000;
    clock.PlayCursor(cursor);
    EXPECT_EQ(cursor, 1760u);
    write(clock, 1764, 8188);
    clock.PlayCursor(cursor);
    EXPECT_EQ(cursor, (1764u + 10584) % 8192);
    // A writer more than a second behind finds the clock waited for the rest.
    static int64_t later = 0;
    ClockDevice large([] { return later; });
    ASSERT_TRUE(large.CreateStream(ClockDevice::kMaxBytes, bytes));
    later += 2'000'000;
    large.PlayCursor(cursor);
    EXPECT_EQ(cursor, 176400u);
    write(large, 0, 176400);
    later += 10'000;
    large.PlayCursor(cursor);
    EXPECT_EQ(cursor, 176400u + 1764);
}

// The pass loop, run as the sound thread runs it, against the scripted device.
TEST(MixerThreadTest, OpensStreamsFollowsTheSizeAndStopsAfterThePass) {
    test::TestSettings settings;
    auto* device = new ScriptedDevice;
    SoundOutput output{std::unique_ptr<SoundDevice>(device)};
    auto core = std::make_unique<SpuCore>(settings);
    std::atomic<uint8_t> stop{0};
    int passes = 0;
    device->cursors = {400};
    device->onPass = [&] {
        ++passes;
        if (passes == 2) settings.SoundBufferSize = 4;  // re-created before the third pass
        if (passes == 4) stop = 1;                      // seen after this pass
    };
    MixerThreadJob job{core.get(), &settings, &output, nullptr, &stop};
    SpuLock::Initialise();
    std::thread thread(MixerThread, &job);
    thread.join();
    SpuLock::Delete();
    EXPECT_EQ(passes, 4);
    EXPECT_EQ(device->calls, (Calls{"open 176400", "create 8192", "lock 0 400", "unlock 400 0", "lock 400 0", "destroy",
                                    "create 4096", "lock 0 400", "unlock 400 0", "lock 400 0", "destroy", "close"}));
}

}  // namespace
}  // namespace zarn
