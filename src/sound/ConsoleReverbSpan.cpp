#include "sound/ConsoleReverbSpan.h"

#include <algorithm>

#include "voice/ConsoleTables.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zarn::console {

namespace {

constexpr uint32_t kWriteEnable = 0x0080;  // SPUCNT bit 7
constexpr int kWrites[] = {3, 6, 12, 13};  // the accesses of a side that write

// The 39-tap sum over the 40 samples from `oldest`: taps in reverse order, the
// last one 0. One 32-bit sum, as the rings' filter makes it (its size keeps it
// inside int32).
int32_t Dot(const int16_t* taps, const int16_t* oldest) {
#if defined(__SSE2__)
    __m128i sum = _mm_setzero_si128();
    for (int k = 0; k < 40; k += 8) {
        const __m128i samples = _mm_loadu_si128(reinterpret_cast<const __m128i*>(oldest + k));
        sum = _mm_add_epi32(sum, _mm_madd_epi16(samples, _mm_loadu_si128(reinterpret_cast<const __m128i*>(taps + k))));
    }
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(1, 0, 3, 2)));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(sum);
#else
    int32_t sum = 0;
    for (int k = 0; k < 40; ++k) sum += taps[k] * oldest[k];
    return sum;
#endif
}

// The work area as the span's accesses see it.
struct Flat {
    uint8_t* ram;
    const int32_t* address;
    bool writes;
    int32_t Read(int k) const { return S16(ram[address[k]] | ram[address[k] + 1] << 8); }
    void Write(int k, int32_t value) const {
        if (!writes) return;
        ram[address[k]] = static_cast<uint8_t>(value);
        ram[address[k] + 1] = static_cast<uint8_t>(value >> 8);
    }
};

}  // namespace

ReverbSpan::ReverbSpan() {
    for (int k = 0; k < kReverbTaps; ++k) taps_[k] = H[kReverbTaps - 1 - k];
    taps_[kReverbTaps] = 0;
}

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
    for (int s = 0; s < 2; ++s) {
        const ReverbSideId id = s == 0 ? ReverbSideId::kLeft : ReverbSideId::kRight;
        volumes_[s] = SideVolumes(bus, id);
        SideOffsets(bus, id, offsets_[s]);
        for (int32_t& offset : offsets_[s]) {
            offset %= size_;
            if (offset < 0) offset += size_;
        }
    }
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

void ReverbSpan::Tick(uint8_t* ram, int32_t inL, int32_t inR, int32_t& rvL, int32_t& rvR) {
    const int32_t now = kRing + tick_;  // the flat index of this tick
    inL_[now] = static_cast<int16_t>(inL);
    inR_[now] = static_cast<int16_t>(inR);
    const int side = parity_;
    const int16_t* input = side == 0 ? inL_ : inR_;
    const int32_t x = Clamp16(Dot(taps_, input + now - (kReverbTaps - 1)) >> 15);
    int32_t address[kReverbAccesses];
    for (int k = 0; k < kReverbAccesses; ++k) {
        const int32_t a = position_ + offsets_[side][k];
        address[k] = base_ + (a >= size_ ? a - size_ : a);
    }
    Flat area{ram, address, writes_};
    const int16_t y = static_cast<int16_t>(SideNetwork(area, volumes_[side], x));
    outL_[now] = side == 0 ? y : 0;
    outR_[now] = side == 0 ? 0 : y;
    if (side == 1) position_ = static_cast<int32_t>(NextBufferAddress(base_ + position_, base_)) - base_;
    rvL = Clamp16(Dot(taps_, outL_ + now - (kReverbTaps - 1)) >> 14);
    rvR = Clamp16(Dot(taps_, outR_ + now - (kReverbTaps - 1)) >> 14);
    parity_ ^= 1;
    ++tick_;
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
