// The settings record in the platform's store (the registry on Windows, the
// REGEDIT4 file elsewhere): what a first run writes, what comes back, and a
// store that cannot be written.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <tuple>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "store/RegistryKey.h"
#include "store/RegistrySettings.h"
#include "support/TestSettings.h"
#include "support/TestStore.h"

namespace zarn {
namespace {

// The stored fields of `s`, in the order they are stored.
std::vector<int32_t> Stored(const DriverSettings& s) {
    std::vector<int32_t> fields;
    for (const auto& stored : DriverSettings::kStored) fields.push_back(s.*stored.field);
    return fields;
}

TEST(SettingsTest, AFirstRunStoresItsDefaultsAndEveryFourByteValueComesBackAsStored) {
    test::UseFreshSettingsStore();
    ASSERT_FALSE(test::StoreHasKey());
    RegistrySettings first;
    test::TestSettings defaults;
    first.Load();
    defaults.Load();
    EXPECT_EQ(Stored(first), Stored(defaults));
    for (const auto& stored : DriverSettings::kStored) {  // each in the store, as a dword
        EXPECT_EQ(test::StoredDword(first.ValueNames[stored.index]), uint32_t(first.*stored.field));
    }
    EXPECT_EQ(test::StoredDword("WaveFormatSampleRate"), std::nullopt);
    const std::vector<int32_t> any = {-1, 0, 7, INT32_MIN, INT32_MAX, 1000, 250, -100, 3};
    for (size_t i = 0; i < any.size(); ++i) first.*DriverSettings::kStored[i].field = any[i];
    first.Save();
    RegistrySettings loaded;
    loaded.EnableAutoGain = 7;  // not stored: stays
    loaded.Load();
    EXPECT_EQ(std::tuple(Stored(loaded), loaded.EnableAutoGain), std::tuple(any, 7));

    // A reload (the real-time window's Cancel) writes each field once: the
    // sound thread, reading without the lock, never sees the default pass by.
    std::atomic<bool> loading{true}, passedBy{false};
    std::thread reader([&] {
        while (loading) passedBy = passedBy || DriverSettings::Live(loaded.SoundBufferSize) != any[0];
    });
    for (int i = 0; i < 50; ++i) loaded.Load();
    loading = false;
    reader.join();
    EXPECT_FALSE(passedBy);

    // Any 4-byte value counts, whatever its type; others, and wave-format
    // values in the key, leave the field at its default.
    test::StoreValue("XABufferSize", 3, {0xFE, 0xFF, 0xFF, 0xFF});  // REG_BINARY
    test::StoreValue("ReverbVolume", 4, {1, 2, 3});
    test::StoreValue("TickParSecond", 3, {1, 2, 3, 4, 5, 6, 7, 8});
    test::StoreValue("WaveFormatChannels", 4, {1, 0, 0, 0});
    loaded.Load();
    EXPECT_EQ(std::tuple(loaded.XABufferSize, loaded.ReverbVolume, loaded.TickParSecond, loaded.WaveFormatChannels),
              std::tuple(-2, defaults.ReverbVolume, defaults.TickParSecond, defaults.WaveFormatChannels));
}

#if !defined(_WIN32)
// A store that cannot be written: saves change nothing, loads give what is
// stored or the defaults, and neither fails in any other way.
TEST(SettingsTest, AStoreThatCannotBeWrittenIsLeftAsItIs) {
    namespace fs = std::filesystem;
    test::UseFreshSettingsStore();
    const fs::path store = fs::path(std::getenv("XDG_CONFIG_HOME")) / RegistryKey::kStoreFile;
    const auto text = [&] { return (std::stringstream() << std::ifstream(store).rdbuf()).str(); };
    RegistrySettings settings;
    settings.Load();
    const std::string saved = text();
    const int32_t volume = settings.XAVolume++;
    // The file cannot be replaced: a folder where its temporary file goes.
    fs::create_directory(store.string() + ".tmp" + std::to_string(getpid()));
    settings.Save();
    EXPECT_EQ(text(), saved);
    // The store is a folder.
    fs::remove_all(store.parent_path());
    fs::create_directories(store);
    settings.Save();
    settings.Load();
    EXPECT_EQ(std::tuple(settings.XAVolume, test::StoreHasKey()), std::tuple(volume, false));
}
#endif

}  // namespace
}  // namespace zarn
