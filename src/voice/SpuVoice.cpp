#include "voice/SpuVoice.h"

namespace zarn {

void SpuVoice::KeyOn() {
    // Only playback restarts: the level, the decoded samples, the filter
    // history, the repeat address and the volumes carry over.
    active = 1;
    needDecode = 1;
    envelopePhase = kAttack;
    blockAddress = startAddress;
    pitchCounter = 0x1000;
    envelopeStep = AttackStep();
    if (envelopeVolume == 0) envelopeVolume = 1;  // reads non-zero at once
}

void SpuVoice::KeyOff() {
    if (envelopePhase == kOff) return;
    envelopePhase = kRelease;
    envelopeStep = ReleaseStep();
}

int32_t SpuVoice::PhaseStep() const {
    switch (envelopePhase) {
    case kAttack: return AttackStep();
    case kDecay: return DecayStep();
    case kSustain: return SustainStep();
    case kRelease: return ReleaseStep();
    default: return 0;
    }
}

}  // namespace zarn
