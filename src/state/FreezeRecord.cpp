#include "state/FreezeRecord.h"

#include <cstring>

#include "spu/SpuCore.h"

namespace zarn {

namespace {
constexpr uint32_t kFirstRegister = 0x1F801C00;
}

void WriteFreezeHeader(FreezeRecord& record) {
    std::memcpy(record.name, "TOVRA", 6);  // with its terminating zero
    record.version = FreezeRecord::kVersion;
    record.size = FreezeRecord::kSize;
}

void SaveFreeze(SpuCore& spu, FreezeRecord& record, bool clear) {
    if (clear) std::memset(&record, 0, sizeof record);
    WriteFreezeHeader(record);
    std::memcpy(record.soundRam, spu.SoundRam(), sizeof record.soundRam);
    std::memcpy(record.registers, spu.RegisterImage(), sizeof record.registers);
}

void LoadFreeze(SpuCore& spu, const FreezeRecord& record) {
    std::memcpy(spu.SoundRam(), record.soundRam, sizeof record.soundRam);
    std::memcpy(spu.RegisterImage(), record.registers, sizeof record.registers);
    // Key-on publishes voice status into words replayed later (the activity
    // words), so each word is read only when its turn comes.
    for (int i = 0; i < FreezeRecord::kRegisterWords; ++i) {
        spu.DecodeRegisterWrite(kFirstRegister + 2 * i, spu.RegisterImage()[i]);
    }
}

const XaDecodeBlock* FreezeXaBlock(const FreezeRecord& record) {
    const XaDecodeBlock& xa = record.xa;
    if (xa.stereo != 0 && xa.stereo != 1) return nullptr;
    if (xa.sampleCount < 1 || xa.sampleCount > 4032) return nullptr;
    return &xa;
}

}  // namespace zarn
