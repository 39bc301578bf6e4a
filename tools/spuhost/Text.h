// Numbers as the tool writes and reads them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "voice/SpuConstants.h"

namespace spuhost {

constexpr uint32_t kFrameRate = zarn::kFrameRate;  // output frames per second

// 524808 -> "524,808".
std::string Thousands(uint64_t value);
// Seconds with three decimals: "12.345 s".
std::string Seconds(double seconds);
// A peak sample value as "-3.2 dBFS (22,750)"; silence as "silent".
std::string PeakLevel(int32_t peak);

// A decimal count of seconds ("2", "0.25") as output frames, rounded down
// and computed exactly; nothing for other text or more than a day.
std::optional<uint64_t> SecondsToFrames(std::string_view text);

}  // namespace spuhost
