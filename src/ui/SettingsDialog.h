// What the settings dialogs do, apart from any window system. Both dialogs
// show dialog template 101 (ui/win32/SettingsDialog.rc): the configure
// dialog modally, the real-time window modelessly while a game runs. The
// code here decides what each control does; it reaches the controls through
// a DialogSurface, which ui/win32 maps onto dialog calls and tests fake.
//
// Each dialog edits one settings record, its DialogTarget, fixed when the
// dialog is made and kept for its whole life, so two dialogs open at once
// (SPUconfigure during a game) never edit each other's record.
#pragma once

#include <cstdint>
#include <string>

namespace zarn {

class DriverSettings;

namespace ui {

// Control ids of template 101.
namespace control {
constexpr int kOk = 1, kCancel = 2;
constexpr int kSoundBufferSize = 1000, kSoundBufferArrows = 1002;
constexpr int kXABufferSize = 1004, kXABufferArrows = 1005;
constexpr int kXAVolume = 1016, kXAVolumeArrows = 1015;
constexpr int kReverbVolume = 1019, kReverbVolumeArrows = 1014;
constexpr int kRecordingTempo = 1023, kRecordingTempoArrows = 1022;
constexpr int kHighResolutionMode = 1003, kEnableReverb = 1011, kEnableSpuIrq = 1012;
constexpr int kShowRealtimeConfigWindow = 1021;
constexpr int kDefault = 1006, kRecord = 1020;
}  // namespace control

constexpr const char* kDialogCaption = "Configure Zarn's SPU Audio Driver";
constexpr int kDialogTemplate = 101;
constexpr int kEditChanged = 0x300;  // the edit notification EN_CHANGE

// The controls of one open dialog, by id.
class DialogSurface {
public:
    virtual ~DialogSurface() = default;
    virtual std::string Text(int id) = 0;
    virtual void SetText(int id, const char* text) = 0;
    virtual bool IsChecked(int id) = 0;
    virtual void SetChecked(int id, bool checked) = 0;
    // The range of an up-down control.
    virtual void SetRange(int id, int lowest, int highest) = 0;
    virtual void Disable(int id) = 0;
    virtual void MakeReadOnly(int id) = 0;
    // A message box owned by the dialog, with an OK button and the
    // exclamation icon; returns when the user has closed it.
    virtual void ShowMessage(const char* text, const char* caption) = 0;
    // Ends a modal dialog with `result`.
    virtual void End(int result) = 0;
};

// The register recorder as the Record button drives it, supplied by the
// plugin; called with the SPU lock held.
class RecorderSwitch {
public:
    virtual ~RecorderSwitch() = default;
    virtual bool IsRecording() const = 0;
    virtual void StartRecording() = 0;
    virtual void StopRecording() = 0;
};

// What both dialogs share: the record they edit and the copies between it
// and the controls.
class SettingsDialog {
public:
    explicit SettingsDialog(DriverSettings& target) : DialogTarget(target) {}
    virtual ~SettingsDialog() = default;

    // WM_INITDIALOG and WM_COMMAND; Command returns whether it handled the
    // command.
    virtual void Initialise(DialogSurface& surface) = 0;
    virtual bool Command(DialogSurface& surface, int id, int notification) = 0;

    // The five numbers, the four check states and the arrow ranges, from
    // DialogTarget. Each number set sends the dialog an EN_CHANGE at once.
    void FillControls(DialogSurface& surface);
    // All nine controls into DialogTarget through its setters, unchecked; a
    // field that holds no number gives 0.
    void ReadControls(DialogSurface& surface);

    DriverSettings& DialogTarget;
};

// SPUconfigure's dialog. OK stores the controls only when all five numbers
// pass the settings rules (otherwise the first failure is shown and the
// dialog stays open); Default puts the defaults into DialogTarget; nothing
// here saves.
class ConfigureDialog : public SettingsDialog {
public:
    using SettingsDialog::SettingsDialog;
    void Initialise(DialogSurface& surface) override;
    bool Command(DialogSurface& surface, int id, int notification) override;
};

// Runs a configure dialog modally and returns how it ended: 1 OK, 2 Cancel,
// anything else when no dialog could be shown.
using RunModalDialog = int (*)(ConfigureDialog& dialog, void* context);

// SPUconfigure's work on a record of its own: loads it, shows the configure
// dialog on it and saves it when the dialog ends with OK.
void ConfigureSettings(DriverSettings& record, RunModalDialog run, void* context);

// The real-time window's dialog. Every applying action copies all nine
// controls into DialogTarget, unchecked; change notifications that come
// while the window fills its own controls are not applied. The tempo's edit
// applies nothing by itself.
class RealtimeDialog : public SettingsDialog {
public:
    RealtimeDialog(DriverSettings& target, RecorderSwitch& recorder) : SettingsDialog(target), recorder_(recorder) {}
    void Initialise(DialogSurface& surface) override;
    bool Command(DialogSurface& surface, int id, int notification) override;

private:
    void Refill(DialogSurface& surface);
    void ShowRecorderState(DialogSurface& surface);

    RecorderSwitch& recorder_;
    bool controlsReady = false;
};

// The text of the About box; its caption is the library's name.
constexpr const char* kAboutText =
    "\n        Zarn's SPU Audio Driver for DSound.\n\n"
    "(Based on Ruvo's DirectSound Driver - spuRuvo.dll)\n\n\n"
    "               Very big thanx to Ruvo !!";

}  // namespace ui
}  // namespace zarn
