// The settings record in the platform's store (the registry, or the REGEDIT4
// file): what a first run writes and what comes back; and the real-time
// window's work on the live record (tests/win32 works its Win32 dialog).
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "store/RegistrySettings.h"
#include "support/FakeSurface.h"
#include "support/TestSettings.h"
#include "support/TestStore.h"
#include "ui/SettingsDialog.h"

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
    const std::vector<int32_t> any = {-1, 0, 7, INT32_MIN, INT32_MAX, 1000, 250, -100, 3, 2};
    for (size_t i = 0; i < any.size(); ++i) first.*DriverSettings::kStored[i].field = any[i];
    first.Save();
    RegistrySettings loaded;
    loaded.EnableAutoGain = 7;  // not stored: stays
    loaded.Load();
    EXPECT_EQ(std::tuple(Stored(loaded), loaded.EnableAutoGain), std::tuple(any, 7));

    // Any 4-byte value counts, whatever its type; others leave the default.
    test::StoreValue("XABufferSize", 3, {0xFE, 0xFF, 0xFF, 0xFF});  // REG_BINARY
    test::StoreValue("ReverbVolume", 4, {1, 2, 3});
    loaded.Load();
    EXPECT_EQ(std::tuple(loaded.XABufferSize, loaded.ReverbVolume), std::tuple(-2, defaults.ReverbVolume));
}

using namespace ui::control;
using Ints = std::vector<int32_t>;
const Ints kOthers = {16, 64, 60, 40, 150};  // the five numbers

// The real-time window over a fake dialog whose edits, like real ones, tell
// the dialog of every change of their text at once, also while the dialog
// fills them. Its record's Load brings back `stored`.
class RealtimeWindowTest : public ::testing::Test, public ui::RecorderSwitch {
protected:
    struct Record : test::TestSettings {
        Ints stored = kOthers;
        void Load() override { Numbers(stored); }
        void Save() override { ADD_FAILURE() << "the real-time window saves nothing"; }
        void Numbers(const Ints& v) {
            SetSoundBufferSize(v[0]), SetXABufferSize(v[1]), SetXAVolume(v[2]), SetReverbVolume(v[3]);
            SetTickParSecond(v[4]);
        }
    } record;
    ui::RealtimeDialog dialog{record, *this};
    test::FakeSurface controls;
    std::map<int, std::string>& texts = controls.texts;

    void SetUp() override {
        record.Load();
        record.SetEnableReverb(1);
        controls.dialog = &dialog;
        dialog.Initialise(controls);
    }
    Ints Numbers() const {
        return {record.SoundBufferSize, record.XABufferSize, record.XAVolume, record.ReverbVolume,
                record.TickParSecond};
    }
    bool Type(int id, const std::string& text) { return controls.Type(id, text); }
    bool Click(int id) { return controls.Click(id); }
    bool IsRecording() const override { return false; }
    void StartRecording() override {}
    void StopRecording() override {}
};

TEST_F(RealtimeWindowTest, OpensFilledAndEachApplyingActionWritesEveryField) {
    // Had the filling's notifications been applied, the fields not yet filled
    // would have been read as 0.
    EXPECT_EQ(Numbers(), kOthers);
    EXPECT_EQ(texts[kXABufferSize] + texts[kRecordingTempo] + texts[kRecord], "64150Record");
    EXPECT_TRUE(controls.checks[kEnableReverb]);
    // The record drifts from what the controls show; any applying action
    // rewrites every field with its shown value, without range checks.
    const auto drift = [&] { record.Numbers({1, 1, 1, 1, 1}), record.SetEnableReverb(0); };
    drift();
    EXPECT_TRUE(Type(kXAVolume, "200"));
    EXPECT_EQ(std::tuple(Numbers(), record.EnableReverb), std::tuple(Ints{16, 64, 200, 40, 150}, 1));
    drift();
    EXPECT_TRUE(Click(kEnableSpuIrq));
    EXPECT_EQ(Numbers(), (Ints{16, 64, 200, 40, 150}));
    // The tempo alone, a change that holds no number, and other notifications
    // of an edit apply nothing; OK takes everything as shown, the empty field as 0.
    drift();
    EXPECT_TRUE(!Type(kRecordingTempo, "0") && Type(kSoundBufferSize, "") &&
                !dialog.Command(controls, kXABufferSize, 0x100) && !Click(kShowRealtimeConfigWindow));
    EXPECT_EQ(Numbers(), (Ints{1, 1, 1, 1, 1}));
    EXPECT_TRUE(dialog.Command(controls, kOk, 0));
    EXPECT_EQ(Numbers(), (Ints{0, 64, 200, 40, 0}));
}

}  // namespace
}  // namespace zarn
