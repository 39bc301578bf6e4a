// The console model's reverb unit. It runs at 22,050 Hz, alternating sides:
// even ticks compute the left side, odd ticks the right, and the buffer
// address advances after each right side. Its input is decimated from
// 44,100 Hz and its output interpolated back with the 39-tap half-band
// filter H, 19 samples of delay each way.
//
// The delay lines are the work area in sound RAM, from mBASE x 8 to 0x7FFFF:
// every access touches the IRQ check, and writes land only while SPUCNT
// bit 7 is set (reads and output go on without it).
#pragma once

#include <cstdint>

#include "voice/ConsoleBus.h"

namespace zarn::console {

enum class ReverbSideId { kLeft, kRight };

// The four resampler rings hold the last 64 samples at 44,100 Hz; `p` is the
// slot just written. Decimate normalises by 0x8000, Interpolate by 0x4000
// (the output ring is zero-stuffed, every other slot 0).
int32_t Decimate(const int16_t* ring, int32_t p);
int32_t Interpolate(const int16_t* ring, int32_t p);

// The byte address of the work-area reference `off` bytes from the current
// buffer address, wrapped into the work area.
uint32_t A(const ConsoleBus& bus, int32_t off);

// One side of the reverb network on the decimated input `x`: its 14
// work-area accesses in the hardware's order, and the side's output.
int32_t ReverbSide(const ConsoleBus& bus, int32_t x, ReverbSideId side);

// One 44,100 Hz tick: takes the clamped reverb input, runs one side, and
// gives the reverb return of both sides.
void ReverbTick(const ConsoleBus& bus, int32_t inL, int32_t inR, int32_t& rvL, int32_t& rvR);

}  // namespace zarn::console
