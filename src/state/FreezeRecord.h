// The save-state record exchanged with the host, byte for byte
// (little-endian, 558,640 bytes):
//
//   offset  size     field
//   0       8        name: "TOVRA", a zero byte, two bytes a save clears
//   8       4        version: 1
//   12      4        size: 558,640
//   16      512      registers 0x1F801C00..0x1F801DFE, one 16-bit word each
//   528     524,288  sound RAM
//   524,816 33,824   XA block, as passed to SPUplayADPCMchannel
#pragma once

#include <cstddef>
#include <cstdint>

#include "voice/SpuConstants.h"
#include "xa/XaDecodeBlock.h"

namespace zarn {

class SpuCore;

struct FreezeRecord {
    static constexpr uint32_t kVersion = 1;
    static constexpr uint32_t kSize = 558640;

    char name[8];
    uint32_t version;
    uint32_t size;
    uint16_t registers[kRegisterBlockWords];
    uint8_t soundRam[kRamBytes];
    XaDecodeBlock xa;
};

// The offsets of the layout above, from the named sizes.
static_assert(offsetof(FreezeRecord, name) == 0);
static_assert(offsetof(FreezeRecord, version) == 8);
static_assert(offsetof(FreezeRecord, size) == 12);
static_assert(offsetof(FreezeRecord, registers) == 16);
static_assert(offsetof(FreezeRecord, soundRam) == 16 + 2 * kRegisterBlockWords);
static_assert(offsetof(FreezeRecord, xa) == offsetof(FreezeRecord, soundRam) + kRamBytes);
static_assert(offsetof(FreezeRecord, xa) == 524816);
static_assert(sizeof(FreezeRecord) == offsetof(FreezeRecord, xa) + sizeof(XaDecodeBlock));
static_assert(sizeof(FreezeRecord) == FreezeRecord::kSize);

// Writes name, version and size (558,640 unless told otherwise) into the
// record's first 16 bytes; bytes 6 and 7 of the name are left alone.
// Byte-wise, so a size query may pass any buffer of 16 bytes.
void WriteFreezeHeader(uint8_t* record, uint32_t size = FreezeRecord::kSize);

// Save: the header, sound RAM and the first 256 register-image words. With
// `clear` the whole record is zeroed first (mode 1), so bytes 6 and 7 and the
// XA block are zero.
void SaveFreeze(SpuCore& spu, FreezeRecord& record, bool clear);

// Load: sound RAM and the register words, then every register replayed in
// ascending address order through the ordinary write decoding, each word read
// from the image only when its turn comes (SpuCore::ReplayRegisterImage); the
// transfer-data word stores nothing (sound RAM is exactly the record's) and
// only moves the transfer address on by 2. Only the record's first 558,640
// bytes are read and the header is not examined; the XA block is the
// caller's (see FreezeXaBlock).
void LoadFreeze(SpuCore& spu, const FreezeRecord& record);

// The record's XA block when it may be played: mono or stereo with 1 to 4032
// frames, the most a real XA sector holds. Anything else in a record (which
// comes from outside, and could name more samples than it holds) is skipped.
const XaDecodeBlock* FreezeXaBlock(const FreezeRecord& record);

}  // namespace zarn
