// The whole emulated sound processing unit: 512 KiB of sound RAM, the image
// of the register block, the transfer address, the CD-XA and CD-audio rings,
// and the two sound models that make sound out of them: the standard model
// (sound/StandardModel.h) and the console model (voice/ConsoleState.h and
// the console units beside it), of which `model` names the one that runs.
//
// The core has no lock of its own: every caller holds the plugin's SpuLock.
// It reads the live settings record it was built with at every use, and
// raises the host interrupt through the handler the plugin installs.
//
// The sound model meets the core in one place: the register write after the
// image store, register reads, the voice-status publication, transfers, the
// render, the XA input and the replay of a loaded register image each branch
// there on `model`. The standard branches are in core/SpuCore.cpp and
// core/Transfer.cpp, the console branches in core/ConsoleRegisters.cpp and
// core/Transfer.cpp. Each model's live state is its own: the one that does
// not run is not updated.
#pragma once

#include <atomic>
#include <cstdint>

#include "sound/ConsoleFastMixer.h"
#include "sound/StandardModel.h"
#include "voice/ConsoleBus.h"
#include "voice/ConsoleState.h"
#include "voice/IrqLine.h"
#include "voice/SpuConstants.h"
#include "xa/XaRing.h"

namespace zarn {

class DriverSettings;
struct XaDecodeBlock;

class SpuCore {
public:
    static constexpr uint32_t kNoTransferAddress = 0xFFFFFFFF;

    // The settings record must be loaded: the XA ring takes its size from it.
    // Sound RAM and the register image start cleared, and so does the live
    // state of both models.
    explicit SpuCore(const DriverSettings& settings, SoundModel initialModel = kStandard);
    virtual ~SpuCore() = default;
    SpuCore(const SpuCore&) = delete;
    SpuCore& operator=(const SpuCore&) = delete;

    uint8_t* SoundRam() { return soundRam; }
    uint16_t* RegisterImage() { return registerImage; }

    // The model a stored "ConsoleAccurate" value chooses: 1 the console
    // model; 0 and every other value the standard one.
    static SoundModel ModelFor(int32_t consoleAccurate) { return consoleAccurate == 1 ? kConsole : kStandard; }

    // Registers. Every write is first stored in the register image; odd
    // addresses store into the entry of the even address below and do
    // nothing else. Offsets below 0xC00 are not SPU registers: writes change
    // nothing, reads give 0. In the console model a write to 0x1F801DA8 is a
    // transfer and may call the host interrupt before it returns.
    void DecodeRegisterWrite(uint32_t address, uint32_t value);
    uint16_t ReadRegister(uint32_t address);
    // The sound model's voice status into the image.
    void PublishVoiceStatus();
    // The register block 0x1F801C00..0x1F801DFE replayed from the image, as
    // a save-state load that has copied sound RAM and the register words
    // does: in ascending address order through DecodeRegisterWrite, each
    // word read only when its turn comes (a key-on publishes into words
    // replayed later). In both models the transfer-data word stores nothing:
    // it only moves the transfer address on by 2, so sound RAM stays as
    // loaded. The console model starts from its construction state with an
    // empty XA ring, skips the envelope volumes and publishes at the end.
    // Nothing raises or calls the interrupt.
    void ReplayRegisterImage();

    // Transfers of 16-bit halfwords at transferAddress (core/Transfer.cpp).
    // In the console model each halfword is an IRQ check, the transfer type
    // in 0x1F801DAC shapes block writes, and an interrupt raised on the way
    // is called when the transfer ends.
    void WriteTransfer(uint16_t value);
    uint16_t ReadTransfer();
    void WriteTransferBlock(const uint16_t* words, int32_t count);
    void ReadTransferBlock(uint16_t* words, int32_t count);

    // `frames` frames into `out` (interleaved), then the voice status.
    void Render(int16_t* out, uint32_t frames);

    // SPUplayADPCMchannel's conversion into the XA ring, by model.
    void QueueXaBlock(const XaDecodeBlock& block);

    // Switches to `target` (core/ConsoleRegisters.cpp), only while no sound
    // thread runs: sound RAM, the register image, the interrupt handler and
    // the transfer address stay; the target's live state goes back to its
    // construction values, the XA ring is emptied, the configuration words
    // of the image are replayed through the target's decoding (not the
    // envelope volumes, key on and off, voice activity or transfer data),
    // and the target publishes its voice status. Every voice is then silent.
    // No interrupt is raised. Switching to the running model changes nothing.
    void SwitchModel(SoundModel target);
    // The model, read whole: the size query reads it without the lock.
    SoundModel Model() const {
        return std::atomic_ref<SoundModel>(const_cast<SoundModel&>(model)).load(std::memory_order_relaxed);
    }

    // The host interrupt. The standard model calls it when a voice plays out
    // the IRQ block; the console model at the end of the tick or transfer
    // that raised its IRQ flag. Always with the lock held, and only while
    // EnableSpuIrq is on. A null handler raises nothing.
    void SetIrqHandler(IrqLine::Handler handler, void* context) { irq_ = {handler, context}; }

    uint8_t soundRam[kRamBytes];
    uint16_t registerImage[kRegisterCount];
    uint32_t transferAddress = kNoTransferAddress;  // byte address of the next transfer access
    XaRing xa;
    XaRing cdda;  // CD audio tracks (Linux: SPUplayCDDAchannel), mixed after XA
    StandardModel standard;
    ConsoleState console;
    // The console model's render: the fastest this processor has unless a test
    // or a benchmark picks another path; every path gives the same frames.
    console::ConsoleFastMixer consoleMixer;
    SoundModel model;  // written only by SwitchModel (and construction)

private:
    void StoreHalfword(uint16_t value);
    uint16_t LoadHalfword();
    void SkipHalfword();  // the advance alone

    // The console model's side (core/ConsoleRegisters.cpp, core/Transfer.cpp).
    console::ConsoleBus Bus() { return {soundRam, registerImage, &console}; }
    void ConsoleWrite(uint32_t offset, uint32_t v);
    uint16_t ConsoleRead(uint32_t address);
    uint16_t ConsoleStatus();
    void ConsoleRender(int16_t* out, uint32_t frames);
    uint16_t ConsoleLoad();
    void ConsoleStore(uint16_t value);
    // The host's call owed by the transfer that raised the flag.
    void CallPendingIrq();
    static void CallHost(void* core);

    const DriverSettings* settings_;
    IrqLine irq_;  // the standard model holds on to it
};

}  // namespace zarn
