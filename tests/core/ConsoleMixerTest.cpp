// The console model's tick, reverb and CD input against the worked examples
// of the hardware documentation.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <tuple>
#include <vector>

#include "sound/ConsoleMixer.h"
#include "sound/ConsoleReverb.h"
#include "support/CoreRig.h"
#include "voice/ConsoleVoice.h"
#include "xa/XaDecodeBlock.h"
#include "xa/ZigZag.h"

namespace zarn {
namespace {

using namespace console;
using test::ConsoleCore;

// One tick; the frame as (left, right).
std::array<int16_t, 2> Tick(ConsoleCore& core) {
    std::array<int16_t, 2> out;
    ConsoleTick(core.bus, core.cd, out.data());
    return out;
}

TEST(ConsoleMixerTest, OneVoiceEndToEnd) {
    // Voice 1 rather than 0, so that the capture area shows its output before
    // the voice volume (out[1] at byte 0x800 + 2 x (tick - 1)).
    ConsoleCore core;
    core.OneVoice(1, 0xC000);
    core.Write({{reg::kKeyOn, 2}});
    // tick, envelope level, the voice's output before its volume, the frame
    const std::tuple<int, int16_t, int16_t, int16_t> rows[] = {
        {1, 0x3800, -1, -1},     {2, 0x7000, 531, 529},    {3, 0x7FFF, 3476, 3474},  {4, 0x3FFF, 2038, 2036},
        {5, 0x3FFF, 2038, 2036}, {27, 0x3FFF, 2038, 2036}, {28, 0x3FFF, 2038, 2036}, {60, 0x3FFF, 2038, 2036}};
    int tick = 0;
    std::array<int16_t, 2> frame{};
    for (const auto& [row, envelope, out, output] : rows) {
        while (tick < row) {
            frame = Tick(core);
            ++tick;
            EXPECT_EQ(core.state.endx, tick >= 28 ? 2u : 0u) << "tick " << tick;  // the block ends at tick 28
        }
        EXPECT_EQ(std::tuple(core.Voice(1).envelopeLevel, core.bus.Rd16(0x800 + 2 * (tick - 1)), frame[0], frame[1]),
                  std::tuple(envelope, out, output, output))
            << "tick " << tick;
    }
    EXPECT_EQ(std::tuple(core.Voice(1).repeatAddress, core.Voice(1).blockAddress), std::tuple(0x0200, 0x0200));
    core.spu->PublishVoiceStatus();
    EXPECT_EQ(std::tuple(core.bus.Img(reg::Voice(1, reg::kEnvelopeVolume)),
                         core.bus.Img(reg::Voice(1, reg::kRepeatAddress)), core.bus.Img(reg::kVoiceActivity)),
              std::tuple(0x3FFF, 0x0200, 0x0002));
}

TEST(ConsoleMixerTest, ModulationReadsThisTickAndMuteSilencesOnlyTheVoices) {
    ConsoleCore core;
    core.OneVoice(1, 0x8000);  // SPUCNT bit 14 clear: muted
    core.Write({{reg::kKeyOn, 2}});
    core.Set(reg::Voice(2, reg::kPitch), 0x1000);
    core.Set(reg::kPitchModulation, 0x0004);
    EXPECT_EQ(Tick(core)[0], 0);
    EXPECT_EQ(core.Voice(2).pitchCounter, 0x0FFFu);  // (0x1000 x (-1 + 0x8000)) >> 15
    EXPECT_EQ(Tick(core)[0], 0);
    EXPECT_EQ(core.Voice(2).pitchCounter, 0x0FFFu + 0x1042u);  // out[1] of tick 2 is 531
    EXPECT_EQ(core.bus.Rd16(0x802), 531);                      // capture goes on
}

TEST(ConsoleMixerTest, NoiseVoicesTakeTheLfsrAsTheirSample) {
    ConsoleCore core;
    core.Set(reg::kControl, 0xFF00);  // noise shifts every tick
    core.Set(reg::kNoise, 0x0002);
    core.Set(reg::Voice(1, reg::kEnvelope2), 0x1FC0);
    core.state.noiseLevel = 0x7FF4;  // 0xFFE8 after the shift
    std::tie(core.Voice(1).envelopePhase, core.Voice(1).envelopeLevel) = std::tuple(kConsoleSustain, 0x7FFF);
    Tick(core);
    EXPECT_EQ(core.bus.Rd16(0x800), -24);
}

// The CD input: XA alone, captured raw before the CD volumes; then XA with a
// CD audio track, whose sum is captured, scaled by the CD volumes and the
// main volume.
TEST(ConsoleMixerTest, CaptureTakesRawCdSamplesAndCdAudioJoinsXa) {
    ConsoleCore core, both;
    auto block = std::make_unique<XaDecodeBlock>();
    *block = {44100, 16, 0, 2, {}, {100, 200}};
    core.spu->QueueXaBlock(*block);
    core.Write({{reg::kControl, 0xC001}, {reg::kCdVolumeL, 0x4000}, {reg::kMainVolumeL, 0x3FFF}});  // CD audio on
    // 100 x 0.5 x 0x7FFE / 0x8000 on the left; no right CD volume.
    EXPECT_EQ(core.Ticks(1), (std::vector<int16_t>{49, 0}));
    core.Ticks(2);
    const int32_t expected[][2] = {{0x000, 100}, {0x002, 200}, {0x004, 0}, {0x400, 100},
                                   {0x402, 200}, {0x800, 0},   {0xC00, 0}};
    for (const auto& [address, value] : expected) EXPECT_EQ(core.bus.Rd16(address), value) << address;
    EXPECT_EQ(core.state.capturePos, 3);
    core.Ticks(509);
    EXPECT_EQ(core.state.capturePos, 0);
    core.Ticks(1);
    EXPECT_EQ(core.bus.Rd16(0x000), 0);

    both.spu->QueueXaBlock(*block);
    const int16_t pcm[] = {1000, -2000, 3000, 4000};
    both.spu->cdda.QueuePcm(pcm, 2);
    both.Write({{reg::kControl, 0xC001},
                {reg::kCdVolumeL, 0x4000},
                {reg::kCdVolumeR, 0x4000},
                {reg::kMainVolumeL, 0x3FFF},
                {reg::kMainVolumeR, 0x3FFF}});
    EXPECT_EQ(both.Ticks(3), (std::vector<int16_t>{549, -950, 1599, 2099, 0, 0}));
    EXPECT_EQ(
        std::vector<int32_t>({both.bus.Rd16(0x000), both.bus.Rd16(0x002), both.bus.Rd16(0x400), both.bus.Rd16(0x402)}),
        (std::vector<int32_t>{1100, 3200, -1900, 4200}));
}

TEST(ConsoleReverbTest, AddressesWrapInsideTheWorkArea) {
    ConsoleCore core;
    core.Set(reg::kReverbBase, 0xFB28);  // "Room": 0x26C0 bytes from 0x7D940
    core.state.reverbAddress = 0x7FFFE;
    EXPECT_EQ(A(core.bus, 0x04D6 * 8), 0x7FFEEu);  // [mLSAME]
    EXPECT_EQ(A(core.bus, 2), 0x7D940u);
    EXPECT_EQ(A(core.bus, -0x26C0), 0x7FFFEu);
}

TEST(ConsoleReverbTest, OutputPathIsAlignedThroughTheFilter) {
    ConsoleCore core;
    core.Set(reg::kReverbBase, 0xFE00);  // base 0x7F000, size 0x1000
    core.state.reverbAddress = 0x7F000;  // as the write of mBASE sets it
    core.Set(reg::kReverbVolumeL, 0x4000);
    core.Set(reg::kReverbVolumeR, 0x4000);
    core.bus.Wr16(0x7F000, 0x2000);
    const int32_t nonZero[][2] = {{0, -1},    {4, -3},    {6, 8},     {8, -26},   {10, 66},   {12, -154}, {14, 333},
                                  {16, -740}, {18, 2561}, {19, 4096}, {20, 2561}, {22, -740}, {24, 333},  {26, -154},
                                  {28, 66},   {30, -26},  {32, 8},    {34, -3},   {38, -1}};
    std::vector<int32_t> expected(64);
    for (const auto& [n, value] : nonZero) expected[n] = value;
    std::vector<int32_t> left(64), right(64);
    for (int tick = 1; tick <= 62; ++tick) ReverbTick(core.bus, 0, 0, left[tick - 1], right[tick - 1]);
    for (int n = 0; n + 2 < 62; ++n) {
        EXPECT_EQ(left[n], expected[n]) << "left at tick " << n + 1;  // tick n + 1 carries H[n]
        EXPECT_EQ(right[n + 1], expected[n]) << "right at tick " << n + 2;
    }
}

TEST(ConsoleReverbTest, InputPathDecimatesAndFiltersIntoTheWorkArea) {
    ConsoleCore core;
    // mBASE, vLIN, vIIR; mLSAME, mLDIFF, mLAPF1, mLAPF2; mRSAME, mRDIFF, mRAPF1, mRAPF2; SPUCNT.
    const std::pair<uint32_t, uint16_t> registers[] = {
        {reg::kReverbBase, 0xFE00}, {0x1F801DFC, 0x7FFF}, {0x1F801DC4, 0x4000}, {0x1F801DD4, 0x0002},
        {0x1F801DE4, 0x0040},       {0x1F801DF4, 0x0080}, {0x1F801DF8, 0x00C0}, {0x1F801DD6, 0x0100},
        {0x1F801DE6, 0x0140},       {0x1F801DF6, 0x0180}, {0x1F801DFA, 0x01C0}, {reg::kControl, 0xC080}};
    for (const auto& [address, value] : registers) core.Set(address, value);
    core.state.reverbAddress = 0x7F000;
    const int32_t y[] = {-1,  -1,  -3,  6,  -23, 54, -127, 269, -606, 2258, 3690, 1105,
                         885, 288, 210, 79, 47,  21, 10,   4,   2,    1,    0,    0};
    int32_t rvL, rvR;
    for (int tick = 1; tick <= 2 * 24; ++tick) ReverbTick(core.bus, tick == 1 ? 0x4000 : 0, 0, rvL, rvR);
    for (int j = 0; j < 24; ++j) {
        EXPECT_EQ(core.bus.Rd16(0x7F010 + 2 * j), y[j]) << "[mLSAME] at j = " << j;
        EXPECT_EQ(core.bus.Rd16(0x7F200 + 2 * j), y[j]) << "[mLDIFF] at j = " << j;
    }
    for (uint32_t a = 0x7F000; a < 0x80000; a += 2) {  // nothing else is written
        if ((a >= 0x7F010 && a < 0x7F040) || (a >= 0x7F200 && a < 0x7F230)) continue;
        ASSERT_EQ(core.bus.Rd16(a), 0) << std::hex << a;
    }
}

// The frames the zigzag sends to the ring for `inputs` pushed once (37,800 Hz)
// or twice (18,900 Hz) each, as one mono block.
std::vector<int32_t> Zigzag(ConsoleCore& core, int32_t frequency, const std::vector<int16_t>& inputs) {
    auto block = std::make_unique<XaDecodeBlock>();
    *block = {frequency, 4, 0, static_cast<int32_t>(inputs.size()), {}, {}};
    std::copy(inputs.begin(), inputs.end(), block->samples);
    QueueConsoleBlock(core.state, core.xa, *block);
    std::vector<int32_t> frames;
    for (int32_t left, right; core.xa.TakeRawFrame(left, right);) {
        EXPECT_EQ(left, right);
        frames.push_back(left);
    }
    return frames;
}

TEST(ConsoleZigZagTest, SixInputsGiveSevenFilteredFrames) {
    ConsoleCore core;
    std::vector<int16_t> impulse(30);
    impulse[0] = 0x7FFF;
    const std::vector<int32_t> response = {-2,    2,     -5,    4,    9,    25,  -68, 8,   305, -926, 2487, -6016,
                                           21471, 21471, -6016, 2487, -926, 305, 8,   -68, 25,  9,    4,    -5,
                                           2,     -1,    0,     0,    0,    0,   0,   0,   0,   0,    0};
    EXPECT_EQ(Zigzag(core, 37800, impulse), response);
    EXPECT_EQ(Zigzag(core, 44100, {7, 8}), (std::vector<int32_t>{7, 8}));  // held, and a new stream
    EXPECT_EQ(Zigzag(core, 37800, impulse), response);                     // starts from a cleared history

    const std::vector<int32_t> halfRate = {-2,    2,     -7,    9,     -7,  67,  -91,  59,  78,   -238, 1016, -2996,
                                           15589, 32767, 20499, -2045, 345, 238, -258, 278, -210, 115,  -23,  25,
                                           -17,   8,     -5,    1,     -1,  0,   0,    0,   0,    0,    0};
    std::vector<int16_t> halfImpulse(15);
    halfImpulse[0] = 0x7FFF;
    EXPECT_EQ(Zigzag(core, 18900, halfImpulse), halfRate);

    struct {
        int16_t level;
        int32_t steady[7];
    } const constants[] = {{0x1000, {3701, 3705, 3697, 3705, 3701, 3704, 3704}},
                           {0x7FFF, {29662, 29713, 29658, 29713, 29663, 29692, 29692}},
                           {-0x8000, {-29675, -29725, -29669, -29725, -29677, -29704, -29704}}};
    for (const auto& c : constants) {
        ConsoleCore fresh;
        const std::vector<int32_t> frames = Zigzag(fresh, 37800, std::vector<int16_t>(48, c.level));
        ASSERT_EQ(frames.size(), 56u);
        for (size_t k = 28; k < frames.size(); ++k) EXPECT_EQ(frames[k], c.steady[k % 7]) << c.level << " " << k;
    }
}

// A host's block may be longer than a save state's: it is read to its own
// end, feeding the history also once the ring is full.
TEST(ConsoleZigZagTest, ABlockIsReadToItsOwnEnd) {
    ConsoleCore core;
    constexpr int32_t kSamples = XaDecodeBlock::kMaxSamples + 1000;
    std::vector<int16_t> words(16 + kSamples, 7);  // the header's 32 bytes, then the samples
    auto* const block = reinterpret_cast<XaDecodeBlock*>(words.data());
    std::tie(block->frequency, block->bitsPerSample, block->stereo, block->sampleCount) =
        std::tuple(37800, 4, 0, kSamples);
    words.back() = 1234;
    core.spu->QueueXaBlock(*block);
    EXPECT_EQ(core.state.zigRingL[(core.state.zigPos - 1) & 31], 1234);
}

}  // namespace
}  // namespace zarn
