// spuhost as a user runs it, against the plugin built beside it, and the
// ADPCM encoder it shares with the tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <random>
#include <sstream>
#include <thread>

#include "core/SpuCore.h"
#include "plugin/Plugin.h"
#include "spuhost/AdpcmEncoder.h"
#include "state/RegisterLog.h"
#include "support/RunProgram.h"
#include "support/TestSettings.h"
#include "support/TestStore.h"
#include "voice/RegisterMap.h"
#include "voice/VoiceGenerator.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace zarn {
namespace {

namespace fs = std::filesystem;
using test::ProgramRun;

#if defined(_WIN32)
constexpr const char* kSpuhost = "spuhost.exe";
#else
constexpr const char* kSpuhost = "spuhost";
#endif

ProgramRun Spuhost(const std::vector<std::string>& arguments) { return test::RunProgram(kSpuhost, arguments); }

std::string ReadFile(const fs::path& path) {
    std::stringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

// The samples of a WAV file with the canonical 44-byte header, after
// checking the header says 16-bit stereo PCM at 44,100 Hz of that length.
std::vector<int16_t> WavSamples(const fs::path& path) {
    const std::string bytes = ReadFile(path);
    std::vector<int16_t> samples;
    if (bytes.size() < 44) return samples;
    uint32_t riff, format, rate, data;
    uint16_t pcm, channels, bits;
    std::memcpy(&riff, &bytes[4], 4);
    std::memcpy(&format, &bytes[16], 4);
    std::memcpy(&pcm, &bytes[20], 2);
    std::memcpy(&channels, &bytes[22], 2);
    std::memcpy(&rate, &bytes[24], 4);
    std::memcpy(&bits, &bytes[34], 2);
    std::memcpy(&data, &bytes[40], 4);
    EXPECT_EQ(bytes.substr(0, 4) + bytes.substr(8, 8) + bytes.substr(36, 4), "RIFFWAVEfmt data");
    EXPECT_EQ(std::tuple(riff, format, pcm, channels, rate, bits, data),
              std::tuple(bytes.size() - 8, 16u, 1, 2, 44100u, 16, bytes.size() - 44));
    samples.resize((bytes.size() - 44) / 2);
    std::memcpy(samples.data(), &bytes[44], 2 * samples.size());
    return samples;
}

// Each test in a folder of its own, which is also the current directory,
// with a settings store of its own.
class SpuhostTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseFreshSettingsStore();
        folder = fs::temp_directory_path() / ("spuhost-test-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder);
        previous = fs::current_path();
        fs::current_path(folder);
    }
    void TearDown() override {
        SPUshutdown();
        fs::current_path(previous);
        fs::remove_all(folder);
    }
    fs::path folder, previous;
};

TEST(AdpcmEncoderTest, SineRoundTripThroughThePluginsDecoder) {
    // A loop of 32 blocks holding 8 periods of a sine at amplitude 16000.
    std::vector<int16_t> sine(32 * spuhost::kAdpcmBlockSamples);
    for (size_t i = 0; i < sine.size(); ++i) {
        sine[i] = static_cast<int16_t>(std::lround(16000 * std::sin(2 * std::numbers::pi * 8 * i / sine.size())));
    }
    test::TestSettings settings;
    const auto spu = std::make_unique<SpuCore>(settings);
    SpuVoice& voice = spu->standard.voices[0];
    const auto decode = [&](const std::vector<uint8_t>& blocks, int passes, std::vector<int32_t>& out) {
        std::memcpy(spu->soundRam, blocks.data(), blocks.size());
        out.clear();
        for (int pass = 0; pass < passes; ++pass) {
            for (size_t b = 0; b < blocks.size() / 16; ++b) {
                voice.blockAddress = static_cast<int32_t>(2 * b);
                DecodeBlock(voice);
                out.insert(out.end(), voice.samples + 1, voice.samples + 29);
            }
        }
    };
    // The loop, flagged 6, 2 ... 2, 3, is encoded for the history its own end
    // leaves: every pass after the first decodes alike, within 0.25 % of the
    // amplitude (RMS) and 0.5 % at any sample.
    const std::vector<uint8_t> loop = spuhost::EncodeAdpcmLoop(sine);
    ASSERT_EQ(loop.size(), 32u * 16);
    std::vector<int32_t> decoded;
    decode(loop, 3, decoded);
    double squares = 0, worst = 0;
    for (size_t i = sine.size(); i < decoded.size(); ++i) {
        const double error = decoded[i] - sine[i % sine.size()];
        squares += error * error;
        worst = std::max(worst, std::abs(error));
        if (i >= 2 * sine.size()) {
            EXPECT_EQ(decoded[i], decoded[i - sine.size()]) << i;
        }
    }
    EXPECT_LT(std::sqrt(squares / (2 * sine.size())), 40);
    EXPECT_LT(worst, 80);
    for (size_t b = 0; b < 32; ++b) EXPECT_EQ(loop[16 * b + 1], b == 0 ? 6 : b == 31 ? 3 : 2) << b;

    // A one-shot of 100 samples, from an empty history: padded to 4 blocks,
    // flagged 0, 0, 0, 1, within 3 % at any sample.
    const std::vector<uint8_t> once = spuhost::EncodeAdpcmOneShot({sine.begin(), sine.begin() + 100});
    ASSERT_EQ(once.size(), 4u * 16);
    voice.history1 = voice.history2 = 0;
    decode(once, 1, decoded);
    for (size_t i = 0; i < 100; ++i) EXPECT_NEAR(decoded[i], sine[i], 480) << i;
    EXPECT_EQ(std::vector<int>({once[1], once[17], once[33], once[49]}), std::vector<int>({0, 0, 0, 1}));
}

TEST_F(SpuhostTest, DemoRendersTheSameBytesTwiceLoudThroughoutAndLeavesTheSettingsAlone) {
    for (const char* out : {"a.wav", "b.wav"}) {
        const ProgramRun run = Spuhost({"demo", "--out", out});
        ASSERT_EQ(run.exitCode, 0) << run.output;
    }
    EXPECT_EQ(ReadFile("a.wav"), ReadFile("b.wav"));
    const std::vector<int16_t> samples = WavSamples("a.wav");
    const size_t seconds = samples.size() / 2 / 44100;
    EXPECT_TRUE(seconds >= 18 && seconds <= 25) << seconds;
    // Every second of the tune is heard, on both sides.
    for (size_t s = 0; s + 2 < seconds; ++s) {
        for (int side = 0; side < 2; ++side) {
            double squares = 0;
            for (size_t f = s * 44100; f < (s + 1) * 44100; ++f) {
                squares += double(samples[2 * f + side]) * samples[2 * f + side];
            }
            EXPECT_GT(std::sqrt(squares / 44100), 500) << "second " << s << " side " << side;
        }
    }
    EXPECT_FALSE(test::StoreHasKey());  // the demo kept its settings to itself
}

// The recorder logs writes made in real time; play turns the log into the
// same frames as the same writes made directly at the frames its times
// name, from the same start.
TEST_F(SpuhostTest, PlayOfARecordedLogMatchesADirectRenderFrameForFrame) {
    const ProgramRun settings = Spuhost({"settings", "EnableReverb=1", "XAVolume=60"});
    ASSERT_EQ(settings.exitCode, 0) << settings.output;
    EXPECT_EQ(test::StoredDword("EnableReverb"), 1u);

    // A tone in sound RAM before the recording starts (uploads are not
    // logged); the transfer address is parked where the log's replay of
    // the transfer registers stores its word harmlessly.
    std::vector<int16_t> sine(8 * spuhost::kAdpcmBlockSamples);
    for (size_t i = 0; i < sine.size(); ++i) {
        sine[i] = static_cast<int16_t>(12000 * std::sin(2 * std::numbers::pi * 2 * i / sine.size()));
    }
    const std::vector<uint8_t> tone = spuhost::EncodeAdpcmLoop(sine);
    std::vector<uint16_t> words(tone.size() / 2);
    std::memcpy(words.data(), tone.data(), tone.size());
    const auto upload = [&] {
        SPUwriteRegister(reg::kTransferAddress, 0x200);
        SPUwriteDMAMem(words.data(), static_cast<int32_t>(words.size()));
        SPUwriteRegister(reg::kTransferAddress, 0xFF00);
    };
    ASSERT_EQ(SPUinit(), 0);
    upload();
    plugin::StartRecording();
    // Voice 0 the tone with reverb, voice 1 noise, voice 2 the tone under
    // voice 1's pitch modulation; a write outside the SPU goes through as well.
    using reg::Voice, reg::kStartAddress, reg::kVolumeL, reg::kVolumeR, reg::kPitch, reg::kEnvelope1;
    const std::pair<uint32_t, uint32_t> writes[] = {
        {reg::kMainVolumeL, 0x3FFF},
        {reg::kMainVolumeR, 0x3000},
        {reg::kReverbVolumeL, 0x3000},
        {reg::kReverbVolumeR, 0x2000},
        {reg::kControl, 0x8000 | 40 << 8},
        {reg::kNoise, 2},
        {reg::kReverb, 1},
        {reg::kPitchModulation, 4},
        {Voice(0, kStartAddress), 0x200},
        {Voice(2, kStartAddress), 0x200},
        {Voice(0, kVolumeL), 0x2000},
        {Voice(1, kVolumeR), 0x1000},
        {Voice(2, kVolumeL), 0x2000},
        {Voice(0, kPitch), 0x1000},
        {Voice(1, kPitch), 0x1000},
        {Voice(2, kPitch), 0x0C00},
        {Voice(0, kEnvelope1), 0x0A8F},
        {Voice(1, kEnvelope1), 0x000F},
        {Voice(2, kEnvelope1), 0x000F},
        {reg::kKeyOn, 7},
        {Voice(0, kPitch), 0x1800},
        {Voice(2, kVolumeR), 0x9005},
        {0x00000042, 7},
        {reg::kKeyOff, 2},
        {Voice(0, kPitch), 0x0800},
        {reg::kKeyOff, 5},
    };
    for (const auto& [address, value] : writes) {
        SPUwriteRegister(address, value);
        std::this_thread::sleep_for(std::chrono::milliseconds(address == reg::kKeyOn ? 40 : 3));
    }
    plugin::StopRecording();
    SPUshutdown();

    // The log's entries, read as the file lays them out.
    const std::string log = ReadFile(register_log::kFileName);
    ASSERT_EQ(log.size(), register_log::FileSize(std::size(writes)));
    uint32_t tickRate;
    std::memcpy(&tickRate, &log[register_log::kTickRateOffset], 4);
    ASSERT_EQ(tickRate, 1000u);
    std::vector<RegisterLogEntry> entries(std::size(writes));
    std::memcpy(entries.data(), &log[register_log::kEntriesOffset], log.size() - register_log::kEntriesOffset);

    fs::create_directories("out");
    fs::current_path("out");
    const std::string logPath = (folder / register_log::kFileName).string();
    const ProgramRun play = Spuhost({"play", logPath, "--tail", "0.25"});
    ASSERT_EQ(play.exitCode, 0) << play.output;
    const std::string replayedWrites = std::to_string(std::size(writes)) + " writes replayed";
    EXPECT_NE(play.output.find(replayedWrites), std::string::npos) << play.output;
    const std::vector<int16_t> replayed = WavSamples("spuZarn.wav");  // named after the log, in the current folder

    // The same writes made directly, on a thread that has rendered nothing.
    std::vector<int16_t> direct;
    std::thread([&] {
        SPUinit();
        upload();
        const auto renderTo = [&](uint64_t frame) {
            if (frame <= direct.size() / 2) return;
            const size_t from = direct.size();
            direct.resize(2 * frame);
            SPUrender(&direct[from], static_cast<uint32_t>(2 * (direct.size() - from)));
        };
        for (const RegisterLogEntry& entry : entries) {
            renderTo(uint64_t{entry.time} * 44100 / tickRate);
            SPUwriteRegister(entry.address, entry.value);
        }
        renderTo(direct.size() / 2 + 11025);
        SPUshutdown();
    }).join();
    ASSERT_EQ(replayed.size(), direct.size());
    const auto mismatch = std::mismatch(replayed.begin(), replayed.end(), direct.begin());
    EXPECT_EQ(mismatch.first, replayed.end()) << "first different frame " << (mismatch.first - replayed.begin()) / 2;
    EXPECT_GT(*std::max_element(direct.begin(), direct.end()), 2000);

    // info describes the same log and draws its timeline.
    const ProgramRun info = Spuhost({"info", logPath, "--timeline", "t.svg"});
    ASSERT_EQ(info.exitCode, 0) << info.output;
    EXPECT_NE(info.output.find("voice  0      1 x:"), std::string::npos) << info.output;
    EXPECT_EQ(ReadFile("t.svg").rfind("<svg", 0), 0u);
}

// A library that loads but is no plugin: the C runtime.
std::string NotAPlugin() {
#if defined(_WIN32)
    char path[MAX_PATH];
    GetModuleFileNameA(GetModuleHandleA("kernel32.dll"), path, MAX_PATH);
    return path;
#else
    Dl_info library{};
    dladdr(reinterpret_cast<void*>(&dlopen), &library);
    return library.dli_fname;
#endif
}

TEST_F(SpuhostTest, BadInputIsNamedAndLeavesNoOutput) {
    const auto log = [](const char* name, uint32_t tickRate, uint32_t count, uint64_t size) {
        std::ofstream file(name, std::ios::binary);
        std::vector<char> header(register_log::kEntriesOffset);
        std::memcpy(&header[register_log::kTickRateOffset], &tickRate, 4);
        std::memcpy(&header[register_log::kCountOffset], &count, 4);
        file.write(header.data(), static_cast<std::streamsize>(std::min<uint64_t>(size, header.size())));
        file.close();
        fs::resize_file(name, size);
    };
    log("good.pss", 1000, 0, register_log::FileSize(0));
    log("short.pss", 1000, 0, register_log::FileSize(0) - 1);
    log("uneven.pss", 1000, 3, register_log::FileSize(2));
    log("huge.pss", 1000, 1000001, register_log::FileSize(1000001));
    log("still.pss", 0, 0, register_log::FileSize(0));
    const std::string notAPlugin = NotAPlugin();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"play", "missing.pss"}, "cannot read missing.pss"},
        {{"play", "short.pss"}, "524,807 bytes) is not a register log: a log is at least 524,808 bytes"},
        {{"play", "uneven.pss"}, "its 3 entries take 524,808 + 12 x 3 = 524,844 bytes"},
        {{"info", "huge.pss"}, "counts 1,000,001 entries; a log holds at most 1,000,000"},
        {{"play", "still.pss"}, "tick rate of 0"},
        {{"info", "still.pss"}, "tick rate of 0"},
        {{"play", "good.pss", "--out", "missing/x.wav"}, "cannot write missing/x.wav"},
        {{"settings", "Volume=3"}, "unknown setting \"Volume\""},
        {{"settings", "SoundBufferSize=20", "XAVolume=150"},
         "XAVolume=150: XA volume: You must input correct value[0-100]."},
        {{"demo", "--plugin", "missing.so"}, "cannot load the plugin missing.so"},
        {{"play", "good.pss", "--plugin", notAPlugin}, "has no export SPUinit, which play needs"},
    };
    for (const auto& [arguments, message] : cases) {
        const ProgramRun run = Spuhost(arguments);
        EXPECT_EQ(run.exitCode, 1) << arguments[1] << ": " << run.output;
        EXPECT_NE(run.output.find(message), std::string::npos) << run.output;
    }
    EXPECT_EQ(test::StoredDword("SoundBufferSize"), 8u);  // none saved when one is refused
#if !defined(_WIN32)
    // A store that cannot be written (a file where its folder should be) is
    // named, not reported as saved.
    setenv("XDG_CONFIG_HOME", (folder / "good.pss").c_str(), 1);
    const ProgramRun unsaved = Spuhost({"settings", "XAVolume=60"});
    EXPECT_EQ(unsaved.exitCode, 1) << unsaved.output;
    EXPECT_NE(unsaved.output.find("the settings could not be saved in"), std::string::npos) << unsaved.output;
#endif
    for (const auto& file : fs::directory_iterator(".")) {
        EXPECT_EQ(file.path().extension(), ".pss") << file.path();
    }
}

}  // namespace
}  // namespace zarn
