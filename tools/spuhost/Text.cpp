#include "spuhost/Text.h"

#include <cmath>
#include <cstdio>

namespace spuhost {

std::string Thousands(uint64_t value) {
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<size_t>(at), ",");
    return digits;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", seconds);
    return text;
}

std::string PeakLevel(int32_t peak) {
    if (peak == 0) return "silent";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dBFS", 20 * std::log10(peak / 32767.0));
    return std::string(text) + " (" + Thousands(static_cast<uint64_t>(peak)) + ")";
}

std::optional<uint64_t> SecondsToFrames(std::string_view text) {
    // Whole seconds and a decimal fraction of up to nine digits, as one
    // integer in units of 10^-9 s.
    constexpr uint64_t kNano = 1000000000, kDay = 86400;
    uint64_t whole = 0, fraction = 0, scale = kNano;
    bool digits = false, point = false;
    for (const char c : text) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digits = true;
            if (!point) {
                whole = whole * 10 + static_cast<uint64_t>(c - '0');
                if (whole > kDay) return std::nullopt;
            } else if (scale > 1) {
                scale /= 10;
                fraction += static_cast<uint64_t>(c - '0') * scale;
            }
        } else {
            return std::nullopt;
        }
    }
    if (!digits || whole * kNano + fraction > kDay * kNano) return std::nullopt;
    return (whole * kNano + fraction) * kFrameRate / kNano;
}

}  // namespace spuhost
