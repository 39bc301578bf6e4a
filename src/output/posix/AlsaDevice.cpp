// The system sound device on Linux: ALSA's default PCM, 44100 Hz, stereo,
// S16_LE, with a device buffer of the stream's size.
//
// ALSA's own buffer stands in for the looping stream buffer: what the device
// has played is what it has room for again, so the play cursor lies that
// many bytes past the end of the last written piece (never the whole buffer,
// or the cursor would meet the write offset and read as nothing played).
// Some devices report room in large jumps (a file, the network, a null
// sink that takes everything at once), so the cursor moves at most
// kLongestPassMilliseconds a pass: the SPU's interrupts and voice status then
// still advance in small steps, while a sound card, whose room grows by the
// 1 or 5 ms between passes, never meets the limit.
// Lock hands out a buffer of the stream's size to mix into, and Unlock
// writes the first piece to the device. An underrun or a suspend shows as a
// lost buffer, which Restore recovers; a device that has gone away fails
// Restore, and the sound output gives it up for its clock.
#include <alsa/asoundlib.h>

#include <new>
#include <vector>

#include "output/SoundDevice.h"
#include "voice/SpuConstants.h"

namespace zarn {

namespace {

constexpr uint32_t kFrameBytes = 4;
constexpr uint32_t kMostBytesAPass = kLongestPassMilliseconds * 44100 / 1000 * kFrameBytes;

class AlsaDevice : public SoundDevice {
public:
    ~AlsaDevice() override { Close(); }

    bool Open(void*, const WaveFormat&) override {
        return snd_pcm_open(&pcm_, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) == 0;
    }

    bool CreateStream(uint32_t bytes, uint32_t& streamBytes) override {
        if (pcm_ == nullptr) return false;
        snd_pcm_hw_params_t* hw;
        snd_pcm_hw_params_alloca(&hw);
        unsigned int rate = kFrameRate;
        snd_pcm_uframes_t frames = bytes / kFrameBytes;
        if (snd_pcm_hw_params_any(pcm_, hw) < 0 ||
            snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
            snd_pcm_hw_params_set_format(pcm_, hw, SND_PCM_FORMAT_S16_LE) < 0 ||
            snd_pcm_hw_params_set_channels(pcm_, hw, 2) < 0 || snd_pcm_hw_params_set_rate(pcm_, hw, rate, 0) < 0 ||
            snd_pcm_hw_params_set_buffer_size_near(pcm_, hw, &frames) < 0 || snd_pcm_hw_params(pcm_, hw) < 0 ||
            snd_pcm_hw_params_get_buffer_size(hw, &frames) < 0 || frames < 2) {
            return false;
        }
        // Playback starts with the first frame written.
        snd_pcm_sw_params_t* sw;
        snd_pcm_sw_params_alloca(&sw);
        if (snd_pcm_sw_params_current(pcm_, sw) == 0 && snd_pcm_sw_params_set_start_threshold(pcm_, sw, 1) == 0) {
            snd_pcm_sw_params(pcm_, sw);
        }
        try {
            buffer_.assign(frames * kFrameBytes, 0);
        } catch (const std::bad_alloc&) {
            snd_pcm_hw_free(pcm_);
            return false;
        }
        streamBytes = static_cast<uint32_t>(buffer_.size());
        written_ = 0;
        lost_ = false;
        return true;
    }

    void DestroyStream() override {
        if (pcm_ == nullptr) return;
        snd_pcm_drop(pcm_);
        snd_pcm_hw_free(pcm_);
        buffer_ = {};
    }

    void Close() override {
        if (pcm_ != nullptr) snd_pcm_close(pcm_);
        pcm_ = nullptr;
    }

    bool PlayCursor(uint32_t& cursor) override {
        const uint32_t size = static_cast<uint32_t>(buffer_.size());
        if (size == 0) return false;
        const snd_pcm_sframes_t avail = snd_pcm_avail(pcm_);
        if (avail < 0) {
            lost_ = true;
            cursor = written_;
            return true;
        }
        uint64_t played = static_cast<uint64_t>(avail) * kFrameBytes;
        if (played > kMostBytesAPass) played = kMostBytesAPass;
        if (played > size - kFrameBytes) played = size - kFrameBytes;
        cursor = static_cast<uint32_t>((written_ + played) % size);
        return true;
    }

    LockResult Lock(uint32_t offset, uint32_t bytes, Region& first, Region& second) override {
        if (lost_) return LockResult::Lost;
        return LockLoop(buffer_.data(), static_cast<uint32_t>(buffer_.size()), offset, bytes, first, second);
    }

    void Unlock(const Region& first, const Region&) override {
        const snd_pcm_sframes_t wrote = snd_pcm_writei(pcm_, first.data, first.bytes / kFrameBytes);
        if (wrote < 0 && wrote != -EAGAIN) lost_ = true;  // underrun, suspend, or the device gone
        written_ = static_cast<uint32_t>((first.data - buffer_.data() + first.bytes) % buffer_.size());
    }

    // A device that is gone (unplugged: -ENODEV) fails here for good; a
    // busy one may come back.
    RestoreResult Restore() override {
        const int result = pcm_ == nullptr ? -ENODEV : snd_pcm_prepare(pcm_);
        if (result == -EAGAIN || result == -EBUSY) return RestoreResult::StillLost;
        if (result < 0) return RestoreResult::Failed;
        lost_ = false;
        return RestoreResult::Restored;
    }

private:
    snd_pcm_t* pcm_ = nullptr;
    std::vector<uint8_t> buffer_;  // the stream buffer the thread mixes into
    uint32_t written_ = 0;         // offset just past the last piece written
    bool lost_ = false;            // underrun or suspend: Restore before going on
};

}  // namespace

std::unique_ptr<SoundDevice> CreateSystemSoundDevice() {
    return std::unique_ptr<SoundDevice>(new (std::nothrow) AlsaDevice());
}

}  // namespace zarn
