// Mixer speed without Google Benchmark, for the Windows builds under Wine
// (and natively, to compare): every scene on every mixer path this
// processor runs. All scenes and paths chosen take turns, round after round,
// and each keeps its best round, so a busy machine slows all of them alike
// and any two rows compare. Columns: the factor over real time, the ratio to
// the reference path of the scene, the share of frames the fast mixer left
// to the per-frame reference (MixFrame, ConsoleTick) and its frames per span.
//
//   scripts/wine-run build/windows/mix_timing.exe [rounds [scene[,scene...] [path]]]
//   build/native/mix_timing [rounds [scene[,scene...] [path]]]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Scenes.h"

using namespace zarn;
using bench::Scene;

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
    constexpr int kCalls = 20;  // 14700 frames, a third of a second of sound, per round
    constexpr MixPath kPaths[] = {MixPath::kReference, MixPath::kSse41, MixPath::kAvx2};
    constexpr const char* kPathNames[] = {"reference", "sse4.1", "avx2"};
    struct Row {
        bench::SceneKind kind;
        int path;
        std::unique_ptr<Scene> scene;
        double best = 1e30;
    };
    std::vector<Row> rows;
    for (const bench::SceneKind kind : bench::kSceneKinds) {
        if (argc > 2 && ("," + std::string(argv[2]) + ",").find("," + std::string(bench::SceneName(kind)) + ",") ==
                            std::string::npos)
            continue;
        for (int p = 0; p < 3; ++p) {
            const bool wanted = argc <= 3 || std::strcmp(argv[3], kPathNames[p]) == 0;
            if (wanted && MixPathSupported(kPaths[p]))
                rows.push_back({kind, p, std::make_unique<Scene>(kind, kPaths[p])});
        }
    }
    for (int round = -1; round < rounds; ++round) {  // round -1 warms up
        for (Row& row : rows) {
            const auto start = std::chrono::steady_clock::now();
            for (int c = 0; c < kCalls; ++c) row.scene->RenderCall();
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            if (round >= 0 && took.count() < row.best) row.best = took.count();
        }
    }
    const double seconds = kCalls * Scene::kFramesPerCall / 44100.0;
    std::printf("%-13s %-10s %12s %9s %8s %6s\n", "scene", "path", "x realtime", "vs ref", "exact %", "span");
    for (const Row& row : rows) {
        double reference = 0;
        for (const Row& other : rows) {
            if (other.kind == row.kind && other.path == 0) reference = other.best;
        }
        const bench::MixShare c = row.scene->Share();
        const double all = static_cast<double>(c.spanFrames + c.exactFrames);
        std::printf("%-13s %-10s %12.1f %8.2fx %8.2f %6.1f\n", bench::SceneName(row.kind), kPathNames[row.path],
                    seconds / row.best, reference > 0 ? reference / row.best : 0.0,
                    all > 0 ? 100.0 * c.exactFrames / all : 0.0,
                    c.spans > 0 ? static_cast<double>(c.spanFrames) / c.spans : 0.0);
    }
    return 0;
}
