// The demo's tune, written out as a host would play it: the sounds to
// upload into sound RAM, then register writes and CD-XA blocks, each at the
// output frame where it happens. About twenty seconds in A minor at 120
// beats a minute, and a second for the reverb to ring out.
#pragma once

#include <cstdint>
#include <vector>

#include "xa/XaDecodeBlock.h"

namespace spuhost {

struct DemoUpload {
    uint32_t unit;  // sound-RAM address in 8-byte units
    std::vector<uint8_t> bytes;
};

struct DemoEvent {
    enum class Kind { Write, XaBlock };
    uint64_t frame;
    Kind kind;
    uint32_t address;  // a Write's register
    uint16_t value;    // a Write's value; an XaBlock's index
};

struct DemoTune {
    // CD-XA as a real sector holds it: stereo at 37,800 Hz, 2,016 frames a
    // block, which the plugin turns into 2,352 output frames.
    static constexpr int kXaRate = 37800, kXaBlockFrames = 2016;

    std::vector<DemoUpload> uploads;
    std::vector<DemoEvent> events;  // in the order they happen
    std::vector<int16_t> xa;        // the backing track, interleaved, whole blocks
    uint64_t frames = 0;            // the whole tune, tail included

    // Block `index` of the backing track, as a host hands it to SPUplayADPCMchannel.
    void FillXaBlock(int index, zarn::XaDecodeBlock& block) const;
};

// The tune for the standard sound model, or with `console` for the console
// model: SPUCNT also unmutes (bit 14), mixes in CD audio (bit 0) and lets the
// reverb write (bit 7); the reverb is the console's "Hall" preset in a
// cleared work area at the end of sound RAM; volume sweeps and the noise
// drums' envelopes use the console's rates.
DemoTune ComposeDemo(bool console = false);

}  // namespace spuhost
