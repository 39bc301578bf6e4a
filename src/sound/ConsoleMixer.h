// One tick of the console model: 44,100 Hz, one output frame. This is the
// plain reference, written step by step in the hardware's order; a faster
// path must give the same frames and the same state.
#pragma once

#include <cstdint>

#include "voice/ConsoleBus.h"
#include "voice/IrqLine.h"

namespace zarn {

struct CdInput;

namespace console {

// SPUCNT (0x1F801DAA) bits the tick reads; the noise clock is bits 8-13.
constexpr uint32_t kEnable = 0x8000, kUnmute = 0x4000, kIrqEnable = 0x0040, kCdReverb = 0x0004, kCdEnable = 0x0001;
// Capture writes touch the IRQ check only while bit 2 or 3 of the transfer
// control word (0x1F801DAC) is set.
constexpr uint32_t kCaptureTouches = 0x000C;
// The capture areas in the first 4 KiB of sound RAM: 0x200 halfwords each,
// all written at the same slot in a tick.
constexpr uint32_t kCaptureArea = 0x400;
constexpr uint32_t kCaptureCdL = 0, kCaptureCdR = kCaptureArea, kCaptureVoice1 = 2 * kCaptureArea,
                   kCaptureVoice3 = 3 * kCaptureArea;
constexpr uint32_t kCaptureBytes = 4 * kCaptureArea;

// Runs one tick over sound RAM, the register image and the state, takes one
// raw frame of CD input from `cd`, and stores the output frame (left, right) in `out`.
// Leaves irqCallPending set when the tick raised the IRQ: calling the host is
// the caller's part, after the tick.
void ConsoleTick(const ConsoleBus& bus, CdInput& cd, int16_t out[2]);

// T9: when a tick or a transfer raised the IRQ, clears irqCallPending and
// calls `irq` (a null handler calls nothing).
inline void CallPendingIrq(ConsoleState& state, const IrqLine& irq) {
    if (state.irqCallPending == 0) return;
    state.irqCallPending = 0;
    if (irq.handler != nullptr) irq.handler(irq.context);
}

// `frames` ticks into `out` (interleaved), each followed by T9: when the tick
// raised the IRQ, irqCallPending is cleared and `irq` is called (a null
// handler calls nothing). The caller gives a handler that calls the host only
// while "EnableSpuIrq" is on. The host may do anything from inside the call,
// this render included; the next tick reads everything afresh. No voice status
// is published. The plain reference of every faster render.
void RenderReference(const ConsoleBus& bus, CdInput& cd, int16_t* out, uint32_t frames, const IrqLine& irq);

// The words the console model publishes into the image for readers of the
// standard layout (save states, the recorder): each voice's ENVX and repeat
// address, and in 0x1F801D9C/0x1F801D9E a bit per voice whose level is not 0.
void PublishVoiceStatus(const ConsoleState& state, uint16_t* image);

}  // namespace console
}  // namespace zarn
