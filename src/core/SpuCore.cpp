// The core's construction and the one place where the sound model meets it:
// every operation whose behaviour depends on the model runs the model's part
// here, after what the core does for every model. The console model's parts
// are in core/ConsoleRegisters.cpp.
#include "core/SpuCore.h"

#include <cstring>

#include "sound/ConsoleMixer.h"
#include "voice/RegisterMap.h"
#include "xa/ZigZag.h"

namespace zarn {

using namespace reg;

SpuCore::SpuCore(const DriverSettings& settings, SoundModel initialModel)
    : xa(settings),
      cdda(settings),
      standard(soundRam, registerImage, xa, cdda, settings, irq_),
      model(initialModel),
      settings_(&settings) {
    // Sound RAM and the register image start cleared (so does the reverb line,
    // by its member initialiser): a fresh core is silent and reads all zeros.
    // A fresh console state publishes nothing but zeros either.
    std::memset(soundRam, 0, sizeof soundRam);
    std::memset(registerImage, 0, sizeof registerImage);
}

void SpuCore::DecodeRegisterWrite(uint32_t address, uint32_t value) {
    const uint32_t offset = Offset(address);
    if (offset < Offset(kFirst)) return;  // not an SPU register
    const uint32_t v = value & 0xFFFF;
    registerImage[ImageIndex(address)] = static_cast<uint16_t>(v);
    if (offset & 1) return;
    if (model == kConsole) {
        ConsoleWrite(offset, v);
        return;
    }
    switch (offset) {
    case Offset(kTransferAddress): transferAddress = v * 8; break;
    case Offset(kTransferData): WriteTransfer(static_cast<uint16_t>(v)); break;
    default: standard.DecodeRegisterWrite(address, v); break;
    }
}

uint16_t SpuCore::ReadRegister(uint32_t address) {
    const uint32_t offset = Offset(address);
    if (offset < Offset(kFirst)) return 0;
    if (model == kConsole) return ConsoleRead(address);
    switch (offset) {
    case Offset(kTransferAddress): return static_cast<uint16_t>((transferAddress / 8) & 0xFFFF);
    case Offset(kTransferData): return ReadTransfer();
    default: return standard.ReadRegister(address);
    }
}

void SpuCore::PublishVoiceStatus() {
    if (model == kConsole) {
        console::PublishVoiceStatus(console, registerImage);
    } else {
        standard.PublishVoiceStatus();
    }
}

// In the console model a base record holds no live state: the result must
// not depend on what played before. A published ENVX without its phase,
// position and history would play a fragment of unrelated data, so the
// envelope volumes are not replayed; key on restarts the voices the last
// key-on words name (if the image's SPUCNT has bit 15).
void SpuCore::ReplayRegisterImage() {
    const bool consoleModel = model == kConsole;
    if (consoleModel) {
        console = ConsoleState();
        xa.readIndex = xa.writeIndex = 0;
    }
    for (int i = 0; i < kRegisterBlockWords; ++i) {
        const uint32_t address = kFirst + 2 * i;
        if (address == kTransferData) {
            // The data word is the game's last one, long since in sound RAM.
            // Stored again it would land at the replayed transfer address,
            // after a usual upload the upload's first halfword (an ADPCM block
            // header: a looping voice stopped over it). Sound RAM stays the
            // record's; the address moves on by 2 as the write would have
            // moved it.
            SkipHalfword();
        } else if (!consoleModel || !IsEnvelopeVolume(address)) {
            DecodeRegisterWrite(address, registerImage[i]);
        }
    }
    if (consoleModel) PublishVoiceStatus();
}

void SpuCore::Render(int16_t* out, uint32_t frames) {
    if (model == kConsole) {
        ConsoleRender(out, frames);
    } else {
        standard.Render(out, frames);
    }
    PublishVoiceStatus();
}

void SpuCore::QueueXaBlock(const XaDecodeBlock& block) {
    if (model == kConsole) {
        console::QueueConsoleBlock(console, xa, block);
    } else {
        xa.QueueBlock(block);
    }
}

}  // namespace zarn
