// The settings record and its persistence, against the real store of the
// platform: the registry on Windows, the REGEDIT4 file elsewhere.
#include <gtest/gtest.h>

#include "settings/RegistrySettings.h"
#include "support/TestStore.h"

namespace zarn {
namespace {

struct Expected {
    const char* name;
    int32_t DriverSettings::*field;
    int32_t defaultValue;
};
const Expected kStored[] = {
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

std::vector<uint8_t> Bytes(uint32_t value) {
    return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { test::UseFreshSettingsStore(); }
};

TEST_F(SettingsTest, FirstLoadCreatesTheKeyWithTheNineDefaults) {
    ASSERT_FALSE(test::StoreHasKey());
    RegistrySettings settings;
    settings.Load();
    EXPECT_TRUE(test::StoreHasKey());
    for (const Expected& e : kStored) {
        EXPECT_EQ(test::StoredDword(e.name), static_cast<uint32_t>(e.defaultValue)) << e.name;
        EXPECT_EQ(settings.*e.field, e.defaultValue) << e.name;
    }
    EXPECT_EQ(settings.WaveFormatSampleRate, 44100);
    EXPECT_EQ(settings.WaveFormatBytesPerSample, 2);
    EXPECT_EQ(settings.WaveFormatChannels, 2);
    EXPECT_EQ(test::StoredDword("WaveFormatSampleRate"), std::nullopt);
    // The switches nothing stores start as the engine expects them.
    EXPECT_EQ(settings.EnableNoiseAndFM, 1);
    EXPECT_EQ(settings.EnableAutoGain, 0);
    EXPECT_EQ(settings.EnableXAWait, 0);
    EXPECT_STREQ(settings.KeyPath, "Software\\Vision Thing\\PSEmu Pro\\SPU\\spuZarn");
}

TEST_F(SettingsTest, StoredValuesAreTakenAsTheyAre) {
    // Any 4-byte value counts, whatever its type and range; wave-format
    // values in the key are ignored; unreadable values keep their defaults.
    RegistrySettings first;
    first.Load();
    test::StoreValue("SoundBufferSize", 4, Bytes(0));
    test::StoreValue("XABufferSize", 3, Bytes(0xFFFFFFFF));  // REG_BINARY
    test::StoreValue("XAVolume", 4, Bytes(250));
    test::StoreValue("ReverbVolume", 3, {1, 2, 3});            // 3 bytes: unreadable
    test::StoreValue("TickParSecond", 3, {1, 2, 3, 4, 5, 6, 7, 8});
    test::StoreValue("WaveFormatSampleRate", 4, Bytes(22050));
    test::StoreValue("WaveFormatChannels", 4, Bytes(1));

    RegistrySettings settings;
    settings.Load();
    EXPECT_EQ(settings.SoundBufferSize, 0);
    EXPECT_EQ(settings.XABufferSize, -1);
    EXPECT_EQ(settings.XAVolume, 250);
    EXPECT_EQ(settings.ReverbVolume, 50);
    EXPECT_EQ(settings.TickParSecond, 100);
    EXPECT_EQ(settings.WaveFormatSampleRate, 44100);
    EXPECT_EQ(settings.WaveFormatChannels, 2);
}

TEST_F(SettingsTest, SaveThenLoadGivesBackEveryStoredValue) {
    RegistrySettings settings;
    settings.Load();
    int32_t value = 1000;
    for (const Expected& e : kStored) settings.*e.field = value++;
    settings.EnableAutoGain = 7;
    settings.Save();

    RegistrySettings loaded;
    loaded.EnableAutoGain = 3;
    loaded.Load();
    value = 1000;
    for (const Expected& e : kStored) {
        EXPECT_EQ(loaded.*e.field, value) << e.name;
        EXPECT_EQ(test::StoredDword(e.name), static_cast<uint32_t>(value)) << e.name;
        ++value;
    }
    EXPECT_EQ(loaded.EnableAutoGain, 3);  // not a stored value
}

TEST_F(SettingsTest, SetDefaultsLeavesSwitchesAndOwnerAlone) {
    RegistrySettings settings;
    settings.Load();
    for (const Expected& e : kStored) settings.*e.field = -5;
    settings.WaveFormatSampleRate = 8000;
    settings.EnableNoiseAndFM = 0;
    settings.EnableXAWait = 9;
    int marker;
    settings.OwnerWindow = &marker;
    settings.SetDefaults();
    for (const Expected& e : kStored) EXPECT_EQ(settings.*e.field, e.defaultValue) << e.name;
    EXPECT_EQ(settings.WaveFormatSampleRate, 44100);
    EXPECT_EQ(settings.EnableNoiseAndFM, 0);
    EXPECT_EQ(settings.EnableXAWait, 9);
    EXPECT_EQ(settings.OwnerWindow, &marker);
}

}  // namespace
}  // namespace zarn
