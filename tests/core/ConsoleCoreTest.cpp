// The console model through the core: SPUSTAT and the interrupt, transfers,
// save states (the sanitising of a crafted extension, the fallback load; the
// round trip is FastMixerTest's).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/SpuCore.h"
#include "state/FreezeExtension.h"
#include "support/CoreRig.h"
#include "voice/RegisterMap.h"

namespace zarn {
namespace {

using Core = test::ConsoleCore;

TEST(ConsoleCoreTest, StatusAndInterrupt) {
    // The same steps with the IRQ address in the block's first and second
    // unit, and with EnableSpuIrq off: the flag follows the console, only the
    // host calls go.
    for (const auto& [irqAddress, enable] : {std::pair{0x0200u, 1}, {0x0201u, 1}, {0x0200u, 0}}) {
        Core core;
        core.settings.EnableSpuIrq = enable;
        std::vector<std::pair<uint16_t, int>> seen;
        // After each action: (SPUSTAT, host calls).
        const auto after = [&](auto&& action) {
            action();
            seen.emplace_back(core.Read(reg::kStatus), core.calls);
        };
        after([] {});
        after([&] { core.Write({{reg::kControl, 0xC040}}); });
        core.OneVoice(0, 0xC040);
        core.Write({{reg::kIrqAddress, irqAddress}, {reg::kKeyOn, 1}});
        after([&] { core.Ticks(1); });
        after([&] { core.Ticks(99); });
        after([&] { core.Write({{reg::kControl, 0xC000}}); });
        after([&] { core.Ticks(1); });
        after([&] { core.Write({{reg::kControl, 0xC040}}), core.Ticks(1); });
        for (const uint32_t control : {0xC03F, 0xC020, 0xC010, 0xC015, 0xC02A}) {
            after([&] { core.Write({{reg::kControl, control}}); });
        }
        const int c = enable;
        const std::vector<std::pair<uint16_t, int>> expected = {
            {0x0000, 0},     {0x0000, 0},     {0x0040, c},     {0x0040, c},     {0x0000, c},     {0x0000, c},
            {0x0040, 2 * c}, {0x02BF, 2 * c}, {0x01A0, 2 * c}, {0x0010, 2 * c}, {0x0015, 2 * c}, {0x01AA, 2 * c}};
        EXPECT_EQ(seen, expected) << irqAddress << " " << enable;
    }
    // What a tick touches besides the voices' blocks, each raising the
    // interrupt once: (SPUCNT, 0x1F801DAC, the IRQ address, raised).
    // clang-format off
    for (const auto& [control, transferControl, irqAddress, raised] : {
             std::tuple{0xC040u, 0x0000u, 0x0000u, 1},  // idle voices sit at unit 0
             {0x4040u, 0x0000u, 0x0000u, 0},            // the SPU disabled
             {0xC040u, 0x0000u, 0x0100u, 0},            // capture touches nothing ...
             {0xC040u, 0x0004u, 0x0100u, 1},            // ... unless 0x1F801DAC bit 2 or 3 is set
             {0xC040u, 0x0000u, 0xFFFFu, 1}}) {         // a reverb read, writes being off
        // clang-format on
        Core core;
        core.Write(
            {{reg::kTransferControl, transferControl}, {reg::kIrqAddress, irqAddress}, {reg::kControl, control}});
        core.Ticks(1);
        const int first = core.calls;
        core.Ticks(1);
        EXPECT_EQ(std::tuple(first, core.calls, core.Read(reg::kStatus) & 0x40),
                  std::tuple(raised, raised, raised << 6))
            << std::hex << control << " " << irqAddress;
    }
    // Bit 11: capture in the second half of its areas, while 0x1F801DAC bit 2 or 3 is set.
    for (const uint32_t dac : {0x0004u, 0x0000u}) {
        Core capture;
        capture.Write({{reg::kTransferControl, dac}, {reg::kControl, 0xC000}});
        capture.Ticks(300);
        EXPECT_EQ(capture.Read(reg::kStatus), dac != 0 ? 0x0800 : 0x0000);
        capture.Ticks(212);
        EXPECT_EQ(capture.Read(reg::kStatus), 0x0000);
    }
}

TEST(ConsoleCoreTest, TransferTypesAndTheirInterrupt) {
    // 0x1F801DAC, the halfwords passed from 1 on, those stored from 0x1000
    const std::pair<uint16_t, std::vector<uint16_t>> rows[] = {{0x0004, {1, 2, 3, 4, 5}},
                                                               {0x0006, {1, 1, 3, 3, 5}},
                                                               {0x0008, {1, 1, 1, 1, 5}},
                                                               {0x000A, {8, 8, 8, 8, 8, 8, 8, 8, 10, 10}},
                                                               {0x0000, {1, 2, 3}}};
    for (const auto& [control, stored] : rows) {
        Core core;
        core.Write({{reg::kTransferControl, control}, {reg::kTransferAddress, 0x0200}});
        std::vector<uint16_t> passed(stored.size()), got;
        for (size_t k = 0; k < passed.size(); ++k) passed[k] = static_cast<uint16_t>(k + 1);
        core.spu->WriteTransferBlock(passed.data(), static_cast<int32_t>(passed.size()));
        for (size_t k = 0; k < stored.size(); ++k) got.push_back(core.Ram16(0x1000 + 2 * k));
        EXPECT_EQ(got, stored) << control;
    }
    // Unit 0x0201 is the fifth halfword from 0x1000: four halfwords raise
    // nothing, the next one raises the flag, and the host is called once the
    // call has moved every halfword.
    Core core;
    const uint16_t words[8] = {};
    core.Write({{reg::kIrqAddress, 0x0201}, {reg::kControl, 0xC040}, {reg::kTransferAddress, 0x0200}});
    core.spu->WriteTransferBlock(words, 4);
    EXPECT_EQ(core.calls, 0);
    core.spu->WriteTransferBlock(words, 4);
    EXPECT_EQ(std::tuple(core.calls, core.addressAtCall, core.Read(reg::kStatus)), std::tuple(1, 0x1010u, 0x0040));
    // Reads and the data register are transfers too; reading 0x1F801DA8
    // moves nothing, and 0x1F801DA6 reads as written.
    core.Write({{reg::kControl, 0xC000}, {reg::kControl, 0xC040}, {reg::kTransferAddress, 0x0200}});
    uint16_t read[8];
    core.spu->ReadTransferBlock(read, 8);
    core.Write({{reg::kControl, 0xC000}, {reg::kControl, 0xC040}, {reg::kTransferAddress, 0x0201}});
    EXPECT_EQ(core.Read(reg::kTransferData), 0);
    core.Write({{reg::kTransferData, 0xBEEF}});
    EXPECT_EQ(std::tuple(core.calls, core.Ram16(0x1008), core.spu->transferAddress), std::tuple(3, 0xBEEF, 0x100Au));
    EXPECT_EQ(core.Read(reg::kTransferAddress), 0x0201);
}

TEST(ConsoleCoreTest, CraftedExtensionIsMadeSafe) {
    Core a;
    std::vector<uint8_t> record(kExtendedFreezeSize);
    SaveExtendedFreeze(*a.spu, record.data(), true);
    // Everything past the tag, version and size all ones; then the documented
    // example: pitch counter 0xFFFFFFFF, phase 9, firPos 200.
    std::fill(record.begin() + FreezeRecord::kSize + 16, record.end(), 0xFF);
    const size_t voice0 = FreezeRecord::kSize + 712;
    record[voice0 + 12] = 9;
    record[FreezeRecord::kSize + 30] = 200;
    record[offsetof(FreezeRecord, registers) + 2 * reg::ImageIndex(reg::kReverbBase)] = 0x00;  // mBASE 0xFF00
    record[offsetof(FreezeRecord, registers) + 2 * reg::ImageIndex(reg::kReverbBase) + 1] = 0xFF;
    Core b;
    ASSERT_TRUE(IsExtendedFreeze(record.data()));
    LoadExtendedFreeze(*b.spu, record.data());
    const ConsoleState& c = b.spu->console;
    EXPECT_EQ(std::tuple(c.voices[0].pitchCounter, c.voices[0].envelopePhase, c.firPos), std::tuple(0x1BFFFu, 3, 8));
    EXPECT_EQ(std::tuple(c.voices[1].envelopePhase, c.voices[1].envelopeCounter, c.voices[1].needDecode),
              std::tuple(3, 0x7FFF, 1));
    EXPECT_EQ(std::tuple(c.endx, c.noiseTimer, c.capturePos, c.irqFlag, c.reverbParity, c.zigPos, c.zigSixStep),
              std::tuple(0xFFFFFFu, 0, 0x1FF, 1, 1, 31, 6));
    EXPECT_EQ(std::tuple(c.reverbAddress, b.spu->transferAddress, c.mainCounterL), std::tuple(0x7FFFEu, ~0u, 0x7FFF));
    // 51,200 frames offered to a ring of 48 KiB: it keeps what fits.
    EXPECT_EQ(b.spu->xa.QueuedSamples(), 48 * 512 - 2);
    EXPECT_EQ(b.calls, 0);
    b.Ticks(2000);  // and runs (the sanitizers watch)
    EXPECT_EQ(b.calls, 0);
}

TEST(ConsoleCoreTest, FallbackLoadRestartsKeyedVoicesOnly) {
    // A base record whose key-on word names voice 0, with SPUCNT bit 15; an
    // ENVX word for voice 2, written after the last tick; the data word 0xBEEF written at 0x3000 before a
    // DMA of 0x2222 overwrote it. The IRQ address 0 is armed, yet no tick runs.
    Core a;
    a.OneVoice(0, 0xC040);
    a.Write({{reg::kTransferAddress, 0x0600}, {reg::kTransferData, 0xBEEF}, {reg::kTransferAddress, 0x0600}});
    a.spu->WriteTransfer(0x2222);
    a.Write({{reg::kKeyOn, 1}});
    a.Ticks(100);
    a.Write({{reg::Voice(2, reg::kEnvelopeVolume), 0x1234}});
    auto record = std::make_unique<FreezeRecord>();
    SaveFreeze(*a.spu, *record, true);
    Core b;
    b.Ticks(10);
    const int callsBefore = b.calls;
    LoadFreeze(*b.spu, *record);
    const ConsoleState& c = b.spu->console;
    EXPECT_EQ(std::tuple(c.voices[0].envelopePhase, c.voices[0].blockAddress, c.voices[0].needDecode),
              std::tuple(kConsoleAttack, 0x0200, 1));
    EXPECT_EQ(std::tuple(c.voices[2].envelopePhase, c.voices[2].envelopeLevel), std::tuple(kConsoleRelease, 0));
    EXPECT_EQ(std::tuple(b.Ram16(0x3000), b.spu->transferAddress, b.calls, c.irqFlag),
              std::tuple(0x2222, 0x3002u, callsBefore, 0));
    // Voice 0 attacks afresh: the first frames of a key-on.
    EXPECT_EQ(b.Ticks(3), (std::vector<int16_t>{-1, -1, 529, 529, 3474, 3474}));
}

}  // namespace
}  // namespace zarn
