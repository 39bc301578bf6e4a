// The console model through the plugin's entry points: the stored value that
// chooses the model at SPUinit and SPUopen, and SPUfreeze's modes and records.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/SpuCore.h"
#include "plugin/Plugin.h"
#include "settings/DriverSettings.h"
#include "state/FreezeExtension.h"
#include "store/RegistrySettings.h"
#include "support/FakeSurface.h"
#include "support/TestStore.h"
#include "ui/SettingsDialog.h"
#include "voice/RegisterMap.h"

namespace zarn {
namespace {

constexpr size_t kBase = FreezeRecord::kSize;

void StoreModel(uint32_t value) { test::StoreValue("ConsoleAccurate", 4, {static_cast<uint8_t>(value), 0, 0, 0}); }
SoundModel Model() { return plugin::Inspect().core->model; }
void Write(std::initializer_list<std::pair<uint32_t, uint32_t>> program) {
    for (const auto& [address, value] : program) SPUwriteRegister(address, value);
}
void Frames(uint32_t count) {
    std::vector<int16_t> out(2 * count);
    SPUrender(out.data(), 4 * count);
}
FreezeRecord* AsRecord(std::vector<uint8_t>& bytes) { return reinterpret_cast<FreezeRecord*>(bytes.data()); }

// Voice 0 plays on from a block at 0x1000 (flags: go on), uploaded by DMA,
// at full volume.
void PlayOneVoice() {
    const uint16_t block[8] = {0x0200, 0x1111, 0x1111, 0x1111, 0x1111, 0x1111, 0x1111, 0x1111};
    Write({{reg::kTransferAddress, 0x0200}});
    SPUwriteDMAMem(const_cast<uint16_t*>(block), 8);
    // clang-format off
    Write({{reg::kControl, 0xC000}, {reg::Voice(0, reg::kStartAddress), 0x0200}, {reg::Voice(0, reg::kPitch), 0x1000},
           {reg::Voice(0, reg::kEnvelope1), 0x000F}, {reg::Voice(0, reg::kEnvelope2), 0x1FC0},
           {reg::Voice(0, reg::kVolumeL), 0x3FFF}, {reg::kMainVolumeL, 0x3FFF}, {reg::kKeyOn, 1}});
    // clang-format on
}

struct ConsolePluginTest : ::testing::Test {
    void SetUp() override { test::UseFreshSettingsStore(); }
    void TearDown() override { SPUshutdown(); }
};

TEST_F(ConsolePluginTest, StoredValueChoosesTheModelAtInitAndOpen) {
    // A first run stores ConsoleAccurate 0 (SettingsTest: all ten values): the standard model.
    SPUinit();
    EXPECT_EQ(std::tuple(Model(), test::StoredDword("ConsoleAccurate")), std::tuple(kStandard, 0u));
    SPUshutdown();
    for (const auto& [stored, model] : {std::pair{1u, kConsole}, {2u, kStandard}}) {
        StoreModel(stored);
        SPUinit();
        EXPECT_EQ(std::tuple(plugin::Inspect().settings->ConsoleAccurate, Model()), std::tuple(int32_t(stored), model));
        SPUshutdown();
    }

    // Saved while the library is loaded, taken up by the next SPUopen: voices
    // silent, the configuration and sound RAM as they were.
    StoreModel(0);
    SPUinit();
    PlayOneVoice();
    Frames(100);
    ASSERT_NE(SPUreadRegister(reg::kVoiceActivity), 0);
    const std::vector<uint8_t> ram(plugin::Inspect().core->soundRam, plugin::Inspect().core->soundRam + kRamBytes);
    uint8_t header[16];
    SPUfreeze(2, reinterpret_cast<FreezeRecord*>(header));
    EXPECT_EQ(header[12] | header[13] << 8 | header[14] << 16, 558640);
    StoreModel(1);
    SPUopen(nullptr);
    EXPECT_EQ(Model(), kConsole);
    EXPECT_EQ(std::tuple(SPUreadRegister(reg::kVoiceActivity), SPUreadRegister(reg::Voice(0, reg::kEnvelopeVolume)),
                         SPUreadRegister(reg::Voice(0, reg::kPitch)), SPUreadRegister(reg::kControl)),
              std::tuple(0, 0, 0x1000, 0xC000));
    // (The first 4 KiB are the console's capture areas, written every tick.)
    EXPECT_TRUE(std::equal(ram.begin() + 0x1000, ram.end(), plugin::Inspect().core->soundRam + 0x1000)) << "sound RAM";
    SPUfreeze(2, reinterpret_cast<FreezeRecord*>(header));
    EXPECT_EQ(header[12] | header[13] << 8 | header[14] << 16, 766264);
    // A change while the run is open waits for the next SPUopen; a value
    // that cannot be read (not 4 bytes) counts as 0.
    StoreModel(0);
    EXPECT_EQ(Model(), kConsole);
    SPUclose();
    test::StoreValue("ConsoleAccurate", 3, {1, 0, 0});
    SPUopen(nullptr);
    EXPECT_EQ(std::tuple(plugin::Inspect().settings->ConsoleAccurate, Model()), std::tuple(0, kStandard));
    Frames(10);  // the standard voice 0 keyed before starts silent too
    EXPECT_EQ(SPUreadRegister(reg::kVoiceActivity), 0u);
}

// The configure dialog has no control for the model: Default and OK save the
// nine shown values at their defaults and the model as it was loaded.
TEST_F(ConsolePluginTest, ConfigureDialogKeepsTheModel) {
    StoreModel(1);
    test::StoreValue("XAVolume", 4, {33, 0, 0, 0});
    RegistrySettings record;
    ui::ConfigureSettings(
        record,
        [](ui::ConfigureDialog& dialog, void*) {
            test::FakeSurface surface;
            dialog.Initialise(surface);
            dialog.Command(surface, ui::control::kDefault, 0);
            dialog.Command(surface, ui::control::kOk, 0);
            return ui::control::kOk;
        },
        nullptr);
    EXPECT_EQ(test::StoredDword("XAVolume"), 75u);
    EXPECT_EQ(test::StoredDword("ConsoleAccurate"), 1u);
}

TEST_F(ConsolePluginTest, FreezeModesWriteTheRecordTheHostWasTold) {
    StoreModel(1);
    SPUinit();
    std::vector<uint8_t> bytes(kExtendedFreezeSize + 16, 0xA5);
    const auto from = [&](size_t begin, size_t end) { return std::vector<uint8_t>(&bytes[begin], &bytes[end]); };
    const auto all = [&](size_t begin, size_t end, uint8_t value) {
        return std::all_of(&bytes[begin], &bytes[end], [value](uint8_t b) { return b == value; });
    };
    // No size query since SPUinit: a base record, nothing past it.
    EXPECT_EQ(SPUfreeze(1, AsRecord(bytes)), 1);
    EXPECT_TRUE(from(12, 16) == (std::vector<uint8_t>{0x30, 0x86, 0x08, 0}) && all(kBase, bytes.size(), 0xA5));

    std::fill(bytes.begin(), bytes.end(), 0xA5);
    EXPECT_EQ(SPUfreeze(2, AsRecord(bytes)), 1);
    EXPECT_EQ(from(0, 17),
              (std::vector<uint8_t>{'T', 'O', 'V', 'R', 'A', 0, 0xA5, 0xA5, 1, 0, 0, 0, 0x38, 0xB1, 0x0B, 0, 0xA5}));

    // The extension of a fresh console core: zeros but for tag, version,
    // size, the unset transfer address, zigSixStep 6 and each voice in
    // Release with a block to decode.
    std::vector<uint8_t> fresh(kFreezeExtensionSize);
    const uint8_t head[16] = {'C', 'O', 'N', 'S', 'O', 'L', 'E', 0, 1, 0, 0, 0, 0x08, 0x2B, 0x03, 0};
    std::copy(std::begin(head), std::end(head), fresh.begin());
    std::fill_n(&fresh[36], 4, 0xFF);
    fresh[692] = 6;
    for (int v = 0; v < kVoiceCount; ++v) fresh[712 + 88 * v + 12] = 3, fresh[712 + 88 * v + 13] = 1;
    for (const uint32_t mode : {1u, 7u}) {  // 7: no clearing, yet every extension byte written
        std::fill(bytes.begin(), bytes.end(), 0xA5);
        EXPECT_EQ(SPUfreeze(mode, AsRecord(bytes)), 1);
        EXPECT_EQ(from(12, 16), (std::vector<uint8_t>{0x38, 0xB1, 0x0B, 0}));
        EXPECT_TRUE(from(kBase, kExtendedFreezeSize) == fresh) << mode;
        EXPECT_TRUE(all(524816, kBase, mode == 1 ? 0 : 0xA5) && all(kExtendedFreezeSize, bytes.size(), 0xA5)) << mode;
    }
}

TEST_F(ConsolePluginTest, LoadTakesTheExtensionOnlyWhenWholeAndInTheConsoleModel) {
    StoreModel(1);
    SPUinit();
    PlayOneVoice();
    Frames(300);
    const uint16_t envelope = SPUreadRegister(reg::Voice(0, reg::kEnvelopeVolume));
    ASSERT_EQ(envelope, 0x3FFF);
    std::vector<uint8_t> saved(kExtendedFreezeSize);
    SPUfreeze(2, AsRecord(saved));
    SPUfreeze(1, AsRecord(saved));
    SPUshutdown();

    // Whole: the voice goes on. A wrong tag, version or extension size: the
    // fallback load, which restarts the keyed voice from level 0.
    SPUinit();
    for (const auto& [at, value] : {std::pair{kBase, 'C'}, {kBase + 6, 'X'}, {kBase + 8, '\2'}, {kBase + 12, '\x09'}}) {
        std::vector<uint8_t> record = saved;
        record[at] = static_cast<uint8_t>(value);
        EXPECT_EQ(SPUfreeze(0, AsRecord(record)), 1);
        EXPECT_EQ(SPUreadRegister(reg::Voice(0, reg::kEnvelopeVolume)), at == kBase ? envelope : 0) << at;
    }
    SPUshutdown();

    // The standard model reads the first 558,640 bytes only (the buffer ends
    // there) and replays them: its voice 0 is keyed on.
    StoreModel(0);
    SPUinit();
    std::vector<uint8_t> front(saved.begin(), saved.begin() + kBase);
    EXPECT_EQ(SPUfreeze(0, AsRecord(front)), 1);
    EXPECT_EQ(std::tuple(SPUreadRegister(reg::kVoiceActivity), SPUreadRegister(reg::Voice(0, reg::kPitch))),
              std::tuple(1, 0x1000));
}

}  // namespace
}  // namespace zarn
