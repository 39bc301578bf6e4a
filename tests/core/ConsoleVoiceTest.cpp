// The console model's voice units against the worked examples of the
// hardware documentation: ADPCM decoding, block flags, interpolation, pitch,
// noise, the envelope and the volume sweeps.
#include <gtest/gtest.h>

#include <vector>

#include "support/ConsoleRig.h"
#include "voice/ConsoleEnvelope.h"
#include "voice/ConsoleVoice.h"

namespace zarn {
namespace {

using namespace console;
using test::ConsoleRig;

TEST(ConsoleArithTest, Clamp16UsesTheFullRangeUnlikeTheSymmetricSaturate) {
    EXPECT_EQ(Clamp16(-32769), -32768);
    EXPECT_EQ(Clamp16(-32768), -32768);
    EXPECT_EQ(Clamp16(32767), 32767);
    EXPECT_EQ(Clamp16(32768), 32767);
    EXPECT_EQ(saturate16(-32768), -32767);
}

TEST(ConsoleVoiceTest, DecodesBlocksWithFlooredPredictionAndClampedHistory) {
    struct {
        uint8_t header;
        int16_t old, older;
        std::vector<uint8_t> data;
        std::vector<int32_t> first;
        bool wholeBlock;  // every sample equals the first
    } const cases[] = {
        {0x00, 0, 0, {0x17, 0x8F}, {28672, 4096, -4096, -32768}, false},
        {0x1C, -1, 0, {}, {-1}, true},  // a truncating divide would give 0
        {0x1C, 100, 0, {}, {94, 88, 83, 78, 73, 68, 64, 60}, false},
        {0x2C, 1000, 500, {}, {1391, 1687, 1901, 2045, 2130, 2166}, false},
        {0x3C, 1000, 500, {}, {1102, 828, 321, -220, -613, -750}, false},
        {0x4C, 1000, 500, {}, {1438, 1804, 2091, 2295, 2415, 2452}, false},
        {0x4C, -1000, -500, {}, {-1437, -1802, -2088, -2291, -2410, -2446}, false},
        {0x40, 28672, 0, {0x07}, {32767, 32767, 31743, 29791, 27030, 23597}, false},
        {0x0D, 0, 0, {0x21}, {8, 16, 0}, false},  // shift 13 acts as 9
        {0x5C, 1000, 500, {}, {0}, true},         // filter 5 predicts nothing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "header " << int{c.header} << ", history " << c.old);
        ConsoleRig rig;
        ConsoleVoice& voice = rig.Voice(0);
        voice.blockAddress = 0x200;
        voice.samples[30] = c.old;  // the previous block's last two samples
        voice.samples[29] = c.older;
        rig.ram[0x1000] = c.header;
        for (size_t k = 0; k < c.data.size(); ++k) rig.ram[0x1002 + k] = c.data[k];
        DecodeBlock(rig.bus, 0);
        EXPECT_EQ(voice.samples[1], c.older);
        EXPECT_EQ(voice.samples[2], c.old);
        for (size_t k = 0; k < c.first.size(); ++k) EXPECT_EQ(voice.samples[3 + k], c.first[k]) << k;
        if (c.wholeBlock) {
            for (int k = 0; k < 28; ++k) EXPECT_EQ(voice.samples[3 + k], c.first[0]) << k;
        }
    }
}

TEST(ConsoleVoiceTest, BlockFlagsSetTheRepeatAddressEndxAndTheEnvelope) {
    ConsoleRig rig;
    ConsoleVoice& voice = rig.Voice(5);
    voice.blockAddress = 0x212;  // byte 0x1090
    rig.ram[0x1091] = 0x04;
    DecodeBlock(rig.bus, 5);
    EXPECT_EQ(voice.repeatAddress, 0x0212);

    struct {
        uint8_t flags;
        uint16_t next;
        bool endx;
        int16_t level;
        uint8_t phase;
    } const ends[] = {
        {0x00, 0x0302, false, 0x4000, kConsoleSustain}, {0x02, 0x0302, false, 0x4000, kConsoleSustain},
        {0x01, 0x0212, true, 0, kConsoleRelease},       {0x03, 0x0212, true, 0x4000, kConsoleSustain},
        {0x07, 0x0212, true, 0x4000, kConsoleSustain},
    };
    for (const auto& e : ends) {
        SCOPED_TRACE(testing::Message() << "flags " << int{e.flags});
        rig.state.endx = 0;
        voice.blockAddress = 0x300;
        voice.needDecode = 0;
        voice.envelopeLevel = 0x4000;
        voice.envelopePhase = kConsoleSustain;
        rig.ram[0x1801] = e.flags;
        BlockEnd(rig.bus, 5);
        EXPECT_EQ(voice.blockAddress, e.next);
        EXPECT_EQ(rig.state.endx, e.endx ? 1u << 5 : 0u);
        EXPECT_EQ(voice.envelopeLevel, e.level);
        EXPECT_EQ(voice.envelopePhase, e.phase);
        EXPECT_EQ(voice.needDecode, 1);
    }
    voice.blockAddress = 0xFFFE;  // unit addresses wrap at 16 bits
    rig.ram[0x7FFF1] = 0;
    BlockEnd(rig.bus, 5);
    EXPECT_EQ(voice.blockAddress, 0x0000);
}

TEST(ConsoleVoiceTest, InterpolatesFourSamplesThroughTheTable) {
    struct {
        int16_t window[4];  // oldest, older, old, new
        uint32_t index;
        int32_t x;
    } const cases[] = {
        {{0x1000, 0x2000, 0x3000, 0x4000}, 0x00, 8165},
        {{0x1000, 0x2000, 0x3000, 0x4000}, 0x01, 8182},
        {{0x1000, 0x2000, 0x3000, 0x4000}, 0x80, 10206},
        {{0x1000, 0x2000, 0x3000, 0x4000}, 0xFF, 12230},
        {{0, 0, 0, 0x7FFF}, 0x00, -1},
        {{0, 0, 0, 0x7FFF}, 0x80, 423},
        {{0, 0, 0, 0x7FFF}, 0xFF, 4806},
        {{0x7FFF, 0x7FFF, 0x7FFF, 0x7FFF}, 0x00, 32637},
        {{0x7FFF, 0x7FFF, 0x7FFF, 0x7FFF}, 0x80, 32635},
        {{0x7FFF, 0x7FFF, 0x7FFF, 0x7FFF}, 0xFF, 32637},
        {{-0x8000, -0x8000, -0x8000, -0x8000}, 0x00, -32640},
        {{-0x8000, -0x8000, -0x8000, -0x8000}, 0x80, -32639},
        {{-0x8000, -0x8000, -0x8000, -0x8000}, 0xFF, -32640},
    };
    ConsoleVoice voice;
    for (const auto& c : cases) {
        for (uint32_t s : {0u, 27u}) {  // the window starts at the counter's sample index
            std::fill(std::begin(voice.samples), std::end(voice.samples), int16_t{0x5555});
            std::copy_n(c.window, 4, voice.samples + s);
            for (uint32_t low : {0x0u, 0xFu}) {  // bits 0-3 do not count
                voice.pitchCounter = s << 12 | c.index << 4 | low;
                EXPECT_EQ(Interpolate(voice), c.x) << c.window[0] << " at " << c.index << ", sample " << s;
            }
        }
    }
}

TEST(ConsoleVoiceTest, PitchStepsAreModulatedWithTheSignGlitchAndLimited) {
    struct {
        int v;
        uint16_t pitch;
        bool pmon;
        int32_t previousOut;
        uint32_t step;
    } const cases[] = {
        {1, 0x2000, false, 0, 0x2000},      {1, 0x5000, false, 0, 0x4000},     {1, 0x1000, true, 0x4000, 0x1800},
        {1, 0x1000, true, -0x8000, 0x0000}, {1, 0x1000, true, 0x7FFF, 0x1FFF}, {1, 0x3000, true, 0x7FFF, 0x4000},
        {1, 0x8000, true, 0, 0x4000},       {1, 0x9000, true, 0x7FFF, 0x2000}, {1, 0xC000, true, -0x4000, 0x4000},
        {0, 0x1000, true, 0x4000, 0x1000},   // voice 0 has no modulator
        {17, 0x1000, true, 0x4000, 0x1800},  // voices 16-23 in the second word
    };
    for (const auto& c : cases) {
        ConsoleRig rig;
        rig.Set(reg::Voice(c.v, reg::kPitch), c.pitch);
        if (c.pmon) rig.Set(c.v < 16 ? reg::kPitchModulation : reg::kPitchModulation + 2, 1u << (c.v % 16));
        AdvancePitch(rig.bus, c.v, c.previousOut);
        EXPECT_EQ(rig.Voice(c.v).pitchCounter, c.step) << c.pitch << " modulated by " << c.previousOut;
    }
}

TEST(ConsoleVoiceTest, NoiseShiftsAtTheClockOfSpucnt) {
    const uint16_t sequence[] = {0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F, 0x007F, 0x00FF, 0x01FF, 0x03FF,
                                 0x07FF, 0x0FFE, 0x1FFD, 0x3FFA, 0x7FF4, 0xFFE8, 0xFFD1, 0xFFA3, 0xFF47, 0xFE8F};
    for (uint32_t ctl : {0x3F00u, 0x3C00u}) {
        ConsoleState state;
        for (uint16_t expected : sequence) {
            NoiseTick(state, ctl);
            ASSERT_EQ(state.noiseLevel, expected) << ctl;
        }
    }
    struct {
        uint32_t ctl;
        int ticks;
        std::vector<int> shifts;
    } const clocks[] = {{0x2000, 400, {1, 129, 257, 385}}, {0x0000, 65537, {1, 32769, 65537}}};
    for (const auto& c : clocks) {
        ConsoleState state;
        std::vector<int> shifts;
        for (int tick = 1; tick <= c.ticks; ++tick) {
            const uint16_t before = state.noiseLevel;
            NoiseTick(state, c.ctl);
            if (state.noiseLevel != before) shifts.push_back(tick);
        }
        EXPECT_EQ(shifts, c.shifts) << c.ctl;
        EXPECT_EQ(state.noiseLevel, sequence[c.shifts.size() - 1]);
    }
}

// Key on before tick 1, key off before tick `keyOff` (0: never); at each
// checkpoint's tick the level (-1: any) and the phase after that tick.
struct Checkpoint {
    int tick;
    int32_t level;
    uint8_t phase;
};
struct EnvelopeCase {
    uint16_t adsr1, adsr2;
    int keyOff;
    std::vector<Checkpoint> checkpoints;
};

void RunEnvelope(const EnvelopeCase& c) {
    SCOPED_TRACE(testing::Message() << std::hex << "adsr " << c.adsr1 << ", " << c.adsr2);
    ConsoleRig rig;
    rig.Set(reg::kControl, 0x8000);
    rig.Set(reg::Voice(0, reg::kEnvelope1), c.adsr1);
    rig.Set(reg::Voice(0, reg::kEnvelope2), c.adsr2);
    KeyOn(rig.bus, 0);
    const ConsoleVoice& voice = rig.Voice(0);
    int tick = 0;
    for (const Checkpoint& point : c.checkpoints) {
        while (tick < point.tick) {
            if (++tick == c.keyOff) KeyOff(rig.state, 0);
            EnvelopeTick(rig.bus, 0);
        }
        if (point.level >= 0) {
            EXPECT_EQ(voice.envelopeLevel, point.level) << std::dec << "tick " << tick;
        }
        EXPECT_EQ(voice.envelopePhase, point.phase) << std::dec << "tick " << tick;
    }
}

constexpr uint8_t A = kConsoleAttack, D = kConsoleDecay, S = kConsoleSustain, R = kConsoleRelease;

TEST(ConsoleEnvelopeTest, ShortTracesStepThroughThePhases) {
    const EnvelopeCase cases[] = {
        {0x000F, 0x1FC0, 0, {{1, 0x3800, A}, {2, 0x7000, A}, {3, 0x7FFF, D}, {4, 0x3FFF, S}, {9, 0x3FFF, S}}},
        {0x010F, 0x1FC0, 0, {{1, 0x3000, A}, {2, 0x6000, A}, {3, 0x7FFF, D}}},
        {0x04AF,
         0x5FC0,
         0,
         {{1, 0x1C00, A},
          {2, 0x3800, A},
          {3, 0x5400, A},
          {4, 0x7000, A},
          {5, 0x7FFF, D},
          {6, 0x7FEF, S},
          {99, 0x7FEF, S}}},
    };
    for (const auto& c : cases) RunEnvelope(c);
}

TEST(ConsoleEnvelopeTest, MatchesTheHardwareMeasurements) {
    const EnvelopeCase cases[] = {
        // Linear attacks: +7 every tick, +5 every 2 ticks, +5 every 8192 ticks.
        {0x2C0F, 0x1FC0, 0, {{1, 0x0007, A}, {2, 0x000E, A}, {100, 700, A}}},
        {0x320F, 0x1FC0, 0, {{1, 0, A}, {2, 0x0005, A}, {3, 0x0005, A}, {4, 0x000A, A}}},
        {0x620F, 0x1FC0, 0, {{8191, 0, A}, {8192, 0x0005, A}, {16383, 0x0005, A}, {16384, 0x000A, A}}},
        // Exponential attack: a quarter of the speed above 0x6000.
        {0xB00F,
         0x1FC0,
         0,
         {{2, 0x0007, A},
          {514, 0x0707, A},
          {2 + 13 * 512, 0x5B07, A},
          {2 + 14 * 512, 0x607F, A},
          {2 + 15 * 512, 0x623F, A},
          {2 + 16 * 512, 0x63FF, A},
          {2 + 17 * 512, 0x65BF, A}}},
        // Sustain levels 0, 7, 11, 14, 15 after an exponential decay (shift 10).
        {0x04A0, 0x5FC0, 0, {{4880, -1, D}, {4881, 0x07FF, S}, {9000, 0x07FF, S}}},
        {0x04A7, 0x5FC0, 0, {{1362, -1, D}, {1363, 0x3FFA, S}}},
        {0x04AB, 0x5FC0, 0, {{573, -1, D}, {574, 0x5FF6, S}}},
        {0x04AE, 0x5FC0, 0, {{132, -1, D}, {133, 0x77FF, S}}},
        {0x04AF, 0x5FC0, 0, {{5, -1, D}, {6, 0x7FEF, S}}},
        // Exponential sustain decrease, shift 12, read every 512 ticks.
        {0x040F,
         0xCC00,
         0,
         {{1, 0x1C00, A},
          {513, 0x3C0B, S},
          {1025, 0x380B, S},
          {1537, 0x340B, S},
          {2049, 0x300B, S},
          {2561, 0x2D08, S},
          {3073, 0x2A08, S},
          {3585, 0x2708, S},
          {4097, 0x2408, S},
          {4609, 0x2108, S},
          {5121, 0x1EB0, S}}},
        // Linear releases from 0x3FFF: -8 every 2, 8 and 32 ticks.
        {0x000F, 0x1FCC, 11, {{10, 0x3FFF, S}, {11, 0x3FFF, R}, {12, 0x3FF7, R}, {521, 0x3807, R}, {522, 0x37FF, R}}},
        {0x000F, 0x1FCE, 11, {{17, 0x3FFF, R}, {18, 0x3FF7, R}, {26, 0x3FEF, R}}},
        {0x000F, 0x1FD0, 11, {{41, 0x3FFF, R}, {42, 0x3FF7, R}, {74, 0x3FEF, R}}},
    };
    for (const auto& c : cases) RunEnvelope(c);
}

TEST(ConsoleEnvelopeTest, VolumeWordsAreFixedOrSweep) {
    const std::pair<uint16_t, int16_t> fixed[] = {
        {0x3FFF, 0x7FFE}, {0x4000, -0x8000}, {0x7FFF, -2}, {0x2000, 0x4000}, {0x0001, 0x0002}};
    for (const auto& [word, level] : fixed) {
        int16_t current = 0x1234;
        uint16_t counter = 0x10;
        VolumeTick(word, current, counter);
        EXPECT_EQ(current, level) << word;
        EXPECT_EQ(counter, 0);
    }
    struct {
        uint16_t word;
        int16_t start;
        int16_t levels[6];  // ticks 1-6
    } const sweeps[] = {
        {0x8000, 0, {0x3800, 0x7000, 0x7FFF, 0x7FFF, 0x7FFF, 0x7FFF}},
        {0x9000, 0, {-0x4000, -0x8000, -0x8000, -0x8000, -0x8000, -0x8000}},
        {0xB000, -0x8000, {-0x4800, -0x1000, 0, 0, 0, 0}},
        {0xA000, 0x7FFF, {0x3FFF, 0, 0, 0, 0, 0}},
        {0xE030, 0x7FFF, {0x7FFF, 0x7FF7, 0x7FF7, 0x7FEF, 0x7FEF, 0x7FE7}},
        {0xC020, 0x5000, {0x5038, 0x5070, 0x50A8, 0x50E0, 0x5118, 0x5150}},
        {0x807F, 0x1234, {0x1234, 0x1234, 0x1234, 0x1234, 0x1234, 0x1234}},
    };
    for (const auto& s : sweeps) {
        int16_t level = s.start;
        uint16_t counter = 0;
        for (int tick = 0; tick < 6; ++tick) {
            VolumeTick(s.word, level, counter);
            EXPECT_EQ(level, s.levels[tick]) << std::hex << s.word << " tick " << tick + 1;
        }
    }
    int16_t level = 0x1234;  // the all-ones rate never steps
    uint16_t counter = 0;
    for (int tick = 0; tick < 100000; ++tick) VolumeTick(0x807F, level, counter);
    EXPECT_EQ(level, 0x1234);
}

}  // namespace
}  // namespace zarn
