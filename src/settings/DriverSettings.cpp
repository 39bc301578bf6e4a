#include "settings/DriverSettings.h"

namespace zarn {

namespace {
enum Field {
    kWaveFormatSampleRate,
    kWaveFormatBytesPerSample,
    kWaveFormatChannels,
    kSoundBufferSize,
    kXABufferSize,
    kHighResolutionMode,
    kEnableXAWait,
    kShowRealtimeConfigWindow,
    kEnableNoiseAndFM,
    kEnableReverb,
    kEnableSpuIrq,
    kEnableAutoGain,
    kXAVolume,
    kReverbVolume,
    kTickParSecond,
    kConsoleAccurate
};
}  // namespace

const DriverSettings::StoredField DriverSettings::kStored[kStoredCount] = {
    {kSoundBufferSize, &DriverSettings::SoundBufferSize, 8},
    {kXABufferSize, &DriverSettings::XABufferSize, 48},
    {kShowRealtimeConfigWindow, &DriverSettings::ShowRealtimeConfigWindow, 0},
    {kHighResolutionMode, &DriverSettings::HighResolutionMode, 1},
    {kEnableReverb, &DriverSettings::EnableReverb, 0},
    {kEnableSpuIrq, &DriverSettings::EnableSpuIrq, 1},
    {kXAVolume, &DriverSettings::XAVolume, 75},
    {kReverbVolume, &DriverSettings::ReverbVolume, 50},
    {kTickParSecond, &DriverSettings::TickParSecond, 100},
    {kConsoleAccurate, &DriverSettings::ConsoleAccurate, 0},
};

DriverSettings::DriverSettings()
    : ValueNames{"WaveFormatSampleRate",
                 "WaveFormatBytesPerSample",
                 "WaveFormatChannels",
                 "SoundBufferSize",
                 "XABufferSize",
                 "HighResolutionMode",
                 nullptr,
                 "ShowRealtimeConfigWindow",
                 nullptr,
                 "EnableReverb",
                 "EnableSpuIrq",
                 nullptr,
                 "XAVolume",
                 "ReverbVolume",
                 "TickParSecond",
                 "ConsoleAccurate"} {
    // Construction leaves nothing indeterminate; Load sets the same defaults again.
    SetDefaults();
}

void DriverSettings::SetDefaults() {
    SetWaveFormatDefaults();
    for (const StoredField& stored : kStored) {
        if (stored.field != &DriverSettings::ConsoleAccurate) Store(this->*stored.field, stored.defaultValue);
    }
}

void DriverSettings::SetWaveFormatDefaults() {
    Store(WaveFormatSampleRate, 44100);
    Store(WaveFormatBytesPerSample, 2);
    Store(WaveFormatChannels, 2);
}

}  // namespace zarn
