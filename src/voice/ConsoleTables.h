// The fixed tables of the console model, as the hardware documentation prints
// them. ConsoleTables.cpp checks each one against the sums the documentation
// states, at compile time.
#pragma once

#include <cstdint>

namespace zarn::console {

// Four-point interpolation weights, 0x8000 == 1.0. For interpolation index i
// (0..0xFF) the oldest sample takes G[0xFF - i], the next G[0x1FF - i], the
// next G[0x100 + i] and the newest G[i]; each group of four sums to about
// 0x7F80.
constexpr int kInterpolationSize = 512;
extern const int16_t G[kInterpolationSize];

// The half-band filter that resamples the reverb between 44,100 Hz and
// 22,050 Hz: 39 taps, centre tap H[19] = 0x4000, sum 0x7FFE (unity at 0x8000).
constexpr int kReverbTaps = 39;
extern const int16_t H[kReverbTaps];

// The seven XA zigzag tables that turn six 37,800 Hz samples into seven
// 44,100 Hz ones. kZigZag[i - 1][t - 1] weights the i-th newest sample
// (i = 1..29) for output t (1..7), in 1/0x8000, laid out as the
// documentation prints it; each table (column) sums to about 0x7400, a DC
// gain of 0.904.
constexpr int kZigZagTables = 7;
constexpr int kZigZagTaps = 29;
extern const int16_t kZigZag[kZigZagTaps][kZigZagTables];

// ADPCM prediction, in 1/64: f0 weights the previous sample, f1 the one
// before it. Indexed by the block header's 3-bit filter number.
struct AdpcmFilter {
    int8_t f0, f1;
};
constexpr int kAdpcmFilters = 8;
extern const AdpcmFilter kAdpcmFilter[kAdpcmFilters];

}  // namespace zarn::console
