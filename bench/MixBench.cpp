// MixFrame throughput. Frames per second are reported as items per second;
// the "realtime" counter is the factor over 44100 frames per second (1x).
//
//   build/native/bench/spuzarn_bench --benchmark_filter=Mix
#include <benchmark/benchmark.h>

#include <memory>

#include "spu/SpuCore.h"
#include "support/Adpcm.h"
#include "support/TestSettings.h"
#include "xa/XaDecodeBlock.h"

namespace {

using zarn::SpuCore;

struct Scene {
    zarn::test::TestSettings settings;
    std::unique_ptr<SpuCore> spu;
    std::unique_ptr<zarn::XaDecodeBlock> xa = std::make_unique<zarn::XaDecodeBlock>();
    bool feedXa = false;

    void Write(uint32_t address, uint32_t value) { spu->DecodeRegisterWrite(address, value); }
};

// 24 voices on looping chains of four blocks with every filter, pitches from
// 0x0800 to 0x3E00, sweeping volumes; voices 4-7 play noise and 8-15 are
// pitch-modulated.
void BuildBusyScene(Scene& scene, bool reverbAndXa) {
    scene.settings.EnableReverb = reverbAndXa;
    scene.settings.EnableAutoGain = 1;
    scene.spu = std::make_unique<SpuCore>(scene.settings);
    SpuCore& spu = *scene.spu;
    for (int n = 0; n < SpuCore::kVoiceCount; ++n) {
        const uint32_t unit = 0x100 + 8 * n;
        for (int b = 0; b < 4; ++b) {
            std::array<uint8_t, 28> nibbles{};
            for (int i = 0; i < 28; ++i) nibbles[i] = static_cast<uint8_t>((i * (n + 3) + b) & 0xF);
            const uint8_t flags = b == 0 ? 6 : b == 3 ? 3 : 2;
            zarn::test::WriteBlock(spu, unit + 2 * b, static_cast<uint8_t>(((n + b) % 5) << 4 | (4 + b)), flags, nibbles);
        }
        const uint32_t voice = 0x1F801C00 + 16 * n;
        scene.Write(voice + 0x0, n % 2 ? 0x8000 | 0x0010 : 0x2000);   // sweep up or fixed
        scene.Write(voice + 0x2, n % 3 ? 0xA000 | 0x0008 : 0x1800);   // sweep down or fixed
        scene.Write(voice + 0x4, 0x0800 + 0x0180 * n);
        scene.Write(voice + 0x6, unit);
        scene.Write(voice + 0x8, 0x0A3F);  // attack 10, decay 3, sustain level 15
        scene.Write(voice + 0xA, 0x0000 | 126 << 6 | 5);  // slowly rising sustain
    }
    scene.Write(0x1F801D80, 0x3FFF);
    scene.Write(0x1F801D82, 0x3FFF);
    scene.Write(0x1F801D84, 0x2000);
    scene.Write(0x1F801D86, 0x2000);
    scene.Write(0x1F801DAA, 0x2000);  // noise clock 32
    scene.Write(0x1F801D94, 0x00F0);
    scene.Write(0x1F801D90, 0xFF00);
    scene.Write(0x1F801D98, 0xFFFF);
    scene.Write(0x1F801D9A, 0x00FF);
    scene.Write(0x1F801DB0, 0x3000);
    scene.Write(0x1F801DB2, 0x3000);
    scene.Write(0x1F801D88, 0xFFFF);
    scene.Write(0x1F801D8A, 0x00FF);
    if (reverbAndXa) {
        *scene.xa = {};
        scene.xa->frequency = 37800;
        scene.xa->stereo = 1;
        scene.xa->sampleCount = 4032;
        for (int i = 0; i < 8064; ++i) scene.xa->samples[i] = static_cast<int16_t>(i * 37);
        scene.feedXa = true;
    }
}

void RunFrames(benchmark::State& state, Scene& scene) {
    int16_t frame[2];
    for (auto _ : state) {
        if (scene.feedXa && scene.spu->xa.QueuedSamples() < 2) scene.spu->xa.QueueBlock(*scene.xa);
        scene.spu->MixFrame(frame);
        benchmark::DoNotOptimize(frame);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations()) / 44100.0, benchmark::Counter::kIsRate);
}

void MixAllVoicesReverbXa(benchmark::State& state) {
    Scene scene;
    BuildBusyScene(scene, true);
    RunFrames(state, scene);
}
BENCHMARK(MixAllVoicesReverbXa);

void MixAllVoicesDry(benchmark::State& state) {
    Scene scene;
    BuildBusyScene(scene, false);
    RunFrames(state, scene);
}
BENCHMARK(MixAllVoicesDry);

void MixIdle(benchmark::State& state) {
    Scene scene;
    scene.spu = std::make_unique<SpuCore>(scene.settings);
    RunFrames(state, scene);
}
BENCHMARK(MixIdle);

}  // namespace
