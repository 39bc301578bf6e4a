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

#include "sound/NoiseRandom.h"
#include "spu/Arith.h"
#include "spu/SpuCore.h"

namespace zarn {

namespace voice_detail {

inline uint8_t BlockByte(const uint8_t* ram, int32_t blockAddress, uint32_t index) {
    return ram[(static_cast<uint32_t>(blockAddress) * 8 + index) & SpuCore::kRamMask];
}

inline int32_t BlockFlags(const uint8_t* ram, int32_t blockAddress) {
    return static_cast<int8_t>(BlockByte(ram, blockAddress, 1));
}

// Prediction filters (f0 for the last output, f1 for the one before), >> 6:
// 0: none, 1: 0.9375 h1, 2: 1.797 h1 - 0.8125 h2, 3: 1.531 h1 - 0.859 h2,
// 4: 1.906 h1 - 0.9375 h2.
constexpr int32_t kFilters[5][2] = {{0, 0}, {60, 0}, {115, -52}, {98, -55}, {122, -60}};

}  // namespace voice_detail

// While the read position has passed the end of the block: check the IRQ
// address against the block just played out, follow its flags, and make the
// next block due for decoding. `irq` is null when interrupts are off.
inline void StepBlocks(SpuVoice& voice, const IrqLine* irq) {
    using voice_detail::BlockFlags;
    while (voice.pitchCounter >= SpuVoice::kBlockEnd) {
        // Same 16-byte block when the addresses differ at most in bit 0.
        if (irq != nullptr && ((voice.irqAddress ^ voice.blockAddress) & ~1) == 0) {
            irq->handler(irq->context);
            // The host may key this voice on again from its interrupt function
            // (the lock is recursive): playback then starts afresh, and the
            // stepping must not carry the old position into the new sound.
            if (voice.pitchCounter < SpuVoice::kBlockEnd) return;
        }
        switch (BlockFlags(voice.ram, voice.blockAddress)) {
        case 0:
        case 2:
        case 4:
        case 5:
            voice.blockAddress = wrapAdd(voice.blockAddress, 2);
            break;
        case 1:
        case 7:
            voice.envelopePhase = kOff;
            voice.blockAddress = wrapAdd(voice.blockAddress, 2);
            break;
        case 3:
            voice.blockAddress = voice.repeatAddress;
            break;
        case 6:
            voice.repeatAddress = voice.blockAddress;
            voice.blockAddress = wrapAdd(voice.blockAddress, 2);
            break;
        default:  // 8..127 or negative: the sound stops where it is
            voice.envelopePhase = kOff;
            break;
        }
        // A block flagged 7 is never entered: the one before it plays again.
        if (BlockFlags(voice.ram, voice.blockAddress) == 7) {
            voice.blockAddress = wrapSub(voice.blockAddress, 2);
        }
        voice.pitchCounter -= SpuVoice::kBlockEnd;
        voice.needDecode = 1;
    }
}

namespace voice_detail {

// The 28 samples of one block with the filter's coefficients known at compile
// time, which shortens the multiply chain that each sample waits for.
template <int32_t f0, int32_t f1>
inline void DecodeSamples(const uint8_t* block, int shift, int32_t* out, int32_t& h1, int32_t& h2) {
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

// Decodes the block at blockAddress into samples[1..28]; samples[0] keeps the
// previous block's last sample for the interpolation. The outputs and the
// filter history are not clamped, so they wrap at 32 bits.
inline void DecodeBlock(SpuVoice& voice) {
    using namespace voice_detail;
    voice.samples[0] = voice.samples[SpuVoice::kBlockSamples];
    // The block's 16 bytes; only the block at unit 0xFFFF runs past the end
    // of sound RAM and is gathered with its addresses wrapped.
    const uint32_t start = static_cast<uint32_t>(voice.blockAddress) * 8 & SpuCore::kRamMask;
    uint8_t wrapped[16];
    const uint8_t* block = voice.ram + start;
    if (start > SpuCore::kRamBytes - 16) {
        for (uint32_t i = 0; i < 16; ++i) wrapped[i] = BlockByte(voice.ram, voice.blockAddress, i);
        block = wrapped;
    }
    const int shift = block[0] & 0x0F;
    int32_t h1 = voice.history1;
    int32_t h2 = voice.history2;
    int32_t* out = voice.samples + 1;
    // Filter numbers beyond the table (header bytes 0x50-0xFF) predict nothing.
    switch (static_cast<int8_t>(block[0]) >> 4) {
    case 1: DecodeSamples<kFilters[1][0], kFilters[1][1]>(block, shift, out, h1, h2); break;
    case 2: DecodeSamples<kFilters[2][0], kFilters[2][1]>(block, shift, out, h1, h2); break;
    case 3: DecodeSamples<kFilters[3][0], kFilters[3][1]>(block, shift, out, h1, h2); break;
    case 4: DecodeSamples<kFilters[4][0], kFilters[4][1]>(block, shift, out, h1, h2); break;
    default: DecodeSamples<kFilters[0][0], kFilters[0][1]>(block, shift, out, h1, h2); break;
    }
    voice.history1 = h1;
    voice.history2 = h2;
    voice.needDecode = 0;
}

// The frame's sample: linear interpolation between the two samples around the
// read position, or, with noise on, the held noise value.
inline int32_t ReadSample(SpuVoice& voice, bool noiseAndFmOn) {
    const int32_t index = voice.pitchCounter >> 12;  // 0..27
    const int32_t fraction = voice.pitchCounter & 0xFFF;
    const int32_t s0 = voice.samples[index];
    const int32_t s1 = voice.samples[index + 1];
    int32_t sample = wrapAdd(s0, wrapMul(wrapSub(s1, s0), fraction) >> 12);

    if (noiseAndFmOn && voice.noiseEnabled != 0) {
        // Sample and hold: a new random value noiseRate times per second,
        // heard from the next frame on. When noiseRate x noiseCounter would
        // leave 32 bits the count starts again, keeping the average rate.
        sample = voice.noiseValue;
        const int64_t counter = static_cast<int64_t>(voice.noiseCounter) + 1;
        if (counter * voice.noiseRate > INT32_MAX || counter > INT32_MAX) {
            voice.noiseCounter = 0;
            voice.noiseTick = 0;
        } else {
            voice.noiseCounter = static_cast<int32_t>(counter);
        }
        const int32_t tick = voice.noiseRate * voice.noiseCounter / 44100;
        if (tick != voice.noiseTick) {
            voice.noiseTick = tick;
            voice.noiseValue = (NextNoiseRandom() * 49152 - 805281792) / 32767;  // -24576..24576
        }
    }
    return sample;
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
