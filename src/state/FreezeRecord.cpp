#include "state/FreezeRecord.h"

#include <cstring>

#include "spu/RegisterMap.h"
#include "spu/SpuCore.h"

namespace zarn {

void WriteFreezeHeader(uint8_t* record) {
    const uint32_t version = FreezeRecord::kVersion;
    const uint32_t size = FreezeRecord::kSize;
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
    // Key-on publishes voice status into words replayed later (the activity
    // words), so each word is read only when its turn comes.
    for (int i = 0; i < FreezeRecord::kRegisterWords; ++i) {
        const uint32_t address = reg::kFirst + 2 * i;
        if (address == reg::kTransferData) {
            // The data word is the game's last one, long since in sound RAM.
            // Stored again it would land at the replayed transfer address,
            // after a usual upload the upload's first halfword (an ADPCM
            // block header: a looping voice stopped over it). Sound RAM stays
            // the record's; the address moves on by 2 as the write would
            // have moved it, which a read does without storing.
            spu.ReadTransfer();
            continue;
        }
        spu.DecodeRegisterWrite(address, spu.RegisterImage()[i]);
    }
}

const XaDecodeBlock* FreezeXaBlock(const FreezeRecord& record) {
    const XaDecodeBlock& xa = record.xa;
    if (xa.stereo != 0 && xa.stereo != 1) return nullptr;
    if (xa.sampleCount < 1 || xa.sampleCount > 4032) return nullptr;
    return &xa;
}

}  // namespace zarn
