// The settings record and its persistence, against the real store of the
// platform: the registry on Windows, the REGEDIT4 file elsewhere.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "store/RegistryKey.h"
#include "store/RegistrySettings.h"
#include "support/TestStore.h"

namespace zarn {
namespace {

struct Stored {
    const char* name;
    int32_t DriverSettings::*field;
    int32_t defaultValue;
};
const Stored kStored[] = {
    {"SoundBufferSize", &DriverSettings::SoundBufferSize, 8},
    {"XABufferSize", &DriverSettings::XABufferSize, 48},
    {"HighResolutionMode", &DriverSettings::HighResolutionMode, 1},
    {"ShowRealtimeConfigWindow", &DriverSettings::ShowRealtimeConfigWindow, 0},
    {"EnableReverb", &DriverSettings::EnableReverb, 0},
    {"EnableSpuIrq", &DriverSettings::EnableSpuIrq, 1},
    {"XAVolume", &DriverSettings::XAVolume, 75},
    {"ReverbVolume", &DriverSettings::ReverbVolume, 50},
    {"TickParSecond", &DriverSettings::TickParSecond, 100},
};

using Ints = std::vector<int32_t>;
std::vector<uint8_t> Bytes(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { test::UseFreshSettingsStore(); }
};

TEST_F(SettingsTest, FirstLoadCreatesTheKeyWithTheNineDefaults) {
    ASSERT_FALSE(test::StoreHasKey());
    RegistrySettings settings;
    settings.Load();
    EXPECT_TRUE(test::StoreHasKey());
    for (const Stored& e : kStored) {
        EXPECT_EQ(test::StoredDword(e.name), static_cast<uint32_t>(e.defaultValue)) << e.name;
        EXPECT_EQ(settings.*e.field, e.defaultValue) << e.name;
    }
    EXPECT_EQ(test::StoredDword("WaveFormatSampleRate"), std::nullopt);
    EXPECT_STREQ(settings.KeyPath, "Software\\Vision Thing\\PSEmu Pro\\SPU\\spuZarn");
    // The switches nothing stores start as the engine expects them.
    EXPECT_EQ((Ints{settings.WaveFormatSampleRate, settings.WaveFormatBytesPerSample, settings.WaveFormatChannels,
                    settings.EnableNoiseAndFM, settings.EnableAutoGain, settings.EnableXAWait}),
              (Ints{44100, 2, 2, 1, 0, 0}));

    // SetDefaults restores the stored values and the wave format only.
    for (const Stored& e : kStored) settings.*e.field = -5;
    settings.WaveFormatSampleRate = 8000;
    settings.EnableNoiseAndFM = 0;
    settings.EnableXAWait = 9;
    int marker;
    settings.OwnerWindow = &marker;
    settings.SetDefaults();
    for (const Stored& e : kStored) EXPECT_EQ(settings.*e.field, e.defaultValue) << e.name;
    EXPECT_EQ((Ints{settings.WaveFormatSampleRate, settings.EnableNoiseAndFM, settings.EnableXAWait}),
              (Ints{44100, 0, 9}));
    EXPECT_EQ(settings.OwnerWindow, &marker);
}

TEST_F(SettingsTest, SavedValuesLoadBackAndStoredOnesAreTakenAsTheyAre) {
    RegistrySettings settings;
    settings.Load();
    int32_t value = 1000;
    for (const Stored& e : kStored) settings.*e.field = value++;
    settings.EnableAutoGain = 7;
    settings.Save();
    RegistrySettings loaded;
    loaded.EnableAutoGain = 3;  // not a stored value
    loaded.Load();
    value = 1000;
    for (const Stored& e : kStored) {
        EXPECT_EQ(loaded.*e.field, value) << e.name;
        EXPECT_EQ(test::StoredDword(e.name), static_cast<uint32_t>(value++)) << e.name;
    }
    EXPECT_EQ(loaded.EnableAutoGain, 3);

    // A reload (the real-time window's Cancel) writes each field once: the
    // sound thread, reading without the lock, never sees the default pass by.
    std::atomic<bool> loading{true};
    std::atomic<int> seen{1000};
    std::thread reader([&] {
        while (loading) {
            if (const int32_t size = DriverSettings::Live(loaded.SoundBufferSize); size != 1000) seen = size;
        }
    });
    for (int i = 0; i < 50; ++i) loaded.Load();
    loading = false;
    reader.join();
    EXPECT_EQ(seen, 1000);

    // Any 4-byte value counts, whatever its type and range; wave-format
    // values in the key are ignored; unreadable values keep their defaults.
    test::StoreValue("SoundBufferSize", 4, Bytes(0));
    test::StoreValue("XABufferSize", 3, Bytes(0xFFFFFFFF));  // REG_BINARY
    test::StoreValue("XAVolume", 4, Bytes(250));
    test::StoreValue("ReverbVolume", 3, {1, 2, 3});
    test::StoreValue("TickParSecond", 3, {1, 2, 3, 4, 5, 6, 7, 8});
    test::StoreValue("WaveFormatSampleRate", 4, Bytes(22050));
    test::StoreValue("WaveFormatChannels", 4, Bytes(1));
    loaded.Load();
    EXPECT_EQ((Ints{loaded.SoundBufferSize, loaded.XABufferSize, loaded.HighResolutionMode, loaded.XAVolume,
                    loaded.ReverbVolume, loaded.TickParSecond, loaded.WaveFormatSampleRate, loaded.WaveFormatChannels}),
              (Ints{0, -1, 1002, 250, 50, 100, 44100, 2}));
}

#if !defined(_WIN32)
// A store that cannot be had or written: loads give the stored values or the
// defaults, saves change nothing, and neither fails in any other way.
TEST_F(SettingsTest, AStoreThatCannotBeWrittenIsLeftAsItIs) {
    namespace fs = std::filesystem;
    const fs::path home = std::getenv("XDG_CONFIG_HOME");
    const fs::path store = home / RegistryKey::kStoreFile;
    const auto text = [&] {
        std::ifstream in(store);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    RegistrySettings settings;
    settings.Load();
    const std::string saved = text();
    settings.XAVolume = 10;

    // The file cannot be replaced (a folder where its temporary file goes),
    // or is read-only (which binds any user but root).
    const fs::path temporary = store.string() + ".tmp" + std::to_string(getpid());
    fs::create_directory(temporary);
    settings.Save();
    fs::remove(temporary);
    EXPECT_EQ(text(), saved);
    fs::permissions(store, fs::perms::owner_read);
    settings.Save();
    if (geteuid() != 0) {
        EXPECT_EQ(text(), saved);
    }
    fs::permissions(store, fs::perms::owner_read | fs::perms::owner_write);
    settings.Load();
    EXPECT_EQ(settings.XAVolume, geteuid() != 0 ? 75 : 10);

    // No folder for the store (a file in the way), or the store a folder.
    for (const fs::path& blocked : {home / "spuZarn", store}) {
        fs::remove_all(home / "spuZarn");
        fs::create_directories(blocked.parent_path());
        if (blocked == store)
            fs::create_directory(blocked);
        else
            std::ofstream(blocked) << "in the way";
        settings.XAVolume = 10;
        settings.Save();
        settings.Load();
        EXPECT_EQ(settings.XAVolume, 75) << blocked;
        EXPECT_FALSE(test::StoreHasKey()) << blocked;
    }
}
#endif

}  // namespace
}  // namespace zarn
