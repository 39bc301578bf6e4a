// The output stage's state: main and reverb-return volumes, the accumulators
// of the frame being mixed and the reverb delay line.
#pragma once

#include <cstdint>

namespace zarn {

class MixerState {
public:
    static constexpr int kReverbFrames = 4096;  // about 92.9 ms at 44100 Hz
    static constexpr int kReverbEntries = kReverbFrames * 2;

    MixerState() = default;
    virtual ~MixerState() = default;

    int32_t mainVolumeL = 0;  // -16383..16383, applied >> 14
    int32_t mainVolumeR = 0;
    int32_t reverbVolumeL = 0;  // -32767..32767, applied >> 14 (16384 == 1.0)
    int32_t reverbVolumeR = 0;
    int32_t dryL = 0;  // frame being summed; 0 between frames
    int32_t dryR = 0;
    int32_t reverbSendL = 0;  // sum of the reverb-enabled voices; 0 between frames
    int32_t reverbSendR = 0;
    int32_t reverbLine[kReverbEntries] = {};  // left at even, right at odd entries
    int32_t reverbCursor = 0;                 // next left entry: even, 0..8190
};

}  // namespace zarn
