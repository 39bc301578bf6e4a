// Save-state cost: one save (clear, header, 512 KiB of sound RAM and the
// registers) and one load (the copies and the replay of all 256 registers).
//
//   build/native/bench/spuzarn_bench --benchmark_filter=Freeze
#include <benchmark/benchmark.h>

#include <memory>

#include "core/SpuCore.h"
#include "state/FreezeRecord.h"
#include "support/TestSettings.h"

namespace {

using zarn::FreezeRecord;
using zarn::SpuCore;

void FreezeSave(benchmark::State& state) {
    zarn::test::TestSettings settings;
    auto spu = std::make_unique<SpuCore>(settings);
    auto record = std::make_unique<FreezeRecord>();
    for (auto _ : state) {
        zarn::SaveFreeze(*spu, *record, true);
        benchmark::DoNotOptimize(record->soundRam[1000]);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sizeof(FreezeRecord)));
}
BENCHMARK(FreezeSave)->Unit(benchmark::kMicrosecond);

void FreezeLoad(benchmark::State& state) {
    zarn::test::TestSettings settings;
    auto spu = std::make_unique<SpuCore>(settings);
    spu->DecodeRegisterWrite(0x1F801D88, 0xFFFF);  // the replay keys 16 voices on
    auto record = std::make_unique<FreezeRecord>();
    zarn::SaveFreeze(*spu, *record, true);
    for (auto _ : state) {
        zarn::LoadFreeze(*spu, *record);
        benchmark::DoNotOptimize(spu->soundRam[1000]);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sizeof(FreezeRecord)));
}
BENCHMARK(FreezeLoad)->Unit(benchmark::kMicrosecond);

}  // namespace
