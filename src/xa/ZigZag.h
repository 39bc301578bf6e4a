// The console model's CD input: XA audio at 37,800 Hz (and 18,900 Hz) turned
// into 44,100 Hz frames by the hardware's zigzag interpolator, which makes
// seven output frames from every six input samples through seven 29-tap
// tables. Other rates (44,100 Hz CD audio among them) take the standard
// zero-order hold. The ring holds raw frames: the CD volumes are applied when
// the mixer takes them.
#pragma once

#include <cstdint>

#include "voice/ConsoleState.h"
#include "xa/XaRing.h"

namespace zarn {

struct XaDecodeBlock;

namespace console {

// One filtered sample: table `t` (1..7) over the ring's last 29 samples,
// newest first, each product floored on its own.
int32_t Zig(const int16_t* ring, int32_t zigPos, int t);

// One input frame into the zigzag history; every sixth one sends seven
// frames to `xa`, dropping those that find it full.
void ZigPush(ConsoleState& state, XaRing& xa, int32_t left, int32_t right);

// SPUplayADPCMchannel's conversion in the console model, after the steps
// both models share (XaRing::BeginBlock). A change of rate or channel count
// starts a new stream with a cleared history; otherwise the history runs on
// from the previous block. An 18,900 Hz frame is pushed twice.
void QueueConsoleBlock(ConsoleState& state, XaRing& xa, const XaDecodeBlock& block);

}  // namespace console
}  // namespace zarn
