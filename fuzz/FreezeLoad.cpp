// Fuzz target: SPUfreeze loads a save state made of the input, then the
// plugin renders from it and saves again. The input fills the record's XA
// block header (32 bytes), its register words (512 bytes), one byte of
// switches (reverb, interrupt, noise and FM, automatic gain, an interrupt
// function, the mix path), then sound RAM from its start; the rest of the
// record is zeros.
#include <cstdint>
#include <memory>

#include "core/SpuCore.h"
#include "fuzz/FuzzInput.h"
#include "plugin/Plugin.h"
#include "settings/DriverSettings.h"
#include "state/FreezeRecord.h"

namespace {
int irqCalls = 0;
void ZARN_CALL CountIrq() { ++irqCalls; }
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zarn::fuzz::UsePrivateSettingsStore();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zarn;
    static const auto record = std::make_unique<FreezeRecord>();
    std::memset(record.get(), 0, sizeof *record);
    fuzz::FuzzInput in(data, size);
    in.TakeInto(&record->xa, offsetof(XaDecodeBlock, samples));
    in.TakeInto(record->registers, sizeof record->registers);
    const uint8_t switches = in.Take<uint8_t>();
    in.TakeInto(record->soundRam, sizeof record->soundRam);

    SPUinit();
    DriverSettings& settings = *plugin::Inspect().settings;
    settings.EnableReverb = switches & 1;
    settings.EnableSpuIrq = switches >> 1 & 1;
    settings.EnableNoiseAndFM = switches >> 2 & 1;
    settings.EnableAutoGain = switches >> 3 & 1;
    SPUregisterCallback(switches >> 4 & 1 ? CountIrq : nullptr);
    plugin::Inspect().core->standard.mixPath = static_cast<MixPath>((switches >> 5) % 3);
    SPUfreeze(0, record.get());
    int16_t frames[2 * 1024];
    SPUrender(frames, sizeof frames);
    SPUfreeze(1, record.get());
    SPUregisterCallback(nullptr);
    SPUshutdown();
    return 0;
}
