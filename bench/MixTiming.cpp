// Mixer speed without Google Benchmark, for the Windows builds under Wine
// (and natively, to compare): every scene on every mixer path this
// processor runs. The paths take turns, round after round, and each keeps
// its best round, so a busy machine slows all of them alike. Columns: the
// factor over real time, the ratio to the reference path, the share of
// frames the fast mixer left to MixFrame and its frames per span.
//
//   scripts/wine-run build/windows/mix_timing.exe [rounds [scene [path]]]
//   build/native/mix_timing [rounds [scene [path]]]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Scenes.h"

using namespace zarn;
using bench::Scene;

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
    constexpr int kCalls = 20;  // 14700 frames, a third of a second of sound, per round
    constexpr MixPath kPaths[] = {MixPath::kReference, MixPath::kSse41, MixPath::kAvx2};
    constexpr const char* kPathNames[] = {"reference", "sse4.1", "avx2"};
    std::printf("%-13s %-10s %12s %9s %8s %6s\n", "scene", "path", "x realtime", "vs ref", "exact %", "span");
    for (const bench::SceneKind kind : bench::kSceneKinds) {
        if (argc > 2 && std::strcmp(argv[2], bench::SceneName(kind)) != 0) continue;
        Scene* scenes[3] = {};
        double best[3] = {1e30, 1e30, 1e30};
        for (int p = 0; p < 3; ++p) {
            const bool wanted = argc <= 3 || std::strcmp(argv[3], kPathNames[p]) == 0;
            if (wanted && MixPathSupported(kPaths[p])) scenes[p] = new Scene(kind, kPaths[p]);
        }
        for (int round = -1; round < rounds; ++round) {  // round -1 warms up
            for (int p = 0; p < 3; ++p) {
                if (scenes[p] == nullptr) continue;
                const auto start = std::chrono::steady_clock::now();
                for (int c = 0; c < kCalls; ++c) scenes[p]->RenderCall();
                const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
                if (round >= 0 && took.count() < best[p]) best[p] = took.count();
            }
        }
        const double seconds = kCalls * Scene::kFramesPerCall / 44100.0;
        for (int p = 0; p < 3; ++p) {
            if (scenes[p] == nullptr) continue;
            const FastMixer::Counters& c = scenes[p]->Counters();
            const double all = static_cast<double>(c.spanFrames + c.exactFrames);
            std::printf("%-13s %-10s %12.1f %8.2fx %8.2f %6.1f\n", bench::SceneName(kind), kPathNames[p],
                        seconds / best[p], scenes[0] ? best[0] / best[p] : 0.0,
                        all > 0 ? 100.0 * c.exactFrames / all : 0.0,
                        c.spans > 0 ? static_cast<double>(c.spanFrames) / c.spans : 0.0);
            delete scenes[p];
        }
    }
    return 0;
}
