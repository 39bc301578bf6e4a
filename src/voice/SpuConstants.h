// The SPU's sizes and its ADPCM prediction filters, each declared once:
// everything that counts voices, sound RAM or registers, and every ADPCM
// decoder and encoder, names one of these.
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

// ADPCM prediction filters 0-4, in 1/64: f0 (first) weights the last
// output, f1 the one before it. 0: none, 1: 0.9375 h1, 2: 1.797 h1 -
// 0.8125 h2, 3: 1.531 h1 - 0.859 h2, 4: 1.906 h1 - 0.9375 h2.
constexpr int kPredictionFilters = 5;
constexpr int32_t kPrediction[kPredictionFilters][2] = {{0, 0}, {60, 0}, {115, -52}, {98, -55}, {122, -60}};

static_assert((kRamBytes & kRamMask) == 0, "the mask wraps byte addresses");

}  // namespace zarn
