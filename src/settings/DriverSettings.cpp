#include "settings/DriverSettings.h"

namespace zarn {

namespace {
enum Field {
    kWaveFormatSampleRate, kWaveFormatBytesPerSample, kWaveFormatChannels, kSoundBufferSize,
    kXABufferSize, kHighResolutionMode, kEnableXAWait, kShowRealtimeConfigWindow,
    kEnableNoiseAndFM, kEnableReverb, kEnableSpuIrq, kEnableAutoGain, kXAVolume,
    kReverbVolume, kTickParSecond
};
}  // namespace

const DriverSettings::StoredField DriverSettings::kStored[kStoredCount] = {
    {kSoundBufferSize, &DriverSettings::SoundBufferSize},
    {kXABufferSize, &DriverSettings::XABufferSize},
    {kShowRealtimeConfigWindow, &DriverSettings::ShowRealtimeConfigWindow},
    {kHighResolutionMode, &DriverSettings::HighResolutionMode},
    {kEnableReverb, &DriverSettings::EnableReverb},
    {kEnableSpuIrq, &DriverSettings::EnableSpuIrq},
    {kXAVolume, &DriverSettings::XAVolume},
    {kReverbVolume, &DriverSettings::ReverbVolume},
    {kTickParSecond, &DriverSettings::TickParSecond},
};

DriverSettings::DriverSettings()
    : ValueNames{"WaveFormatSampleRate", "WaveFormatBytesPerSample", "WaveFormatChannels",
                 "SoundBufferSize", "XABufferSize", "HighResolutionMode", nullptr,
                 "ShowRealtimeConfigWindow", nullptr, "EnableReverb", "EnableSpuIrq", nullptr,
                 "XAVolume", "ReverbVolume", "TickParSecond"} {
    // Construction leaves nothing indeterminate; Load sets the same defaults again.
    SetDefaults();
}

void DriverSettings::SetDefaults() {
    Store(WaveFormatSampleRate, 44100);
    Store(WaveFormatBytesPerSample, 2);
    Store(WaveFormatChannels, 2);
    SetSoundBufferSize(8);
    SetXABufferSize(48);
    SetHighResolutionMode(1);
    SetShowRealtimeConfigWindow(0);
    SetEnableReverb(0);
    SetEnableSpuIrq(1);
    SetXAVolume(75);
    SetReverbVolume(50);
    SetTickParSecond(100);
}

}  // namespace zarn
