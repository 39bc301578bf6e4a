#include "sound/ConsoleReverb.h"

#include <algorithm>

#include "voice/ConsoleTables.h"

namespace zarn::console {

namespace {

// The reverb registers. Volumes (v*) are signed, 0x7FFF == 1.0; addresses
// (m*, d*) count units from the current buffer address; dAPF1/2 are distances
// back from mxAPF1/2. mBASE (reg::kReverbBase) is the work area's first unit.
constexpr uint32_t kApf1Distance = 0x1F801DC0, kApf2Distance = 0x1F801DC2;
constexpr uint32_t kIir = 0x1F801DC4, kComb1 = 0x1F801DC6, kComb2 = 0x1F801DC8, kComb3 = 0x1F801DCA,
                   kComb4 = 0x1F801DCC, kWall = 0x1F801DCE, kApf1 = 0x1F801DD0, kApf2 = 0x1F801DD2;

// One side's registers. The right side is the left with L and R swapped; the
// "different side" reflection reads the other side's dDIFF.
struct SideRegisters {
    uint32_t dSame, mSame, dOtherDiff, mDiff, mComb1, mComb2, mComb3, mComb4, mApf1, mApf2, vIn, vOut;
};
constexpr SideRegisters kSides[2] = {
    // dLSAME, mLSAME, dRDIFF, mLDIFF, mLCOMB1-4, mLAPF1-2, vLIN, vLOUT
    {0x1F801DE0, 0x1F801DD4, 0x1F801DF2, 0x1F801DE4, 0x1F801DD8, 0x1F801DDC, 0x1F801DE8, 0x1F801DEC, 0x1F801DF4,
     0x1F801DF8, 0x1F801DFC, reg::kReverbVolumeL},
    // dRSAME, mRSAME, dLDIFF, mRDIFF, mRCOMB1-4, mRAPF1-2, vRIN, vROUT
    {0x1F801DE2, 0x1F801DD6, 0x1F801DF0, 0x1F801DE6, 0x1F801DDA, 0x1F801DDE, 0x1F801DEA, 0x1F801DEE, 0x1F801DF6,
     0x1F801DFA, 0x1F801DFE, reg::kReverbVolumeR},
};

constexpr int32_t kFirMask = ConsoleState::kFirTaps - 1;

int32_t Fir(const int16_t* ring, int32_t p) {
    int32_t sum = 0;  // at most 47,526 x 32,768: inside int32
    for (int k = 0; k < kReverbTaps; ++k) sum += H[k] * ring[(p - k) & kFirMask];
    return sum;
}

uint32_t Base(const ConsoleBus& bus) { return bus.Img(reg::kReverbBase) * 8u; }

// The documented accesses: R reads, W writes (if SPUCNT bit 7 allows) a value
// already clamped; both touch the IRQ check, also for a suppressed write.
int32_t R(const ConsoleBus& bus, int32_t off) {
    const uint32_t a = A(bus, off);
    bus.Touch(a >> 3);
    return bus.Rd16(a);
}

void W(const ConsoleBus& bus, int32_t off, int32_t value) {
    const uint32_t a = A(bus, off);
    bus.Touch(a >> 3);
    if (bus.Img(reg::kControl) & 0x0080) bus.Wr16(a, value);
}

int32_t Volume(const ConsoleBus& bus, uint32_t address) { return S16(bus.Img(address)); }
// [mX], [mX - 2] (the sample one step earlier) and [mX - dAPF] as byte offsets.
int32_t At(const ConsoleBus& bus, uint32_t address) { return static_cast<int32_t>(bus.Img(address)) * 8; }
int32_t Before(const ConsoleBus& bus, uint32_t address) { return At(bus, address) - 2; }
int32_t Behind(const ConsoleBus& bus, uint32_t address, uint32_t distance) {
    return (static_cast<int32_t>(bus.Img(address)) - static_cast<int32_t>(bus.Img(distance))) * 8;
}

}  // namespace

int32_t Decimate(const int16_t* ring, int32_t p) { return Clamp16(Fir(ring, p) >> 15); }
int32_t Interpolate(const int16_t* ring, int32_t p) { return Clamp16(Fir(ring, p) >> 14); }

uint32_t A(const ConsoleBus& bus, int32_t off) {
    const int32_t base = static_cast<int32_t>(Base(bus));
    const int32_t size = 0x80000 - base;  // 8..0x80000
    int32_t r = (static_cast<int32_t>(bus.state->reverbAddress) - base + off) % size;
    if (r < 0) r += size;
    return static_cast<uint32_t>(base + r);
}

int32_t ReverbSide(const ConsoleBus& bus, int32_t x, ReverbSideId side) {
    const SideRegisters& m = kSides[side == ReverbSideId::kLeft ? 0 : 1];
    const int32_t iir = Volume(bus, kIir), wall = Volume(bus, kWall);
    const int32_t apf1 = Volume(bus, kApf1), apf2 = Volume(bus, kApf2);
    const int32_t s = Clamp16(Mul15(x, Volume(bus, m.vIn)));

    // Same-side and different-side reflections: a one-pole filter of the
    // input plus the wall-scaled echo.
    const int32_t a = R(bus, At(bus, m.dSame));
    const int32_t b = R(bus, Before(bus, m.mSame));
    const int32_t c = R(bus, At(bus, m.dOtherDiff));
    int32_t t = Clamp16(s + Mul15(a, wall));
    t = Clamp16(t - b);
    W(bus, At(bus, m.mSame), Clamp16(Mul15(t, iir) + b));
    const int32_t d = R(bus, Before(bus, m.mDiff));
    const int32_t e1 = R(bus, At(bus, m.mComb1));
    t = Clamp16(s + Mul15(c, wall));
    t = Clamp16(t - d);
    W(bus, At(bus, m.mDiff), Clamp16(Mul15(t, iir) + d));

    // Early echo: four comb taps in one sum, one clamp.
    const int32_t e2 = R(bus, At(bus, m.mComb2));
    const int32_t e3 = R(bus, At(bus, m.mComb3));
    const int32_t e4 = R(bus, At(bus, m.mComb4));
    int32_t o = Clamp16(Mul15(Volume(bus, kComb1), e1) + Mul15(Volume(bus, kComb2), e2) +
                        Mul15(Volume(bus, kComb3), e3) + Mul15(Volume(bus, kComb4), e4));

    // Two all-pass filters in series.
    const int32_t f = R(bus, Behind(bus, m.mApf1, kApf1Distance));
    const int32_t g = R(bus, Behind(bus, m.mApf2, kApf2Distance));
    o = Clamp16(o - Mul15(apf1, f));
    W(bus, At(bus, m.mApf1), o);
    o = Clamp16(Mul15(o, apf1) + f);
    o = Clamp16(o - Mul15(apf2, g));
    W(bus, At(bus, m.mApf2), o);
    o = Clamp16(Mul15(o, apf2) + g);
    return Clamp16(Mul15(o, Volume(bus, m.vOut)));
}

void ReverbTick(const ConsoleBus& bus, int32_t inL, int32_t inR, int32_t& rvL, int32_t& rvR) {
    ConsoleState& state = *bus.state;
    const int32_t p = state.firPos;
    state.reverbInL[p] = static_cast<int16_t>(inL);
    state.reverbInR[p] = static_cast<int16_t>(inR);
    if (state.reverbParity == 0) {
        state.reverbOutL[p] = static_cast<int16_t>(ReverbSide(bus, Decimate(state.reverbInL, p), ReverbSideId::kLeft));
        state.reverbOutR[p] = 0;
    } else {
        state.reverbOutL[p] = 0;
        state.reverbOutR[p] = static_cast<int16_t>(ReverbSide(bus, Decimate(state.reverbInR, p), ReverbSideId::kRight));
        const uint32_t base = Base(bus);
        state.reverbAddress = std::max(base, (state.reverbAddress + 2) & kHalfwordMask);
    }
    rvL = Interpolate(state.reverbOutL, p);
    rvR = Interpolate(state.reverbOutR, p);
    state.firPos = static_cast<uint8_t>((p + 1) & kFirMask);
    state.reverbParity ^= 1;
}

}  // namespace zarn::console
