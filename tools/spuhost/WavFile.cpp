#include "spuhost/WavFile.h"

#include <cstring>

#include "spuhost/Text.h"
#include "spuhost/ToolError.h"

namespace spuhost {

namespace {

uint64_t CheckedFrames(const std::string& path, uint64_t frames) {
    if (frames > WavFile::kMaxFrames) {
        throw ToolError(path + " would hold " + Seconds(static_cast<double>(frames) / kFrameRate) +
                        " of sound, more than a WAV file can (" +
                        Seconds(static_cast<double>(WavFile::kMaxFrames) / kFrameRate) + ")");
    }
    return frames;
}

void Put16(uint8_t*& at, uint16_t value) {
    *at++ = static_cast<uint8_t>(value);
    *at++ = static_cast<uint8_t>(value >> 8);
}
void Put32(uint8_t*& at, uint32_t value) {
    Put16(at, static_cast<uint16_t>(value));
    Put16(at, static_cast<uint16_t>(value >> 16));
}
void PutTag(uint8_t*& at, const char* tag) {
    std::memcpy(at, tag, 4);
    at += 4;
}

}  // namespace

WavFile::WavFile(const std::string& path, uint64_t frames) : file_(path), frames_(CheckedFrames(path, frames)) {
    constexpr uint16_t kChannels = 2, kBytesPerSample = 2;
    const uint32_t dataBytes = static_cast<uint32_t>(frames * kChannels * kBytesPerSample);
    uint8_t header[kHeaderBytes];
    uint8_t* at = header;
    PutTag(at, "RIFF");
    Put32(at, kHeaderBytes - 8 + dataBytes);
    PutTag(at, "WAVE");
    PutTag(at, "fmt ");
    Put32(at, 16);
    Put16(at, 1);  // PCM
    Put16(at, kChannels);
    Put32(at, kFrameRate);
    Put32(at, kFrameRate * kChannels * kBytesPerSample);  // bytes per second
    Put16(at, kChannels * kBytesPerSample);               // bytes per frame
    Put16(at, 8 * kBytesPerSample);                       // bits per sample
    PutTag(at, "data");
    Put32(at, dataBytes);
    file_.Write(header, sizeof header);
}

void WavFile::Write(const int16_t* samples, uint64_t frames) {
    // Little-endian on every machine the plugin runs on, as the file wants.
    file_.Write(samples, frames * 4);
    written_ += frames;
}

void WavFile::Commit() {
    if (written_ != frames_)
        throw ToolError(Path() + ": " + Thousands(written_) + " frames written, not " + Thousands(frames_));
    file_.Commit();
}

}  // namespace spuhost
