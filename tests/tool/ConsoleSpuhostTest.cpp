// spuhost and the console model: the stored value through `settings`, and
// the demo rendered in the console model with its reverb.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/RunProgram.h"
#include "support/TestStore.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;

#if defined(_WIN32)
constexpr const char* kSpuhost = "spuhost.exe";
#else
constexpr const char* kSpuhost = "spuhost";
#endif

TEST(ConsoleSpuhostTest, SettingsAcceptsZeroOrOneOnly) {
    test::UseFreshSettingsStore();
    const test::ProgramRun listed = test::RunProgram(kSpuhost, {"settings"});
    EXPECT_NE(listed.output.find("ConsoleAccurate               0   Console-accurate sound [0-1] (switch)"),
              std::string::npos)
        << listed.output;
    const test::ProgramRun saved = test::RunProgram(kSpuhost, {"settings", "ConsoleAccurate=1"});
    EXPECT_EQ(saved.exitCode, 0) << saved.output;
    EXPECT_EQ(test::StoredDword("ConsoleAccurate"), 1u);
    const test::ProgramRun refused = test::RunProgram(kSpuhost, {"settings", "XAVolume=60", "ConsoleAccurate=2"});
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.output.find("ConsoleAccurate=2: Console-accurate sound: Use 0 or 1."), std::string::npos)
        << refused.output;
    EXPECT_EQ(test::StoredDword("ConsoleAccurate"), 1u);
    EXPECT_EQ(test::StoredDword("XAVolume"), 75u);  // all or nothing
}

// The console demo's reverb is the console's, in sound RAM: after the last
// notes and the backing track have ended (20.5 s), the hall still rings for
// a few tenths of a second, fading.
TEST(ConsoleSpuhostTest, ConsoleDemoRingsOnInTheHall) {
    test::UseFreshSettingsStore();
    const fs::path wav = fs::temp_directory_path() / ("console-" + std::to_string(std::random_device{}()) + ".wav");
    const test::ProgramRun demo = test::RunProgram(kSpuhost, {"demo", "--console", "--out", wav.string()});
    std::string bytes;
    {
        std::ifstream file(wav, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    fs::remove(wav);
    ASSERT_EQ(demo.exitCode, 0) << demo.output;
    ASSERT_EQ(bytes.size(), 44 + 4 * 21 * 44100u);
    const auto rms = [&](double from) {  // over 0.1 s
        double squares = 0;
        for (size_t i = 44 + 4 * static_cast<size_t>(from * 44100), n = 0; n < 2 * 4410; i += 2, ++n) {
            const int16_t sample = static_cast<int16_t>(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
            squares += double(sample) * sample;
        }
        return std::sqrt(squares / (2 * 4410));
    };
    EXPECT_GT(rms(20.6), 50);
    EXPECT_GT(rms(20.6), 2 * rms(20.9));
    EXPECT_FALSE(test::StoreHasKey());  // the demo kept its settings to itself
}

}  // namespace
}  // namespace zarn
