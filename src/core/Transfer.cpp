// Sound-RAM transfers: 16-bit little-endian halfwords at transferAddress (bit
// 0 ignored), which advances by 2 and wraps to 0 past the end of the RAM.
#include "core/SpuCore.h"

namespace zarn {

// The byte offset of the next access. The mask keeps even an address that was
// never set (all ones) inside sound RAM.
uint32_t SpuCore::TransferOffset() const { return transferAddress & kRamMask & ~1u; }

void SpuCore::AdvanceTransfer() {
    transferAddress += 2;
    if (transferAddress > kRamMask) transferAddress = 0;
}

void SpuCore::WriteTransfer(uint16_t value) {
    const uint32_t at = TransferOffset();
    soundRam[at] = static_cast<uint8_t>(value);
    soundRam[at + 1] = static_cast<uint8_t>(value >> 8);
    AdvanceTransfer();
}

uint16_t SpuCore::ReadTransfer() {
    const uint32_t at = TransferOffset();
    const uint16_t value = static_cast<uint16_t>(soundRam[at] | (soundRam[at + 1] << 8));
    AdvanceTransfer();
    return value;
}

void SpuCore::WriteTransferBlock(const uint16_t* words, int32_t count) {
    for (int32_t i = 0; i < count; ++i) WriteTransfer(words[i]);
}

void SpuCore::ReadTransferBlock(uint16_t* words, int32_t count) {
    for (int32_t i = 0; i < count; ++i) words[i] = ReadTransfer();
}

}  // namespace zarn
