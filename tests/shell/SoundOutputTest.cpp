// The stream write protocol and the sound thread's pass loop over a scripted
// device, and the system device end to end.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/SpuCore.h"
#include "output/ClockDevice.h"
#include "output/MixerThread.h"
#include "output/SoundOutput.h"
#include "platform/SpuLock.h"
#include "support/TestSettings.h"

namespace zarn {
namespace {

using Calls = std::vector<std::string>;
using Lock = SoundDevice::LockResult;
using Restore = SoundDevice::RestoreResult;

// The front of a script, taken, or `otherwise` once it has run out.
template <typename T>
T Next(std::deque<T>& script, T otherwise) {
    const T next = script.empty() ? otherwise : script.front();
    if (!script.empty()) script.pop_front();
    return next;
}

// A looping buffer with a set play cursor, lock and restore results from a
// script, and every call written down.
class ScriptedDevice : public SoundDevice {
public:
    uint32_t cursor = 0;
    std::deque<LockResult> locks;
    std::deque<RestoreResult> restores;
    bool cursorFails = false;
    bool createsStreams = true;
    uint32_t reportedBytes = 0;    // 0: the size asked for
    std::function<void()> onPass;  // runs in every PlayCursor
    std::vector<uint8_t> buffer;
    Calls calls;

    bool Open(void*, const WaveFormat& format) override {
        calls.push_back("open " + std::to_string(format.averageBytesPerSecond));
        return true;
    }
    bool CreateStream(uint32_t bytes, uint32_t& streamBytes) override {
        calls.push_back("create " + std::to_string(bytes));
        streamBytes = reportedBytes != 0 ? reportedBytes : bytes;
        buffer.assign(streamBytes, 0xAA);
        return createsStreams;
    }
    void DestroyStream() override { calls.push_back("destroy"); }
    void Close() override { calls.push_back("close"); }
    bool PlayCursor(uint32_t& played) override {
        if (onPass) onPass();
        played = cursor;
        return !cursorFails;
    }
    LockResult Lock(uint32_t offset, uint32_t bytes, Region& first, Region& second) override {
        calls.push_back("lock " + std::to_string(offset) + " " + std::to_string(bytes));
        const LockResult result = Next(locks, LockResult::Locked);
        if (result != LockResult::Locked) return result;
        return LockLoop(buffer.data(), static_cast<uint32_t>(buffer.size()), offset, bytes, first, second);
    }
    void Unlock(const Region& first, const Region& second) override {
        calls.push_back("unlock " + std::to_string(first.bytes) + " " + std::to_string(second.bytes));
    }
    RestoreResult Restore() override {
        calls.push_back("restore");
        return Next(restores, RestoreResult::Restored);
    }
    int16_t Sample(uint32_t byte) const { return static_cast<int16_t>(buffer[byte] | buffer[byte + 1] << 8); }
};

// Frames numbered from 1, left positive and right negative.
class CountingFrames : public FrameSource {
public:
    int16_t next = 1;
    void Mix(int16_t* frames, uint32_t count) override {
        for (uint32_t f = 0; f < 2 * count; f += 2, ++next)
            std::tie(frames[f], frames[f + 1]) = std::tuple(next, -next);
    }
};

class SoundOutputTest : public ::testing::Test {
protected:
    test::TestSettings settings;
    ScriptedDevice* device = new ScriptedDevice;
    SoundOutput output{std::unique_ptr<SoundDevice>(device)};
    CountingFrames frames;

    // One pass: "bytes written: the device's calls -> the write offset after".
    std::string Pass(uint32_t cursor) {
        device->cursor = cursor;
        device->calls.clear();
        std::string text = std::to_string(output.WritePass(frames)) + ":";
        for (const std::string& call : device->calls) text += " " + call + ",";
        return text + " -> " + std::to_string(output.WriteOffset);
    }
};

TEST_F(SoundOutputTest, EachPassRefillsWhatTheDeviceHasPlayed) {
    output.Open(nullptr, settings);
    output.CreateStream(settings.SoundBufferSize);
    EXPECT_EQ(device->calls, (Calls{"open 176400", "create 8192"}));
    EXPECT_EQ(std::tuple(output.OnSystemDevice(), output.StreamBytes), std::tuple(true, 8192u));
    // From offset 0 up to the cursor; a trailing half frame is locked but not written.
    EXPECT_EQ(Pass(402), "402: lock 0 402, unlock 402 0, -> 402");
    EXPECT_EQ(std::tuple(frames.next, device->Sample(396), device->Sample(398), device->buffer[400]),
              std::tuple(101, 100, -100, 0xAA));
    // The cursor where the last pass stopped: nothing is free and the lock is refused.
    EXPECT_EQ(Pass(402), "0: lock 402 0, -> 402");
    // A cursor behind the write offset: this pass fills to the end of the
    // buffer (the second piece is not written), the next one from its start.
    EXPECT_EQ(Pass(98), "7790: lock 402 7888, unlock 7790 98, -> 0");
    EXPECT_EQ(device->Sample(0), 1);
    EXPECT_EQ(Pass(98), "98: lock 0 98, unlock 98 0, -> 98");
    EXPECT_EQ(device->Sample(0), 101 + 7790 / 4);
    // A lost buffer is asked back, a refused lock ends the pass: nothing moves.
    device->locks = {Lock::Lost, Lock::Refused};
    EXPECT_EQ(Pass(1000), "0: lock 98 902, restore, -> 98");
    EXPECT_EQ(Pass(1000), "0: lock 98 902, -> 98");
    EXPECT_EQ(frames.next, 101 + 7790 / 4 + 98 / 4);
    // A device that reports another size than asked: the span wraps there.
    device->reportedBytes = 6000;
    output.CreateStream(8);
    EXPECT_EQ(Pass(5000), "5000: lock 0 5000, unlock 5000 0, -> 5000");
    EXPECT_EQ(Pass(1000), "1000: lock 5000 2000, unlock 1000 1000, -> 0");
}

// A device that goes away while it plays must not stop the SPU: the clock
// takes the stream over. A buffer that is merely lost is asked back instead.
TEST_F(SoundOutputTest, ADeviceThatFailsHandsTheStreamToTheClock) {
    constexpr int kLimit = SoundOutput::kFailedPassesForClock;
    output.Open(nullptr, settings);
    output.CreateStream(8);
    Pass(400);
    for (int i = 0; i < 3 * kLimit; ++i) {
        std::tie(device->locks, device->restores) = std::tuple(std::deque{Lock::Lost}, std::deque{Restore::StillLost});
        ASSERT_EQ(Pass(800), "0: lock 400 400, restore, -> 400");
    }
    // Passes without a cursor, or with a lock refused though bytes are free,
    // count while they come in a row.
    const auto failedPasses = [&](int count) {
        for (int i = 0; i < count; ++i) {
            std::tie(device->cursorFails, device->locks) = std::tuple(i % 2 == 1, std::deque{Lock::Refused});
            Pass(output.WriteOffset + 4096);
        }
        device->cursorFails = false;
    };
    failedPasses(kLimit - 1);
    EXPECT_EQ(Pass(800), "400: lock 400 400, unlock 400 0, -> 800");  // a pass that plays starts the count again
    EXPECT_EQ(Pass(800), "0: lock 800 0, -> 800");                    // nothing free: no failure
    failedPasses(kLimit - 1);
    EXPECT_TRUE(output.OnSystemDevice());
    failedPasses(1);
    EXPECT_EQ(device->calls, (Calls{"lock 800 4096", "destroy"}));
    EXPECT_EQ(std::tuple(output.OnSystemDevice(), output.StreamBytes, output.WriteOffset),
              std::tuple(false, 8192u, 0u));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GT(output.WritePass(frames), 0u);  // in real time, on the clock
    // A new stream tries the device again; a buffer it cannot restore is given up at once.
    EXPECT_TRUE(output.CreateStream(8));
    std::tie(device->locks, device->restores) = std::tuple(std::deque{Lock::Lost}, std::deque{Restore::Failed});
    EXPECT_EQ(Pass(800), "0: lock 0 800, restore, destroy, -> 0");
    EXPECT_FALSE(output.OnSystemDevice());
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
    device->cursor = 400;
    device->onPass = [&] {
        ++passes;
        if (passes == 2) settings.SoundBufferSize = 4;  // re-created before the third pass
        if (passes == 4) stop = 1;                      // seen after this pass
    };
    MixerThreadJob job{core.get(), &settings, &output, nullptr, &stop};
    SpuLock::Initialise();
    std::thread(MixerThread, &job).join();
    SpuLock::Delete();
    EXPECT_EQ(passes, 4);
    EXPECT_EQ(device->calls, (Calls{"open 176400", "create 8192", "lock 0 400", "unlock 400 0", "lock 400 0", "destroy",
                                    "create 4096", "lock 0 400", "unlock 400 0", "lock 400 0", "destroy", "close"}));
}

#if !defined(_WIN32)
// The system device: ALSA's default PCM, which a private ~/.asoundrc makes
// the file plugin over the null device. What the passes write lands in a WAV
// file: 16-bit stereo at 44,100 Hz, every frame once and in order.
TEST(AlsaDeviceTest, WritesEveryFrameOnceInOrder) {
    char home[] = "/tmp/spuzarn-alsa-XXXXXX";
    ASSERT_NE(mkdtemp(home), nullptr);
    const std::string capture = std::string(home) + "/capture.wav";
    std::ofstream(std::string(home) + "/.asoundrc")
        << "pcm.!default {\n type file\n slave.pcm \"null\"\n file \"" << capture << "\"\n format \"wav\"\n}\n";
    setenv("HOME", home, 1);  // ALSA reads its configuration at the first open
    test::TestSettings settings;
    SoundOutput output(CreateSystemSoundDevice());
    ASSERT_TRUE(output.Open(nullptr, settings) && output.CreateStream(settings.SoundBufferSize));
    CountingFrames frames;
    for (int pass = 0; pass < 20; ++pass) output.WritePass(frames);
    output.DestroyStream();
    output.Close();
    const std::string wav = (std::stringstream() << std::ifstream(capture, std::ios::binary).rdbuf()).str();
    ASSERT_GT(wav.size(), 44u + 4 * 2048);  // more than a buffer's worth
    EXPECT_EQ(wav.substr(22, 4) + wav.substr(34, 2), std::string("\2\0\x44\xAC\x10\0", 6));  // channels, rate, bits
    std::vector<int16_t> samples((wav.size() - 44) / 2);
    std::memcpy(samples.data(), wav.data() + 44, 2 * samples.size());
    for (size_t f = 0; f < samples.size() / 2; ++f) {
        const auto n = static_cast<int16_t>(f + 1);
        ASSERT_EQ(samples[2 * f], n) << f;
        ASSERT_EQ(samples[2 * f + 1], -n) << f;
    }
    EXPECT_LE(samples.size() / 2, size_t(frames.next - 1));
    std::filesystem::remove_all(home);
}
#endif

}  // namespace
}  // namespace zarn
