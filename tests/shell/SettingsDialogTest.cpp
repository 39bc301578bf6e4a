// What the configure dialog and the real-time window do with their controls,
// over a fake dialog. Like a real edit control, the fake tells the dialog of
// every change of an edit's text at once, also while the dialog fills it.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "store/RegistrySettings.h"
#include "support/TestSettings.h"
#include "support/TestStore.h"
#include "ui/SettingsDialog.h"

namespace zarn {
namespace {

using namespace ui::control;
using Message = std::pair<std::string, std::string>;  // text, caption
constexpr int kEdits[] = {kSoundBufferSize, kXABufferSize, kXAVolume, kReverbVolume, kRecordingTempo};

class FakeDialog : public ui::DialogSurface {
public:
    explicit FakeDialog(ui::SettingsDialog& dialog) : dialog_(dialog) {}

    std::map<int, std::string> texts;
    std::map<int, bool> checks;
    std::map<int, std::pair<int, int>> ranges;
    std::set<int> disabled, readOnly;
    std::vector<Message> messages;
    int result = 0;

    void Open() { dialog_.Initialise(*this); }
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
std::vector<int32_t> Fields(const DriverSettings& s) {
    return {s.SoundBufferSize,    s.XABufferSize, s.ShowRealtimeConfigWindow,
            s.HighResolutionMode, s.EnableReverb, s.EnableSpuIrq,
            s.XAVolume,           s.ReverbVolume, s.TickParSecond};
}
const std::vector<int32_t> kDefaults = {8, 48, 0, 1, 0, 1, 75, 50, 100};
const std::vector<int32_t> kOthers = {16, 64, 1, 0, 1, 0, 60, 40, 150};
const char* const kValueNames[] = {"SoundBufferSize",    "XABufferSize", "ShowRealtimeConfigWindow",
                                   "HighResolutionMode", "EnableReverb", "EnableSpuIrq",
                                   "XAVolume",           "ReverbVolume", "TickParSecond"};

void SetFields(DriverSettings& s, const std::vector<int32_t>& v) {
    s.SetSoundBufferSize(v[0]), s.SetXABufferSize(v[1]), s.SetShowRealtimeConfigWindow(v[2]);
    s.SetHighResolutionMode(v[3]), s.SetEnableReverb(v[4]), s.SetEnableSpuIrq(v[5]);
    s.SetXAVolume(v[6]), s.SetReverbVolume(v[7]), s.SetTickParSecond(v[8]);
}

TEST(ConfigureDialogTest, OkRefusesTheFirstBadNumberInOrderAndStoresOnlyWhenAllPass) {
    struct Field {
        int edit;
        const char* caption;
        int lowest, highest;
        size_t index;
    };
    const std::string k1To200 = "You must input correct value[1-200].",
                      k0To100 = "You must input correct value[0-100].";
    const Field fields[] = {{kSoundBufferSize, "Sound buffer size", 1, 200, 0},
                            {kXABufferSize, "XA buffer size", 1, 200, 1},
                            {kXAVolume, "XA volume", 0, 100, 6},
                            {kReverbVolume, "Reverb volume", 0, 100, 7},
                            {kRecordingTempo, "Recording tempo", 1, 200, 8}};
    for (const Field& field : fields) {
        const Message refusal{field.lowest == 0 ? k0To100 : k1To200, field.caption};
        const std::string accepted[] = {std::to_string(field.lowest), std::to_string(field.highest)};
        for (const std::string& text :
             {std::to_string(field.lowest - 1), std::to_string(field.highest + 1), std::string(), std::string("-5"),
              std::string("1x"), accepted[0], accepted[1]}) {
            test::TestSettings record;
            ui::ConfigureDialog dialog(record);
            FakeDialog form(dialog);
            form.Open();
            form.texts[field.edit] = text;
            EXPECT_TRUE(form.Press(kOk));
            const bool accepts = text == accepted[0] || text == accepted[1];
            EXPECT_EQ(form.messages, accepts ? std::vector<Message>{} : std::vector<Message>{refusal})
                << field.caption << " \"" << text << '"';
            EXPECT_EQ(form.result, accepts ? kOk : 0);
            std::vector<int32_t> expected = kDefaults;
            if (accepts) expected[field.index] = std::stoi(text);
            EXPECT_EQ(Fields(record), expected);
        }
    }

    // Several bad fields: only the first in order is reported; nothing is stored.
    test::TestSettings record;
    ui::ConfigureDialog dialog(record);
    FakeDialog form(dialog);
    form.Open();
    form.texts[kXABufferSize] = "0", form.texts[kReverbVolume] = "-1", form.texts[kRecordingTempo] = "";
    form.Press(kOk);
    EXPECT_EQ(form.messages, (std::vector<Message>{{k1To200, "XA buffer size"}}));
    EXPECT_EQ(Fields(record), kDefaults);

    // All good: the nine controls go into the record, the dialog ends with OK.
    form.messages.clear();
    for (int i = 0; i < 5; ++i) form.texts[kEdits[i]] = std::to_string(std::vector<int32_t>{16, 64, 60, 40, 150}[i]);
    form.Click(kShowRealtimeConfigWindow), form.Click(kHighResolutionMode), form.Click(kEnableReverb);
    form.Click(kEnableSpuIrq);
    EXPECT_FALSE(form.Press(4242));
    form.Press(kOk);
    EXPECT_TRUE(form.messages.empty());
    EXPECT_EQ(form.result, kOk);
    EXPECT_EQ(Fields(record), kOthers);
}

// SPUconfigure's work against the real store: Default changes only the
// dialog's record, which reaches the store only through OK.
struct Script {
    std::vector<int> presses;
    std::map<int, std::string> shown = {};
    std::vector<Message> messages = {};
};
int RunScript(ui::ConfigureDialog& dialog, void* context) {
    Script& script = *static_cast<Script*>(context);
    FakeDialog form(dialog);
    form.Open();
    script.shown = form.texts;
    for (const int id : script.presses) form.Press(id);
    script.messages = form.messages;
    return form.result;
}

TEST(ConfigureDialogTest, DefaultThenCancelKeepsTheStoreDefaultThenOkSavesTheDefaults) {
    test::UseFreshSettingsStore();
    RegistrySettings stored;
    SetFields(stored, kOthers);
    stored.Save();
    auto storeHolds = [](const std::vector<int32_t>& values) {
        for (int i = 0; i < 9; ++i) {
            if (test::StoredDword(kValueNames[i]) != static_cast<uint32_t>(values[i])) return false;
        }
        return true;
    };

    Script script{{kRecord, kDefault, kCancel}};
    RegistrySettings cancelled;
    ui::ConfigureSettings(cancelled, RunScript, &script);
    EXPECT_EQ(script.shown[kSoundBufferSize] + script.shown[kRecordingTempo], "16150");  // loaded first
    EXPECT_EQ(script.messages, (std::vector<Message>{{"You can use this function while emulating.", "SPU Record"}}));
    EXPECT_EQ(Fields(cancelled), kDefaults);  // in the dialog's record only
    EXPECT_TRUE(storeHolds(kOthers));

    script = {{kDefault, kOk}};
    RegistrySettings accepted;
    ui::ConfigureSettings(accepted, RunScript, &script);
    EXPECT_TRUE(storeHolds(kDefaults));
}

// The real-time window over a record whose Load brings back what is stored.
class RealtimeDialogTest : public ::testing::Test, public ui::RecorderSwitch {
protected:
    class StoredRecord : public DriverSettings {
    public:
        std::vector<int32_t> stored = kOthers;
        void Load() override { SetFields(*this, stored); }
        void Save() override { ADD_FAILURE() << "the real-time window saves nothing"; }
    } record;
    ui::RealtimeDialog dialog{record, *this};
    FakeDialog form{dialog};

    bool recording = false, startFails = false;
    int starts = 0, stops = 0;
    bool IsRecording() const override { return recording; }
    void StartRecording() override { ++starts, recording = !startFails; }
    void StopRecording() override { ++stops, recording = false; }

    void SetUp() override {
        record.Load();
        form.Open();
    }
};

TEST_F(RealtimeDialogTest, OpensFilledWithoutApplyingItsOwnFilling) {
    // Had the filling's notifications been applied, the fields not yet filled
    // would have been read as 0.
    EXPECT_EQ(Fields(record), kOthers);
    std::vector<int32_t> shown;
    for (const int id : kEdits) shown.push_back(std::stoi(form.texts[id]));
    EXPECT_EQ(shown, (std::vector<int32_t>{16, 64, 60, 40, 150}));
    EXPECT_TRUE(form.checks[kShowRealtimeConfigWindow] && form.checks[kEnableReverb]);
    EXPECT_EQ(form.ranges, (std::map<int, std::pair<int, int>>{{kSoundBufferArrows, {1, 200}},
                                                               {kXABufferArrows, {1, 200}},
                                                               {kXAVolumeArrows, {0, 200}},
                                                               {kReverbVolumeArrows, {0, 200}},
                                                               {kRecordingTempoArrows, {0, 200}}}));
    EXPECT_EQ(form.disabled, std::set<int>{kShowRealtimeConfigWindow});
    EXPECT_EQ(form.readOnly, std::set<int>(std::begin(kEdits), std::end(kEdits)));
    EXPECT_EQ(form.texts[kRecord], "Record");
}

TEST_F(RealtimeDialogTest, EachApplyingActionWritesAllNineFieldsButTheTempoAloneNothing) {
    // The record drifts from what the controls show; any applying action
    // rewrites every field with its shown value.
    auto drift = [&] { SetFields(record, {1, 1, 0, 1, 0, 1, 1, 1, 1}); };
    drift();
    EXPECT_TRUE(form.Type(kReverbVolume, "41"));
    EXPECT_EQ(Fields(record), (std::vector<int32_t>{16, 64, 1, 0, 1, 0, 60, 41, 150}));
    drift();
    EXPECT_TRUE(form.Click(kEnableSpuIrq));
    EXPECT_EQ(Fields(record), (std::vector<int32_t>{16, 64, 1, 0, 1, 1, 60, 41, 150}));

    // No range check beyond the arrows': a volume of 200 and a tempo of 0 go in.
    form.Type(kXAVolume, "200");
    EXPECT_EQ(record.XAVolume, 200);
    // The tempo alone, a change that holds no number, and other notifications
    // of an edit apply nothing.
    drift();
    EXPECT_TRUE(form.Type(kRecordingTempo, "0") == false && form.Type(kSoundBufferSize, "") &&
                !form.Press(kXABufferSize, 0x100) && !form.Press(kShowRealtimeConfigWindow));
    EXPECT_EQ(Fields(record), (std::vector<int32_t>{1, 1, 0, 1, 0, 1, 1, 1, 1}));
    // OK takes everything as shown, the empty field as 0, and saves nothing.
    form.texts[kSoundBufferSize] = "";
    EXPECT_TRUE(form.Press(kOk));
    EXPECT_EQ(Fields(record), (std::vector<int32_t>{0, 64, 1, 0, 1, 1, 200, 41, 0}));
}

TEST_F(RealtimeDialogTest, CancelReloadsAndDefaultResetsTheWindowSetting) {
    form.Type(kXAVolume, "120");
    ASSERT_EQ(record.XAVolume, 120);
    EXPECT_TRUE(form.Press(kCancel));
    EXPECT_EQ(Fields(record), kOthers);
    EXPECT_EQ(form.texts[kXAVolume], "60");

    EXPECT_TRUE(form.Press(kDefault));
    EXPECT_EQ(Fields(record), kDefaults);
    EXPECT_FALSE(form.checks[kShowRealtimeConfigWindow]);
    EXPECT_EQ(form.texts[kSoundBufferSize] + "," + form.texts[kRecordingTempo], "8,100");
    // After the refills the window applies changes again.
    form.Type(kReverbVolume, "51");
    EXPECT_EQ(Fields(record), (std::vector<int32_t>{8, 48, 0, 1, 0, 1, 75, 51, 100}));

    // Stored values out of every range survive the trip through the controls.
    record.stored[0] = record.stored[6] = -1;
    form.Press(kCancel);
    EXPECT_EQ(form.texts[kSoundBufferSize] + " " + form.texts[kXAVolume], "4294967295 -1");
    form.Click(kEnableReverb);
    EXPECT_EQ(std::pair(record.SoundBufferSize, record.XAVolume), std::pair(-1, -1));
}

TEST_F(RealtimeDialogTest, RecordStartsAndStopsTheRecorderAndNamesTheNextPress) {
    EXPECT_TRUE(form.Press(kRecord));
    EXPECT_EQ(std::tuple(starts, stops, form.texts[kRecord]), std::tuple(1, 0, std::string("Recording...")));
    form.Press(kRecord);
    EXPECT_EQ(std::tuple(starts, stops, form.texts[kRecord]), std::tuple(1, 1, std::string("Record")));
    // A start that fails leaves the button as it was.
    startFails = true;
    form.Press(kRecord);
    EXPECT_EQ(std::tuple(starts, form.texts[kRecord]), std::tuple(2, std::string("Record")));
    // A window opened while a recording runs reads "Record" as every new
    // window does; its first press stops the recording.
    recording = true;
    form.Open();
    EXPECT_EQ(form.texts[kRecord], "Record");
    form.Press(kRecord);
    EXPECT_EQ(std::tuple(stops, form.texts[kRecord]), std::tuple(2, std::string("Record")));
}

}  // namespace
}  // namespace zarn
