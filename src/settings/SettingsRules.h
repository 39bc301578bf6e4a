// What a user may store in the ten settings: the configure dialog checks
// its fields on OK against these rules, with these messages, and so does
// every other settings editor of the project.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "settings/DriverSettings.h"

namespace zarn {

struct SettingRule {
    const char* name;  // registry value name
    int32_t DriverSettings::*field;
    int32_t lowest, highest;  // accepted, compared as signed values
    const char* caption;      // of the message; the dialog's label
    const char* message;      // the text a refused value shows
};

// The five numbers in the order the dialog checks them (the first failure
// is the one reported), then the four switches, which the dialog's
// checkboxes store as 0 or 1, and the sound model, which no dialog shows.
extern const SettingRule kSettingRules[DriverSettings::kStoredCount];
constexpr int kNumberRules = 5;

// A field's text as the dialog reads a number: decimal digits only, leading
// blanks allowed; empty text, a sign, anything else or a value beyond 32
// bits is not a number. The result is the 32-bit value, to be compared as
// signed.
std::optional<int32_t> ParseSettingNumber(std::string_view text);

// Whether `value` is accepted by `rule`.
constexpr bool Accepts(const SettingRule& rule, int32_t value) { return value >= rule.lowest && value <= rule.highest; }

}  // namespace zarn
