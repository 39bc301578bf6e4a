// The settings record in the platform's store (the registry on Windows, the
// REGEDIT4 file elsewhere): what a first run writes, what comes back, and a
// store that cannot be written.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "store/RegistryKey.h"
#include "store/RegistrySettings.h"
#include "support/TestSettings.h"
#include "support/TestStore.h"

namespace zarn {
namespace {

// Calls `check(name, field)` for each stored field of `s`.
template <typename Check>
void ForEachStored(DriverSettings& s, Check check) {
    for (const auto& stored : DriverSettings::kStored) check(s.ValueNames[stored.index], s.*stored.field);
}
std::vector<int32_t> Stored(DriverSettings& s) {
    std::vector<int32_t> values;
    ForEachStored(s, [&](const char*, int32_t& value) { values.push_back(value); });
    return values;
}
std::vector<uint8_t> Bytes(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { test::UseFreshSettingsStore(); }
};

TEST_F(SettingsTest, AFirstRunStoresItsValuesAndEveryFourByteValueComesBackAsStored) {
    ASSERT_FALSE(test::StoreHasKey());
    RegistrySettings first;
    first.Load();
    test::TestSettings defaults;
    defaults.Load();
    // The key is made with the nine values as dwords, the defaults; the wave format is not stored.
    ForEachStored(first, [&](const char* name, int32_t& value) {
        EXPECT_EQ(test::StoredDword(name), static_cast<uint32_t>(value)) << name;
    });
    EXPECT_EQ(Stored(first), Stored(defaults));
    EXPECT_EQ(test::StoredDword("WaveFormatSampleRate"), std::nullopt);

    int32_t next = -3;  // any 32-bit value, 0xFFFFFFFD on
    ForEachStored(first, [&](const char*, int32_t& value) { value = next++ * 1000003; });
    first.Save();
    RegistrySettings loaded;
    loaded.EnableAutoGain = 7;  // not stored: stays
    loaded.Load();
    next = -3;
    ForEachStored(loaded, [&](const char* name, int32_t& value) { EXPECT_EQ(value, next++ * 1000003) << name; });
    EXPECT_EQ(loaded.EnableAutoGain, 7);

    // A reload (the real-time window's Cancel) writes each field once: the
    // sound thread, reading without the lock, never sees the default pass by.
    std::atomic<bool> loading{true};
    std::atomic<int32_t> seen = loaded.SoundBufferSize;
    std::thread reader([&] {
        while (loading) {
            if (const int32_t size = DriverSettings::Live(loaded.SoundBufferSize); size != seen) seen = size;
        }
    });
    const int32_t stored = loaded.SoundBufferSize;
    for (int i = 0; i < 50; ++i) loaded.Load();
    loading = false;
    reader.join();
    EXPECT_EQ(seen, stored);

    // Any 4-byte value counts, whatever its type; others, and wave-format
    // values in the key, leave the field at its default.
    test::StoreValue("XABufferSize", 3, Bytes(0xFFFFFFFF));  // REG_BINARY
    test::StoreValue("ReverbVolume", 3, {1, 2, 3});
    test::StoreValue("TickParSecond", 3, {1, 2, 3, 4, 5, 6, 7, 8});
    test::StoreValue("WaveFormatChannels", 4, Bytes(1));
    loaded.Load();
    EXPECT_EQ(std::vector<int32_t>(
                  {loaded.XABufferSize, loaded.ReverbVolume, loaded.TickParSecond, loaded.WaveFormatChannels}),
              std::vector<int32_t>({-1, defaults.ReverbVolume, defaults.TickParSecond, defaults.WaveFormatChannels}));
}

#if !defined(_WIN32)
// A store that cannot be had or written: loads give the stored values or the
// defaults, saves change nothing, and neither fails in any other way.
TEST_F(SettingsTest, AStoreThatCannotBeWrittenIsLeftAsItIs) {
    namespace fs = std::filesystem;
    const fs::path home = std::getenv("XDG_CONFIG_HOME"), store = home / RegistryKey::kStoreFile;
    const auto text = [&] { return (std::stringstream() << std::ifstream(store).rdbuf()).str(); };
    RegistrySettings settings;
    settings.Load();
    const std::string saved = text();
    const int32_t volume = settings.XAVolume;

    // The file cannot be replaced (a folder where its temporary file goes),
    // or is read-only (which binds any user but root).
    const fs::path temporary = store.string() + ".tmp" + std::to_string(getpid());
    fs::create_directory(temporary);
    settings.XAVolume = volume + 1;
    settings.Save();
    fs::remove(temporary);
    EXPECT_EQ(text(), saved);
    fs::permissions(store, fs::perms::owner_read);
    settings.Save();
    if (geteuid() != 0) {
        EXPECT_EQ(text(), saved);
    }
    fs::permissions(store, fs::perms::owner_read | fs::perms::owner_write);

    // No folder for the store (a file in the way), or the store a folder.
    for (const fs::path& blocked : {home / "spuZarn", store}) {
        fs::remove_all(home / "spuZarn");
        fs::create_directories(blocked.parent_path());
        if (blocked == store)
            fs::create_directory(blocked);
        else
            std::ofstream(blocked) << "in the way";
        settings.XAVolume = volume + 1;
        settings.Save();
        settings.Load();
        EXPECT_EQ(settings.XAVolume, volume) << blocked;
        EXPECT_FALSE(test::StoreHasKey()) << blocked;
    }
}
#endif

}  // namespace
}  // namespace zarn
