// The SPU's sizes, each declared once: everything that counts voices, sound
// RAM or registers names one of these.
#pragma once

#include <cstdint>

namespace zarn {

// Output frames per second: the SPU makes one frame per tick of its clock.
constexpr int32_t kFrameRate = 44100;

// Voices 0..23.
constexpr int kVoiceCount = 24;

// Sound RAM: 512 KiB. Byte addresses wrap through the mask.
constexpr uint32_t kRamBytes = 512 * 1024;
constexpr uint32_t kRamMask = kRamBytes - 1;

// The register image: one 16-bit word per even offset 0xC00..0xFFE, since
// only the low 12 bits of an address select a register.
constexpr int kRegisterCount = 512;
// The register block proper, 0x1F801C00..0x1F801DFE: the words a save state
// and a register log hold.
constexpr int kRegisterBlockWords = 256;

static_assert((kRamBytes & kRamMask) == 0, "the mask wraps byte addresses");

}  // namespace zarn
