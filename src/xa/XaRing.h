// A ring of CD audio: interleaved 16-bit stereo at 44100 frames per second,
// drained one frame per mixed frame. The core has two: one filled by the
// host's decoded CD-XA blocks, and one beside it for CD audio tracks, whose
// sectors the Linux library takes as PCM (SPUplayCDDAchannel). Both follow
// XABufferSize and are scaled alike.
//
// Indexes count 16-bit samples and move by one frame (2 samples). The ring is
// empty when readIndex == writeIndex and full when writeIndex + 2 would reach
// readIndex, so one frame always stays unused. A capacity of 0 (an XA buffer
// size below 1, or an allocation that failed) is a ring that never holds a
// frame: nothing is queued and nothing is taken.
#pragma once

#include <cstdint>

#include "settings/DriverSettings.h"
#include "voice/Arith.h"

namespace zarn {

struct XaDecodeBlock;

class XaRing {
public:
    explicit XaRing(const DriverSettings& settings);
    virtual ~XaRing();
    XaRing(const XaRing&) = delete;
    XaRing& operator=(const XaRing&) = delete;

    // Converts one host block to 44100 frames per second by repeating or
    // skipping source frames and queues it; frames that find the ring full
    // are dropped. The block is read up to its own frame count or until the
    // ring is full; sizes are derived in 64 bits, so no header can make them
    // wrap. Blocks that are not mono or stereo, or whose frequency or
    // sampleCount is not positive, queue nothing. A change of XABufferSize
    // takes effect here, at any block whose size, frequency and channel
    // count are not 0, and rebuilds the ring empty.
    void QueueBlock(const XaDecodeBlock& block);
    // Queues `frames` frames of 16-bit stereo PCM at 44100 Hz, as they are,
    // up to the full ring; the rest is dropped, and nothing queued is ever
    // overwritten. Takes up a new XABufferSize first.
    void QueuePcm(const int16_t* pcm, int64_t frames);

    // The steps every conversion shares, for the console model's own: takes
    // up a new XABufferSize as QueueBlock does and gives the block's frame
    // count in `frames`; false for a block that queues nothing.
    bool BeginBlock(const XaDecodeBlock& block, int64_t& frames);
    // The zero-order hold of QueueBlock over a block BeginBlock accepted.
    void Hold(const XaDecodeBlock& block, int64_t frames);
    // Stores one frame; false, storing nothing, when the ring is full.
    bool Push(int16_t left, int16_t right);
    // Drops every queued frame.
    void Empty() { readIndex = writeIndex = 0; }
    // Takes up a changed XABufferSize, rebuilding the ring empty; true when
    // it did.
    bool TakeUpBufferSize();

    // The next frame scaled by the CD volumes and XAVolume percent; false when
    // the ring is empty.
    bool TakeFrame(int32_t& left, int32_t& right);
    // The next frame as queued, without any volume; false when the ring is
    // empty.
    bool TakeRawFrame(int32_t& left, int32_t& right);

    // Whether a host that waits for room may queue `block` now: it fits and
    // at most 2048 samples are queued, or it could never fit, or it adds
    // nothing. Computed in 64 bits, so no block size can overflow it.
    bool ReadyFor(const XaDecodeBlock& block) const;
    // The same for `frames` frames of 44100 Hz stereo PCM.
    bool ReadyForPcm(int64_t frames) const { return ReadyForSamples(2 * frames); }

    int32_t QueuedSamples() const;
    bool IsFull() const { return capacity == 0 || Next(writeIndex) == readIndex; }

    int32_t sizeSetting;  // XABufferSize the buffer was built for
    int32_t volumeL = 0;  // CD volume, -32767..32767
    int32_t volumeR = 0;
    int32_t capacity = 0;  // 16-bit samples: XABufferSize x 512, even
    int16_t* buffer = nullptr;
    int32_t writeIndex = 0;
    int32_t readIndex = 0;

private:
    void Allocate(int32_t sizeKiB);
    bool ReadyForSamples(int64_t need) const;
    // Zero-order hold of `frames` frames of `channels` interleaved samples
    // from `frequency` Hz to 44100 Hz, up to the full ring.
    void Queue(const int16_t* source, int64_t frames, int64_t channels, int64_t frequency);
    // The index one frame on: even indexes below the even capacity wrap to 0.
    int32_t Next(int32_t index) const { return index + 2 == capacity ? 0 : index + 2; }

    const DriverSettings* settings_;
};

// The console model's CD input: the CD-XA ring and the CD-audio ring side by
// side, each giving one raw frame per tick. The drive plays one kind of sound
// at a time; should both hold frames, their sum, clamped, is the input.
struct CdInput {
    XaRing& xa;
    XaRing& audio;

    // (0, 0) when both are empty.
    void TakeRawFrame(int32_t& left, int32_t& right);
};

inline bool XaRing::TakeFrame(int32_t& left, int32_t& right) {
    if (readIndex == writeIndex) return false;
    const int32_t percent = settings_->XAVolume;
    left = wrapMul((buffer[readIndex] * volumeL) >> 15, percent) / 100;
    right = wrapMul((buffer[readIndex + 1] * volumeR) >> 15, percent) / 100;
    readIndex = Next(readIndex);
    return true;
}

inline bool XaRing::TakeRawFrame(int32_t& left, int32_t& right) {
    if (readIndex == writeIndex) return false;
    left = buffer[readIndex];
    right = buffer[readIndex + 1];
    readIndex = Next(readIndex);
    return true;
}

inline void CdInput::TakeRawFrame(int32_t& left, int32_t& right) {
    int32_t xaL = 0, xaR = 0, audioL = 0, audioR = 0;
    xa.TakeRawFrame(xaL, xaR);
    audio.TakeRawFrame(audioL, audioR);
    left = Clamp16(xaL + audioL);
    right = Clamp16(xaR + audioR);
}

inline bool XaRing::Push(int16_t left, int16_t right) {
    if (IsFull()) return false;
    buffer[writeIndex] = left;
    buffer[writeIndex + 1] = right;
    writeIndex = Next(writeIndex);
    return true;
}

}  // namespace zarn
