// Fuzz target: SPUfreeze loads a save state made of the input, in either
// sound model, then the plugin renders and saves into a buffer of the size
// its size query answers. The input: a byte of switches (reverb, interrupt,
// noise and FM, automatic gain, an interrupt function, the mix path in two
// bits, the console model), the record's first 16 bytes (its size field sets
// its length: RecordBytes), its XA block header (32 bytes), its registers
// (512), past a base record's end the first 2,824 bytes there (an extension
// but for its queued XA frames), then sound RAM; zeros after.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/SpuCore.h"
#include "fuzz/FuzzInput.h"
#include "plugin/Plugin.h"
#include "settings/DriverSettings.h"
#include "state/FreezeRecord.h"

namespace {
int irqCalls = 0;
void ZARN_CALL CountIrq() { ++irqCalls; }
constexpr size_t kExtensionFields = 2824;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zarn::fuzz::UsePrivateSettingsStore();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zarn;
    fuzz::FuzzInput in(data, size);
    const uint8_t switches = in.Take<uint8_t>();
    uint8_t header[16] = {};
    in.TakeInto(header, sizeof header);
    std::vector<uint8_t> bytes(fuzz::RecordBytes(header));
    auto* const record = reinterpret_cast<FreezeRecord*>(bytes.data());
    std::copy_n(header, sizeof header, bytes.begin());
    in.TakeInto(&record->xa, offsetof(XaDecodeBlock, samples));
    in.TakeInto(record->registers, sizeof record->registers);
    in.TakeInto(&bytes[FreezeRecord::kSize], std::min(bytes.size() - FreezeRecord::kSize, kExtensionFields));
    in.TakeInto(record->soundRam, sizeof record->soundRam);

    SPUinit();
    DriverSettings& settings = *plugin::Inspect().settings;
    settings.EnableReverb = switches & 1;
    settings.EnableSpuIrq = switches >> 1 & 1;
    settings.EnableNoiseAndFM = switches >> 2 & 1;
    settings.EnableAutoGain = switches >> 3 & 1;
    SPUregisterCallback(switches >> 4 & 1 ? CountIrq : nullptr);
    SpuCore& core = *plugin::Inspect().core;
    core.standard.mixPath = core.consoleMixer.path = static_cast<MixPath>((switches >> 5 & 3) % 3);
    core.SwitchModel(switches >> 7 ? kConsole : kStandard);  // as SPUopen does after the stored value changed
    SPUfreeze(0, record);
    int16_t frames[2 * 1024];
    SPUrender(frames, sizeof frames);
    uint8_t query[16];
    SPUfreeze(2, reinterpret_cast<FreezeRecord*>(query));
    std::vector<uint8_t> saved(fuzz::RecordBytes(query));
    SPUfreeze(1, reinterpret_cast<FreezeRecord*>(saved.data()));
    SPUregisterCallback(nullptr);
    SPUshutdown();
    return 0;
}
