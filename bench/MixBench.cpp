// Mixer throughput, every scene on every mixer path side by side. Each
// iteration is one host call of 735 frames; "realtime" is the factor over
// 44100 frames per second and "exact" the share of frames the fast mixer left
// to MixFrame. Compare the paths of one scene within one run:
//
//   build/native/bench/spuzarn_bench --benchmark_filter=Mix
#include <benchmark/benchmark.h>

#include "Scenes.h"

namespace {

using zarn::MixPath;
using zarn::bench::Scene;
using zarn::bench::SceneKind;

void Mix(benchmark::State& state, SceneKind kind) {
    const auto path = static_cast<MixPath>(state.range(0));
    if (!zarn::MixPathSupported(path)) {
        state.SkipWithError("not supported by this processor");
        return;
    }
    Scene scene(kind, path);
    for (auto _ : state) scene.RenderCall();
    const double frames = static_cast<double>(state.iterations()) * Scene::kFramesPerCall;
    state.SetItemsProcessed(static_cast<int64_t>(frames));
    state.counters["realtime"] = benchmark::Counter(frames / 44100.0, benchmark::Counter::kIsRate);
    if (path != MixPath::kReference) state.counters["exact"] = static_cast<double>(scene.Share().exactFrames) / frames;
}

void Paths(benchmark::internal::Benchmark* b) {
    b->ArgName("path");
    for (const MixPath path : {MixPath::kReference, MixPath::kSse41, MixPath::kAvx2}) b->Arg(static_cast<int>(path));
    b->Unit(benchmark::kMicrosecond);
}

BENCHMARK_CAPTURE(Mix, music, SceneKind::kMusic)->Apply(Paths);
BENCHMARK_CAPTURE(Mix, music_1ms, SceneKind::kMusicPasses)->Apply(Paths);
BENCHMARK_CAPTURE(Mix, interrupts, SceneKind::kInterrupts)->Apply(Paths);
BENCHMARK_CAPTURE(Mix, storm, SceneKind::kStorm)->Apply(Paths);
BENCHMARK_CAPTURE(Mix, varied_pitch, SceneKind::kVariedPitch)->Apply(Paths);
BENCHMARK_CAPTURE(Mix, busy, SceneKind::kBusy)->Apply(Paths);
BENCHMARK_CAPTURE(Mix, idle, SceneKind::kIdle)->Apply(Paths);
BENCHMARK_CAPTURE(Mix, console, SceneKind::kConsole)->Apply(Paths);
BENCHMARK_CAPTURE(Mix, console_1ms, SceneKind::kConsolePasses)->Apply(Paths);

}  // namespace
