// Sound-RAM transfers: 16-bit little-endian halfwords at transferAddress (bit
// 0 ignored), which advances by 2 and wraps to 0 past the end of the RAM.
//
// In the console model every halfword is an access the IRQ check sees (the
// unit of its address, before the advance), and a transfer that raised the
// flag calls the host's interrupt function when it ends. The transfer type,
// bits 1-3 of 0x1F801DAC, shapes block writes; groups count from each call's
// first halfword:
//   2 Normal  halfword k is element k
//   3 Rep2    element 2 x (k / 2)
//   4 Rep4    element 4 x (k / 4)
//   5 Rep8    the last element of k's group of 8 (of a final partial group,
//             its own last)
//   0, 1, 6, 7 (Fill) as Normal: a control word never written (0) would
//             otherwise wipe every upload, and no use of the fill is known.
#include <algorithm>

#include "core/SpuCore.h"
#include "voice/RegisterMap.h"

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

void SpuCore::ConsoleStore(uint16_t value) {
    Bus().Touch(TransferOffset(transferAddress) >> 3);
    StoreHalfword(value);
}

uint16_t SpuCore::ConsoleLoad() {
    Bus().Touch(TransferOffset(transferAddress) >> 3);
    return LoadHalfword();
}

void SpuCore::WriteTransfer(uint16_t value) {
    if (model != kConsole) {
        StoreHalfword(value);  // the standard model's transfers move the halfwords and nothing else
        return;
    }
    ConsoleStore(value);
    CallPendingIrq();
}

uint16_t SpuCore::ReadTransfer() {
    if (model != kConsole) return LoadHalfword();
    const uint16_t value = ConsoleLoad();
    CallPendingIrq();
    return value;
}

void SpuCore::WriteTransferBlock(const uint16_t* words, int32_t count) {
    if (model != kConsole) {
        for (int32_t i = 0; i < count; ++i) StoreHalfword(words[i]);
        return;
    }
    const uint32_t type = bits(registerImage[reg::ImageIndex(reg::kTransferControl)], 1, 3);
    const int32_t group = type == 3 ? 2 : type == 4 ? 4 : type == 5 ? 8 : 1;
    for (int32_t k = 0; k < count; ++k) {
        const int32_t first = k - k % group;
        ConsoleStore(words[type == 5 ? std::min(first + group - 1, count - 1) : first]);
    }
    CallPendingIrq();
}

void SpuCore::ReadTransferBlock(uint16_t* words, int32_t count) {
    if (model != kConsole) {
        for (int32_t i = 0; i < count; ++i) words[i] = LoadHalfword();
        return;
    }
    for (int32_t i = 0; i < count; ++i) words[i] = ConsoleLoad();
    CallPendingIrq();
}

}  // namespace zarn
