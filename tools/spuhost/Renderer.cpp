#include "spuhost/Renderer.h"

#include <algorithm>
#include <cstdlib>

namespace spuhost {

namespace {
constexpr size_t kBufferFrames = 16384;
}

Renderer::Renderer(const PluginLibrary& plugin, const std::string& path, uint64_t frames)
    : plugin_(plugin), wav_(path, frames), total_(frames), buffer_(2 * kBufferFrames) {}

void Renderer::RenderTo(uint64_t frame) {
    frame = std::min(frame, total_);
    while (rendered_ < frame) {
        const size_t frames = static_cast<size_t>(std::min<uint64_t>(frame - rendered_, kBufferFrames - buffered_));
        int16_t* out = &buffer_[2 * buffered_];
        plugin_->SPUrender(out, static_cast<uint32_t>(4 * frames));
        for (size_t i = 0; i < 2 * frames; ++i) peak_ = std::max(peak_, std::abs(static_cast<int32_t>(out[i])));
        buffered_ += frames;
        rendered_ += frames;
        if (buffered_ == kBufferFrames) Flush();
    }
}

void Renderer::Flush() {
    wav_.Write(buffer_.data(), buffered_);
    buffered_ = 0;
    if (onProgress) onProgress(rendered_);
}

void Renderer::Finish() {
    RenderTo(total_);
    Flush();
    wav_.Commit();
}

}  // namespace spuhost
