#include "output/ClockDevice.h"

namespace zarn {

namespace {
constexpr int64_t kBytesPerSecond = 176400;
constexpr uint32_t kFrameBytes = 4;
}  // namespace

SoundDevice::LockResult LockLoop(uint8_t* buffer, uint32_t size, uint32_t offset, uint32_t bytes,
                                 SoundDevice::Region& first, SoundDevice::Region& second) {
    if (bytes == 0 || bytes > size || offset >= size) return SoundDevice::LockResult::Refused;
    const uint32_t toEnd = size - offset;
    first = {buffer + offset, bytes < toEnd ? bytes : toEnd};
    second = {bytes > toEnd ? buffer : nullptr, bytes > toEnd ? bytes - toEnd : 0};
    return SoundDevice::LockResult::Locked;
}

ClockDevice::ClockDevice(int64_t (*now)()) : now_(now) {}

bool ClockDevice::Open(void*, const WaveFormat&) { return true; }

bool ClockDevice::CreateStream(uint32_t bytes, uint32_t& streamBytes) {
    bytes -= bytes % kFrameBytes;
    if (bytes == 0 || bytes > kMaxBytes) bytes = kDefaultBytes;
    buffer_.assign(bytes, 0);
    start_ = now_();
    written_ = waited_ = 0;
    streamBytes = bytes;
    return true;
}

void ClockDevice::DestroyStream() { buffer_ = {}; }

void ClockDevice::Close() {}

bool ClockDevice::PlayCursor(uint32_t& cursor) {
    if (buffer_.empty()) return false;
    const int64_t size = static_cast<int64_t>(buffer_.size());
    int64_t played = (now_() - start_) * kBytesPerSecond / 1000000 / kFrameBytes * kFrameBytes - waited_;
    if (played - written_ > kMostBehindBytes) {
        waited_ += played - written_ - kMostBehindBytes;
        played = written_ + kMostBehindBytes;
    }
    if (played > written_ + size - kFrameBytes) played = written_ + size - kFrameBytes;
    cursor = static_cast<uint32_t>(played % size);
    return true;
}

SoundDevice::LockResult ClockDevice::Lock(uint32_t offset, uint32_t bytes, Region& first, Region& second) {
    return LockLoop(buffer_.data(), static_cast<uint32_t>(buffer_.size()), offset, bytes, first, second);
}

void ClockDevice::Unlock(const Region& first, const Region&) { written_ += first.bytes; }

SoundDevice::RestoreResult ClockDevice::Restore() { return RestoreResult::Restored; }

}  // namespace zarn
