// One tick of the console model: 44,100 Hz, one output frame. This is the
// plain reference, written step by step in the hardware's order; a faster
// path must give the same frames and the same state.
#pragma once

#include <cstdint>

#include "voice/ConsoleBus.h"

namespace zarn {

class XaRing;

namespace console {

// Runs one tick over sound RAM, the register image and the state, takes one
// raw CD frame from `xa`, and stores the output frame (left, right) in `out`.
// Leaves irqCallPending set when the tick raised the IRQ: calling the host is
// the caller's part, after the tick.
void ConsoleTick(const ConsoleBus& bus, XaRing& xa, int16_t out[2]);

// The words the console model publishes into the image for readers of the
// standard layout (save states, the recorder): each voice's ENVX and repeat
// address, and in 0x1F801D9C/0x1F801D9E a bit per voice whose level is not 0.
void PublishVoiceStatus(const ConsoleState& state, uint16_t* image);

}  // namespace console
}  // namespace zarn
