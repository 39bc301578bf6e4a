// spuhost as a user runs it, against the plugin built beside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>
#include <thread>
#include <tuple>

#include "plugin/Plugin.h"
#include "spuhost/AdpcmEncoder.h"
#include "state/RegisterLog.h"
#include "support/TestStore.h"
#include "voice/RegisterMap.h"

#if defined(_WIN32)
#include <windows.h>
#define popen _popen
#define pclose _pclose
#else
#include <sys/wait.h>
#endif

namespace zarn {
namespace {

namespace fs = std::filesystem;

// spuhost, beside this test program, run through the shell in the current
// folder: its exit code and what it wrote to standard output and error.
std::pair<int, std::string> Spuhost(const std::vector<std::string>& arguments) {
#if defined(_WIN32)
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = "\"\"" + (fs::path(self).parent_path() / "spuhost.exe").string() + "\"";
#else
    std::string command = "'" + (fs::read_symlink("/proc/self/exe").parent_path() / "spuhost").string() + "'";
#endif
    for (const std::string& argument : arguments) command += " \"" + argument + "\"";
    std::FILE* pipe = popen((command + " 2>&1" + (command[1] == '"' ? "\"" : "")).c_str(), "r");
    std::string output;
    for (int c; (c = std::fgetc(pipe)) != EOF;) output += static_cast<char>(c);
    const int status = pclose(pipe);
#if defined(_WIN32)
    return {status, output};
#else
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
#endif
}

std::string ReadFile(const fs::path& p) {
    return (std::stringstream() << std::ifstream(p, std::ios::binary).rdbuf()).str();
}

// The samples of a WAV file after its header, which must be the canonical
// 44 bytes of 16-bit stereo PCM at 44,100 Hz of that length.
std::vector<int16_t> WavSamples(const fs::path& path) {
    const std::string bytes = ReadFile(path);
    const uint32_t data = static_cast<uint32_t>(std::max<size_t>(bytes.size(), 44) - 44);
    std::string header = "RIFF....WAVEfmt ....................data....";
    const std::pair<size_t, uint32_t> fields[] = {{4, data + 36}, {16, 16},           {20, 1 | 2 << 16}, {24, 44100},
                                                  {28, 176400},   {32, 4 | 16 << 16}, {40, data}};
    for (const auto& [at, value] : fields) std::memcpy(&header[at], &value, 4);
    EXPECT_EQ(bytes.substr(0, 44), header) << path;
    std::vector<int16_t> samples(data / 2);
    std::memcpy(samples.data(), bytes.data() + 44, 2 * samples.size());
    return samples;
}

// Each test in a folder of its own, its current directory, with a settings store of its own.
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

// The demo tune, a golden render: the same bytes every time (and through the
// DLL under Wine); it leaves the settings alone.
TEST_F(SpuhostTest, DemoRendersTheGoldenBytesLoudThroughout) {
    for (const char* out : {"a.wav", "b.wav"}) {
        const auto [status, output] = Spuhost({"demo", "--out", out});
        ASSERT_EQ(status, 0) << output;
    }
    const std::string bytes = ReadFile("a.wav");
    EXPECT_EQ(ReadFile("b.wav"), bytes);
    uint64_t hash = 14695981039346656037u;  // FNV-1a
    for (const char c : bytes) hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211u;
    EXPECT_EQ(hash, 0x54027d4e750540dfu) << std::hex << hash;
    // About twenty seconds, heard (an RMS above 500).
    const std::vector<int16_t> samples = WavSamples("a.wav");
    double squares = 0;
    for (const int16_t sample : samples) squares += std::pow(sample, 2);
    EXPECT_TRUE(samples.size() / 88200 >= 18 && samples.size() / 88200 <= 25) << samples.size();
    EXPECT_GT(std::sqrt(squares / samples.size()), 500);
    EXPECT_FALSE(test::StoreHasKey());
}

// The recorder logs writes made in real time; play turns the log into the
// same frames as the same writes made directly at the frames its times
// name, from the same start; info describes it.
TEST_F(SpuhostTest, PlayOfARecordedLogMatchesADirectRenderFrameForFrame) {
    const auto [status, output] = Spuhost({"settings", "EnableReverb=1", "XAVolume=60"});
    ASSERT_EQ(status, 0) << output;

    // A tone uploaded before the recording starts (uploads are not logged);
    // the transfer address parked where the replay's data word does no harm.
    std::vector<int16_t> sine(8 * spuhost::kAdpcmBlockSamples);
    for (size_t i = 0; i < sine.size(); ++i)
        sine[i] = static_cast<int16_t>(12000 * std::sin(std::numbers::pi * i / 112));
    const std::vector<uint8_t> tone = spuhost::EncodeAdpcmLoop(sine);
    const auto upload = [&] {
        SPUwriteRegister(reg::kTransferAddress, 0x200);
        SPUwriteDMAMem(reinterpret_cast<uint16_t*>(const_cast<uint8_t*>(tone.data())),
                       static_cast<int32_t>(tone.size() / 2));
        SPUwriteRegister(reg::kTransferAddress, 0xFF00);
    };
    ASSERT_EQ(SPUinit(), 0);
    upload();
    plugin::StartRecording();
    // Voice 0 the tone with reverb, voice 1 noise, voice 2 the tone under
    // voice 1's pitch modulation, voice 20 keyed on silent; a write outside
    // the SPU goes through as well.
    using namespace reg;
    const std::pair<uint32_t, uint32_t> writes[] = {
        // clang-format off
        {kMainVolumeL, 0x3FFF}, {kMainVolumeR, 0x3000}, {kReverbVolumeL, 0x3000}, {kReverbVolumeR, 0x2000},
        {kControl, 0x8000 | 40 << 8}, {kNoise, 2}, {kReverb, 1}, {kPitchModulation, 4},
        {Voice(0, kStartAddress), 0x200}, {Voice(2, kStartAddress), 0x200}, {Voice(0, kVolumeL), 0x2000},
        {Voice(1, kVolumeR), 0x1000}, {Voice(2, kVolumeL), 0x2000}, {Voice(0, kPitch), 0x1000},
        {Voice(1, kPitch), 0x1000}, {Voice(2, kPitch), 0x0C00}, {Voice(0, kEnvelope1), 0x0A8F},
        {Voice(1, kEnvelope1), 0x000F}, {Voice(2, kEnvelope1), 0x000F}, {kKeyOn, 7}, {kKeyOn + 2, 0x10}, {Voice(0, kPitch), 0x1800},
        {Voice(2, kVolumeR), 0x9005}, {0x00000042, 7}, {kKeyOff, 2}, {Voice(0, kPitch), 0x0800}, {kKeyOff, 5},
        // clang-format on
    };
    for (const auto& [address, value] : writes) {
        SPUwriteRegister(address, value);
        std::this_thread::sleep_for(std::chrono::milliseconds(address == kKeyOn ? 40 : 3));
    }
    SPUshutdown();  // writes the recording still running

    // The log's entries, read as the file lays them out.
    const std::string log = ReadFile(register_log::kFileName);
    ASSERT_EQ(log.size(), register_log::FileSize(std::size(writes)));
    ASSERT_EQ(log.substr(register_log::kTickRateOffset, 4), std::string("\xE8\x03\0\0", 4));  // 1000 a second
    std::vector<RegisterLogEntry> entries(std::size(writes));
    std::memcpy(entries.data(), &log[register_log::kEntriesOffset], log.size() - register_log::kEntriesOffset);

    fs::create_directories("out");
    fs::current_path("out");
    const std::string logPath = (folder / register_log::kFileName).string();
    const auto [played, playOutput] = Spuhost({"play", logPath, "--tail", "0.25"});
    ASSERT_EQ(played, 0) << playOutput;
    EXPECT_NE(playOutput.find(std::to_string(std::size(writes)) + " writes replayed"), std::string::npos) << playOutput;
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
            renderTo(uint64_t{entry.time} * 44100 / 1000);
            SPUwriteRegister(entry.address, entry.value);
        }
        renderTo(direct.size() / 2 + 11025);
        SPUshutdown();
    }).join();
    EXPECT_TRUE(replayed == direct) << replayed.size() << " samples replayed, " << direct.size() << " direct";
    EXPECT_GT(*std::max_element(direct.begin(), direct.end()), 2000);

    const auto [described, info] = Spuhost({"info", logPath});
    for (const char* keyedOnce : {"voice  0      1 x:", "voice 20      1 x:"})
        EXPECT_NE(info.find(keyedOnce), std::string::npos) << info;
}

// The console model's switch through settings, and its demo: the console's
// reverb, in sound RAM, still rings after the last notes and the backing
// track have ended (20.5 s), fading.
TEST_F(SpuhostTest, ConsoleModelStoredAndItsDemoRingsOnInTheHall) {
    const auto [listed, settings] = Spuhost({"settings", "ConsoleAccurate=1"});
    EXPECT_EQ(listed, 0) << settings;
    EXPECT_NE(settings.find("ConsoleAccurate               1   Console-accurate sound [0-1] (switch)"),
              std::string::npos)
        << settings;
    EXPECT_EQ(test::StoredDword("ConsoleAccurate"), 1u);
    const auto [status, output] = Spuhost({"demo", "--console", "--out", "c.wav"});
    ASSERT_EQ(status, 0) << output;
    const std::vector<int16_t> samples = WavSamples("c.wav");
    ASSERT_EQ(samples.size(), 2 * 21 * 44100u);
    const auto rms = [&](double from) {  // over 0.1 s
        double squares = 0;
        for (size_t i = 2 * static_cast<size_t>(from * 44100), n = 0; n < 2 * 4410; ++i, ++n)
            squares += std::pow(samples[i], 2);
        return std::sqrt(squares / (2 * 4410));
    };
    EXPECT_GT(rms(20.6), 50);
    EXPECT_GT(rms(20.6), 2 * rms(20.9));
}

TEST_F(SpuhostTest, BadInputIsNamedAndLeavesNoOutput) {
    // Logs of a tick rate, an entry count and a size.
    for (const auto& [name, tickRate, count, size] : {std::tuple("good.pss", 1000u, 0u, register_log::FileSize(0)),
                                                      {"short.pss", 1000u, 0u, register_log::FileSize(0) - 1},
                                                      {"uneven.pss", 1000u, 3u, register_log::FileSize(2)},
                                                      {"huge.pss", 1000u, 1000001u, register_log::FileSize(1000001)},
                                                      {"still.pss", 0u, 0u, register_log::FileSize(0)}}) {
        std::string bytes(size, '\0');
        std::memcpy(&bytes[register_log::kTickRateOffset], &tickRate, 4);
        std::memcpy(&bytes[register_log::kCountOffset], &count, 4);
        std::ofstream(name, std::ios::binary) << bytes.substr(0, size);
    }
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"play", "missing.pss"}, "cannot read missing.pss"},
        {{"play", "short.pss"}, "524,807 bytes) is not a register log: a log is at least 524,808 bytes"},
        {{"play", "uneven.pss"}, "its 3 entries take 524,808 + 12 x 3 = 524,844 bytes"},
        {{"info", "huge.pss"}, "counts 1,000,001 entries; a log holds at most 1,000,000"},
        {{"play", "still.pss"}, "tick rate of 0"},
        {{"play", "good.pss", "--out", "missing/x.wav"}, "cannot write missing/x.wav"},
        {{"settings", "Volume=3"}, "unknown setting \"Volume\""},
        {{"settings", "SoundBufferSize=20", "XAVolume=150"},
         "XAVolume=150: XA volume: You must input correct value[0-100]."},
        {{"settings", "XAVolume=60", "ConsoleAccurate=2"}, "ConsoleAccurate=2: Console-accurate sound: Use 0 or 1."},
    };
    for (const auto& [arguments, message] : cases) {
        const auto [status, output] = Spuhost(arguments);
        EXPECT_EQ(status, 1) << arguments[1] << ": " << output;
        EXPECT_NE(output.find(message), std::string::npos) << output;
    }
    // None saved when one is refused.
    EXPECT_EQ(std::tuple(test::StoredDword("SoundBufferSize"), test::StoredDword("XAVolume")), std::tuple(8u, 75u));
#if !defined(_WIN32)
    // A store that cannot be written (a file where its folder should be) is
    // named, not reported as saved.
    setenv("XDG_CONFIG_HOME", (folder / "good.pss").c_str(), 1);
    const auto [status, output] = Spuhost({"settings", "XAVolume=60"});
    EXPECT_EQ(status, 1) << output;
    EXPECT_NE(output.find("the settings could not be saved in"), std::string::npos) << output;
#endif
    for (const auto& file : fs::directory_iterator(".")) EXPECT_EQ(file.path().extension(), ".pss") << file.path();
}

}  // namespace
}  // namespace zarn
