#include "voice/NoiseRandom.h"

namespace zarn {

namespace {
thread_local uint32_t noiseState = 1;
}

int32_t NextNoiseRandom() {
    noiseState = noiseState * 214013u + 2531011u;  // modulo 2^32
    return static_cast<int32_t>((noiseState >> 16) & 0x7FFF);
}

uint32_t NoiseRandomState() { return noiseState; }

void SetNoiseRandomState(uint32_t state) { noiseState = state; }

}  // namespace zarn
