#include "spu/SpuCore.h"

#include <cstring>

namespace zarn {

SpuCore::SpuCore(const DriverSettings& settings) : xa(settings), cdda(settings), settings_(&settings) {
    // Sound RAM and the register image start cleared (so does the reverb line,
    // by its member initialiser): a fresh core is silent and reads all zeros.
    std::memset(soundRam, 0, sizeof soundRam);
    std::memset(registerImage, 0, sizeof registerImage);
    for (int n = 0; n < kVoiceCount; ++n) {
        voices[n].SetRam(soundRam);
        if (n >= 1) voices[n].SetPrevVoice(&voices[n - 1]);
    }
}

}  // namespace zarn
