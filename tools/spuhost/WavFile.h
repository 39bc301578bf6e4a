// A 16-bit stereo 44,100 Hz PCM WAV file with the canonical 44-byte header
// (RIFF, "fmt " of 16 bytes, "data"), whose length is known when it is
// opened. It is an OutputFile: complete or not there at all.
#pragma once

#include <cstdint>
#include <string>

#include "spuhost/OutputFile.h"

namespace spuhost {

class WavFile {
public:
    static constexpr uint32_t kHeaderBytes = 44;
    // The most frames a WAV file's 32-bit sizes can count.
    static constexpr uint64_t kMaxFrames = (UINT32_MAX - (kHeaderBytes - 8)) / 4;

    // A ToolError for more frames than a WAV file holds, or an unwritable path.
    WavFile(const std::string& path, uint64_t frames);

    // Interleaved left, right samples.
    void Write(const int16_t* samples, uint64_t frames);
    // A ToolError unless exactly the announced frames were written.
    void Commit();

    const std::string& Path() const { return file_.Path(); }

private:
    OutputFile file_;
    uint64_t frames_, written_ = 0;
};

}  // namespace spuhost
