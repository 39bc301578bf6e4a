// Per-frame sample generation of one voice: block stepping under the blocks'
// flag bytes (with the IRQ trigger), ADPCM decoding, interpolated reading,
// noise and pitch advance. MixFrame runs them, under the SPU lock, for every
// voice that is not Off.
//
// ADPCM block, 16 bytes in sound RAM:
//   byte 0     bits 0-3 shift, bits 4-7 filter (the byte taken signed, >> 4)
//   byte 1     flags: 0,2,4,5 next | 1,7 end | 3 jump to repeat |
//              6 set repeat, next | any other value: stop where it is
//   bytes 2-15 28 four-bit samples, low nibble first
// Addresses are in 8-byte units; a block is 2 units. Blocks are read with
// their byte addresses wrapped into the 512 KiB, so a chain that runs off the
// end of sound RAM continues at its start.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "voice/Arith.h"
#include "voice/IrqLine.h"
#include "voice/NoiseRandom.h"
#include "voice/SpuConstants.h"
#include "voice/SpuVoice.h"

namespace zarn {

namespace voice_detail {

inline uint8_t BlockByte(const uint8_t* ram, int32_t blockAddress, uint32_t index) {
    return ram[(static_cast<uint32_t>(blockAddress) * 8 + index) & kRamMask];
}

inline int32_t BlockFlags(const uint8_t* ram, int32_t blockAddress) {
    return static_cast<int8_t>(BlockByte(ram, blockAddress, 1));
}

// The block's 16 bytes; only the block at unit 0xFFFF runs past the end of
// sound RAM and is gathered into `wrapped` with its addresses wrapped.
inline const uint8_t* BlockData(const uint8_t* ram, int32_t blockAddress, uint8_t (&wrapped)[16]) {
    const uint32_t start = static_cast<uint32_t>(blockAddress) * 8 & kRamMask;
    if (start <= kRamBytes - 16) return ram + start;
    for (uint32_t i = 0; i < 16; ++i) wrapped[i] = BlockByte(ram, blockAddress, i);
    return wrapped;
}

// Filter number of a block header: the byte taken signed, >> 4; numbers
// beyond the table (header bytes 0x50-0xFF) predict nothing, like filter 0.
inline int32_t FilterNumber(uint8_t header) {
    const int32_t filter = static_cast<int8_t>(header) >> 4;
    return filter >= 0 && filter < kPredictionFilters ? filter : 0;
}

}  // namespace voice_detail

// Whether a voice finishing `blockAddress` raises the interrupt: the same
// 16-byte block when the addresses differ at most in bit 0.
inline bool IsIrqBlock(int32_t irqAddress, int32_t blockAddress) { return ((irqAddress ^ blockAddress) & ~1) == 0; }

// Moves from the block just played out to the next one by its flags byte.
// Returns false when the flags end the sound.
inline bool FollowFlags(const uint8_t* ram, int32_t& blockAddress, int32_t& repeatAddress) {
    using voice_detail::BlockFlags;
    bool sounding = true;
    switch (BlockFlags(ram, blockAddress)) {
    case 0:
    case 2:
    case 4:
    case 5: blockAddress = wrapAdd(blockAddress, 2); break;
    case 1:
    case 7:
        sounding = false;
        blockAddress = wrapAdd(blockAddress, 2);
        break;
    case 3: blockAddress = repeatAddress; break;
    case 6:
        repeatAddress = blockAddress;
        blockAddress = wrapAdd(blockAddress, 2);
        break;
    default:  // 8..127 or negative: the sound stops where it is
        sounding = false;
        break;
    }
    // A block flagged 7 is never entered: the one before it plays again.
    if (BlockFlags(ram, blockAddress) == 7) blockAddress = wrapSub(blockAddress, 2);
    return sounding;
}

// While the read position has passed the end of the block: check the IRQ
// address against the block just played out, follow its flags, and make the
// next block due for decoding. `irq` is null when interrupts are off.
inline void StepBlocks(SpuVoice& voice, const IrqLine* irq) {
    while (voice.pitchCounter >= SpuVoice::kBlockEnd) {
        if (irq != nullptr && IsIrqBlock(voice.irqAddress, voice.blockAddress)) {
            irq->handler(irq->context);
            // The host may key this voice on again from its interrupt function
            // (the lock is recursive): playback then starts afresh, and the
            // stepping must not carry the old position into the new sound.
            if (voice.pitchCounter < SpuVoice::kBlockEnd) return;
        }
        if (!FollowFlags(voice.ram, voice.blockAddress, voice.repeatAddress)) voice.envelopePhase = kOff;
        voice.pitchCounter -= SpuVoice::kBlockEnd;
        voice.needDecode = 1;
    }
}

namespace voice_detail {

// The 28 samples of one block with the filter's coefficients known at compile
// time, which shortens the multiply chain that each sample waits for.
template <int32_t f0, int32_t f1>
inline void DecodeNibbles(const uint8_t* block, int shift, int32_t* out, int32_t& h1, int32_t& h2) {
    for (int i = 2; i < 16; ++i) {
        const uint32_t byte = block[i];
        for (const uint32_t nibble : {byte & 0x0F, byte >> 4}) {
            // The nibble in bits 12-15 of a signed 16-bit value, then shifted.
            const int32_t raw = static_cast<int16_t>(static_cast<uint16_t>(nibble << 12)) >> shift;
            const int32_t sample = wrapAdd(raw, wrapAdd(wrapMul(h1, f0), wrapMul(h2, f1)) >> 6);
            h2 = h1;
            h1 = sample;
            *out++ = sample;
        }
    }
}

}  // namespace voice_detail

// Decodes the 28 samples of the block at `blockAddress` into `out`, carrying
// the filter history. The outputs and the history are not clamped, so they
// wrap at 32 bits.
inline void DecodeSamples(const uint8_t* ram, int32_t blockAddress, int32_t& history1, int32_t& history2,
                          int32_t* out) {
    using namespace voice_detail;
    uint8_t wrapped[16];
    const uint8_t* block = BlockData(ram, blockAddress, wrapped);
    const int shift = block[0] & 0x0F;
    int32_t h1 = history1;
    int32_t h2 = history2;
    switch (FilterNumber(block[0])) {
    case 1: DecodeNibbles<kPrediction[1][0], kPrediction[1][1]>(block, shift, out, h1, h2); break;
    case 2: DecodeNibbles<kPrediction[2][0], kPrediction[2][1]>(block, shift, out, h1, h2); break;
    case 3: DecodeNibbles<kPrediction[3][0], kPrediction[3][1]>(block, shift, out, h1, h2); break;
    case 4: DecodeNibbles<kPrediction[4][0], kPrediction[4][1]>(block, shift, out, h1, h2); break;
    default: DecodeNibbles<kPrediction[0][0], kPrediction[0][1]>(block, shift, out, h1, h2); break;
    }
    history1 = h1;
    history2 = h2;
}

// Decodes the block at blockAddress into samples[1..28]; samples[0] keeps the
// previous block's last sample for the interpolation.
inline void DecodeBlock(SpuVoice& voice) {
    voice.samples[0] = voice.samples[SpuVoice::kBlockSamples];
    DecodeSamples(voice.ram, voice.blockAddress, voice.history1, voice.history2, voice.samples + 1);
    voice.needDecode = 0;
}

// One frame of the noise generator: sample and hold, a new random value
// `rate` times per second, heard from the next frame on. Returns the frame's
// sample, the value held before the step. When rate x counter would leave 32
// bits the count starts again, keeping the average rate.
inline int32_t NoiseStep(int32_t& counter, int32_t& tick, int32_t& value, int32_t rate) {
    const int32_t sample = value;
    const int64_t next = static_cast<int64_t>(counter) + 1;
    if (next * rate > INT32_MAX || next > INT32_MAX) {
        counter = 0;
        tick = 0;
    } else {
        counter = static_cast<int32_t>(next);
    }
    const int32_t now = rate * counter / kFrameRate;
    if (now != tick) {
        tick = now;
        value = (NextNoiseRandom() * 49152 - 805281792) / 32767;  // -24576..24576
    }
    return sample;
}

inline int32_t NoiseSample(SpuVoice& voice) {
    return NoiseStep(voice.noiseCounter, voice.noiseTick, voice.noiseValue, voice.noiseRate);
}

// The frame's sample: linear interpolation between the two samples around the
// read position, or, with noise on, the held noise value.
inline int32_t ReadSample(SpuVoice& voice, bool noiseAndFmOn) {
    const int32_t index = voice.pitchCounter >> 12;  // 0..27
    const int32_t fraction = voice.pitchCounter & 0xFFF;
    const int32_t s0 = voice.samples[index];
    const int32_t s1 = voice.samples[index + 1];
    const int32_t sample = wrapAdd(s0, wrapMul(wrapSub(s1, s0), fraction) >> 12);
    return (noiseAndFmOn && voice.noiseEnabled != 0) ? NoiseSample(voice) : sample;
}

// Moves the read position by the pitch, or with pitch modulation by the pitch
// scaled by the previous voice's output of this frame:
// ((lastOutput + 32768) x pitch) >> 15, so a silent modulator plays at pitch.
// Decoded ADPCM overshoots 16 bits, so a modulator below -32768 happens in
// real sound: the step is negative and the position moves backwards. It
// stops at 0, since nothing lies before samples[0].
// The step is within +-65536 and the position below 0x1C000 + 0x10000, so
// the sum cannot overflow.
inline void AdvancePitch(SpuVoice& voice, bool noiseAndFmOn) {
    int32_t step = voice.pitch;
    if (noiseAndFmOn && voice.pitchModulation != 0 && voice.prevVoice != nullptr) {
        step = wrapMul(wrapAdd(voice.prevVoice->lastOutput, 32768), voice.pitch) >> 15;
    }
    const int32_t position = voice.pitchCounter + step;
    voice.pitchCounter = position < 0 ? 0 : position;
}

}  // namespace zarn
