// Sound-RAM transfers: 16-bit little-endian halfwords at transferAddress (bit
// 0 ignored), which advances by 2 and wraps to 0 past the end of the RAM.
#include "core/SpuCore.h"

namespace zarn {

namespace {

// The byte offset of the next access. The mask keeps even an address that was
// never set (all ones) inside sound RAM.
uint32_t TransferOffset(uint32_t transferAddress) { return transferAddress & kRamMask & ~1u; }

void Advance(uint32_t& transferAddress) {
    transferAddress += 2;
    if (transferAddress > kRamMask) transferAddress = 0;
}

}  // namespace

void SpuCore::StoreHalfword(uint16_t value) {
    const uint32_t at = TransferOffset(transferAddress);
    soundRam[at] = static_cast<uint8_t>(value);
    soundRam[at + 1] = static_cast<uint8_t>(value >> 8);
    Advance(transferAddress);
}

void SpuCore::SkipHalfword() { Advance(transferAddress); }

uint16_t SpuCore::LoadHalfword() {
    const uint32_t at = TransferOffset(transferAddress);
    const uint16_t value = static_cast<uint16_t>(soundRam[at] | (soundRam[at + 1] << 8));
    Advance(transferAddress);
    return value;
}

}  // namespace zarn
