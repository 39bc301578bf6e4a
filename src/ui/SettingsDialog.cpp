#include "ui/SettingsDialog.h"

#include "settings/DriverSettings.h"
#include "settings/SettingsRules.h"

namespace zarn::ui {

namespace {

// The nine controls in the order they are filled and read. A control without
// arrows is a checkbox.
struct FieldControl {
    int id;
    int arrows;
    int lowest, highest;  // the arrows' range, wider than OK accepts for some
    bool isSigned;        // how the number is written and read
    int32_t DriverSettings::*field;
    void (DriverSettings::*set)(int32_t);
};

using namespace control;
using DS = DriverSettings;
constexpr FieldControl kFields[] = {
    {kSoundBufferSize, kSoundBufferArrows, 1, 200, false, &DS::SoundBufferSize, &DS::SetSoundBufferSize},
    {kXABufferSize, kXABufferArrows, 1, 200, false, &DS::XABufferSize, &DS::SetXABufferSize},
    {kShowRealtimeConfigWindow, 0, 0, 0, false, &DS::ShowRealtimeConfigWindow, &DS::SetShowRealtimeConfigWindow},
    {kHighResolutionMode, 0, 0, 0, false, &DS::HighResolutionMode, &DS::SetHighResolutionMode},
    {kEnableReverb, 0, 0, 0, false, &DS::EnableReverb, &DS::SetEnableReverb},
    {kEnableSpuIrq, 0, 0, 0, false, &DS::EnableSpuIrq, &DS::SetEnableSpuIrq},
    {kXAVolume, kXAVolumeArrows, 0, 200, true, &DS::XAVolume, &DS::SetXAVolume},
    {kReverbVolume, kReverbVolumeArrows, 0, 200, true, &DS::ReverbVolume, &DS::SetReverbVolume},
    {kRecordingTempo, kRecordingTempoArrows, 0, 200, true, &DS::TickParSecond, &DS::SetTickParSecond},
};

const FieldControl& ControlOf(int32_t DriverSettings::*field) {
    for (const FieldControl& control : kFields) {
        if (control.field == field) return control;
    }
    return kFields[0];  // every rule's field has a control
}

// A field's text as a number the way the settings rules read one; a signed
// field may also carry a minus sign and must fit in 32 signed bits.
std::optional<int32_t> ReadNumber(std::string_view text, bool isSigned) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    const bool negative = isSigned && !text.empty() && text.front() == '-';
    const std::optional<int32_t> number = ParseSettingNumber(negative ? text.substr(1) : text);
    if (!number || !isSigned) return number;
    const int64_t magnitude = static_cast<uint32_t>(*number);
    if (magnitude > (negative ? int64_t{INT32_MAX} + 1 : int64_t{INT32_MAX})) return std::nullopt;
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

// One of the four edits that apply a change by themselves (the tempo's does not).
bool IsApplyingEdit(int id) {
    return id == kSoundBufferSize || id == kXABufferSize || id == kXAVolume || id == kReverbVolume;
}

}  // namespace

void SettingsDialog::FillControls(DialogSurface& surface) {
    for (const FieldControl& control : kFields) {
        const int32_t value = DialogTarget.*control.field;
        if (control.arrows == 0) {
            surface.SetChecked(control.id, value != 0);
            continue;
        }
        const std::string text =
            control.isSigned ? std::to_string(value) : std::to_string(static_cast<uint32_t>(value));
        surface.SetText(control.id, text.c_str());
        surface.SetRange(control.arrows, control.lowest, control.highest);
    }
}

void SettingsDialog::ReadControls(DialogSurface& surface) {
    for (const FieldControl& control : kFields) {
        const int32_t value = control.arrows == 0 ? surface.IsChecked(control.id)
                                                  : ReadNumber(surface.Text(control.id), control.isSigned).value_or(0);
        (DialogTarget.*control.set)(value);
    }
}

void ConfigureDialog::Initialise(DialogSurface& surface) { FillControls(surface); }

bool ConfigureDialog::Command(DialogSurface& surface, int id, int) {
    switch (id) {
    case kOk:
        for (int i = 0; i < kNumberRules; ++i) {
            const SettingRule& rule = kSettingRules[i];
            const std::optional<int32_t> value = ParseSettingNumber(surface.Text(ControlOf(rule.field).id));
            if (!value || !Accepts(rule, *value)) {
                surface.ShowMessage(rule.message, rule.caption);
                return true;
            }
        }
        ReadControls(surface);
        surface.End(kOk);
        return true;
    case kCancel: surface.End(kCancel); return true;
    case kDefault:
        DialogTarget.SetDefaults();
        FillControls(surface);
        return true;
    case kRecord: surface.ShowMessage("You can use this function while emulating.", "SPU Record"); return true;
    default: return false;
    }
}

void ConfigureSettings(DriverSettings& record, RunModalDialog run, void* context) {
    record.Load();
    ConfigureDialog dialog(record);
    if (run(dialog, context) == kOk) record.Save();
}

void RealtimeDialog::Initialise(DialogSurface& surface) {
    controlsReady = false;
    FillControls(surface);
    surface.Disable(kShowRealtimeConfigWindow);  // the setting that opened this window
    surface.SetText(kRecord, "Record");          // also while an earlier run's recording goes on
    for (const FieldControl& control : kFields) {
        if (control.arrows != 0) surface.MakeReadOnly(control.id);  // changed by the arrows only
    }
    controlsReady = true;
}

void RealtimeDialog::Refill(DialogSurface& surface) {
    controlsReady = false;
    FillControls(surface);
    controlsReady = true;
}

// After a press the button names what the next press does.
void RealtimeDialog::ShowRecorderState(DialogSurface& surface) {
    surface.SetText(kRecord, recorder_.IsRecording() ? "Recording..." : "Record");
}

bool RealtimeDialog::Command(DialogSurface& surface, int id, int notification) {
    switch (id) {
    case kOk: ReadControls(surface); return true;
    case kCancel:  // also the caption's close button
        DialogTarget.Load();
        Refill(surface);
        return true;
    case kDefault:
        DialogTarget.SetDefaults();
        Refill(surface);
        return true;
    case kHighResolutionMode:
    case kEnableReverb:
    case kEnableSpuIrq:
        if (!controlsReady) return false;
        ReadControls(surface);
        return true;
    case kRecord:
        // A start that cannot allocate, or a stop that cannot write its file,
        // leaves the recorder as it was, and the button says so.
        if (recorder_.IsRecording()) {
            recorder_.StopRecording();
        } else {
            recorder_.StartRecording();
        }
        ShowRecorderState(surface);
        return true;
    default:
        // An edit's change: only when it holds a number. The tempo's edit
        // applies nothing by itself; its value goes with the next change.
        if (!controlsReady || notification != kEditChanged || !IsApplyingEdit(id)) return false;
        if (ReadNumber(surface.Text(id), true)) ReadControls(surface);
        return true;
    }
}

}  // namespace zarn::ui
