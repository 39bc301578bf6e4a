// Cores over a settings record in memory: a fixture in the standard model,
// and a core in the console model with the host's side (writes and reads
// through the core, renders, an interrupt function counting its calls) and,
// for the units on their own, the bus and CD input the core hands them.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "core/SpuCore.h"
#include "support/Adpcm.h"
#include "support/TestSettings.h"
#include "voice/ConsoleBus.h"

namespace zarn::test {

class CoreTest : public ::testing::Test {
protected:
    TestSettings settings;
    std::unique_ptr<SpuCore> spu = std::make_unique<SpuCore>(settings);
    SpuVoice& voice(int n) { return spu->standard.voices[n]; }

    void Write(std::initializer_list<std::pair<uint32_t, uint32_t>> writes) {
        for (const auto& [address, value] : writes) spu->DecodeRegisterWrite(address, value);
    }
    // Voice n plays the block at `unit` (also its repeat address) at `pitch`;
    // envelope word 1 by default: attack and decay rate 0, sustain level 15;
    // the sustain holds.
    void Program(int n, uint32_t unit, uint32_t pitch, uint32_t volumeL, uint32_t volumeR, uint32_t adsr1 = 0x000F) {
        const uint32_t words[] = {volumeL, volumeR, pitch, unit, adsr1, 127 << 6, 0, unit};
        for (uint32_t k = 0; k < 8; ++k) {
            if (k != 6) spu->DecodeRegisterWrite(0x1F801C00 + 16 * n + 2 * k, words[k]);  // not the envelope volume
        }
    }
};

struct ConsoleCore {
    TestSettings settings;
    std::unique_ptr<SpuCore> spu = std::make_unique<SpuCore>(settings, kConsole);
    uint8_t* ram = spu->soundRam;
    ConsoleState& state = spu->console;
    XaRing& xa = spu->xa;
    console::ConsoleBus bus{ram, spu->registerImage, &state};
    CdInput cd{spu->xa, spu->cdda};
    // The host's interrupt function counts its calls and notes the transfer
    // address at the last one.
    struct Host {
        SpuCore* spu;
        int calls = 0;
        uint32_t addressAtCall = 0;
        static void Interrupt(void* self) {
            auto& h = *static_cast<Host*>(self);
            ++h.calls, h.addressAtCall = h.spu->transferAddress;
        }
    };
    std::unique_ptr<Host> host = std::make_unique<Host>(Host{spu.get()});
    int& calls = host->calls;
    uint32_t& addressAtCall = host->addressAtCall;

    ConsoleCore() { spu->SetIrqHandler(Host::Interrupt, host.get()); }
    ConsoleVoice& Voice(int v) { return state.voices[v]; }
    // The image alone, as the units read it, no register acting.
    void Set(uint32_t address, uint32_t value) {
        spu->registerImage[console::ImageIndex(address)] = static_cast<uint16_t>(value);
    }
    void Write(std::initializer_list<std::pair<uint32_t, uint32_t>> program) {
        for (const auto& [address, value] : program) spu->DecodeRegisterWrite(address, value);
    }
    uint16_t Read(uint32_t address) { return spu->ReadRegister(address); }
    uint16_t Ram16(uint32_t at) const { return static_cast<uint16_t>(bus.Rd16(at)); }
    std::vector<int16_t> Ticks(uint32_t n) {
        std::vector<int16_t> out(2 * n);
        spu->Render(out.data(), n);
        return out;
    }

    // One block at byte 0x1000 (unit 0x0200): shift 0, filter 0, flags loop
    // start + end + repeat, every sample 0x1000. Voice `v` set to play it at
    // pitch 0x1000 with a fast attack and sustain level 15, full volumes,
    // the main volume at full; SPUCNT `control`. Not keyed on.
    void OneVoice(int v, uint32_t control) {
        ram[0x1001] = 0x07;
        std::fill_n(&ram[0x1002], 14, 0x11);
        // clang-format off
        Write({{reg::kControl, control}, {reg::Voice(v, reg::kStartAddress), 0x0200}, {reg::Voice(v, reg::kPitch), 0x1000},
               {reg::Voice(v, reg::kEnvelope1), 0x000F}, {reg::Voice(v, reg::kEnvelope2), 0x1FC0},
               {reg::Voice(v, reg::kVolumeL), 0x3FFF}, {reg::Voice(v, reg::kVolumeR), 0x3FFF},
               {reg::kMainVolumeL, 0x3FFF}, {reg::kMainVolumeR, 0x3FFF}});
        // clang-format on
    }
};

}  // namespace zarn::test
