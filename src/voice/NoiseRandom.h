// The noise generator's random source: the classic runtime linear
// congruential generator, with one state per thread that starts at 1 on the
// thread's first draw and is never reseeded. Being our own, it gives the same
// sequence on every platform.
#pragma once

#include <cstdint>

namespace zarn {

// Next value, 0..32767.
int32_t NextNoiseRandom();

// The calling thread's generator state, to go back to a point of its
// sequence: the fast mixer when it mixes a span again, tests that run two
// mixers over the same draws.
uint32_t NoiseRandomState();
void SetNoiseRandomState(uint32_t state);

}  // namespace zarn
