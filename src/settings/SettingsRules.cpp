#include "settings/SettingsRules.h"

namespace zarn {

namespace {
constexpr const char* k1To200 = "You must input correct value[1-200].";
constexpr const char* k0To100 = "You must input correct value[0-100].";
}  // namespace

const SettingRule kSettingRules[DriverSettings::kStoredCount] = {
    {"SoundBufferSize", &DriverSettings::SoundBufferSize, 1, 200, "Sound buffer size", k1To200},
    {"XABufferSize", &DriverSettings::XABufferSize, 1, 200, "XA buffer size", k1To200},
    {"XAVolume", &DriverSettings::XAVolume, 0, 100, "XA volume", k0To100},
    {"ReverbVolume", &DriverSettings::ReverbVolume, 0, 100, "Reverb volume", k0To100},
    {"TickParSecond", &DriverSettings::TickParSecond, 1, 200, "Recording tempo", k1To200},
    {"HighResolutionMode", &DriverSettings::HighResolutionMode, 0, 1, "High resolution mode", "Use 0 or 1."},
    {"EnableReverb", &DriverSettings::EnableReverb, 0, 1, "Enable Reverb", "Use 0 or 1."},
    {"EnableSpuIrq", &DriverSettings::EnableSpuIrq, 0, 1, "Enable SPU IRQ", "Use 0 or 1."},
    {"ShowRealtimeConfigWindow", &DriverSettings::ShowRealtimeConfigWindow, 0, 1, "Enable Real time configure",
     "Use 0 or 1."},
    {"ConsoleAccurate", &DriverSettings::ConsoleAccurate, 0, 1, "Console-accurate sound", "Use 0 or 1."},
};

std::optional<int32_t> ParseSettingNumber(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > UINT32_MAX) return std::nullopt;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

}  // namespace zarn
