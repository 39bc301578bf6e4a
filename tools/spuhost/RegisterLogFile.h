// A register log ("spuZarn.pss", state/RegisterLog.h) read whole and
// checked: a file that is not a log is a ToolError saying why.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "state/RegisterLog.h"

namespace spuhost {

struct RegisterLogFile {
    std::string path;
    uint64_t fileBytes = 0;
    std::vector<uint8_t> soundRam;    // kRamBytes
    std::vector<uint16_t> registers;  // kRegisterBlockWords, from 0x1F801C00
    uint32_t tickRate = 0;            // ticks per second
    std::vector<zarn::RegisterLogEntry> entries;

    // The output frame at which an entry's write happens: time x 44,100 /
    // tick rate, rounded down.
    uint64_t Frame(const zarn::RegisterLogEntry& entry) const;
    // The latest entry time in seconds (0 without entries).
    double Duration() const;
};

// Reads and checks the log at `path`: its size must be 524,808 + 12 N for
// the N entries its header counts, N at most 1,000,000, and (when
// `needTickRate`) the tick rate not 0.
RegisterLogFile ReadRegisterLog(const std::string& path, bool needTickRate);
// The same checks on the bytes of a log already read (`path` names it).
RegisterLogFile ParseRegisterLog(const std::string& path, const std::vector<uint8_t>& bytes, bool needTickRate);

}  // namespace spuhost
