#include "sound/ConsoleReverb.h"

#include <algorithm>

#include "voice/ConsoleTables.h"
#include "voice/SpuConstants.h"

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

int32_t Volume(const ConsoleBus& bus, uint32_t address) { return S16(bus.Img(address)); }
// [mX], [mX - 2] (the sample one step earlier) and [mX - dAPF] as byte offsets.
int32_t At(const ConsoleBus& bus, uint32_t address) { return static_cast<int32_t>(bus.Img(address)) * 8; }
int32_t Before(const ConsoleBus& bus, uint32_t address) { return At(bus, address) - 2; }
int32_t Behind(const ConsoleBus& bus, uint32_t address, uint32_t distance) {
    return (static_cast<int32_t>(bus.Img(address)) - static_cast<int32_t>(bus.Img(distance))) * 8;
}

// The documented accesses in the work area: a read, or a write (if SPUCNT
// bit 7 allows) of a value already clamped; both touch the IRQ check, also a
// suppressed write.
struct WorkArea {
    const ConsoleBus& bus;
    int32_t offset[kReverbAccesses];

    int32_t Read(int k) const {
        const uint32_t a = A(bus, offset[k]);
        bus.Touch(a >> 3);
        return bus.Rd16(a);
    }
    void Write(int k, int32_t value) const {
        const uint32_t a = A(bus, offset[k]);
        bus.Touch(a >> 3);
        if (bus.Img(reg::kControl) & 0x0080) bus.Wr16(a, value);
    }
};

}  // namespace

int32_t Decimate(const int16_t* ring, int32_t p) { return Clamp16(Fir(ring, p) >> 15); }
int32_t Interpolate(const int16_t* ring, int32_t p) { return Clamp16(Fir(ring, p) >> 14); }

uint32_t A(const ConsoleBus& bus, int32_t off) {
    const int32_t base = static_cast<int32_t>(WorkAreaBase(bus));
    const int32_t size = static_cast<int32_t>(kRamBytes) - base;  // 8..0x80000
    int32_t r = (static_cast<int32_t>(bus.state->reverbAddress) - base + off) % size;
    if (r < 0) r += size;
    return static_cast<uint32_t>(base + r);
}

ReverbVolumes SideVolumes(const ConsoleBus& bus, ReverbSideId side) {
    const SideRegisters& m = kSides[side == ReverbSideId::kLeft ? 0 : 1];
    return {Volume(bus, m.vIn),
            Volume(bus, m.vOut),
            Volume(bus, kIir),
            Volume(bus, kWall),
            Volume(bus, kApf1),
            Volume(bus, kApf2),
            {Volume(bus, kComb1), Volume(bus, kComb2), Volume(bus, kComb3), Volume(bus, kComb4)}};
}

void SideOffsets(const ConsoleBus& bus, ReverbSideId side, int32_t offset[kReverbAccesses]) {
    const SideRegisters& m = kSides[side == ReverbSideId::kLeft ? 0 : 1];
    const int32_t offsets[kReverbAccesses] = {At(bus, m.dSame),
                                              Before(bus, m.mSame),
                                              At(bus, m.dOtherDiff),
                                              At(bus, m.mSame),
                                              Before(bus, m.mDiff),
                                              At(bus, m.mComb1),
                                              At(bus, m.mDiff),
                                              At(bus, m.mComb2),
                                              At(bus, m.mComb3),
                                              At(bus, m.mComb4),
                                              Behind(bus, m.mApf1, kApf1Distance),
                                              Behind(bus, m.mApf2, kApf2Distance),
                                              At(bus, m.mApf1),
                                              At(bus, m.mApf2)};
    std::copy_n(offsets, kReverbAccesses, offset);
}

int32_t ReverbSide(const ConsoleBus& bus, int32_t x, ReverbSideId side) {
    WorkArea area{bus, {}};
    SideOffsets(bus, side, area.offset);
    return SideNetwork(area, SideVolumes(bus, side), x);
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
        state.reverbAddress = NextBufferAddress(state.reverbAddress, WorkAreaBase(bus));
    }
    rvL = Interpolate(state.reverbOutL, p);
    rvR = Interpolate(state.reverbOutR, p);
    state.firPos = static_cast<uint8_t>((p + 1) & kFirMask);
    state.reverbParity ^= 1;
}

}  // namespace zarn::console
