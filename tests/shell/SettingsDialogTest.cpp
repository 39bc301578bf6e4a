// What SPUconfigure and the real-time window do with their controls, over a
// fake dialog (the real dialogs are worked under Wine by tests/win32). Like a real edit control, the fake tells the dialog of
// every change of an edit's text at once, also while the dialog fills it.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/TestSettings.h"
#include "ui/SettingsDialog.h"

namespace zarn {
namespace {

using namespace ui::control;
using Message = std::pair<std::string, std::string>;  // text, caption
using Messages = std::vector<Message>;
using Ints = std::vector<int32_t>;
constexpr int kEdits[] = {kSoundBufferSize, kXABufferSize, kXAVolume, kReverbVolume, kRecordingTempo};

class FakeDialog : public ui::DialogSurface {
public:
    explicit FakeDialog(ui::SettingsDialog& dialog) : dialog_(dialog) { dialog_.Initialise(*this); }

    std::map<int, std::string> texts;
    std::map<int, bool> checks;
    std::map<int, std::pair<int, int>> ranges;
    std::set<int> disabled, readOnly;
    Messages messages;
    int result = 0;

    bool Press(int id, int notification = 0) { return dialog_.Command(*this, id, notification); }
    // The user (or an arrow) changes an edit's text.
    bool Type(int id, const std::string& text) {
        texts[id] = text;
        return Press(id, ui::kEditChanged);
    }
    bool Click(int checkbox) {
        checks[checkbox] = !checks[checkbox];
        return Press(checkbox);
    }

    std::string Text(int id) override { return texts[id]; }
    void SetText(int id, const char* text) override {
        texts[id] = text;
        if (std::find(std::begin(kEdits), std::end(kEdits), id) != std::end(kEdits)) Press(id, ui::kEditChanged);
    }
    bool IsChecked(int id) override { return checks[id]; }
    void SetChecked(int id, bool checked) override { checks[id] = checked; }
    void SetRange(int id, int lowest, int highest) override { ranges[id] = {lowest, highest}; }
    void Disable(int id) override { disabled.insert(id); }
    void MakeReadOnly(int id) override { readOnly.insert(id); }
    void ShowMessage(const char* text, const char* caption) override { messages.emplace_back(text, caption); }
    void End(int value) override { result = value; }

private:
    ui::SettingsDialog& dialog_;
};

// The nine fields, in the order the registry holds them.
Ints Fields(const DriverSettings& s) {
    return {s.SoundBufferSize,    s.XABufferSize, s.ShowRealtimeConfigWindow,
            s.HighResolutionMode, s.EnableReverb, s.EnableSpuIrq,
            s.XAVolume,           s.ReverbVolume, s.TickParSecond};
}
void SetFields(DriverSettings& s, const Ints& v) {
    s.SetSoundBufferSize(v[0]), s.SetXABufferSize(v[1]), s.SetShowRealtimeConfigWindow(v[2]);
    s.SetHighResolutionMode(v[3]), s.SetEnableReverb(v[4]), s.SetEnableSpuIrq(v[5]);
    s.SetXAVolume(v[6]), s.SetReverbVolume(v[7]), s.SetTickParSecond(v[8]);
}
const Ints kDefaults = {8, 48, 0, 1, 0, 1, 75, 50, 100}, kOthers = {16, 64, 1, 0, 1, 0, 60, 40, 150};

// SPUconfigure's work: the record is loaded, shown, and saved only when the
// dialog ends with OK; Default changes the dialog's record only.
struct CountedRecord : test::TestSettings {
    int loads = 0, saves = 0;
    void Load() override { ++loads, SetFields(*this, kOthers); }
    void Save() override { ++saves; }
};
int RunScript(ui::ConfigureDialog& dialog, void* end) {
    FakeDialog form(dialog);
    EXPECT_EQ(form.texts[kSoundBufferSize] + form.texts[kRecordingTempo], "16150");  // loaded first
    for (const int id : {kRecord, kDefault, *static_cast<int*>(end)}) form.Press(id);
    EXPECT_EQ(form.messages, (Messages{{"You can use this function while emulating.", "SPU Record"}}));
    return form.result;
}

TEST(ConfigureDialogTest, DefaultThenCancelSavesNothingDefaultThenOkSavesTheDefaults) {
    for (int end : {kCancel, kOk}) {
        CountedRecord record;
        ui::ConfigureSettings(record, RunScript, &end);
        EXPECT_EQ(std::tuple(record.loads, record.saves, Fields(record)), std::tuple(1, end == kOk, kDefaults));
    }
}

// The real-time window over a record whose Load brings back what is stored.
class RealtimeDialogTest : public ::testing::Test, public ui::RecorderSwitch {
protected:
    class StoredRecord : public DriverSettings {
    public:
        Ints stored = kOthers;
        void Load() override { SetFields(*this, stored); }
        void Save() override { ADD_FAILURE() << "the real-time window saves nothing"; }
    } record;
    ui::RealtimeDialog dialog{record, *this};
    std::unique_ptr<FakeDialog> form;

    bool IsRecording() const override { return false; }
    void StartRecording() override {}
    void StopRecording() override {}

    void SetUp() override {
        record.Load();
        form = std::make_unique<FakeDialog>(dialog);
    }
};

TEST_F(RealtimeDialogTest, OpensFilledAndEachApplyingActionWritesAllNineFields) {
    // Had the filling's notifications been applied, the fields not yet filled
    // would have been read as 0.
    EXPECT_EQ(Fields(record), kOthers);
    EXPECT_EQ(form->texts[kXABufferSize] + form->texts[kRecordingTempo] + form->texts[kRecord], "64150Record");
    EXPECT_EQ(form->ranges, (std::map<int, std::pair<int, int>>{{kSoundBufferArrows, {1, 200}},
                                                                {kXABufferArrows, {1, 200}},
                                                                {kXAVolumeArrows, {0, 200}},
                                                                {kReverbVolumeArrows, {0, 200}},
                                                                {kRecordingTempoArrows, {0, 200}}}));
    EXPECT_EQ(form->disabled, std::set<int>{kShowRealtimeConfigWindow});
    EXPECT_EQ(form->readOnly, std::set<int>(std::begin(kEdits), std::end(kEdits)));

    // The record drifts from what the controls show; any applying action
    // rewrites every field with its shown value, without range checks.
    const auto drift = [&] { SetFields(record, {1, 1, 0, 1, 0, 1, 1, 1, 1}); };
    drift();
    EXPECT_TRUE(form->Type(kReverbVolume, "41"));
    EXPECT_EQ(Fields(record), (Ints{16, 64, 1, 0, 1, 0, 60, 41, 150}));
    drift();
    EXPECT_TRUE(form->Click(kEnableSpuIrq) && form->Type(kXAVolume, "200"));
    EXPECT_EQ(Fields(record), (Ints{16, 64, 1, 0, 1, 1, 200, 41, 150}));
    // The tempo alone, a change that holds no number, and other notifications
    // of an edit apply nothing.
    drift();
    EXPECT_TRUE(!form->Type(kRecordingTempo, "0") && form->Type(kSoundBufferSize, "") &&
                !form->Press(kXABufferSize, 0x100) && !form->Press(kShowRealtimeConfigWindow));
    EXPECT_EQ(Fields(record), (Ints{1, 1, 0, 1, 0, 1, 1, 1, 1}));
    // OK takes everything as shown, the empty field as 0, and saves nothing.
    EXPECT_TRUE(form->Press(kOk));
    EXPECT_EQ(Fields(record), (Ints{0, 64, 1, 0, 1, 1, 200, 41, 0}));
}

TEST_F(RealtimeDialogTest, CancelReloadsAndDefaultResetsTheWindowSetting) {
    form->Type(kXAVolume, "120");
    EXPECT_TRUE(form->Press(kCancel));
    EXPECT_EQ(std::tuple(Fields(record), form->texts[kXAVolume]), std::tuple(kOthers, std::string("60")));
    EXPECT_TRUE(form->Press(kDefault));
    EXPECT_EQ(Fields(record), kDefaults);
    EXPECT_EQ(form->texts[kSoundBufferSize] + "," + form->texts[kRecordingTempo], "8,100");
    EXPECT_FALSE(form->checks[kShowRealtimeConfigWindow]);
    // After the refills the window applies changes again.
    form->Type(kReverbVolume, "51");
    EXPECT_EQ(Fields(record), (Ints{8, 48, 0, 1, 0, 1, 75, 51, 100}));
    // Stored values out of every range survive the trip through the controls.
    record.stored[0] = record.stored[6] = -1;
    form->Press(kCancel);
    EXPECT_EQ(form->texts[kSoundBufferSize] + " " + form->texts[kXAVolume], "4294967295 -1");
    form->Click(kEnableReverb);
    EXPECT_EQ(std::tuple(record.SoundBufferSize, record.XAVolume), std::tuple(-1, -1));
}

}  // namespace
}  // namespace zarn
