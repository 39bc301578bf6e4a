// spuhost info: what a register log holds, as text, and the voices' notes
// for the timeline picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "spuhost/RegisterLogFile.h"

namespace spuhost {

// A stretch of time in which a voice sounds at one pitch: from a key-on (or
// a pitch change, or the start of the log for a voice already sounding) to
// a key-off, the next key-on or pitch change, or the end of the log. A voice
// that ends by itself (a one-shot sample, a falling envelope) is not seen in
// the writes, so its stretch lasts until one of those.
struct NoteSpan {
    int voice;
    uint32_t start, end;  // ticks
    uint16_t pitch;       // the pitch register: 0x1000 plays a sample at its recorded rate
    bool keyedOn;         // begins with a key-on
};

struct RegisterCount {
    uint32_t address;
    uint32_t writes;
};

struct LogSummary {
    std::vector<NoteSpan> notes;                // in order of their start
    std::vector<std::vector<uint32_t>> keyOns;  // per voice, the key-on times (ticks)
    std::vector<RegisterCount> registers;       // every address written, the busiest first
    uint32_t endTime = 0;                       // the latest entry time
};

LogSummary Summarise(const RegisterLogFile& log);

// A register's name for people ("voice 3 pitch", "key on, voices 0-15").
std::string RegisterName(uint32_t address);

struct InfoOptions {
    std::string log;
    std::string timeline;  // an SVG file to write, or empty
};

void ShowInfo(const InfoOptions& options);
// The same for a log already read; `timeline` may be empty.
void ShowInfo(const RegisterLogFile& log, const std::string& timeline);

}  // namespace spuhost
