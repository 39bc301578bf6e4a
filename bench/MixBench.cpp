// MixFrame throughput. Frames per second are reported as items per second;
// the "realtime" counter is the factor over 44100 frames per second.
#include <benchmark/benchmark.h>

#include <memory>

#include "spu/SpuCore.h"
#include "support/TestSettings.h"

namespace {

using zarn::SpuCore;

void RunFrames(benchmark::State& state, SpuCore& spu) {
    int16_t frame[2];
    for (auto _ : state) {
        spu.MixFrame(frame);
        benchmark::DoNotOptimize(frame);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["realtime"] = benchmark::Counter(static_cast<double>(state.iterations()) / 44100.0,
                                                    benchmark::Counter::kIsRate);
}

void IdleSpu(benchmark::State& state) {
    zarn::test::TestSettings settings;
    auto spu = std::make_unique<SpuCore>(settings);
    RunFrames(state, *spu);
}
BENCHMARK(IdleSpu);

}  // namespace

BENCHMARK_MAIN();
