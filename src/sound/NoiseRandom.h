// The noise generator's random source: the classic runtime linear
// congruential generator, with one state per thread that starts at 1 on the
// thread's first draw and is never reseeded. Being our own, it gives the same
// sequence on every platform.
#pragma once

#include <cstdint>

namespace zarn {

// Next value, 0..32767.
int32_t NextNoiseRandom();

}  // namespace zarn
