// The whole emulated sound processing unit: 512 KiB of sound RAM, the image
// of the register block, the decoded global registers, the output stage, the
// 24 voices, the CD-XA ring and the CD-audio ring.
//
// The core has no lock of its own: every caller holds the plugin's SpuLock.
// It reads the live settings record it was built with at every use, and
// raises the host interrupt through the handler the plugin installs.
#pragma once

#include <cstdint>

#include "sound/FastMixer.h"
#include "spu/MixerState.h"
#include "spu/SpuVoice.h"
#include "xa/XaRing.h"

namespace zarn {

class DriverSettings;

// Where a voice raises the host interrupt.
struct IrqLine {
    using Handler = void (*)(void* context);
    Handler handler = nullptr;
    void* context = nullptr;
};

class SpuCore {
public:
    static constexpr int kVoiceCount = 24;
    static constexpr uint32_t kRamBytes = 512 * 1024;
    static constexpr uint32_t kRamMask = kRamBytes - 1;
    static constexpr int kRegisterCount = 512;  // one per even address 0x1F801C00..0x1F801FFE
    static constexpr uint32_t kNoTransferAddress = 0xFFFFFFFF;

    // The settings record must be loaded: the CD rings take their size from it.
    explicit SpuCore(const DriverSettings& settings);
    virtual ~SpuCore() = default;
    SpuCore(const SpuCore&) = delete;
    SpuCore& operator=(const SpuCore&) = delete;

    uint8_t* SoundRam() { return soundRam; }
    uint16_t* RegisterImage() { return registerImage; }

    // Registers (spu/Registers.cpp). Offsets below 0xC00 are not SPU
    // registers: writes change nothing, reads give 0.
    void DecodeRegisterWrite(uint32_t address, uint32_t value);
    uint16_t ReadRegister(uint32_t address);
    // Envelope volumes, repeat addresses and active bits into the image.
    void PublishVoiceStatus();

    // Transfers of 16-bit halfwords at transferAddress (spu/Transfer.cpp).
    void WriteTransfer(uint16_t value);
    uint16_t ReadTransfer();
    void WriteTransferBlock(const uint16_t* words, int32_t count);
    void ReadTransferBlock(uint16_t* words, int32_t count);

    // Sound (sound/Mixer.cpp): one output frame, left and right.
    void MixFrame(int16_t out[2]);
    // `frames` frames into `out` (interleaved) on the mixPath, then the voice
    // status. Every path gives the same frames and the same state.
    void Render(int16_t* out, uint32_t frames);

    // The host interrupt, called with the lock held when a voice plays out
    // the IRQ block and EnableSpuIrq is on. A null handler raises nothing.
    void SetIrqHandler(IrqLine::Handler handler, void* context) { irq_ = {handler, context}; }

    // Fields, in the order of the hardware description.
    uint8_t soundRam[kRamBytes];
    uint16_t registerImage[kRegisterCount];
    uint16_t control = 0;                           // last value written to 0x1F801DAA
    uint16_t status = 0;                            // 0x1F801DAE: last value & 0xF800
    uint16_t irqAddress = 0;                        // 0x1F801DA4, 8-byte units
    uint32_t transferAddress = kNoTransferAddress;  // byte address of the next transfer access
    MixerState mixer;
    int32_t autoGain = 32768;   // automatic gain factor; 32768 == 1.0
    int32_t autoGainPeak = 0;   // highest sample of the current window
    int32_t autoGainCount = 0;  // frames in the current window
    SpuVoice voices[kVoiceCount];
    XaRing xa;
    XaRing cdda;  // CD audio tracks (Linux: SPUplayCDDAchannel), mixed after XA

    // The mixer Render runs: the fastest this processor has, unless a test or
    // a benchmark picks another. A path the processor lacks mixes as
    // kReference.
    MixPath mixPath = BestMixPath();
    FastMixer fastMixer;

private:
    friend class FastMixer;
    void FinishFrame(int32_t dryL, int32_t dryR, int32_t sendL, int32_t sendR, int16_t out[2]);
    void AutoGain(int32_t& dryL, int32_t& dryR);
    void AutoGainFrames(int32_t* dryL, int32_t* dryR, int32_t frames);
    void AdvanceTransfer();
    uint32_t TransferOffset() const;

    const DriverSettings* settings_;
    IrqLine irq_;
};

}  // namespace zarn
