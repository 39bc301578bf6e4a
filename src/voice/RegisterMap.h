// The SPU register block as a host addresses it, 0x1F801C00..0x1F801DFF.
// Only the low 12 bits of an address select a register (its offset).
//
//   offset  register                  offset  register
//   C00+16n voice n (n = 0..23):      D80/82  main volume L/R
//     +0/2    volume L/R              D84/86  reverb return volume L/R
//     +4      pitch                   D88/8A  key on, voices 0-15 / 16-23
//     +6      start address           D8C/8E  key off
//     +8      envelope word 1         D90/92  pitch modulation
//     +A      envelope word 2         D94/96  noise
//     +C      envelope volume (*)     D98/9A  reverb
//     +E      repeat address (*)      D9C/9E  voice activity (*)
//                                     DA2     reverb work area start (x 8 bytes)
//                                     DA4     IRQ address
//   (*) words the SPU publishes       DA6     transfer address (x 8 bytes)
//       after each mixing pass        DA8     transfer data
//                                     DAA     control (noise clock: bits 8-13)
//                                     DAC     transfer control
//                                     DAE     status (bits 11-15)
//                                     DB0/B2  CD volume L/R
//                                     DB8/BA  current main volume L/R
//   E00+4n  current volume L of voice n, E02+4n R
//
// The per-voice bit registers come in pairs: the first word holds voices
// 0-15, the word 2 bytes above it voices 16-23.
#pragma once

#include <cstdint>

#include "voice/SpuConstants.h"

namespace zarn::reg {

constexpr uint32_t kFirst = 0x1F801C00;
constexpr int kVoiceStride = 16;

// A voice's registers: Voice(n, kPitch) is the pitch of voice n.
constexpr uint32_t kVolumeL = 0x0, kVolumeR = 0x2, kPitch = 0x4, kStartAddress = 0x6, kEnvelope1 = 0x8,
                   kEnvelope2 = 0xA, kEnvelopeVolume = 0xC, kRepeatAddress = 0xE;
constexpr uint32_t Voice(int voice, uint32_t reg) { return kFirst + kVoiceStride * voice + reg; }

constexpr uint32_t kMainVolumeL = 0x1F801D80, kMainVolumeR = 0x1F801D82;
constexpr uint32_t kReverbVolumeL = 0x1F801D84, kReverbVolumeR = 0x1F801D86;
constexpr uint32_t kKeyOn = 0x1F801D88, kKeyOff = 0x1F801D8C;
constexpr uint32_t kPitchModulation = 0x1F801D90, kNoise = 0x1F801D94, kReverb = 0x1F801D98;
constexpr uint32_t kVoiceActivity = 0x1F801D9C;
constexpr uint32_t kReverbBase = 0x1F801DA2;
constexpr uint32_t kIrqAddress = 0x1F801DA4, kTransferAddress = 0x1F801DA6, kTransferData = 0x1F801DA8;
constexpr uint32_t kControl = 0x1F801DAA, kTransferControl = 0x1F801DAC, kStatus = 0x1F801DAE;
constexpr uint32_t kCdVolumeL = 0x1F801DB0, kCdVolumeR = 0x1F801DB2;
constexpr uint32_t kMainLevelL = 0x1F801DB8, kMainLevelR = 0x1F801DBA;
constexpr uint32_t kVoiceLevels = 0x1F801E00;  // + 4n: voice n left, + 4n + 2: right

constexpr uint32_t Offset(uint32_t address) { return address & 0xFFF; }
// The register image entry of an address at offset 0xC00 or above; an odd
// address shares the entry of the even one below it.
constexpr uint32_t ImageIndex(uint32_t address) { return (Offset(address) - Offset(kFirst)) / 2; }
// The voice whose register `address` is (0..23), or -1 for a global one.
constexpr int VoiceOf(uint32_t address) {
    const uint32_t offset = Offset(address);
    return offset >= Offset(kFirst) && offset < Offset(kMainVolumeL)
               ? static_cast<int>((offset - Offset(kFirst)) / kVoiceStride)
               : -1;
}
// Whether `address` is a voice's envelope volume (ENVX).
constexpr bool IsEnvelopeVolume(uint32_t address) {
    return VoiceOf(address) >= 0 && (Offset(address) & 0xF) == kEnvelopeVolume;
}

static_assert(Offset(kFirst) + kVoiceStride * kVoiceCount == Offset(kMainVolumeL), "the voices, then the globals");
static_assert(VoiceOf(Voice(kVoiceCount - 1, kRepeatAddress)) == kVoiceCount - 1 && VoiceOf(kMainVolumeL) == -1);
static_assert(ImageIndex(kFirst + 0x3FE) == kRegisterCount - 1, "the image reaches offset 0xFFE");
static_assert(ImageIndex(kFirst + 0x1FE) == kRegisterBlockWords - 1, "the block ends at 0x1F801DFE");

}  // namespace zarn::reg
