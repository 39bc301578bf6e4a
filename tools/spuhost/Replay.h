// spuhost play: a register log turned back into sound through the plugin.
#pragma once

#include <cstdint>
#include <string>

#include "spuhost/Text.h"

namespace spuhost {

struct ReplayOptions {
    std::string log;
    std::string out;  // empty: the log's name with .wav, in the current folder
    uint64_t tailFrames = 2 * kFrameRate;
    std::string plugin;
};

// The output name of a log when no --out is given.
std::string DefaultWavName(const std::string& log);

// Replays the log exactly as follows, so that any two correct hosts give the
// same bytes. On one thread that has rendered nothing before and without
// SPUopen: SPUinit; a record saved with SPUfreeze mode 1 gets the log's sound
// RAM and registers and is loaded with mode 0; then for each entry in order,
// SPUrender up to the entry's frame (time x 44,100 / tick rate, rounded
// down; nothing when that frame is not ahead) and SPUwriteRegister with the
// entry's address and value as they stand; then the tail. The WAV file holds
// exactly what SPUrender produced. Prints a summary line.
void Replay(const ReplayOptions& options);

}  // namespace spuhost
