// The extended save-state record of the console model: the base record
// (FreezeRecord.h) with size field 766,264, followed by an extension of
// 207,624 bytes that carries the console model's live state, so that voices
// sounding at the save go on sounding after the load.
//
// Extension (little-endian; offsets from its start, which is byte 558,640
// of the record):
//   0     8        tag "CONSOLE", 0
//   8     4        version 1
//   12    4        extension size 207,624
//   16    4        endx                      20   4   noiseTimer
//   24    2        noiseLevel                26   2   capturePos
//   28    1        irqFlag    29 reverbParity  30 firPos  31 reserved (0)
//   32    4        reverbAddress             36   4   transferAddress (all ones: never set)
//   40    2 x 2    mainLevelL, R             44   2 x 2  mainCounterL, R
//   48    4 x 128  reverbInL, reverbInR, reverbOutL, reverbOutR (64 x int16 each)
//   560   2 x 64   zigRingL, zigRingR (32 x int16 each)
//   688   4 x 4    zigPos, zigSixStep, zigFrequency, zigChannels
//   704   4        xaFrameCount (0..51,200)  708  4  reserved (0)
//   712   24 x 88  voices, each:
//                    0 pitchCounter (4), 4 blockAddress, 6 repeatAddress,
//                    8 envelopeLevel, 10 envelopeCounter (2 each),
//                    12 envelopePhase, 13 needDecode (1 each), 14 reserved (2),
//                    16 volumeLevelL, R, 20 volumeCounterL, R (2 each),
//                    24 samples[0..30] (31 x 2), 86 reserved (2)
//   2,824 51,200 x 4  queued XA frames (left, right), oldest first; unused slots 0
//
// 51,200 frames: XABufferSize is at most 200 through every editor, and such
// a ring queues at most (200 x 512 - 2) / 2 = 51,199 frames.
#pragma once

#include <cstdint>

#include "state/FreezeRecord.h"

namespace zarn {

class SpuCore;

constexpr uint32_t kFreezeExtensionSize = 207624;
constexpr uint32_t kExtendedFreezeSize = FreezeRecord::kSize + kFreezeExtensionSize;  // 766,264
constexpr uint32_t kFreezeXaSlots = 51200;

// Saves the extended record into `record` (766,264 bytes): the base record's
// content with size field 766,264, then every byte of the extension, reserved
// ones included, whatever the buffer held. With `clear` (mode 1) the whole
// record is zeroed first, so bytes 6 and 7 and the XA block are 0.
void SaveExtendedFreeze(SpuCore& spu, uint8_t* record, bool clear);

// Whether `record` is an extended record: size field 766,264, then (read only
// after that) tag, version 1 and extension size 207,624. A host must hand back
// the whole record whose size the header names.
bool IsExtendedFreeze(const uint8_t* record);

// Loads an extended record into a core in the console model: sound RAM and
// the register words copied (nothing replayed: the image is the
// configuration), the console state rebuilt from the extension with every
// value made safe as it is read, the XA ring emptied (rebuilt at the current
// XABufferSize if that changed) and refilled with the saved frames until it
// is full, then the voice status published. The record's XA block is not
// played, and no interrupt is raised or called.
void LoadExtendedFreeze(SpuCore& spu, const uint8_t* record);

}  // namespace zarn
