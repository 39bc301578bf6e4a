// MixFrame and Render: voices through the output stage, with renders checked
// against samples worked out by hand.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/Adpcm.h"
#include "support/TestSettings.h"

namespace zarn {
namespace {

using test::Nibbles;
using test::WriteBlock;

class MixerTest : public ::testing::Test {
protected:
    test::TestSettings settings;
    std::unique_ptr<SpuCore> spu = std::make_unique<SpuCore>(settings);

    void Write(uint32_t address, uint32_t value) { spu->DecodeRegisterWrite(address, value); }
    void WriteVoice(int n, uint32_t k, uint32_t value) { Write(0x1F801C00 + 16 * n + k, value); }

    // Voice n plays the block at `unit` at `pitch`, with the given volumes and
    // envelope word 1 (by default attack and decay rate 0, sustain level 15,
    // held); the voice's repeat address is its start.
    void Program(int n, uint32_t unit, uint32_t pitch, uint32_t volumeL, uint32_t volumeR,
                 uint32_t adsr1 = 0x000F) {
        WriteVoice(n, 0x0, volumeL);
        WriteVoice(n, 0x2, volumeR);
        WriteVoice(n, 0x4, pitch);
        WriteVoice(n, 0x6, unit);
        WriteVoice(n, 0x8, adsr1);
        WriteVoice(n, 0xA, 127 << 6);  // sustain holds
        WriteVoice(n, 0xE, unit);
    }
    void KeyOn(uint32_t mask) {
        Write(0x1F801D88, mask & 0xFFFF);
        Write(0x1F801D8A, mask >> 16);
    }

    std::vector<int16_t> Render(uint32_t frames) {
        std::vector<int16_t> out(2 * frames);
        spu->Render(out.data(), frames);
        return out;
    }
};

TEST_F(MixerTest, SilentSpuMixesZeros) {
    settings.EnableReverb = 1;
    settings.EnableAutoGain = 1;
    Write(0x1F801D80, 0x3FFF);
    Write(0x1F801D82, 0x3FFF);
    for (int16_t sample : Render(3000)) ASSERT_EQ(sample, 0);
}

TEST_F(MixerTest, GoldenFirstFramesOfOneVoice) {
    // Ramp block, shift 0: samples 4096, 8192, 12288, ...; attack rate 0.
    WriteBlock(*spu, 0x10, 0x00, 3, test::Ramp());
    Program(0, 0x10, 0x1000, 0x3FFF, 0x2000);
    Write(0x1F801D80, 0x3FFF);
    Write(0x1F801D82, 0x3FFF);
    KeyOn(1);
    const std::vector<int16_t> out = Render(3);
    // Frame 1: envelope 4194303 (volume 16383), sample 4096:
    //   lastOutput = 16383*4096>>15 = 2047; left = 16383*2047>>14 = 2046,
    //   main = 16383*2046>>14 = 2045; right = 8192*2047>>14 = 1023 -> 1022.
    // Frame 2: volume 32767, sample 8192: 8191 -> 8190 -> 8189; 4095 -> 4094.
    // Frame 3: full scale passed: 6710884 (26214), sample 12288:
    //   9830 -> 9829 -> 9828; 4915 -> 4914.
    EXPECT_EQ(out, (std::vector<int16_t>{2045, 1022, 8189, 4094, 9828, 4914}));
    EXPECT_EQ(spu->voices[0].envelopePhase, kDecay);
    EXPECT_EQ(spu->ReadRegister(0x1F801C0C), 26214);  // published after the render
    EXPECT_EQ(spu->ReadRegister(0x1F801D9C), 1);
}

TEST_F(MixerTest, SweepMovesTheVolumeEveryFrameWithinItsLimits) {
    WriteBlock(*spu, 0x10, 0x00, 3, Nibbles(0));
    Program(0, 0x10, 0x1000, 0x807F, 0xA07F);  // left up by 127, right down by 127
    KeyOn(1);
    Render(1);
    EXPECT_EQ(spu->voices[0].currentVolumeL, 508);
    EXPECT_EQ(spu->voices[0].currentVolumeR, -508);
    Render(40000);
    EXPECT_EQ(spu->voices[0].currentVolumeL, 0xFFFFFF);
    EXPECT_EQ(spu->voices[0].currentVolumeR, -0xFFFFFF);
    WriteVoice(0, 0x0, 0x1000);  // back to a fixed volume
    Render(1);
    EXPECT_EQ(spu->voices[0].currentVolumeL, 0x1000 << 10);
}

TEST_F(MixerTest, LoudVoicesSaturateSymmetrically) {
    // Nibble 7 and -8 at shift 0 with filter 0: +-28672 and -32768 samples.
    WriteBlock(*spu, 0x10, 0x00, 3, Nibbles(7));
    WriteBlock(*spu, 0x20, 0x00, 3, Nibbles(8));
    for (int n = 0; n < 12; ++n) Program(n, 0x10, 0x1000, 0x3FFF, 0x3FFF);
    for (int n = 12; n < 24; ++n) Program(n, 0x20, 0x1000, 0x3FFF, 0x4000);
    Write(0x1F801D80, 0x3FFF);
    Write(0x1F801D82, 0x3FFF);
    KeyOn(0xFFF);
    std::vector<int16_t> out = Render(4);
    EXPECT_EQ(out[6], 32767);   // twelve loud voices: the main volume product needs 64 bits
    EXPECT_EQ(out[7], 32767);
    KeyOn(0xFFF000);
    Write(0x1F801D8C, 0xFFF);   // release the positive ones
    out = Render(8);
    EXPECT_EQ(out[14], -32767);  // never -32768
    EXPECT_EQ(out[15], 32767);   // negative samples at negative volume
}

TEST_F(MixerTest, MainVolumeAndSilencedSides) {
    WriteBlock(*spu, 0x10, 0x00, 3, Nibbles(4));
    Program(0, 0x10, 0x1000, 0x3FFF, 0x3FFF);
    Write(0x1F801D80, 0x0000);
    Write(0x1F801D82, 0x4000);  // -16383: inverted
    KeyOn(1);
    const std::vector<int16_t> out = Render(2);
    // Frame 2: volume 32767, sample 16384: 16383 -> 16382 -> right -16382.
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(out[3], (-16383 * 16382) >> 14);
}

TEST_F(MixerTest, ReverbFeedsBackAndStandsStillWhenOff) {
    settings.EnableReverb = 1;
    settings.ReverbVolume = 100;
    Write(0x1F801D84, 0x4000);  // return at unity (16384)
    Write(0x1F801D86, 0x0000);
    spu->mixer.reverbLine[0] = 40000;
    spu->mixer.reverbLine[1] = 0;
    int16_t frame[2];
    spu->MixFrame(frame);
    // a = (40000*192>>8)*100/100 = 30000; the return is a + b/2 = 30000.
    EXPECT_EQ(frame[0], 30000);
    EXPECT_EQ(frame[1], 0);
    EXPECT_EQ(spu->mixer.reverbLine[0], 30000);  // fed back, no send
    EXPECT_EQ(spu->mixer.reverbCursor, 2);
    for (int i = 1; i < 4096; ++i) spu->MixFrame(frame);
    EXPECT_EQ(spu->mixer.reverbCursor, 0);
    spu->MixFrame(frame);  // one delay later: 0.75 again
    EXPECT_EQ(frame[0], 22500);

    settings.EnableReverb = 0;
    for (int i = 0; i < 5000; ++i) spu->MixFrame(frame);
    EXPECT_EQ(frame[0], 0);
    EXPECT_EQ(spu->mixer.reverbCursor, 2);
    EXPECT_EQ(spu->mixer.reverbLine[0], 22500);
    settings.EnableReverb = 1;  // the echo resumes where it stood
    for (int i = 1; i < 4096; ++i) spu->MixFrame(frame);
    spu->MixFrame(frame);
    EXPECT_EQ(frame[0], 16875);
}

TEST_F(MixerTest, ReverbSendsOnlyEnabledVoicesAndCrossFeeds) {
    settings.EnableReverb = 1;
    settings.ReverbVolume = 50;
    WriteBlock(*spu, 0x10, 0x00, 3, Nibbles(4));
    Program(0, 0x10, 0x1000, 0x3FFF, 0x0000);
    Program(1, 0x10, 0x1000, 0x0000, 0x3FFF);
    Write(0x1F801D98, 0b01);  // only voice 0 feeds the reverb
    Write(0x1F801D84, 0x4000);
    Write(0x1F801D86, 0x4000);
    KeyOn(0b11);
    int16_t frame[2];
    spu->MixFrame(frame);
    // Voice 0 left contribution: lastOutput 16384*16383>>15 = 8191,
    // 16383*8191>>14 = 8190. The main volume is 0, so only the return sounds.
    EXPECT_EQ(spu->mixer.reverbLine[0], 8190);
    EXPECT_EQ(spu->mixer.reverbLine[1], 0);
    for (int i = 1; i < 4096; ++i) spu->MixFrame(frame);
    spu->MixFrame(frame);
    // a = (8190*192>>8)*50/100 = 3071; returned left a, right a/2.
    EXPECT_EQ(frame[0], 3071);
    EXPECT_EQ(frame[1], 1535);
}

TEST_F(MixerTest, GrowingReverbWrapsWithoutUndefinedBehaviour) {
    settings.EnableReverb = 1;
    settings.ReverbVolume = 200;  // feedback 1.5
    Write(0x1F801D84, 0x7FFF);
    spu->mixer.reverbLine[0] = 1 << 20;
    int16_t frame[2];
    for (int i = 0; i < 4096 * 80; ++i) spu->MixFrame(frame);  // 1.5^80 leaves 32 bits
    EXPECT_TRUE(frame[0] >= -32767 && frame[0] <= 32767);
}

TEST_F(MixerTest, AutomaticGainSteersPeaksTowards24576) {
    settings.EnableAutoGain = 1;
    WriteBlock(*spu, 0x10, 0x00, 3, Nibbles(4));  // 16384
    Program(0, 0x10, 0x1000, 0x3FFF, 0x3FFF);
    Write(0x1F801D80, 0x3FFF);
    Write(0x1F801D82, 0x3FFF);
    KeyOn(1);
    int16_t frame[2];
    spu->MixFrame(frame);
    // Unity gain during the first window: 8189 as the plain mix.
    const int32_t plain = (16383 * ((16383 * ((16383 * 16384) >> 15)) >> 14)) >> 14;
    EXPECT_EQ(frame[0], (32768 * plain) >> 15);
    for (int i = 1; i < 1024; ++i) spu->MixFrame(frame);
    // Peak 16381 (frame 2) <= 24576: target 32767, gain (7*32768 + 32767) >> 3.
    // The window's last frame already uses the new gain; the voice sustains
    // at 30719: 15359 -> 15358 -> 15357 before the gain.
    EXPECT_EQ(spu->autoGain, 32767);
    EXPECT_EQ(spu->autoGainCount, 0);
    EXPECT_EQ(spu->autoGainPeak, 0);
    EXPECT_EQ(frame[0], (32767 * 15357) >> 15);

    // A loud window: the peak sets the target 0x30000000 / peak.
    spu->autoGainPeak = 30000;
    spu->autoGainCount = 1023;
    spu->MixFrame(frame);
    EXPECT_EQ(spu->autoGain, (7 * 32767 + 0x30000000 / 30000) >> 3);
    // Off: the gain and its window stand still.
    settings.EnableAutoGain = 0;
    spu->MixFrame(frame);
    EXPECT_EQ(spu->autoGainCount, 0);
    EXPECT_EQ(frame[0], 15357);
}

int irqCalls = 0;
void CountIrq(void*) { ++irqCalls; }

TEST_F(MixerTest, IrqFiresWhenAVoicePlaysOutTheIrqBlock) {
    spu->SetIrqHandler(CountIrq, nullptr);
    WriteBlock(*spu, 0x100, 0x00, 0, Nibbles(1));
    WriteBlock(*spu, 0x102, 0x00, 3, Nibbles(1));  // loops back to 0x100
    Program(0, 0x100, 0x4000, 0x3FFF, 0x3FFF);  // 4 samples a frame: a block every 7 frames
    Write(0x1F801DA4, 0x100);
    KeyOn(1);
    irqCalls = 0;
    Render(7);
    EXPECT_EQ(irqCalls, 0);
    Render(1);  // frame 8 finds the position 0x1000 + 7 x 0x4000 past the block's end
    EXPECT_EQ(irqCalls, 1);
    Render(14);  // 0x102 finishes, then 0x100 again
    EXPECT_EQ(irqCalls, 2);
    settings.EnableSpuIrq = 0;
    Render(28);
    EXPECT_EQ(irqCalls, 2);
}

// A host that keys the voice on again from its interrupt function.
SpuCore* rekeyTarget = nullptr;
void RekeyVoiceZero(void*) { rekeyTarget->DecodeRegisterWrite(0x1F801D88, 1); }

TEST_F(MixerTest, KeyOnFromTheInterruptRestartsCleanly) {
    rekeyTarget = spu.get();
    spu->SetIrqHandler(RekeyVoiceZero, nullptr);
    WriteBlock(*spu, 0x100, 0x00, 0, test::Ramp());
    Program(0, 0x100, 0x1000, 0x3FFF, 0x3FFF);
    Write(0x1F801DA4, 0x100);
    KeyOn(1);
    Render(27);
    EXPECT_EQ(spu->voices[0].pitchCounter, 0x1C000);
    Render(1);  // played out: the interrupt keys it on, playback starts again
    EXPECT_EQ(spu->voices[0].blockAddress, 0x100);
    EXPECT_EQ(spu->voices[0].pitchCounter, 0x2000);
    EXPECT_EQ(spu->voices[0].samples[1], 4096);
}

TEST_F(MixerTest, NoiseAndModulationNeedTheSwitch) {
    WriteBlock(*spu, 0x10, 0x00, 3, Nibbles(2));  // 8192
    for (int n = 0; n < 3; ++n) Program(n, 0x10, 0x1000, 0x3FFF, 0x3FFF);
    Write(0x1F801D94, 0b100);  // voice 2 plays noise (rate 0: its held value 0)
    Write(0x1F801D90, 0b010);  // voice 1 is modulated by voice 0
    KeyOn(0b111);
    settings.EnableNoiseAndFM = 0;
    Render(1);
    EXPECT_EQ(spu->voices[2].lastOutput, 4095);  // 16383 x 8192 >> 15
    EXPECT_EQ(spu->voices[1].pitchCounter, 0x2000);
    settings.EnableNoiseAndFM = 1;
    Render(1);
    EXPECT_EQ(spu->voices[2].lastOutput, 0);
    // Voice 0's output this frame, 32767 x 8192 >> 15 = 8191, speeds voice 1 up:
    // ((8191 + 32768) x 0x1000) >> 15 = 5119.
    EXPECT_EQ(spu->voices[0].lastOutput, 8191);
    EXPECT_EQ(spu->voices[1].pitchCounter, 0x2000 + 5119);
}

TEST_F(MixerTest, EndedVoicesDropTheirBitAtTheNextPublication) {
    WriteBlock(*spu, 0x10, 0x00, 1, Nibbles(1));  // flags 1: ends
    Program(3, 0x10, 0x4000, 0x3FFF, 0x3FFF);
    KeyOn(1 << 3);
    EXPECT_EQ(spu->ReadRegister(0x1F801D9C), 1 << 3);
    Render(8);  // the block is played out in frame 8: Off from then on
    EXPECT_EQ(spu->voices[3].envelopePhase, kOff);
    EXPECT_EQ(spu->ReadRegister(0x1F801D9C), 1 << 3);  // still sounding in that frame
    Render(1);
    EXPECT_EQ(spu->ReadRegister(0x1F801D9C), 0);
    int16_t frame[2];
    spu->MixFrame(frame);
    EXPECT_EQ(frame[0], 0);
}

TEST_F(MixerTest, RenderInPiecesEqualsOneRender) {
    settings.EnableReverb = 1;
    settings.EnableAutoGain = 1;
    const auto program = [&] {
        WriteBlock(*spu, 0x10, 0x12, 2, test::Ramp());
        WriteBlock(*spu, 0x12, 0x31, 6, Nibbles(9));
        WriteBlock(*spu, 0x14, 0x4A, 3, test::Ramp());
        Program(0, 0x10, 0x1234, 0x3FFF, 0x2000, 0x2F4A);
        Program(5, 0x12, 0x0F00, 0x9020, 0xB010, 0x1234);
        Write(0x1F801D98, 0b100001);
        Write(0x1F801D80, 0x3FFF);
        Write(0x1F801D82, 0x3000);
        Write(0x1F801D84, 0x2000);
        Write(0x1F801D86, 0x2000);
        KeyOn(0b100001);
    };
    program();
    std::vector<int16_t> whole(800);
    spu->Render(whole.data(), 400);

    spu = std::make_unique<SpuCore>(settings);
    program();
    std::vector<int16_t> pieces(800);
    spu->Render(pieces.data(), 200);
    spu->Render(pieces.data() + 400, 200);
    EXPECT_EQ(whole, pieces);
    EXPECT_NE(whole[798], 0);
}

}  // namespace
}  // namespace zarn
