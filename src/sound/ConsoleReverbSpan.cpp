#include "sound/ConsoleReverbSpan.h"

#include <algorithm>

#include <cstring>

namespace zarn::console {

namespace {

constexpr uint32_t kWriteEnable = 0x0080;  // SPUCNT bit 7
constexpr int kWrites[] = {3, 6, 12, 13};  // the accesses of a side that write

// The work area as the span's accesses see it.
// Halfwords are little-endian; on such a host they are copied whole.
struct Flat {
    uint8_t* ram;
    const int32_t* address;
    bool writes;
    int32_t Read(int k) const {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        int16_t value;
        std::memcpy(&value, ram + address[k], 2);
        return value;
#else
        return S16(ram[address[k]] | ram[address[k] + 1] << 8);
#endif
    }
    void Write(int k, int32_t value) const {
        if (!writes) return;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        const int16_t halfword = static_cast<int16_t>(value);
        std::memcpy(ram + address[k], &halfword, 2);
#else
        ram[address[k]] = static_cast<uint8_t>(value);
        ram[address[k] + 1] = static_cast<uint8_t>(value >> 8);
#endif
    }
};

}  // namespace

bool ReverbSpan::Begin(const ConsoleBus& bus) {
    const ConsoleState& state = *bus.state;
    const int32_t base = static_cast<int32_t>(WorkAreaBase(bus));
    const int32_t address = static_cast<int32_t>(state.reverbAddress);
    if (address < base || address >= static_cast<int32_t>(kRamBytes) || (address & 1) != 0) return false;
    if (state.reverbParity > 1) return false;
    base_ = base;
    size_ = static_cast<int32_t>(kRamBytes) - base;
    position_ = address - base;
    parity_ = state.reverbParity & 1;
    firPos_ = state.firPos & (kRing - 1);
    tick_ = 0;
    writes_ = (bus.Img(reg::kControl) & kWriteEnable) != 0;
    // The offsets reduced into the area, again only when a register they
    // come from has changed (a span can be short).
    const uint16_t* words = bus.image + ImageIndex(kFirstRegister);
    const bool same = reducedFor_ == base && std::equal(words, words + kRegisters, registers_);
    for (int s = 0; s < 2; ++s) {
        const ReverbSideId id = s == 0 ? ReverbSideId::kLeft : ReverbSideId::kRight;
        volumes_[s] = SideVolumes(bus, id);
        if (same) continue;
        SideOffsets(bus, id, offsets_[s]);
        for (int32_t& offset : offsets_[s]) {
            offset %= size_;
            if (offset < 0) offset += size_;
        }
    }
    reducedFor_ = base;
    std::copy_n(words, kRegisters, registers_);
    // The rings flat, oldest first: slot firPos is the oldest.
    for (int32_t k = 0; k < kRing; ++k) {
        const int32_t slot = (firPos_ + k) & (kRing - 1);
        inL_[k] = state.reverbInL[slot];
        inR_[k] = state.reverbInR[slot];
        outL_[k] = state.reverbOutL[slot];
        outR_[k] = state.reverbOutR[slot];
    }
    return true;
}

int32_t ReverbSpan::FirstTouch(uint16_t irqUnit, int32_t ticks) const {
    if (static_cast<int32_t>(irqUnit) * 8 < base_) return kNever;  // below the work area
    int32_t position = position_;
    for (int32_t t = 0; t < ticks; ++t) {
        const int side = (parity_ + t) & 1;
        for (int k = 0; k < kReverbAccesses; ++k) {
            const int32_t a = position + offsets_[side][k];
            if (((base_ + (a >= size_ ? a - size_ : a)) >> 3) == irqUnit) return t;
        }
        if (side == 1) position = static_cast<int32_t>(NextBufferAddress(base_ + position, base_)) - base_;
    }
    return kNever;
}

void ReverbSpan::AddWrites(SpanGuard& guard) const {
    if (!writes_) return;
    int32_t starts[2 * 4];
    int count = 0;
    for (int s = 0; s < 2; ++s) {
        for (const int k : kWrites) {
            const int32_t first = position_ + offsets_[s][k];
            starts[count++] = first >= size_ ? first - size_ : first;
        }
    }
    guard.AddReverbWrites(base_, size_, starts, count);
}

void ReverbSpan::Decimate(const ConsoleKernels& kernels, int32_t ticks) {
    kernels.decimate(inL_ + kRing, ticks, decimatedL_);
    kernels.decimate(inR_ + kRing, ticks, decimatedR_);
}

void ReverbSpan::Step(uint8_t* ram) {
    const int side = parity_;
    int32_t address[kReverbAccesses];
    for (int k = 0; k < kReverbAccesses; ++k) {
        const int32_t a = position_ + offsets_[side][k];
        address[k] = base_ + (a >= size_ ? a - size_ : a);
    }
    Flat area{ram, address, writes_};
    const int32_t x = side == 0 ? decimatedL_[tick_] : decimatedR_[tick_];
    const int16_t y = static_cast<int16_t>(SideNetwork(area, volumes_[side], x));
    outL_[kRing + tick_] = side == 0 ? y : 0;
    outR_[kRing + tick_] = side == 0 ? 0 : y;
    if (side == 1) position_ = static_cast<int32_t>(NextBufferAddress(base_ + position_, base_)) - base_;
    parity_ ^= 1;
    ++tick_;
}

void ReverbSpan::Interpolate(const ConsoleKernels& kernels, int16_t* rvL, int16_t* rvR) const {
    kernels.interpolate(outL_ + kRing, tick_, rvL);
    kernels.interpolate(outR_ + kRing, tick_, rvR);
}

void ReverbSpan::End(ConsoleState& state) const {
    // The last 64 ticks' samples, each in the slot its tick wrote.
    for (int32_t k = tick_; k < tick_ + kRing; ++k) {
        const int32_t slot = (firPos_ + k) & (kRing - 1);
        state.reverbInL[slot] = inL_[k];
        state.reverbInR[slot] = inR_[k];
        state.reverbOutL[slot] = outL_[k];
        state.reverbOutR[slot] = outR_[k];
    }
    state.firPos = static_cast<uint8_t>((firPos_ + tick_) & (kRing - 1));
    state.reverbParity = static_cast<uint8_t>(parity_);
    state.reverbAddress = static_cast<uint32_t>(base_ + position_);
}

}  // namespace zarn::console
