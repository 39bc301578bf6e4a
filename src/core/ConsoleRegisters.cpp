// The console model's side of the core: register writes and reads, SPUSTAT,
// the render, the interrupt call and the switch between the models.
//
// In the console model the register image is the configuration: the units
// read pitches, addresses, envelope and volume words, the voice bit masks,
// SPUCNT and the reverb block from it when they use them. A write stores the
// word; only the few registers below also act, between ticks, so every write
// is seen from the next tick on.
#include <algorithm>

#include "core/SpuCore.h"
#include "settings/DriverSettings.h"
#include "sound/ConsoleMixer.h"
#include "voice/ConsoleVoice.h"
#include "voice/RegisterMap.h"

namespace zarn {

using namespace reg;

namespace {

// SPUCNT (0x1F801DAA).
constexpr uint32_t kIrqEnable = 0x0040;

// A per-voice bit pair: the first word holds voices 0-15, the second (2
// bytes above) voices 16-23 in its bits 0-7.
template <typename Action>
void ForEachVoiceBit(uint32_t offset, uint32_t v, Action&& action) {
    const int first = (offset & 2) ? 16 : 0;
    const int count = first == 0 ? 16 : kVoiceCount - 16;
    for (int b = 0; b < count; ++b) {
        if ((v >> b) & 1) action(first + b);
    }
}

// Words a model switch does not replay: they describe playback, not
// configuration, or would act (key on and off, a transfer).
bool KeptBySwitch(uint32_t address) {
    switch (address) {
    case kKeyOn:
    case kKeyOn + 2:
    case kKeyOff:
    case kKeyOff + 2:
    case kVoiceActivity:
    case kVoiceActivity + 2:
    case kTransferData: return true;
    default: return IsEnvelopeVolume(address);
    }
}

}  // namespace

void SpuCore::ConsoleWrite(uint32_t offset, uint32_t v) {
    if (offset < Offset(kMainVolumeL)) {
        ConsoleVoice& voice = console.voices[VoiceOf(offset)];
        // QUESTION: the console also has a hidden register behind ENVX that
        // this write is said to jump; here it sets the level alone.
        if ((offset & 0xF) == kEnvelopeVolume) voice.envelopeLevel = static_cast<int16_t>(v);
        if ((offset & 0xF) == kRepeatAddress) voice.repeatAddress = static_cast<uint16_t>(v);
        return;
    }
    switch (offset) {
    case Offset(kKeyOn):
    case Offset(kKeyOn + 2):
        ForEachVoiceBit(offset, v, [this](int n) { console::KeyOn(Bus(), n); });
        PublishVoiceStatus();
        break;
    case Offset(kKeyOff):
    case Offset(kKeyOff + 2): ForEachVoiceBit(offset, v, [this](int n) { console::KeyOff(console, n); }); break;
    case Offset(kReverbBase): console.reverbAddress = v * 8; break;
    case Offset(kTransferAddress): transferAddress = v * 8; break;
    case Offset(kTransferData): WriteTransfer(static_cast<uint16_t>(v)); break;
    case Offset(kControl):
        if ((v & kIrqEnable) == 0) console.irqFlag = 0;  // acknowledge
        break;
    default: break;  // used from the image
    }
}

uint16_t SpuCore::ConsoleRead(uint32_t address) {
    const uint32_t offset = Offset(address);
    if (offset < Offset(kMainVolumeL)) {
        const ConsoleVoice& voice = console.voices[VoiceOf(address)];
        if (offset & 1) return registerImage[ImageIndex(address)];
        if ((offset & 0xF) == kEnvelopeVolume) return static_cast<uint16_t>(voice.envelopeLevel);
        if ((offset & 0xF) == kRepeatAddress) return voice.repeatAddress;
        return registerImage[ImageIndex(address)];
    }
    switch (offset) {
    case Offset(kVoiceActivity): return static_cast<uint16_t>(console.endx & 0xFFFF);  // ENDX
    case Offset(kVoiceActivity + 2): return static_cast<uint16_t>((console.endx >> 16) & 0xFF);
    case Offset(kStatus): return ConsoleStatus();
    case Offset(kMainLevelL): return static_cast<uint16_t>(console.mainLevelL);
    case Offset(kMainLevelR): return static_cast<uint16_t>(console.mainLevelR);
    default: break;
    }
    const uint32_t level = offset - Offset(kVoiceLevels);  // wraps above offsets below 0xE00
    if (level < 4u * kVoiceCount && (level & 1) == 0) {
        const ConsoleVoice& voice = console.voices[level / 4];
        return static_cast<uint16_t>((level & 2) ? voice.volumeLevelR : voice.volumeLevelL);
    }
    // Everything else reads as written, the transfer address and data words
    // included: reading 0x1F801DA8 moves nothing.
    return registerImage[ImageIndex(address)];
}

// SPUSTAT, from SPUCNT and the live state at the moment of the read:
//   bits 0-5  SPUCNT bits 0-5 (at once; the console's short delay is not modelled)
//   bit 6     the IRQ flag
//   bit 7     SPUCNT bit 5
//   bit 8/9   DMA write / read request: transfer mode 2 / 3
//   bit 10    busy: always 0, transfers end inside the host's call
//   bit 11    capture in the second half of its areas, while 0x1F801DAC bit 2 or 3 is set
uint16_t SpuCore::ConsoleStatus() {
    const uint32_t ctl = registerImage[ImageIndex(kControl)];
    const uint32_t dac = registerImage[ImageIndex(kTransferControl)];
    const uint32_t mode = bits(ctl, 4, 2);
    const bool captureHalf = (dac & 0x000C) != 0 && (console.capturePos & 0x100) != 0;
    return static_cast<uint16_t>((ctl & 0x3F) | uint32_t{console.irqFlag} << 6 | bits(ctl, 5, 1) << 7 |
                                 uint32_t{mode == 2} << 8 | uint32_t{mode == 3} << 9 | uint32_t{captureHalf} << 11);
}

// One tick per frame; the interrupt a tick raised is called after it (T9),
// so a host that reads registers or renders from its interrupt function sees
// whole ticks.
void SpuCore::ConsoleRender(int16_t* out, uint32_t frames) {
    CdInput cd{xa, cdda};
    consoleMixer.Render(Bus(), cd, out, frames, {&SpuCore::CallHost, this});
}

void SpuCore::CallPendingIrq() { console::CallPendingIrq(console, {&SpuCore::CallHost, this}); }

// "EnableSpuIrq" gates the call alone: the flag follows the console whatever
// it says.
void SpuCore::CallHost(void* core) {
    const SpuCore& self = *static_cast<SpuCore*>(core);
    if (self.settings_->EnableSpuIrq != 0 && self.irq_.handler != nullptr) self.irq_.handler(self.irq_.context);
}

// Playback positions of one model mean nothing to the other: every voice
// starts silent, with the configuration the game wrote.
void SpuCore::SwitchModel(SoundModel target) {
    if (target == model) return;
    if (target == kConsole) {
        console = ConsoleState();
    } else {
        standard.Reset();
    }
    xa.readIndex = xa.writeIndex = 0;
    std::atomic_ref<SoundModel>(model).store(target, std::memory_order_relaxed);
    for (int i = 0; i < kRegisterBlockWords; ++i) {
        const uint32_t address = kFirst + 2 * i;
        if (!KeptBySwitch(address)) DecodeRegisterWrite(address, registerImage[i]);
    }
    PublishVoiceStatus();
}

}  // namespace zarn
