// MixFrame and Render: voices through the output stage, with frames checked
// against samples worked out by hand.
#include <gtest/gtest.h>

#include <vector>

#include "support/CoreRig.h"

namespace zarn {
namespace {

using test::Nibbles, test::WriteBlock;
using Samples = std::vector<int16_t>;
using Ints = std::vector<int32_t>;

class MixerTest : public test::CoreTest {
protected:
    MixerState& mixer() { return spu->standard.mixer; }
    Samples Render(uint32_t frames) {
        Samples out(2 * frames);
        spu->Render(out.data(), frames);
        return out;
    }
    // Mixes `frames` frames with MixFrame and gives back the last one.
    Samples Mix(int frames = 1) {
        Samples frame(2);
        for (int i = 0; i < frames; ++i) spu->standard.MixFrame(frame.data());
        return frame;
    }
};

TEST_F(MixerTest, GoldenFirstFramesOfOneVoice) {
    // Ramp block, shift 0: samples 4096, 8192, 12288, ...; attack rate 0.
    WriteBlock(*spu, 0x10, 0x00, 3, test::Ramp());
    Program(0, 0x10, 0x1000, 0x3FFF, 0x2000);
    Write({{0x1F801D80, 0x3FFF}, {0x1F801D82, 0x3FFF}, {0x1F801D88, 1}});
    // Frame 1: envelope 4194303 (volume 16383), sample 4096:
    //   lastOutput = 16383*4096>>15 = 2047; left = 16383*2047>>14 = 2046,
    //   main = 16383*2046>>14 = 2045; right = 8192*2047>>14 = 1023 -> 1022.
    // Frame 2: volume 32767, sample 8192: 8191 -> 8190 -> 8189; 4095 -> 4094.
    // Frame 3: full scale passed: 6710884 (26214), sample 12288:
    //   9830 -> 9829 -> 9828; 4915 -> 4914.
    EXPECT_EQ(Render(3), (Samples{2045, 1022, 8189, 4094, 9828, 4914}));
    EXPECT_EQ((Ints{voice(0).envelopePhase, spu->ReadRegister(0x1F801C0C), spu->ReadRegister(0x1F801D9C)}),
              (Ints{kDecay, 26214, 1}));  // published after the render
}

TEST_F(MixerTest, OutputSaturatesSymmetrically) {
    // Twelve loud voices: the main volume product needs 64 bits.
    WriteBlock(*spu, 0x10, 0x00, 3, Nibbles(7));  // 28672
    WriteBlock(*spu, 0x20, 0x00, 3, Nibbles(8));  // -32768
    for (int n = 0; n < 24; ++n) Program(n, n < 12 ? 0x10 : 0x20, 0x1000, 0x3FFF, n < 12 ? 0x3FFF : 0x4000);
    Write({{0x1F801D80, 0x3FFF}, {0x1F801D82, 0x3FFF}, {0x1F801D88, 0xFFF}});
    Render(3);
    EXPECT_EQ(Mix(), (Samples{32767, 32767}));
    Write({{0x1F801D88, 0xF000}, {0x1F801D8A, 0xFF}, {0x1F801D8C, 0xFFF}});  // release the positive ones
    // Never -32768; negative samples at negative volume give +32767.
    EXPECT_EQ(Mix(8), (Samples{-32767, 32767}));
}

TEST_F(MixerTest, ReverbFeedsBackStandsStillWhenOffAndWraps) {
    settings.EnableReverb = 1;
    settings.ReverbVolume = 100;
    Write({{0x1F801D84, 0x4000}});  // left return at unity (16384)
    mixer().reverbLine[0] = 40000;
    // a = (40000*192>>8)*100/100 = 30000; the return is a + b/2 = 30000.
    EXPECT_EQ(Mix(), (Samples{30000, 0}));
    EXPECT_EQ((Ints{mixer().reverbLine[0], mixer().reverbCursor}), (Ints{30000, 2}));  // fed back, no send
    EXPECT_EQ(Mix(4096)[0], 22500);                                                    // one delay later: 0.75 again
    settings.EnableReverb = 0;
    EXPECT_EQ(Mix(5000)[0], 0);
    EXPECT_EQ((Ints{mixer().reverbLine[0], mixer().reverbCursor}), (Ints{22500, 2}));
    settings.EnableReverb = 1;  // the echo resumes where it stood
    EXPECT_EQ(Mix(4096)[0], 16875);
    // Above 133 % the echo grows until it wraps at 32 bits: 33554433 x 192
    // wraps to -2147483456, >> 8 is -8388608, x 200 % is -16777216, which the
    // line holds (saturated, it would hold -32767); the frame saturates.
    settings.ReverbVolume = 200;
    mixer().reverbLine[2] = 33554433;
    EXPECT_EQ(Mix(), (Samples{-32767, 0}));
    EXPECT_EQ(mixer().reverbLine[2], -16777216);
}

TEST_F(MixerTest, AutomaticGainSteersPeaksTowards24576) {
    settings.EnableAutoGain = 1;
    WriteBlock(*spu, 0x10, 0x00, 3, Nibbles(4));  // 16384
    Program(0, 0x10, 0x1000, 0x3FFF, 0x3FFF);
    Write({{0x1F801D80, 0x3FFF}, {0x1F801D82, 0x3FFF}, {0x1F801D88, 1}});
    // Unity gain during the first window: 16383*16384>>15 = 8191 -> 8190 -> 8189.
    EXPECT_EQ(Mix()[0], 8189);
    // Peak 16381 (frame 2) <= 24576: target 32767, gain (7*32768 + 32767) >> 3.
    // The window's last frame already uses the new gain; the voice sustains
    // at 30719: 15359 -> 15358 -> 15357 before the gain.
    EXPECT_EQ(Mix(1023)[0], (32767 * 15357) >> 15);
    EXPECT_EQ((Ints{spu->standard.autoGain, spu->standard.autoGainCount, spu->standard.autoGainPeak}),
              (Ints{32767, 0, 0}));
    // A loud window: the peak sets the target 0x30000000 / peak.
    spu->standard.autoGainPeak = 30000;
    spu->standard.autoGainCount = 1023;
    Mix();
    EXPECT_EQ(spu->standard.autoGain, (7 * 32767 + 0x30000000 / 30000) >> 3);
    // Off: the gain and its window stand still.
    settings.EnableAutoGain = 0;
    EXPECT_EQ(Mix()[0], 15357);
    EXPECT_EQ(spu->standard.autoGainCount, 0);
}

// The interrupt function counts, and keys voice 0 on again when asked to.
int irqCalls = 0;
SpuCore* rekeyTarget = nullptr;
void OnIrq(void*) {
    ++irqCalls;
    if (rekeyTarget) rekeyTarget->DecodeRegisterWrite(0x1F801D88, 1);
}

TEST_F(MixerTest, InterruptsAtTheIrqBlockMayKeyOnAgain) {
    irqCalls = 0;
    spu->SetIrqHandler(OnIrq, nullptr);
    WriteBlock(*spu, 0x100, 0x00, 0, Nibbles(1));
    WriteBlock(*spu, 0x102, 0x00, 3, Nibbles(1));   // loops back to 0x100
    Program(0, 0x100, 0x4000, 0x3FFF, 0x3FFF);      // 4 samples a frame: a block every 7 frames
    Write({{0x1F801DA4, 0x101}, {0x1F801D88, 1}});  // bit 0 ignored: the block at 0x100
    // Frame 8 finds the position 0x1000 + 7 x 0x4000 past the block's end;
    // 14 frames later 0x102 has finished (no interrupt), then 0x100 again.
    for (auto [frames, calls] : {std::pair{7u, 0}, {1, 1}, {14, 2}}) {
        Render(frames);
        EXPECT_EQ(irqCalls, calls) << frames;
    }
    settings.EnableSpuIrq = 0;
    Render(28);
    EXPECT_EQ(irqCalls, 2);

    // Keyed on again from the interrupt: playback starts afresh, without the old position.
    settings.EnableSpuIrq = 1;
    rekeyTarget = spu.get();
    WriteBlock(*spu, 0x100, 0x00, 0, test::Ramp());
    Program(0, 0x100, 0x1000, 0x3FFF, 0x3FFF);
    Write({{0x1F801D88, 1}});
    Render(27);
    EXPECT_EQ(voice(0).pitchCounter, 0x1C000);
    Render(1);
    EXPECT_EQ((Ints{voice(0).blockAddress, voice(0).pitchCounter, voice(0).samples[1]}), (Ints{0x100, 0x2000, 4096}));
    rekeyTarget = nullptr;
}

}  // namespace
}  // namespace zarn
