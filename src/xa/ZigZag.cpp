#include "xa/ZigZag.h"

#include <algorithm>
#include <iterator>

#include "voice/Arith.h"
#include "voice/ConsoleTables.h"
#include "xa/XaDecodeBlock.h"

namespace zarn::console {

namespace {

constexpr int32_t kZigMask = ConsoleState::kZigTaps - 1;

void ResetStream(ConsoleState& state, int32_t frequency, int32_t channels) {
    std::fill(std::begin(state.zigRingL), std::end(state.zigRingL), int16_t{0});
    std::fill(std::begin(state.zigRingR), std::end(state.zigRingR), int16_t{0});
    state.zigPos = 0;
    state.zigSixStep = ConsoleState::kZigSteps;
    state.zigFrequency = frequency;
    state.zigChannels = channels;
}

}  // namespace

int32_t Zig(const int16_t* ring, int32_t zigPos, int t) {
    int32_t sum = 0;
    for (int i = 1; i <= kZigZagTaps; ++i) sum += (ring[(zigPos - i) & kZigMask] * kZigZag[i - 1][t - 1]) >> 15;
    return Clamp16(sum);
}

void ZigPush(ConsoleState& state, XaRing& xa, int32_t left, int32_t right) {
    state.zigRingL[state.zigPos] = static_cast<int16_t>(left);
    state.zigRingR[state.zigPos] = static_cast<int16_t>(right);
    state.zigPos = (state.zigPos + 1) & kZigMask;
    if (--state.zigSixStep != 0) return;
    state.zigSixStep = ConsoleState::kZigSteps;
    for (int t = 1; t <= kZigZagTables; ++t) {
        // A full ring drops the frame; the history stays fed.
        xa.Push(static_cast<int16_t>(Zig(state.zigRingL, state.zigPos, t)),
                static_cast<int16_t>(Zig(state.zigRingR, state.zigPos, t)));
    }
}

void QueueConsoleBlock(ConsoleState& state, XaRing& xa, const XaDecodeBlock& block) {
    int64_t frames;
    if (!xa.BeginBlock(block, frames)) return;
    const int32_t channels = block.stereo + 1;
    if (block.frequency != state.zigFrequency || channels != state.zigChannels) {
        ResetStream(state, block.frequency, channels);
    }
    if (block.frequency != 37800 && block.frequency != 18900) {
        xa.Hold(block, frames);
        return;
    }
    const int pushes = block.frequency == 18900 ? 2 : 1;  // repeated, the documented filter smooths it
    for (int64_t s = 0; s < frames; ++s) {
        const int16_t left = block.samples[s * channels];
        const int16_t right = block.samples[s * channels + channels - 1];  // mono feeds both sides
        for (int k = 0; k < pushes; ++k) ZigPush(state, xa, left, right);
    }
}

}  // namespace zarn::console
