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

// The work area's first byte: mBASE x 8. It runs to the end of sound RAM.
inline uint32_t WorkAreaBase(const ConsoleBus& bus) { return bus.Img(reg::kReverbBase) * 8u; }
// The buffer address after a right side: the next halfword, back to the
// base past the end of sound RAM.
inline uint32_t NextBufferAddress(uint32_t address, uint32_t base) {
    const uint32_t next = (address + 2) & kHalfwordMask;
    return next > base ? next : base;
}

// The byte address of the work-area reference `off` bytes from the current
// buffer address, wrapped into the work area.
uint32_t A(const ConsoleBus& bus, int32_t off);

// One side's registers as the network uses them: signed volumes, and the
// byte offsets from the current buffer address of its 14 work-area accesses,
// in the hardware's order:
//   0 [dSAME]  1 [mSAME - 2]  2 [dDIFF of the other side]  3 write [mSAME]
//   4 [mDIFF - 2]  5 [mCOMB1]  6 write [mDIFF]  7 [mCOMB2]  8 [mCOMB3]
//   9 [mCOMB4]  10 [mAPF1 - dAPF1]  11 [mAPF2 - dAPF2]  12 write [mAPF1]
//   13 write [mAPF2]
constexpr int kReverbAccesses = 14;
struct ReverbVolumes {
    int32_t in, out, iir, wall, apf1, apf2, comb[4];
};
ReverbVolumes SideVolumes(const ConsoleBus& bus, ReverbSideId side);
void SideOffsets(const ConsoleBus& bus, ReverbSideId side, int32_t offset[kReverbAccesses]);

// The network of one side on the decimated input `x`; `memory.Read(k)` and
// `memory.Write(k, value)` make access k of the list above. Returns the
// side's output.
template <class Memory>
int32_t SideNetwork(Memory& memory, const ReverbVolumes& v, int32_t x) {
    const int32_t s = Clamp16(Mul15(x, v.in));
    // Same-side and different-side reflections: a one-pole filter of the
    // input plus the wall-scaled echo.
    const int32_t a = memory.Read(0);
    const int32_t b = memory.Read(1);
    const int32_t c = memory.Read(2);
    int32_t t = Clamp16(s + Mul15(a, v.wall));
    t = Clamp16(t - b);
    memory.Write(3, Clamp16(Mul15(t, v.iir) + b));
    const int32_t d = memory.Read(4);
    const int32_t e1 = memory.Read(5);
    t = Clamp16(s + Mul15(c, v.wall));
    t = Clamp16(t - d);
    memory.Write(6, Clamp16(Mul15(t, v.iir) + d));

    // Early echo: four comb taps in one sum, one clamp.
    const int32_t e2 = memory.Read(7);
    const int32_t e3 = memory.Read(8);
    const int32_t e4 = memory.Read(9);
    int32_t o = Clamp16(Mul15(v.comb[0], e1) + Mul15(v.comb[1], e2) + Mul15(v.comb[2], e3) + Mul15(v.comb[3], e4));

    // Two all-pass filters in series.
    const int32_t f = memory.Read(10);
    const int32_t g = memory.Read(11);
    o = Clamp16(o - Mul15(v.apf1, f));
    memory.Write(12, o);
    o = Clamp16(Mul15(o, v.apf1) + f);
    o = Clamp16(o - Mul15(v.apf2, g));
    memory.Write(13, o);
    o = Clamp16(Mul15(o, v.apf2) + g);
    return Clamp16(Mul15(o, v.out));
}

// One side of the reverb network on the decimated input `x`: its 14
// work-area accesses, each touching the IRQ check, and the side's output.
int32_t ReverbSide(const ConsoleBus& bus, int32_t x, ReverbSideId side);

// One 44,100 Hz tick: takes the clamped reverb input, runs one side, and
// gives the reverb return of both sides.
void ReverbTick(const ConsoleBus& bus, int32_t inL, int32_t inR, int32_t& rvL, int32_t& rvR);

}  // namespace zarn::console
