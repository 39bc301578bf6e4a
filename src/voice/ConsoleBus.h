// What the console model's units work on: sound RAM, the register image and
// the live state, with the accessors every unit shares. The bus owns nothing;
// the caller builds it around the core's own arrays.
//
// Sound RAM is 512 KiB addressed by byte (halfwords at even addresses, little
// endian) or by 8-byte unit. The register image holds one word per even
// register address 0x1F801C00..0x1F801FFE.
#pragma once

#include <cstdint>

#include "voice/Arith.h"
#include "voice/ConsoleState.h"
#include "voice/RegisterMap.h"
#include "voice/SpuConstants.h"

namespace zarn::console {

using reg::ImageIndex;

constexpr uint32_t kHalfwordMask = kRamMask & ~1u;

struct ConsoleBus {
    uint8_t* ram;           // 512 KiB
    const uint16_t* image;  // 512 words
    ConsoleState* state;

    // The image word of register `address`.
    uint16_t Img(uint32_t address) const { return image[ImageIndex(address)]; }
    // Bit n of a per-voice pair of words (voices 0-15 in the first, 16-23 in
    // the second).
    bool VoiceBit(uint32_t address, int voice) const {
        return voice < 16 ? bits(Img(address), voice, 1) != 0 : bits(Img(address + 2), voice - 16, 1) != 0;
    }

    // The signed halfword at byte address `a`; bit 0 and bits above 18 are
    // ignored.
    int32_t Rd16(uint32_t a) const {
        a &= kHalfwordMask;
        return S16(ram[a] | (ram[a + 1] << 8));
    }
    void Wr16(uint32_t a, int32_t v) const {
        a &= kHalfwordMask;
        ram[a] = static_cast<uint8_t>(v);
        ram[a + 1] = static_cast<uint8_t>(v >> 8);
    }

    // The IRQ check for every unit the SPU reads or writes: with SPUCNT bits
    // 15 and 6 set, touching the unit in 0x1F801DA4 raises the flag once, until
    // a write of SPUCNT with bit 6 clear acknowledges it. The host's function
    // is called later, at the end of the tick or transfer (irqCallPending).
    void Touch(uint32_t unit) const {
        if ((unit & 0xFFFF) != Img(reg::kIrqAddress)) return;
        if ((Img(reg::kControl) & 0x8040) != 0x8040) return;
        if (state->irqFlag) return;
        state->irqFlag = 1;
        state->irqCallPending = 1;
    }
};

}  // namespace zarn::console
