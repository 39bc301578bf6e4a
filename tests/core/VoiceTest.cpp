// Per-voice sample generation: block stepping, decoding, interpolation,
// noise and pitch advance.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "sound/VoiceGenerator.h"
#include "support/Adpcm.h"
#include "support/TestSettings.h"

namespace zarn {
namespace {

using test::Nibbles;
using test::WriteBlock;

class VoiceTest : public ::testing::Test {
protected:
    test::TestSettings settings;
    std::unique_ptr<SpuCore> spu = std::make_unique<SpuCore>(settings);
    SpuVoice& v = spu->voices[1];

    // Decodes the block at `unit` into v.
    void Decode(uint32_t unit) {
        v.blockAddress = static_cast<int32_t>(unit);
        DecodeBlock(v);
    }
};

// The obvious formula, in 64 bits, for comparison with the decoder.
std::vector<int64_t> ReferenceDecode(const std::array<uint8_t, 28>& nibbles, int shift, int64_t f0, int64_t f1,
                                     int64_t& h1, int64_t& h2) {
    std::vector<int64_t> out;
    for (uint8_t n : nibbles) {
        const int64_t signedNibble = n >= 8 ? n - 16 : n;
        const int64_t raw = (signedNibble * 4096) >> shift;
        const int64_t sample = raw + ((h1 * f0 + h2 * f1) >> 6);
        h2 = h1;
        h1 = sample;
        out.push_back(sample);
    }
    return out;
}

TEST_F(VoiceTest, DecodesNibblesWithShift) {
    std::array<uint8_t, 28> nibbles{};
    for (int i = 0; i < 28; ++i) nibbles[i] = static_cast<uint8_t>(i % 16);
    WriteBlock(*spu, 0x20, 0x00, 0, nibbles);
    Decode(0x20);
    for (int i = 0; i < 28; ++i) {
        const int n = i % 16;
        EXPECT_EQ(v.samples[1 + i], (n >= 8 ? n - 16 : n) * 4096) << i;
    }
    EXPECT_EQ(v.needDecode, 0);

    WriteBlock(*spu, 0x22, 0x0C, 0, nibbles);  // shift 12: the nibble itself
    Decode(0x22);
    EXPECT_EQ(v.samples[0], (11 - 16) * 4096);  // last sample of the block before
    for (int i = 0; i < 28; ++i) EXPECT_EQ(v.samples[1 + i], (i % 16 >= 8 ? i % 16 - 16 : i % 16)) << i;

    WriteBlock(*spu, 0x24, 0x0D, 0, nibbles);  // shift 13: floor of half
    Decode(0x24);
    EXPECT_EQ(v.samples[1 + 1], 0);   // 1 -> 0
    EXPECT_EQ(v.samples[1 + 3], 1);   // 3 -> 1
    EXPECT_EQ(v.samples[1 + 15], -1); // -1 -> -1
    EXPECT_EQ(v.samples[1 + 8], -4);  // -8 -> -4
    WriteBlock(*spu, 0x26, 0x0F, 0, nibbles);  // shift 15
    Decode(0x26);
    EXPECT_EQ(v.samples[1 + 7], 0);
    EXPECT_EQ(v.samples[1 + 9], -1);
}

TEST_F(VoiceTest, FiltersUseHistoryCarriedAcrossBlocks) {
    // Filter 1 with silent input decays the last output by 60/64 per sample.
    WriteBlock(*spu, 0x10, 0x10, 0, Nibbles(0));
    v.history1 = 1000;
    v.history2 = 5;
    Decode(0x10);
    EXPECT_EQ(v.samples[1], 937);
    EXPECT_EQ(v.samples[2], 878);
    EXPECT_EQ(v.samples[3], 823);

    const int64_t filters[5][2] = {{0, 0}, {60, 0}, {115, -52}, {98, -55}, {122, -60}};
    for (int filter = 0; filter < 5; ++filter) {
        std::array<uint8_t, 28> a{}, b{};
        for (int i = 0; i < 28; ++i) {
            a[i] = static_cast<uint8_t>((i * 5 + filter) % 16);
            b[i] = static_cast<uint8_t>((i * 3 + 7) % 16);
        }
        WriteBlock(*spu, 0x40, static_cast<uint8_t>(filter << 4 | 3), 2, a);
        WriteBlock(*spu, 0x42, static_cast<uint8_t>(filter << 4 | 9), 2, b);
        v.history1 = -300;
        v.history2 = 200;
        int64_t h1 = -300, h2 = 200;
        const auto first = ReferenceDecode(a, 3, filters[filter][0], filters[filter][1], h1, h2);
        const auto second = ReferenceDecode(b, 9, filters[filter][0], filters[filter][1], h1, h2);
        Decode(0x40);
        for (int i = 0; i < 28; ++i) EXPECT_EQ(v.samples[1 + i], first[i]) << "filter " << filter << " sample " << i;
        Decode(0x42);
        EXPECT_EQ(v.samples[0], first[27]);
        for (int i = 0; i < 28; ++i) EXPECT_EQ(v.samples[1 + i], second[i]) << "filter " << filter << " sample " << i;
        EXPECT_EQ(v.history1, h1);
        EXPECT_EQ(v.history2, h2);
    }
}

TEST_F(VoiceTest, UnknownFilterNumbersPredictNothing) {
    for (uint8_t header : {0x5C, 0x7C, 0x8C, 0xFC}) {
        WriteBlock(*spu, 0x10, header, 0, Nibbles(3));
        v.history1 = 30000;
        v.history2 = -30000;
        Decode(0x10);
        for (int i = 1; i <= 28; ++i) EXPECT_EQ(v.samples[i], 3) << int(header);
    }
}

TEST_F(VoiceTest, UnclampedHistoryWrapsInsteadOfOverflowing) {
    // Filter 4 on full-scale input grows without bound; the arithmetic wraps
    // at 32 bits (and UBSan stays quiet).
    WriteBlock(*spu, 0x10, 0x40, 0, Nibbles(7));
    v.history1 = 0x7FFFFFF0;
    v.history2 = -0x7FFFFFF0;
    Decode(0x10);
    const uint32_t product = 0x7FFFFFF0u * 122u + static_cast<uint32_t>(-0x7FFFFFF0) * static_cast<uint32_t>(-60);
    const int32_t prediction = static_cast<int32_t>(product) >> 6;
    const int32_t expected = static_cast<int32_t>(28672u + static_cast<uint32_t>(prediction));
    EXPECT_EQ(v.samples[1], expected);
}

TEST_F(VoiceTest, BlockAtTheEndOfSoundRamWrapsToItsStart) {
    std::array<uint8_t, 28> nibbles{};
    for (int i = 0; i < 28; ++i) nibbles[i] = static_cast<uint8_t>(i % 8);
    WriteBlock(*spu, 0xFFFF, 0x0C, 0, nibbles);  // bytes 8-15 land at 0-7
    EXPECT_EQ(spu->soundRam[0], nibbles[12] | (nibbles[13] << 4));
    Decode(0xFFFF);
    for (int i = 0; i < 28; ++i) EXPECT_EQ(v.samples[1 + i], i % 8) << i;
}

TEST_F(VoiceTest, FlagsDecideTheNextBlock) {
    struct Case {
        uint8_t flags;
        int32_t nextAddress;
        bool ends;
        int32_t repeat;
    };
    const Case cases[] = {
        {0, 0x102, false, 0x50}, {2, 0x102, false, 0x50}, {4, 0x102, false, 0x50},
        {5, 0x102, false, 0x50}, {1, 0x102, true, 0x50},  {3, 0x50, false, 0x50},
        {6, 0x102, false, 0x100}, {8, 0x100, true, 0x50},  {0x7F, 0x100, true, 0x50},
        {0x80, 0x100, true, 0x50}, {0xFF, 0x100, true, 0x50},
    };
    for (const Case& c : cases) {
        WriteBlock(*spu, 0x100, 0, c.flags, Nibbles(0));
        v.blockAddress = 0x100;
        v.repeatAddress = 0x50;
        v.envelopePhase = kSustain;
        v.pitchCounter = SpuVoice::kBlockEnd + 0x123;
        v.needDecode = 0;
        StepBlocks(v, nullptr);
        EXPECT_EQ(v.blockAddress, c.nextAddress) << int(c.flags);
        EXPECT_EQ(v.envelopePhase, c.ends ? kOff : kSustain) << int(c.flags);
        EXPECT_EQ(v.repeatAddress, c.repeat) << int(c.flags);
        EXPECT_EQ(v.pitchCounter, 0x123);
        EXPECT_EQ(v.needDecode, 1);
    }
    // Block 7 itself ends the sound when it is played out.
    WriteBlock(*spu, 0x100, 0, 7, Nibbles(0));
    v.blockAddress = 0x100;
    v.envelopePhase = kAttack;
    v.pitchCounter = SpuVoice::kBlockEnd;
    StepBlocks(v, nullptr);
    EXPECT_EQ(v.envelopePhase, kOff);
}

TEST_F(VoiceTest, ABlockBeforeAFlagSevenBlockRepeats) {
    WriteBlock(*spu, 0x200, 0, 2, Nibbles(0));
    WriteBlock(*spu, 0x202, 0, 7, Nibbles(0));
    v.blockAddress = 0x200;
    v.envelopePhase = kSustain;
    for (int pass = 0; pass < 3; ++pass) {
        v.pitchCounter = SpuVoice::kBlockEnd;
        StepBlocks(v, nullptr);
        EXPECT_EQ(v.blockAddress, 0x200);
        EXPECT_EQ(v.envelopePhase, kSustain);
    }
}

TEST_F(VoiceTest, LoopPlaysFromTheRepeatBlockForever) {
    WriteBlock(*spu, 0x300, 0, 6, Nibbles(0));
    WriteBlock(*spu, 0x302, 0, 2, Nibbles(0));
    WriteBlock(*spu, 0x304, 0, 3, Nibbles(0));
    v.blockAddress = 0x2FE;  // a plain block first
    WriteBlock(*spu, 0x2FE, 0, 0, Nibbles(0));
    v.envelopePhase = kSustain;
    std::vector<int32_t> visited;
    for (int i = 0; i < 8; ++i) {
        v.pitchCounter = SpuVoice::kBlockEnd;
        StepBlocks(v, nullptr);
        visited.push_back(v.blockAddress);
    }
    EXPECT_EQ(visited, (std::vector<int32_t>{0x300, 0x302, 0x304, 0x300, 0x302, 0x304, 0x300, 0x302}));
    EXPECT_EQ(v.repeatAddress, 0x300);
    EXPECT_EQ(v.envelopePhase, kSustain);
}

int irqCount = 0;
void CountIrq(void*) { ++irqCount; }

TEST_F(VoiceTest, IrqFiresForEachFinishedIrqBlock) {
    const IrqLine irq{CountIrq, nullptr};
    for (int unit = 0x100; unit < 0x106; unit += 2) WriteBlock(*spu, unit, 0, 0, Nibbles(0));
    v.SetIrqAddress(0x0101);  // inside the block at 0x100
    v.envelopePhase = kSustain;

    irqCount = 0;
    v.blockAddress = 0x100;
    v.pitchCounter = SpuVoice::kBlockEnd;
    StepBlocks(v, &irq);
    EXPECT_EQ(irqCount, 1);
    v.pitchCounter = SpuVoice::kBlockEnd;  // now finishing 0x102
    StepBlocks(v, &irq);
    EXPECT_EQ(irqCount, 1);

    // Several blocks in one frame: each is compared.
    v.SetIrqAddress(0x0102);
    v.blockAddress = 0x100;
    v.pitchCounter = 3 * SpuVoice::kBlockEnd;
    StepBlocks(v, &irq);
    EXPECT_EQ(irqCount, 2);
    EXPECT_EQ(v.blockAddress, 0x106);

    // Interrupts off: nothing.
    v.blockAddress = 0x102;
    v.pitchCounter = SpuVoice::kBlockEnd;
    StepBlocks(v, nullptr);
    EXPECT_EQ(irqCount, 2);
}

TEST_F(VoiceTest, InterpolatesOneSampleBehindTheBlock) {
    WriteBlock(*spu, 0x10, 0x00, 0, test::Ramp());
    v.samples[28] = -4096;  // the previous block's last sample
    Decode(0x10);
    v.pitchCounter = 0x1000;  // right after key-on: the first sample exactly
    EXPECT_EQ(ReadSample(v, true), 4096);
    v.pitchCounter = 0x1800;
    EXPECT_EQ(ReadSample(v, true), 6144);
    v.pitchCounter = 0x0800;  // between the previous block's last and the first
    EXPECT_EQ(ReadSample(v, true), 0);
    v.pitchCounter = 0x0400;
    EXPECT_EQ(ReadSample(v, true), -4096 + (8192 * 0x400 >> 12));
    v.pitchCounter = 0x1BFFF;  // last position: between samples 27 and 28
    EXPECT_EQ(ReadSample(v, true), 24576 + ((28672 - 24576) * 0xFFF >> 12));
}

TEST_F(VoiceTest, PitchAdvanceAndModulation) {
    SpuVoice& modulated = spu->voices[2];
    modulated.pitch = 0x1000;
    modulated.pitchCounter = 0x1000;
    AdvancePitch(modulated, true);
    EXPECT_EQ(modulated.pitchCounter, 0x2000);

    modulated.pitchModulation = 1;
    v.lastOutput = 16384;  // voice 1 is the modulator
    AdvancePitch(modulated, true);
    EXPECT_EQ(modulated.pitchCounter, 0x2000 + ((16384 + 32768) * 0x1000 >> 15));
    v.lastOutput = -32768;  // a silent rate
    AdvancePitch(modulated, true);
    EXPECT_EQ(modulated.pitchCounter, 0x3800);
    v.lastOutput = 32767;
    AdvancePitch(modulated, false);  // noise and FM off: plain pitch
    EXPECT_EQ(modulated.pitchCounter, 0x4800);
    v.lastOutput = -100000;  // only out-of-range data: the voice stands still
    AdvancePitch(modulated, true);
    EXPECT_EQ(modulated.pitchCounter, 0x4800);

    // Voice 0 has no predecessor.
    SpuVoice& first = spu->voices[0];
    first.pitchModulation = 1;
    first.pitch = 0x800;
    AdvancePitch(first, true);
    EXPECT_EQ(first.pitchCounter, 0x800);
}

// Runs on a fresh thread: the noise generator's state is per thread and
// starts at 1.
template <typename F>
void OnFreshThread(F&& body) {
    std::thread thread(std::forward<F>(body));
    thread.join();
}

TEST_F(VoiceTest, NoiseHoldsRandomValuesAtTheNoiseRate) {
    OnFreshThread([&] {
        WriteBlock(*spu, 0x10, 0x00, 0, test::Ramp());
        Decode(0x10);
        v.pitchCounter = 0x1000;
        v.noiseEnabled = 1;
        v.noiseRate = 32768;
        // Without the switch the voice plays its samples and the counter stands.
        EXPECT_EQ(ReadSample(v, false), 4096);
        EXPECT_EQ(v.noiseCounter, 0);

        // t = 32768 x counter / 44100: 0, 1 (draw), 2 (draw), 2, 3 (draw)...
        EXPECT_EQ(ReadSample(v, true), 0);
        EXPECT_EQ(ReadSample(v, true), 0);  // draws now, heard from the next frame
        const int32_t first = (41 * 49152 - 805281792) / 32767;  // state 1 -> 2745024 -> 41
        EXPECT_EQ(v.noiseValue, first);
        EXPECT_EQ(first, -24514);
        EXPECT_EQ(ReadSample(v, true), first);
        uint32_t state = 2745024u * 214013u + 2531011u;
        const int32_t second = (static_cast<int32_t>((state >> 16) & 0x7FFF) * 49152 - 805281792) / 32767;
        EXPECT_EQ(v.noiseValue, second);
        EXPECT_EQ(ReadSample(v, true), second);  // counter 4: t 2, no draw
        EXPECT_EQ(v.noiseValue, second);
    });
}

TEST_F(VoiceTest, NoiseCountingRestartsBeforeItOverflows) {
    v.noiseEnabled = 1;
    v.noiseRate = 32768;
    v.noiseCounter = 65534;
    v.noiseTick = 32768 * 65534 / 44100;
    v.noiseValue = 1234;
    ReadSample(v, true);  // counter 65535: still inside 32 bits
    EXPECT_EQ(v.noiseCounter, 65535);
    ReadSample(v, true);  // 65536 x 32768 would be 2^31
    EXPECT_EQ(v.noiseCounter, 0);
    EXPECT_EQ(v.noiseTick, 0);
    // Rate 0: t stays 0, so a fresh voice never draws and plays a constant.
    SpuVoice& silent = spu->voices[4];
    silent.noiseEnabled = 1;
    silent.noiseCounter = INT32_MAX;
    EXPECT_EQ(ReadSample(silent, true), 0);
    EXPECT_EQ(silent.noiseCounter, 0);
    EXPECT_EQ(silent.noiseValue, 0);
}

}  // namespace
}  // namespace zarn
