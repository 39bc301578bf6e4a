// Sound pulled from the plugin with SPUrender, frame by frame as the host's
// schedule asks, into a WAV file; it keeps the peak level on the way.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "spuhost/PluginLibrary.h"
#include "spuhost/WavFile.h"

namespace spuhost {

class Renderer {
public:
    // `frames` is the whole length of the file.
    Renderer(const PluginLibrary& plugin, const std::string& path, uint64_t frames);

    // Renders until `frame` frames are out; nothing when they are already.
    void RenderTo(uint64_t frame);
    // Renders the rest and completes the file.
    void Finish();

    uint64_t Frames() const { return rendered_; }
    uint64_t TotalFrames() const { return total_; }
    int32_t Peak() const { return peak_; }
    const std::string& Path() const { return wav_.Path(); }

    // Called now and then with the frames rendered so far.
    std::function<void(uint64_t)> onProgress;

private:
    void Flush();

    const PluginLibrary& plugin_;
    WavFile wav_;
    uint64_t total_, rendered_ = 0;
    int32_t peak_ = 0;
    std::vector<int16_t> buffer_;  // interleaved frames not yet written
    size_t buffered_ = 0;          // frames in buffer_
};

}  // namespace spuhost
