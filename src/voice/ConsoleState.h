// The live state of the console sound model: everything that evolves from
// tick to tick. Its configuration is not here: pitches, addresses, ADSR and
// volume words, the per-voice bit masks, SPUCNT and the reverb block are read
// from the register image at the moment they are used.
//
// Construction values are the power-up state the model pins; a model switch
// and a fallback load go back to them by assigning a fresh ConsoleState.
#pragma once

#include <cstdint>

#include "voice/SpuConstants.h"

namespace zarn {

// The sound model a core runs. Only 1 chooses the console model.
enum SoundModel : int32_t { kStandard = 0, kConsole = 1 };

enum ConsolePhase : uint8_t { kConsoleAttack = 0, kConsoleDecay = 1, kConsoleSustain = 2, kConsoleRelease = 3 };

// One of the 24 voices. It never turns off: every voice runs every tick.
struct ConsoleVoice {
    static constexpr int kBlockSamples = 28;  // samples in a 16-byte ADPCM block
    static constexpr int kHistory = 3;        // samples of the previous block the interpolator still needs

    // Bits 12-16: sample index 0..27 in the block; bits 4-11: interpolation
    // index; bits 0-3 unused. 0..0x1BFFF between ticks.
    uint32_t pitchCounter = 0;
    uint16_t blockAddress = 0;   // 8-byte units: the block being played
    uint16_t repeatAddress = 0;  // 8-byte units: the loop target
    uint8_t envelopePhase = kConsoleRelease;
    int16_t envelopeLevel = 0;     // ENVX, 0x7FFF == 1.0
    uint16_t envelopeCounter = 0;  // 0..0x7FFF between ticks; a step when it reaches 0x8000
    uint8_t needDecode = 1;        // decode the block at blockAddress at the start of the next tick
    int16_t volumeLevelL = 0;      // current voice volume, 0x7FFF == 1.0
    int16_t volumeLevelR = 0;
    uint16_t volumeCounterL = 0;  // sweep counters, 0..0x7FFF
    uint16_t volumeCounterR = 0;
    // [0..2]: the last three samples of the previous block, oldest first;
    // [3..30]: the 28 samples of the current block.
    int16_t samples[kHistory + kBlockSamples] = {};
};

class ConsoleState {
public:
    static constexpr int kFirTaps = 64;          // slots in each reverb resampler ring
    static constexpr int kZigTaps = 32;          // slots in each XA zigzag ring
    static constexpr int kZigSteps = 6;          // input samples per group of seven outputs
    static constexpr int kCaptureSlots = 0x200;  // halfwords in each capture area

    ConsoleVoice voices[kVoiceCount];
    uint32_t endx = 0;                 // bit n: voice n reached a block with the end flag (bits 0-23)
    uint8_t irqFlag = 0;               // SPUSTAT bit 6
    uint8_t irqCallPending = 0;        // the host is owed a call at the end of this tick or call; 0 in between
    uint16_t noiseLevel = 0;           // the noise LFSR
    int32_t noiseTimer = 0;            // noise clock, 0..0x1FFFF between ticks
    uint16_t capturePos = 0;           // 0..0x1FF: next capture slot
    uint8_t reverbParity = 0;          // 0: the next tick computes the left reverb side, 1: the right
    uint32_t reverbAddress = 0;        // byte address of the current reverb buffer position
    uint8_t firPos = 0;                // 0..63: next slot of the four resampler rings
    int16_t reverbInL[kFirTaps] = {};  // reverb input at 44,100 Hz
    int16_t reverbInR[kFirTaps] = {};
    int16_t reverbOutL[kFirTaps] = {};  // reverb output at 44,100 Hz, every other slot 0
    int16_t reverbOutR[kFirTaps] = {};
    int16_t mainLevelL = 0;  // current main volume, 0x7FFF == 1.0
    int16_t mainLevelR = 0;
    uint16_t mainCounterL = 0;  // main volume sweep counters, 0..0x7FFF
    uint16_t mainCounterR = 0;
    int16_t zigRingL[kZigTaps] = {};  // XA history at 37,800 Hz
    int16_t zigRingR[kZigTaps] = {};
    int32_t zigPos = 0;              // 0..31: next ring slot
    int32_t zigSixStep = kZigSteps;  // 1..6: inputs left until the next group of outputs
    int32_t zigFrequency = 0;        // the stream the zigzag history belongs to
    int32_t zigChannels = 0;
};

}  // namespace zarn
