// The whole emulated sound processing unit: 512 KiB of sound RAM, the image
// of the register block, the transfer address, the CD-XA and CD-audio rings,
// and the sound model that makes sound out of them (sound/StandardModel.h).
//
// The core has no lock of its own: every caller holds the plugin's SpuLock.
// It reads the live settings record it was built with at every use, and
// raises the host interrupt through the handler the plugin installs.
//
// The sound model meets the core in one place, core/SpuCore.cpp: the
// register write after the image store, register reads, the voice-status
// publication, transfers, the render and the replay of a loaded register
// image. Each runs the standard model's part there; another model would add
// its own branch to each, beside the standard one.
#pragma once

#include <cstdint>

#include "sound/StandardModel.h"
#include "voice/IrqLine.h"
#include "voice/SpuConstants.h"
#include "xa/XaRing.h"

namespace zarn {

class DriverSettings;

class SpuCore {
public:
    static constexpr uint32_t kNoTransferAddress = 0xFFFFFFFF;

    // The settings record must be loaded: the XA ring takes its size from it.
    explicit SpuCore(const DriverSettings& settings);
    virtual ~SpuCore() = default;
    SpuCore(const SpuCore&) = delete;
    SpuCore& operator=(const SpuCore&) = delete;

    uint8_t* SoundRam() { return soundRam; }
    uint16_t* RegisterImage() { return registerImage; }

    // Registers. Every write is first stored in the register image; odd
    // addresses store into the entry of the even address below and do
    // nothing else. Offsets below 0xC00 are not SPU registers: writes change
    // nothing, reads give 0.
    void DecodeRegisterWrite(uint32_t address, uint32_t value);
    uint16_t ReadRegister(uint32_t address);
    // The sound model's voice status into the image.
    void PublishVoiceStatus();
    // The register block 0x1F801C00..0x1F801DFE replayed from the image in
    // ascending address order through DecodeRegisterWrite, each word read
    // only when its turn comes (a key-on publishes into words replayed later).
    // The transfer-data word stores nothing: it only moves the transfer
    // address on by 2, so sound RAM stays as loaded.
    void ReplayRegisterImage();

    // Transfers of 16-bit halfwords at transferAddress (core/Transfer.cpp).
    void WriteTransfer(uint16_t value);
    uint16_t ReadTransfer();
    void WriteTransferBlock(const uint16_t* words, int32_t count);
    void ReadTransferBlock(uint16_t* words, int32_t count);

    // `frames` frames into `out` (interleaved), then the voice status.
    void Render(int16_t* out, uint32_t frames);

    // The host interrupt, called with the lock held when a voice plays out
    // the IRQ block and EnableSpuIrq is on. A null handler raises nothing.
    void SetIrqHandler(IrqLine::Handler handler, void* context) { irq_ = {handler, context}; }

    uint8_t soundRam[kRamBytes];
    uint16_t registerImage[kRegisterCount];
    uint32_t transferAddress = kNoTransferAddress;  // byte address of the next transfer access
    XaRing xa;
    XaRing cdda;             // CD audio tracks (Linux: SPUplayCDDAchannel), mixed after XA
    StandardModel standard;  // the sound model

private:
    void StoreHalfword(uint16_t value);
    uint16_t LoadHalfword();
    void SkipHalfword();

    IrqLine irq_;  // the model holds on to it
};

}  // namespace zarn
