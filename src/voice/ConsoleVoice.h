// A console-model voice: ADPCM blocks, the pitch counter, four-point
// interpolation, key on and key off; and the noise generator all voices
// share.
//
// ADPCM block (16 bytes, 2 units), every byte read at (address + k) & 0x7FFFF:
//   byte 0   bits 0-3 shift (13-15 act as 9), bits 4-6 filter, bit 7 unused
//   byte 1   flags: bit 0 loop end, bit 1 loop repeat, bit 2 loop start
//   2..15    28 four-bit samples, low nibble first
#pragma once

#include <cstdint>

#include "voice/ConsoleBus.h"

namespace zarn::console {

constexpr uint16_t kBlockUnits = 2;                                       // 16 bytes
constexpr uint32_t kCounterPerBlock = ConsoleVoice::kBlockSamples << 12;  // 0x1C000: the pitch counter's range
constexpr uint32_t kMaxStep = 0x4000;                                     // 4 samples a tick at most

// The shift of a block header (bits 0-3). QUESTION: 13-15 act as 9, as in
// CD-XA headers; the SPU's is "reportedly the same".
inline int BlockShift(uint8_t header) { return (header & 0x0F) > 12 ? 9 : header & 0x0F; }

// The 28 samples of the block at `unit` into samples[3..30], the prediction
// running on from samples[1..2].
void DecodeSamples(const uint8_t* ram, uint16_t unit, int16_t* samples);

// Voice v's block at blockAddress into samples[3..30], after moving the last
// three samples of the previous block to samples[0..2]; the prediction runs on
// from them. A loop-start flag makes this block the repeat address.
void DecodeBlock(const ConsoleBus& bus, int v);

// Byte k of the block at `unit`.
inline uint32_t BlockByte(uint16_t unit, uint32_t k) { return (unit * 8u + k) & kRamMask; }
// The flags of a block (byte 1): bit 0 loop end, bit 1 loop repeat, bit 2
// loop start.
constexpr uint8_t kLoopEnd = 1, kLoopRepeat = 2, kLoopStart = 4;

// The pitch counter has passed voice v's last sample: the flags the block
// holds in RAM now decide where the voice goes. Loop end jumps to the repeat
// address and sets ENDX, and without the repeat flag also silences the
// envelope; otherwise the next block follows. Either way it is decoded at the
// next tick.
void BlockEnd(const ConsoleBus& bus, int v);

// Voice v's sample at its pitch counter from the four samples around it, in
// the range +-0x7F87.
int32_t Interpolate(const ConsoleVoice& voice);

// The advance of a voice's pitch counter in one tick: its pitch register,
// scaled by `previousOut` (the output of the voice before it in this tick)
// when `modulated`, and limited to 4 samples.
uint32_t PitchStep(uint32_t pitch, bool modulated, int32_t previousOut);

// Advances voice v's pitch counter by its pitch, modulated by `previousOut`
// (the output of voice v - 1 in this tick) when its bit in 0x1F801D90/92 is
// set, and limited to 4 samples a tick. Ends the block when the counter
// passes sample 27.
void AdvancePitch(const ConsoleBus& bus, int v, int32_t previousOut);

// One tick of the noise generator, clocked by SPUCNT `ctl` bits 8-13.
void NoiseTick(ConsoleState& state, uint32_t ctl);
// The same on a level and a timer of its own.
void NoiseStep(uint16_t& noiseLevel, int32_t& noiseTimer, uint32_t ctl);

// Key on of voice v: a fresh start at its start address with cleared
// history, attack from level 0, ENDX cleared. Ignored while SPUCNT bit 15 is
// clear. The repeat address, the volumes and their sweeps are kept.
void KeyOn(const ConsoleBus& bus, int v);
// Key off: release from wherever the envelope is.
void KeyOff(ConsoleState& state, int v);

}  // namespace zarn::console
