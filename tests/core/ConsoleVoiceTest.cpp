// The console model's voice units against the worked examples of the
// hardware documentation: ADPCM decoding, block flags, interpolation, pitch,
// noise, the envelope and the volume sweeps.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "support/CoreRig.h"
#include "voice/ConsoleEnvelope.h"
#include "voice/ConsoleVoice.h"

namespace zarn {
namespace {

using namespace console;
using test::ConsoleCore;

constexpr uint8_t A = kConsoleAttack, D = kConsoleDecay, S = kConsoleSustain, R = kConsoleRelease;

TEST(ConsoleArithTest, Clamp16UsesTheFullRangeUnlikeTheSymmetricSaturate) {
    EXPECT_EQ(std::vector<int32_t>({Clamp16(-32769), Clamp16(-32768), Clamp16(32767), Clamp16(32768)}),
              std::vector<int32_t>({-32768, -32768, 32767, 32767}));
    EXPECT_EQ(saturate16(-32768), -32767);
}

TEST(ConsoleVoiceTest, DecodesBlocksWithFlooredPredictionAndClampedHistory) {
    // header, history (old, older), data bytes from byte 2, the first samples,
    // whether every sample equals the first
    const std::tuple<uint8_t, int16_t, int16_t, std::vector<uint8_t>, std::vector<int32_t>, bool> cases[] = {
        // clang-format off
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
        // clang-format on
    };
    for (const auto& [header, old, older, data, first, wholeBlock] : cases) {
        SCOPED_TRACE(testing::Message() << "header " << int{header} << ", history " << old);
        ConsoleCore core;
        ConsoleVoice& voice = core.Voice(0);
        // The previous block's last two samples.
        std::tie(voice.blockAddress, voice.samples[30], voice.samples[29], core.ram[0x1000]) =
            std::tuple(0x200, old, older, header);
        std::copy(data.begin(), data.end(), &core.ram[0x1002]);
        DecodeBlock(core.bus, 0);
        EXPECT_EQ(std::tuple(voice.samples[1], voice.samples[2]), std::tuple(older, old));
        for (size_t k = 0; k < (wholeBlock ? 28 : first.size()); ++k) {
            EXPECT_EQ(voice.samples[3 + k], first[wholeBlock ? 0 : k]) << k;
        }
    }
}

TEST(ConsoleVoiceTest, BlockFlagsSetTheRepeatAddressEndxAndTheEnvelope) {
    ConsoleCore core;
    ConsoleVoice& voice = core.Voice(5);
    voice.blockAddress = 0x212;  // byte 0x1090
    core.ram[0x1091] = 0x04;
    DecodeBlock(core.bus, 5);
    EXPECT_EQ(voice.repeatAddress, 0x0212);

    // flags, block, next block, ENDX set, envelope level and phase after
    const std::tuple<uint8_t, uint16_t, uint16_t, bool, int16_t, uint8_t> ends[] = {
        // clang-format off
        {0x00, 0x0300, 0x0302, false, 0x4000, S}, {0x02, 0x0300, 0x0302, false, 0x4000, S},
        {0x01, 0x0300, 0x0212, true, 0, R},       {0x03, 0x0300, 0x0212, true, 0x4000, S},
        {0x07, 0x0300, 0x0212, true, 0x4000, S},  {0x00, 0xFFFE, 0x0000, false, 0x4000, S},  // units wrap at 16 bits
        // clang-format on
    };
    for (const auto& [flags, block, next, endx, level, phase] : ends) {
        core.state.endx = 0;
        std::tie(voice.blockAddress, voice.needDecode, voice.envelopeLevel, voice.envelopePhase) =
            std::tuple(block, 0, 0x4000, S);
        core.ram[(block * 8 + 1) & kRamMask] = flags;  // read at the block's end
        BlockEnd(core.bus, 5);
        EXPECT_EQ(
            std::tuple(voice.blockAddress, core.state.endx, voice.envelopeLevel, voice.envelopePhase, voice.needDecode),
            std::tuple(next, endx ? 1u << 5 : 0u, level, phase, 1))
            << "flags " << int{flags};
    }
}

TEST(ConsoleVoiceTest, KeyOnRestartsWhileTheSpuIsEnabledAndKeepsTheRepeatAddress) {
    for (uint16_t control : {0x0000, 0x8000}) {
        ConsoleCore core;
        core.Set(reg::kControl, control);
        core.Set(reg::Voice(18, reg::kStartAddress), 0x1234);
        ConsoleVoice& voice = core.Voice(18);
        std::tie(voice.repeatAddress, voice.pitchCounter, voice.samples[1], voice.envelopeLevel) =
            std::tuple(0x0500, 0x5000, 99, 0x2000);
        core.state.endx = 0xFFFFFF;
        KeyOn(core.bus, 18);
        const bool on = control != 0;
        EXPECT_EQ(std::tuple(voice.blockAddress, voice.pitchCounter, voice.samples[1], voice.envelopeLevel),
                  on ? std::tuple(0x1234, 0u, 0, 0) : std::tuple(0, 0x5000u, 99, 0x2000));
        EXPECT_EQ(voice.envelopePhase, on ? A : R);
        EXPECT_EQ(core.state.endx, on ? 0xFBFFFFu : 0xFFFFFFu);
        EXPECT_EQ(voice.repeatAddress, 0x0500);
    }
}

TEST(ConsoleVoiceTest, InterpolatesFourSamplesThroughTheTable) {
    const uint32_t indexes[] = {0x00, 0x01, 0x80, 0xFF};
    // the window (oldest, older, old, new), the result at each index (0: not checked)
    const struct {
        int16_t window[4];
        int32_t x[4];
    } cases[] = {{{0x1000, 0x2000, 0x3000, 0x4000}, {8165, 8182, 10206, 12230}},
                 {{0, 0, 0, 0x7FFF}, {-1, 0, 423, 4806}},
                 {{0x7FFF, 0x7FFF, 0x7FFF, 0x7FFF}, {32637, 0, 32635, 32637}},
                 {{-0x8000, -0x8000, -0x8000, -0x8000}, {-32640, 0, -32639, -32640}}};
    ConsoleVoice voice;
    for (const auto& c : cases) {
        for (uint32_t s : {0u, 27u}) {  // the window starts at the counter's sample index
            std::fill(std::begin(voice.samples), std::end(voice.samples), int16_t{0x5555});
            std::copy_n(c.window, 4, voice.samples + s);
            for (int k = 0; k < 4; ++k) {
                for (uint32_t low : {0x0u, 0xFu}) {  // bits 0-3 do not count
                    voice.pitchCounter = s << 12 | indexes[k] << 4 | low;
                    if (c.x[k] == 0) continue;
                    EXPECT_EQ(Interpolate(voice), c.x[k]) << c.window[0] << " at " << indexes[k];
                }
            }
        }
    }
}

TEST(ConsoleVoiceTest, PitchStepsAreModulatedWithTheSignGlitchAndLimited) {
    // voice, pitch, modulated, the previous voice's output, the step taken
    const std::tuple<int, uint16_t, bool, int32_t, uint32_t> cases[] = {
        // clang-format off
        {1, 0x2000, false, 0, 0x2000},      {1, 0x5000, false, 0, 0x4000},     {1, 0x1000, true, 0x4000, 0x1800},
        {1, 0x1000, true, -0x8000, 0x0000}, {1, 0x1000, true, 0x7FFF, 0x1FFF}, {1, 0x3000, true, 0x7FFF, 0x4000},
        {1, 0x8000, true, 0, 0x4000},       {1, 0x9000, true, 0x7FFF, 0x2000}, {1, 0xC000, true, -0x4000, 0x4000},
        {0, 0x1000, true, 0x4000, 0x1000},   // voice 0 has no modulator
        {17, 0x1000, true, 0x4000, 0x1800},  // voices 16-23 in the second word
        // clang-format on
    };
    for (const auto& [v, pitch, pmon, previousOut, step] : cases) {
        ConsoleCore core;
        core.Set(reg::Voice(v, reg::kPitch), pitch);
        if (pmon) core.Set(reg::kPitchModulation + (v < 16 ? 0 : 2), 1u << (v % 16));
        AdvancePitch(core.bus, v, previousOut);
        EXPECT_EQ(core.Voice(v).pitchCounter, step) << pitch << " modulated by " << previousOut;
    }
}

TEST(ConsoleVoiceTest, NoiseShiftsAtTheClockOfSpucnt) {
    const uint16_t sequence[] = {0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F, 0x007F, 0x00FF, 0x01FF, 0x03FF,
                                 0x07FF, 0x0FFE, 0x1FFD, 0x3FFA, 0x7FF4, 0xFFE8, 0xFFD1, 0xFFA3, 0xFF47, 0xFE8F};
    // SPUCNT, the ticks at which the LFSR moves
    const std::pair<uint32_t, std::vector<int>> clocks[] = {
        // clang-format off
        {0x3F00, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}},
        {0x3C00, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}},  // the timer stays 0
        {0x2000, {1, 129, 257, 385}},
        {0x0000, {1, 32769, 65537}},
        // clang-format on
    };
    for (const auto& [ctl, expected] : clocks) {
        ConsoleState state;
        std::vector<int> shifts;
        for (int tick = 1; tick <= expected.back(); ++tick) {
            const uint16_t before = state.noiseLevel;
            NoiseTick(state, ctl);
            if (state.noiseLevel != before) {
                shifts.push_back(tick);
                ASSERT_EQ(state.noiseLevel, sequence[shifts.size() - 1]) << ctl << " tick " << tick;
            }
        }
        EXPECT_EQ(shifts, expected) << ctl;
    }
}

// Key on before tick 1, key off before tick `keyOff` (0: never). At each
// checkpoint: the level after that tick (-1: not checked) and the phase.
struct Checkpoint {
    int tick;
    int32_t level;
    uint8_t phase;
};

void RunEnvelope(uint16_t adsr1, uint16_t adsr2, int keyOff, const std::vector<Checkpoint>& checkpoints) {
    SCOPED_TRACE(testing::Message() << std::hex << "adsr " << adsr1 << ", " << adsr2);
    ConsoleCore core;
    core.Set(reg::kControl, 0x8000);
    core.Set(reg::Voice(0, reg::kEnvelope1), adsr1);
    core.Set(reg::Voice(0, reg::kEnvelope2), adsr2);
    KeyOn(core.bus, 0);
    const ConsoleVoice& voice = core.Voice(0);
    int tick = 0;
    for (const Checkpoint& point : checkpoints) {
        while (tick < point.tick) {
            if (++tick == keyOff) KeyOff(core.state, 0);
            EnvelopeTick(core.bus, 0);
        }
        if (point.level >= 0) {
            EXPECT_EQ(voice.envelopeLevel, point.level) << std::dec << "tick " << tick;
        }
        EXPECT_EQ(voice.envelopePhase, point.phase) << std::dec << "tick " << tick;
    }
}

TEST(ConsoleEnvelopeTest, TracesAndHardwareMeasurements) {
    // clang-format off
    // Short traces: linear attacks, the exponential decay, frozen sustains.
    RunEnvelope(0x000F, 0x1FC0, 0, {{1, 0x3800, A}, {2, 0x7000, A}, {3, 0x7FFF, D}, {4, 0x3FFF, S}, {9, 0x3FFF, S}});
    RunEnvelope(0x010F, 0x1FC0, 0, {{1, 0x3000, A}, {2, 0x6000, A}, {3, 0x7FFF, D}});
    RunEnvelope(0x04AF, 0x5FC0, 0, {{1, 0x1C00, A}, {2, 0x3800, A}, {3, 0x5400, A}, {4, 0x7000, A}, {5, 0x7FFF, D},
                                    {6, 0x7FEF, S}, {99, 0x7FEF, S}});
    // Linear attacks: +7 every tick, +5 every 2 ticks, +5 every 8192 ticks.
    RunEnvelope(0x2C0F, 0x1FC0, 0, {{1, 0x0007, A}, {2, 0x000E, A}, {100, 700, A}});
    RunEnvelope(0x320F, 0x1FC0, 0, {{1, 0, A}, {2, 0x0005, A}, {3, 0x0005, A}, {4, 0x000A, A}});
    RunEnvelope(0x620F, 0x1FC0, 0, {{8191, 0, A}, {8192, 0x0005, A}, {16383, 0x0005, A}, {16384, 0x000A, A}});
    // Exponential attack, read every 512 ticks from tick 2: a quarter of the speed above 0x6000.
    RunEnvelope(0xB00F, 0x1FC0, 0, {{2, 0x0007, A}, {514, 0x0707, A}, {6658, 0x5B07, A}, {7170, 0x607F, A},
                                    {7682, 0x623F, A}, {8194, 0x63FF, A}, {8706, 0x65BF, A}});
    // Sustain levels 0, 7, 11, 14 and 15 after a decay at shift 10, and the tick each is reached.
    RunEnvelope(0x04A0, 0x5FC0, 0, {{4880, -1, D}, {4881, 0x07FF, S}, {9000, 0x07FF, S}});
    RunEnvelope(0x04A7, 0x5FC0, 0, {{1362, -1, D}, {1363, 0x3FFA, S}});
    RunEnvelope(0x04AB, 0x5FC0, 0, {{573, -1, D}, {574, 0x5FF6, S}});
    RunEnvelope(0x04AE, 0x5FC0, 0, {{132, -1, D}, {133, 0x77FF, S}});
    RunEnvelope(0x04AF, 0x5FC0, 0, {{5, -1, D}, {6, 0x7FEF, S}});
    // Exponential sustain decrease at shift 12, read every 512 ticks from tick 1.
    RunEnvelope(0x040F, 0xCC00, 0, {{1, 0x1C00, A}, {513, 0x3C0B, S}, {1025, 0x380B, S}, {1537, 0x340B, S},
                                    {2049, 0x300B, S}, {2561, 0x2D08, S}, {3073, 0x2A08, S}, {3585, 0x2708, S},
                                    {4097, 0x2408, S}, {4609, 0x2108, S}, {5121, 0x1EB0, S}});
    // Linear releases from 0x3FFF: -8 every 2, 8 and 32 ticks.
    RunEnvelope(0x000F, 0x1FCC, 11, {{10, 0x3FFF, S}, {11, 0x3FFF, R}, {12, 0x3FF7, R}, {521, 0x3807, R},
                                     {522, 0x37FF, R}});
    RunEnvelope(0x000F, 0x1FCE, 11, {{17, 0x3FFF, R}, {18, 0x3FF7, R}, {26, 0x3FEF, R}});
    RunEnvelope(0x000F, 0x1FD0, 11, {{41, 0x3FFF, R}, {42, 0x3FF7, R}, {74, 0x3FEF, R}});
    // clang-format on
}

TEST(ConsoleEnvelopeTest, VolumeWordsAreFixedOrSweep) {
    // the volume word, the level before, the levels after ticks 1-6
    const struct {
        uint16_t word;
        int16_t start, levels[6];
    } sweeps[] = {
        // clang-format off
        {0x3FFF, 0x1234, {0x7FFE, 0x7FFE, 0x7FFE, 0x7FFE, 0x7FFE, 0x7FFE}},  // fixed: volume / 2
        {0x4000, 0x1234, {-0x8000, -0x8000, -0x8000, -0x8000, -0x8000, -0x8000}},
        {0x7FFF, 0x1234, {-2, -2, -2, -2, -2, -2}}, {0x0001, 0x1234, {2, 2, 2, 2, 2, 2}},
        {0x2000, 0x1234, {0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000}},
        {0x8000, 0, {0x3800, 0x7000, 0x7FFF, 0x7FFF, 0x7FFF, 0x7FFF}}, {0xA000, 0x7FFF, {0x3FFF, 0, 0, 0, 0, 0}},
        {0x9000, 0, {-0x4000, -0x8000, -0x8000, -0x8000, -0x8000, -0x8000}},
        {0xB000, -0x8000, {-0x4800, -0x1000, 0, 0, 0, 0}},
        {0xE030, 0x7FFF, {0x7FFF, 0x7FF7, 0x7FF7, 0x7FEF, 0x7FEF, 0x7FE7}},
        {0xC020, 0x5000, {0x5038, 0x5070, 0x50A8, 0x50E0, 0x5118, 0x5150}},
        {0x807F, 0x1234, {0x1234, 0x1234, 0x1234, 0x1234, 0x1234, 0x1234}},
        // clang-format on
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
