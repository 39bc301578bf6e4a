// One voice frame by frame: block stepping, decoding, pitch advance and the
// envelope. (Interpolation and noise: the demo's golden render.)
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "support/CoreRig.h"
#include "voice/Envelope.h"
#include "voice/VoiceGenerator.h"

namespace zarn {
namespace {

using test::Nibbles, test::WriteBlock;

class VoiceTest : public test::CoreTest {
protected:
    SpuVoice& v = voice(1);

    // Plays out `blocks` blocks from `start` in one frame, giving the next block.
    // Unwritten sound RAM holds flag-0 blocks.
    int32_t Step(int32_t start, int blocks, const IrqLine* irq = nullptr) {
        std::tie(v.blockAddress, v.pitchCounter, v.needDecode) =
            std::tuple(start, blocks * SpuVoice::kBlockEnd + 0x123, uint8_t{0});
        StepBlocks(v, irq);
        EXPECT_EQ(std::tuple(v.pitchCounter, v.needDecode), std::tuple(0x123, 1));
        return v.blockAddress;
    }
};

TEST_F(VoiceTest, DecodesLikeThe64BitFormulaForEveryFilterAndShift) {
    // A chain of blocks from the last unit of sound RAM (its bytes 8-15 wrap to
    // 0-7) through every nibble, shift and filter (beyond the table: none).
    const int64_t coefficients[5][2] = {{0, 0}, {60, 0}, {115, -52}, {98, -55}, {122, -60}};
    const uint8_t headers[] = {0x0C, 0x00, 0x13, 0x1D, 0x29, 0x2F, 0x34, 0x3C, 0x40,
                               0x4D, 0x4F, 0x12, 0x5C, 0x7C, 0x8C, 0xFC, 0x21, 0x30};
    int64_t h1 = 0, h2 = 0, last = v.samples[28] = 77;
    for (uint32_t b = 0; b < std::size(headers); ++b) {
        SCOPED_TRACE(testing::Message() << "header " << int(headers[b]));
        std::array<uint8_t, 28> nibbles{};
        for (uint32_t i = 0; i < 28; ++i) nibbles[i] = static_cast<uint8_t>((i * 5 + b) % 16);
        WriteBlock(*spu, (0xFFFF + 2 * b) & 0xFFFF, headers[b], 0, nibbles);
        v.blockAddress = static_cast<int32_t>((0xFFFF + 2 * b) & 0xFFFF);
        DecodeBlock(v);
        EXPECT_EQ(std::tuple(v.samples[0], v.needDecode), std::tuple(last, 0));
        const int shift = headers[b] & 0xF, filter = headers[b] >> 4;
        const int64_t f0 = filter < 5 ? coefficients[filter][0] : 0, f1 = filter < 5 ? coefficients[filter][1] : 0;
        for (int i = 0; i < 28; ++i) {
            const int64_t sample = (((nibbles[i] ^ 8) - 8) * 4096 >> shift) + ((h1 * f0 + h2 * f1) >> 6);
            h2 = h1;
            h1 = last = sample;
            EXPECT_EQ(v.samples[1 + i], sample) << "sample " << i;
        }
    }
    // Filter 4 on full-scale input grows without bound: it wraps at 32 bits (and UBSan stays quiet).
    WriteBlock(*spu, 0x10, 0x40, 0, Nibbles(7));
    std::tie(v.history1, v.history2, v.blockAddress) = std::tuple(0x7FFFFFF0, -0x7FFFFFF0, 0x10);
    DecodeBlock(v);
    const uint32_t product = 0x7FFFFFF0u * 122u + static_cast<uint32_t>(-0x7FFFFFF0) * static_cast<uint32_t>(-60);
    EXPECT_EQ(v.samples[1], static_cast<int32_t>(28672u + static_cast<uint32_t>(static_cast<int32_t>(product) >> 6)));
}

TEST_F(VoiceTest, FlagsDecideTheNextBlockAndLoops) {
    // flags, next block, repeat address, whether the sound ends
    const std::tuple<uint8_t, int32_t, int32_t, bool> cases[] = {
        {0, 0x102, 0x50, false}, {2, 0x102, 0x50, false},   {4, 0x102, 0x50, false},   {5, 0x102, 0x50, false},
        {1, 0x102, 0x50, true},  {7, 0x102, 0x50, true},    {3, 0x50, 0x50, false},    {6, 0x102, 0x100, false},
        {8, 0x100, 0x50, true},  {0x7F, 0x100, 0x50, true}, {0x80, 0x100, 0x50, true}, {0xFF, 0x100, 0x50, true}};
    for (const auto& [flags, next, repeat, ends] : cases) {
        WriteBlock(*spu, 0x100, 0, flags, Nibbles(0));
        std::tie(v.repeatAddress, v.envelopePhase) = std::tuple(0x50, kSustain);
        EXPECT_EQ(Step(0x100, 1), next) << int(flags);
        EXPECT_EQ(std::tuple(v.repeatAddress, v.envelopePhase), std::tuple(repeat, ends ? kOff : kSustain))
            << int(flags);
    }
    // 0x200 (flag 0) comes before a flag-7 block, which is never entered.
    WriteBlock(*spu, 0x202, 0, 7, Nibbles(0));
    v.envelopePhase = kSustain;
    std::vector<int32_t> visited{0x200};
    while (visited.size() < 4) visited.push_back(Step(visited.back(), 1));
    EXPECT_EQ(visited, (std::vector<int32_t>{0x200, 0x200, 0x200, 0x200}));
}

TEST_F(VoiceTest, PitchAdvanceAndModulation) {
    // Every voice's last output is the modulator; voice 0 has no predecessor.
    // voice, modulated, modulator, FM switch, start, end
    const std::tuple<int, int, int32_t, bool, int32_t, int32_t> cases[] = {
        {2, 0, 16384, true, 0x1000, 0x2000},
        {2, 1, 16384, true, 0x1000, 0x2800},
        {2, 1, -32768, true, 0x1000, 0x1000},
        {2, 1, 32767, false, 0x1000, 0x2000},          // FM off: plain pitch
        {2, 1, -40000, true, 0x10000, 0x10000 - 904},  // backwards
        {2, 1, -100000, true, 0x1000, 0},              // not before 0
        {0, 1, 16384, true, 0x1000, 0x2000}};
    for (const auto& [n, modulation, modulator, on, start, end] : cases) {
        for (SpuVoice& other : spu->standard.voices) other.lastOutput = modulator;
        SpuVoice& m = spu->standard.voices[n];
        std::tie(m.pitch, m.pitchModulation, m.pitchCounter) = std::tuple(0x1000, modulation, start);
        AdvancePitch(m, on);
        EXPECT_EQ(m.pitchCounter, end) << n << " " << modulation << " " << modulator << " " << on;
    }
}

// Key on (+1) or off (-1), run `frames` frames, then level, volume and phase.
struct Step {
    int key, frames;
    int32_t level, volume;
    EnvelopePhase phase;
};

TEST(EnvelopeTest, PhasesStepByTheirRates) {
    // Rates and sustain level, and the start: `level` in `phase` with that phase's step.
    const struct {
        const char* name;
        int32_t attack, decay, sustainLevel, sustainRate, sustainDecrease, release, level;
        EnvelopePhase phase;
        std::vector<Step> steps;
    } traces[] = {
        // clang-format off
        {"attack, decay to sustain level 8, held", 0, 0, 8, 127, 0, 0, 0, kAttack,
         {{0, 1, 4194303, 16383, kAttack}, {0, 1, 8388606, 32767, kAttack}, {0, 1, 6710884, 26214, kDecay},
          {0, 1229, 4195121, 16387, kDecay}, {0, 1, 4194295, 16383, kSustain}, {0, 5, 4194295, 16383, kSustain}}},
        {"full scale exactly; sustain level 15 above the decay start", 0, 15, 15, 127, 0, 0, 4194304, kAttack,
         {{0, 1, 6710884, 26214, kDecay}, {0, 1, 7864304, 30719, kSustain}}},
        {"sustain level 0, held", 0, 0, 0, 127, 0, 0, 2046, kDecay, {{0, 1, -1, -1, kSustain}, {0, 1, 0, 0, kOff}}},
        {"sustain level 0, falling", 0, 0, 0, 0, 1, 0, 2000, kDecay, {{0, 1, -1, -1, kSustain}, {0, 1, 0, 0, kOff}}},
        {"sustain level 0, rising", 0, 0, 0, 0, 0, 0, 2000, kDecay,
         {{0, 1, -1, -1, kSustain}, {0, 1, 4194302, 16383, kSustain}, {0, 1, 8388605, 32767, kSustain},
          {0, 1, 8388607, 32767, kSustain}}},
        {"falling sustain", 0, 0, 1, 0, 1, 0, 8388606, kSustain,
         {{0, 1, 4194303, 16383, kSustain}, {0, 1, 0, 0, kOff}}},
        {"release from the attack", 127, 0, 8, 127, 0, 0, 2097021, kAttack,
         {{0, 1, 2097151, 8191, kAttack}, {-1, 1, 0, 0, kOff}}},
        {"key-on while releasing", 0, 0, 8, 127, 0, 31, 3000000, kAttack,
         {{-1, 1, 2999937, 11718, kRelease}, {+1, 1, 7194240, 28102, kAttack}}},
        {"off forces level 0", 0, 0, 8, 0, 0, 0, 5000, kOff, {{0, 1, 0, 0, kOff}}},
        {"levels 1..255 read volume 1 to the end", 0, 0, 8, 127, 0, 31, 505, kRelease,
         {{0, 4, 253, 1, kRelease}, {0, 4, 1, 1, kRelease}, {0, 1, 0, 0, kOff}}},
        // clang-format on
    };
    for (const auto& t : traces) {
        SCOPED_TRACE(t.name);
        SpuVoice v;
        std::tie(v.attackRate, v.decayRate, v.sustainLevel, v.sustainRate, v.sustainDecrease, v.releaseRate) =
            std::tuple(t.attack, t.decay, t.sustainLevel, t.sustainRate, t.sustainDecrease, t.release);
        v.KeyOn();
        std::tie(v.envelopeLevel, v.envelopePhase) = std::tuple(t.level, t.phase);
        v.envelopeStep = v.PhaseStep();
        int frame = 0;
        for (const Step& s : t.steps) {
            if (s.key > 0) v.KeyOn();
            if (s.key < 0) v.KeyOff();
            for (int i = 0; i < s.frames; ++i) EnvelopeStep(v);
            frame += s.frames;
            EXPECT_EQ(std::tuple(v.envelopeLevel, v.envelopeVolume, v.envelopePhase),
                      std::tuple(s.level, s.volume, s.phase))
                << "after frame " << frame;
        }
    }
}

}  // namespace
}  // namespace zarn
