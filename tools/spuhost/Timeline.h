// The timeline picture of a register log: an SVG file with one lane per
// voice that sounds in it, a bar for each stretch of sound coloured by its
// pitch, and the time in seconds along the bottom.
#pragma once

#include <string>

#include "spuhost/LogInfo.h"
#include "spuhost/RegisterLogFile.h"

namespace spuhost {

void WriteTimeline(const std::string& path, const RegisterLogFile& log, const LogSummary& summary);

}  // namespace spuhost
