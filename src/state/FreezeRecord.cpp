#include "state/FreezeRecord.h"

#include <cstring>

#include "core/SpuCore.h"

namespace zarn {

void WriteFreezeHeader(uint8_t* record, uint32_t size) {
    const uint32_t version = FreezeRecord::kVersion;
    std::memcpy(record + offsetof(FreezeRecord, name), "TOVRA", 6);  // with its terminating zero
    std::memcpy(record + offsetof(FreezeRecord, version), &version, 4);
    std::memcpy(record + offsetof(FreezeRecord, size), &size, 4);
}

void SaveFreeze(SpuCore& spu, FreezeRecord& record, bool clear) {
    if (clear) std::memset(&record, 0, sizeof record);
    WriteFreezeHeader(reinterpret_cast<uint8_t*>(&record));
    std::memcpy(record.soundRam, spu.SoundRam(), sizeof record.soundRam);
    std::memcpy(record.registers, spu.RegisterImage(), sizeof record.registers);
}

void LoadFreeze(SpuCore& spu, const FreezeRecord& record) {
    std::memcpy(spu.SoundRam(), record.soundRam, sizeof record.soundRam);
    std::memcpy(spu.RegisterImage(), record.registers, sizeof record.registers);
    spu.ReplayRegisterImage();
}

const XaDecodeBlock* FreezeXaBlock(const FreezeRecord& record) {
    const XaDecodeBlock& xa = record.xa;
    if (xa.stereo != 0 && xa.stereo != 1) return nullptr;
    if (xa.sampleCount < 1 || xa.sampleCount > 4032) return nullptr;
    return &xa;
}

}  // namespace zarn
