#include "xa/XaRing.h"

#include <new>

#include "settings/DriverSettings.h"
#include "voice/Arith.h"
#include "voice/SpuConstants.h"
#include "xa/XaDecodeBlock.h"

namespace zarn {

namespace {

constexpr int32_t kMaxSizeKiB = INT32_MAX / 512;  // larger sizes cannot be counted in samples

// Block size in bytes as the host's fields give it, in 64 bits so that no
// count can wrap it. A 16-bit stereo block counts a quarter of its nominal
// size, so it yields sampleCount / 4 frames.
int64_t BlockBytes(const XaDecodeBlock& block, int64_t channels) {
    int64_t bytes = channels * block.sampleCount * 2;
    if (block.bitsPerSample == 16 && block.stereo == 1) bytes /= 4;
    return bytes;
}

// Mono or stereo at a positive rate with frames in it; anything else queues
// nothing. An XA sector codes one or two channels, so a `stereo` of 2
// or more comes from a broken or uninitialised header, never from a disc.
// Taken as stereo + 1 channels it would have us read that many samples per
// frame, past the end of what the host filled in (a garbage 0x7FFFFFFF
// would read gigabytes beyond it): such a block is dropped instead.
bool Acceptable(const XaDecodeBlock& block) {
    return (block.stereo == 0 || block.stereo == 1) && block.frequency > 0 && block.sampleCount > 0;
}

}  // namespace

XaRing::XaRing(const DriverSettings& settings) : settings_(&settings) {
    sizeSetting = settings.XABufferSize;
    Allocate(sizeSetting);
}

XaRing::~XaRing() {
    delete[] buffer;
    buffer = nullptr;
}

void XaRing::Allocate(int32_t sizeKiB) {
    delete[] buffer;
    buffer = nullptr;
    capacity = 0;
    if (sizeKiB >= 1 && sizeKiB <= kMaxSizeKiB) {
        buffer = new (std::nothrow) int16_t[static_cast<size_t>(sizeKiB) * 512];
        if (buffer != nullptr) capacity = sizeKiB * 512;
    }
    writeIndex = 0;
    readIndex = 0;
}

// Without a sum past the capacity, which may lie close to INT32_MAX.
int32_t XaRing::QueuedSamples() const {
    return writeIndex >= readIndex ? writeIndex - readIndex : writeIndex - readIndex + capacity;
}

bool XaRing::ReadyFor(const XaDecodeBlock& block) const {
    if (!Acceptable(block)) return true;  // queues nothing, so nothing to wait for
    const int32_t channels = block.stereo + 1;
    const int64_t bytes = BlockBytes(block, channels);
    return ReadyForSamples(bytes * kFrameRate / block.frequency * (3 - channels) / 2);
}

// `need` ring samples fit and at most 2048 are queued, or they never could fit.
bool XaRing::ReadyForSamples(int64_t need) const {
    int64_t free = readIndex - writeIndex;
    if (free <= 0) free += capacity;
    if (need >= capacity) return true;  // could never fit
    return need <= free && (capacity - free) * 2 <= 4096;
}

void XaRing::QueueBlock(const XaDecodeBlock& block) {
    int64_t frames;
    if (BeginBlock(block, frames)) Hold(block, frames);
}

bool XaRing::TakeUpBufferSize() {
    if (sizeSetting == settings_->XABufferSize) return false;
    sizeSetting = settings_->XABufferSize;
    Allocate(sizeSetting);  // drops everything queued
    return true;
}

bool XaRing::BeginBlock(const XaDecodeBlock& block, int64_t& frames) {
    // Any block with a size, a rate and channels takes up a new XABufferSize,
    // also one that then queues nothing.
    const int64_t channels = int64_t{block.stereo} + 1;
    const int64_t bytes = BlockBytes(block, channels);
    if (bytes == 0 || block.frequency == 0 || channels == 0) return false;
    TakeUpBufferSize();
    if (!Acceptable(block)) return false;
    frames = bytes / (channels * 2);
    return true;
}

void XaRing::Hold(const XaDecodeBlock& block, int64_t frames) {
    Queue(block.samples, frames, int64_t{block.stereo} + 1, block.frequency);
}

void XaRing::QueuePcm(const int16_t* pcm, int64_t frames) {
    TakeUpBufferSize();
    Queue(pcm, frames, 2, kFrameRate);
}

// Zero-order hold from `frequency` to 44100 Hz: output frame n carries source
// frame n * frequency / 44100.
void XaRing::Queue(const int16_t* source, int64_t frames, int64_t channels, int64_t frequency) {
    int64_t accumulator = 0;
    int64_t frame = 0;
    while (frame < frames) {
        // A full ring drops the rest of the block.
        if (!Push(source[frame * channels], source[frame * channels + channels - 1])) break;
        accumulator += frequency;
        frame = accumulator / kFrameRate;
    }
}

}  // namespace zarn
