#include "output/SoundOutput.h"

#include "platform/Platform.h"
#include "settings/DriverSettings.h"

namespace zarn {

namespace {
constexpr uint32_t kFrameBytes = 4;
}  // namespace

SoundOutput::SoundOutput(std::unique_ptr<SoundDevice> system)
    : system_(std::move(system)), clock_(platform::MonotonicMicroseconds) {}

// The sound thread closes the device before it ends; destruction releases
// nothing of it.
SoundOutput::~SoundOutput() = default;

bool SoundOutput::Open(void* window, const DriverSettings& settings) {
    if (system_ == nullptr) return false;
    // Read without the lock, like the fields the sound thread reads each pass.
    const int32_t channels = DriverSettings::Live(settings.WaveFormatChannels);
    const int32_t bytesPerSample = DriverSettings::Live(settings.WaveFormatBytesPerSample);
    WaveFormat primary;
    primary.channels = static_cast<uint16_t>(channels);
    primary.samplesPerSecond = static_cast<uint32_t>(DriverSettings::Live(settings.WaveFormatSampleRate));
    primary.bitsPerSample = static_cast<uint16_t>(8 * bytesPerSample);
    primary.blockAlign = static_cast<uint16_t>(bytesPerSample * channels);
    primary.averageBytesPerSecond = primary.blockAlign * primary.samplesPerSecond;
    systemOpen_ = system_->Open(window, primary);
    return systemOpen_;
}

bool SoundOutput::CreateStream(int32_t bufferSizeKiB) {
    // The size in bytes is counted in 32 bits, as the device's own field
    // counts it, so a stored size out of range wraps. A size of no bytes, or
    // one the device refuses, goes to the clock device, which makes do.
    const uint32_t request = static_cast<uint32_t>(bufferSizeKiB) * 1024u;
    uint32_t reported = 0;
    stream_ = nullptr;
    if (systemOpen_ && request != 0 && system_->CreateStream(request, reported)) {
        if (reported >= kFrameBytes) {
            stream_ = system_.get();
        } else {
            system_->DestroyStream();  // a buffer without room for a frame cannot play
        }
    }
    if (stream_ == nullptr) {
        clock_.CreateStream(request, reported);
        stream_ = &clock_;
    }
    StreamBytes = reported;
    WriteOffset = 0;
    failedPasses_ = 0;
    return stream_ == system_.get();
}

void SoundOutput::FallBackToClock() {
    if (stream_ == &clock_) return;
    stream_->DestroyStream();
    uint32_t reported = 0;
    clock_.CreateStream(StreamBytes, reported);
    stream_ = &clock_;
    StreamBytes = reported;
    WriteOffset = 0;
}

void SoundOutput::DeviceFailed() {
    if (++failedPasses_ >= kFailedPassesForClock) FallBackToClock();
}

bool SoundOutput::DestroyStream() {
    if (stream_ != nullptr) stream_->DestroyStream();
    stream_ = nullptr;
    return true;
}

bool SoundOutput::Close() {
    if (systemOpen_) system_->Close();
    systemOpen_ = false;
    return true;
}

uint32_t SoundOutput::PassMilliseconds(uint32_t systemMilliseconds) const {
    if (stream_ != &clock_) return systemMilliseconds;
    const uint32_t halfStream = StreamBytes / (2 * kFrameBytes) * 1000 / 44100;
    return halfStream < 1 ? 1 : halfStream < kLongestPassMilliseconds ? halfStream : kLongestPassMilliseconds;
}

uint32_t SoundOutput::WritePass(FrameSource& source) {
    if (stream_ == nullptr) return 0;
    uint32_t cursor;
    if (!stream_->PlayCursor(cursor)) {
        DeviceFailed();
        return 0;
    }
    // Bytes the device has played since the last pass; none when the cursor
    // has not moved.
    const uint32_t free = cursor >= WriteOffset ? cursor - WriteOffset : cursor + StreamBytes - WriteOffset;
    SoundDevice::Region first, second;
    switch (stream_->Lock(WriteOffset, free, first, second)) {
    case SoundDevice::LockResult::Locked: break;
    case SoundDevice::LockResult::Lost:
        switch (stream_->Restore()) {
        case SoundDevice::RestoreResult::Restored: failedPasses_ = 0; break;
        case SoundDevice::RestoreResult::StillLost: break;
        case SoundDevice::RestoreResult::Failed: FallBackToClock(); break;
        }
        return 0;
    case SoundDevice::LockResult::Refused:
        if (free != 0) DeviceFailed();
        return 0;
    }
    failedPasses_ = 0;
    // Only the first piece is written; a span that wraps is finished by the
    // next pass, from the start of the buffer.
    source.Mix(reinterpret_cast<int16_t*>(first.data), first.bytes / kFrameBytes);
    stream_->Unlock(first, second);
    WriteOffset = (WriteOffset + first.bytes) % StreamBytes;
    return first.bytes;
}

}  // namespace zarn
