// The linear four-phase volume envelope, stepped once per output frame.
//
// envelopeLevel: full scale 0x7FFFFF. envelopeVolume = level >> 8 is the
// 15-bit volume that scales the voice's samples (and the value of its
// envelope-volume register); it reads at least 1 while the level is not 0.
// The step of each phase comes from SpuVoice::AttackStep() and its siblings.
#pragma once

#include "voice/SpuVoice.h"

namespace zarn {

inline void EnvelopeStep(SpuVoice& voice) {
    constexpr int32_t kDecayStart = 6710884;  // 0x666664, four fifths of full scale
    // Phases keep the level within -1..0x7FFFFF plus one step, so this
    // sum never leaves 32 bits.
    int32_t level = voice.envelopeLevel + voice.envelopeStep;
    switch (voice.envelopePhase) {
    case kOff: level = 0; break;
    case kAttack:
        if (level >= SpuVoice::kFullScale) {
            level = kDecayStart;
            voice.envelopePhase = kDecay;
            voice.envelopeStep = voice.DecayStep();
        }
        break;
    case kDecay: {
        const int32_t target = voice.SustainTarget();
        if (level <= target) {
            level = target;
            voice.envelopePhase = kSustain;
            voice.envelopeStep = voice.SustainStep();
        }
        break;
    }
    case kSustain:
        if (level >= SpuVoice::kFullScale) {
            level = SpuVoice::kFullScale;
        } else if (level <= 0) {
            level = 0;
            voice.envelopePhase = kOff;
        }
        break;
    case kRelease:
        if (level <= 0) {
            level = 0;
            voice.envelopePhase = kOff;
        }
        break;
    }
    voice.envelopeLevel = level;
    const int32_t volume = level >> 8;
    voice.envelopeVolume = (volume == 0 && level != 0) ? 1 : volume;
}

}  // namespace zarn
