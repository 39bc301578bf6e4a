// The console model's units over their plain inputs: sound RAM, the register
// image and the live state, all cleared, with an XA ring beside them; and a
// small host side for programs that run the model a while: register writes
// with their actions, transfers and renders, each calling `irq` where the
// model owes the host its interrupt.
#pragma once

#include <cstdint>
#include <vector>

#include "sound/ConsoleFastMixer.h"
#include "sound/ConsoleMixer.h"
#include "support/TestSettings.h"
#include "voice/ConsoleBus.h"
#include "voice/ConsoleVoice.h"
#include "voice/IrqLine.h"
#include "xa/XaRing.h"

namespace zarn::test {

struct ConsoleRig {
    std::vector<uint8_t> ram = std::vector<uint8_t>(512 * 1024);
    uint16_t image[512] = {};
    ConsoleState state;
    console::ConsoleBus bus{ram.data(), image, &state};
    TestSettings settings;
    XaRing xa{settings};
    XaRing cdda{settings};
    CdInput cd{xa, cdda};
    IrqLine irq;                                // the host's interrupt function
    console::ConsoleFastMixer* fast = nullptr;  // renders through it, or through the reference when null
    uint32_t transferAddress = 0;

    void Set(uint32_t address, uint16_t value) { image[console::ImageIndex(address)] = value; }
    ConsoleVoice& Voice(int v) { return state.voices[v]; }

    // A host's register write: stored, then the few actions of the registers
    // that act (ENVX, the repeat address, key on and off, mBASE, the transfer
    // address and data, the acknowledge in SPUCNT).
    void Write(uint32_t address, uint16_t value) {
        Set(address, value);
        const int v = reg::VoiceOf(address);
        if (v >= 0 && (address & 0xE) == reg::kEnvelopeVolume) Voice(v).envelopeLevel = static_cast<int16_t>(value);
        if (v >= 0 && (address & 0xE) == reg::kRepeatAddress) Voice(v).repeatAddress = value;
        const uint32_t at = address & ~1u;
        for (const uint32_t keys : {reg::kKeyOn, reg::kKeyOff}) {
            if (at != keys && at != keys + 2) continue;
            for (int n = at == keys ? 0 : 16; n < (at == keys ? 16 : 24); ++n) {
                if ((value >> (n & 15) & 1) == 0) continue;
                if (keys == reg::kKeyOn) console::KeyOn(bus, n);
                if (keys == reg::kKeyOff) console::KeyOff(state, n);
            }
            if (keys == reg::kKeyOn) console::PublishVoiceStatus(state, image);
        }
        if (at == reg::kReverbBase) state.reverbAddress = value * 8u;
        if (at == reg::kTransferAddress) transferAddress = value * 8u;
        if (at == reg::kTransferData) Transfer(&value, 1);
        if (at == reg::kControl && (value & 0x40) == 0) state.irqFlag = 0;
    }

    // Halfwords written from the transfer address on, each touching the IRQ
    // check; the interrupt it raised is called at the end.
    void Transfer(const uint16_t* words, int count) {
        for (int k = 0; k < count; ++k) {
            const uint32_t a = transferAddress & 0x7FFFE;
            bus.Touch(a >> 3);
            bus.Wr16(a, words[k]);
            transferAddress = (a + 2) & 0x7FFFE;
        }
        CallIrq();
    }

    void Render(int16_t* out, uint32_t frames) {
        if (fast != nullptr) {
            fast->Render(bus, cd, out, frames, irq);
        } else {
            console::RenderReference(bus, cd, out, frames, irq);
        }
        console::PublishVoiceStatus(state, image);
    }

    void CallIrq() {
        if (state.irqCallPending == 0) return;
        state.irqCallPending = 0;
        if (irq.handler != nullptr) irq.handler(irq.context);
    }
};

}  // namespace zarn::test
