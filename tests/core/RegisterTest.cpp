// Register writes and reads of the SPU core, and sound-RAM transfers.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "support/CoreRig.h"

namespace zarn {
namespace {

using Ints = std::vector<int32_t>;
constexpr uint32_t Voice(int n, uint32_t k) { return 0x1F801C00 + 16 * n + k; }

class RegisterTest : public test::CoreTest {
protected:
    void Write(uint32_t address, uint32_t value) { spu->DecodeRegisterWrite(address, value); }
    uint16_t Read(uint32_t address) { return spu->ReadRegister(address); }
    std::vector<uint8_t> Bytes(uint32_t at, uint32_t count) { return {spu->soundRam + at, spu->soundRam + at + count}; }
};

TEST_F(RegisterTest, SignedFieldsSubtractTheLargestMagnitude) {
    MixerState& mixer = spu->standard.mixer;
    const std::tuple<uint32_t, uint32_t, const int32_t*, int32_t> cases[] = {
        {Voice(0, 0), 0x7FFF, &voice(0).fixedVolumeL, 0},   {Voice(5, 2), 0x4001, &voice(5).fixedVolumeR, -16382},
        {0x1F801D80, 0xC000, &mixer.mainVolumeL, -16383},  // bit 15 not examined
        {0x1F801D84, 0x8000, &mixer.reverbVolumeL, -32767}, {0x1F801D86, 0xFFFF, &mixer.reverbVolumeR, 0},
        {0x1F801DB0, 0x8001, &spu->xa.volumeL, -32766},     {0x1F801DB2, 0x7FFF, &spu->xa.volumeR, 32767}};
    for (const auto& [address, value, field, expected] : cases) {
        Write(address, value);
        EXPECT_EQ(*field, expected) << std::hex << address << " " << value;
    }
    // Sweep: step 5 - 127 (sign in bit 12), direction in bit 13, bit 14 without
    // effect; the fixed volume keeps its value.
    Write(Voice(5, 2), 0xF005);
    const SpuVoice& v = voice(5);
    EXPECT_EQ((Ints{v.sweepModeR, v.sweepStepR, v.sweepDecreaseR, v.fixedVolumeR}), (Ints{1, -122, 1, -16382}));
}

TEST_F(RegisterTest, GlobalRegistersReadTheirLiveValues) {
    Write(0x1F801DAE, 0xFFFF);
    EXPECT_EQ((Ints{Read(0x1F801DA6), Read(0x1F801DAE)}), (Ints{0xFFFF, 0xF800}));  // no transfer address yet
    // Noise clock c: ((c + 1)^5) >> 15 steps per second.
    for (auto [clock, rate] : {std::pair{0u, 0}, {7, 1}, {15, 32}, {31, 1024}, {63, 32768}}) {
        Write(0x1F801DAA, 0xC0FF | (clock << 8));  // only bits 8-13 count
        EXPECT_EQ(voice(9).noiseRate, rate) << clock;
    }
    EXPECT_EQ(Read(0x1F801DAA), 0xFFFF);
    Write(0x1F801DA4, 0x1FFFF);
    Write(0x1F801DA6, 0x1000);
    for (const SpuVoice& v : spu->standard.voices) EXPECT_EQ(v.irqAddress, 0xFFFF);
    EXPECT_EQ((Ints{Read(0x1F801DA4), Read(0x1F801DA6), int32_t(spu->transferAddress)}),
              (Ints{0xFFFF, 0x1000, 0x8000}));
}

TEST_F(RegisterTest, KeyOnRestartsPlaybackOnlyAndPublishes) {
    SpuVoice& v = voice(3);
    std::tie(v.startAddress, v.envelopeLevel, v.history1, v.repeatAddress) = std::tuple(0x200, 12345, 77, 0x44);
    Write(0x1F801D88, 1u << 3);
    // Attack rate 0: step 0x3FFFFF; level and history are left alone.
    EXPECT_EQ((Ints{v.active, v.needDecode, v.envelopePhase, v.blockAddress, v.pitchCounter, v.envelopeStep,
                    v.envelopeLevel, v.history1}),
              (Ints{1, 1, kAttack, 0x200, 0x1000, 4194303, 12345, 77}));
    // The envelope volume reads non-zero at once.
    EXPECT_EQ((Ints{Read(Voice(3, 0xC)), Read(Voice(3, 0xE)), Read(0x1F801D9C)}), (Ints{1, 0x44, 1 << 3}));
    Write(Voice(20, 8), 127 << 8);
    Write(0x1F801D8A, 0xFF10);  // voice 20; bits 8-15 ignored
    voice(7).active = 1;        // a key-on word without bits still publishes
    Write(0x1F801D88, 0);
    // Attack rate 127: 0x3FFFFF / (2 x 127^2 + 1).
    EXPECT_EQ((Ints{voice(20).envelopeStep, Read(0x1F801D9E), Read(0x1F801D9C)}), (Ints{130, 1 << 4, 1 << 3 | 1 << 7}));
}

TEST_F(RegisterTest, KeyOffAndRateChangesTakeTheStepOfThePhase) {
    voice(1).releaseRate = 10;
    voice(1).envelopePhase = kSustain;
    voice(17).envelopePhase = kAttack;
    voice(2).envelopeStep = 555;  // Off: untouched
    Write(0x1F801D8C, 0b110);
    Write(0x1F801D8E, 0b10);
    // Release: -0x3FFFFF / (2 (r + 1)^3): rate 10 -> -1575, rate 0 -> -2097151.
    EXPECT_EQ((Ints{voice(1).envelopePhase, voice(1).envelopeStep, voice(2).envelopePhase, voice(2).envelopeStep,
                    voice(17).envelopeStep}),
              (Ints{kRelease, -1575, kOff, 555, -2097151}));
    // A rate write re-derives the step of the phase the voice is in: decay,
    // -0x7FFFFF / ((d + 1) 4096) at rate 15.
    voice(0).envelopePhase = kDecay;
    Write(Voice(0, 8), 0x00F0);
    EXPECT_EQ(voice(0).envelopeStep, -127);
}

TEST_F(RegisterTest, PerVoiceBitRegistersAndTheirPublication) {
    Write(0x1F801D90, 0xA5A5);
    Write(0x1F801D92, 0xFF81);  // bits 8-15 ignored
    for (int n = 0; n < 24; ++n) EXPECT_EQ(voice(n).pitchModulation, (0x81A5A5 >> n) & 1) << n;
    // Voice activity: a clear bit stops the voice at once, a set bit starts nothing.
    for (int n : {0, 5, 16, 23}) voice(n).envelopePhase = kSustain;
    Write(0x1F801D9C, 0x0020);
    Write(0x1F801D9E, 0x0001);
    EXPECT_EQ((Ints{voice(0).envelopePhase, voice(0).active, voice(5).envelopePhase, voice(16).envelopePhase,
                    voice(23).envelopePhase}),
              (Ints{kOff, 0, kSustain, kSustain, kOff}));
    Write(0x1F801D9C, 0xFFFF);
    EXPECT_EQ(voice(0).envelopePhase, kOff);
    // The publication rebuilds the activity words from the voices alone.
    for (SpuVoice& each : spu->standard.voices) each.active = 0;
    voice(0).active = voice(16).active = voice(23).active = 1;
    voice(23).envelopeVolume = -1;  // sustain level 0 ends the decay at -1
    voice(23).repeatAddress = 0x12345;
    spu->PublishVoiceStatus();
    EXPECT_EQ((Ints{Read(0x1F801D9C), Read(0x1F801D9E), Read(Voice(23, 0xC)), Read(Voice(23, 0xE))}),
              (Ints{0x0001, 0x0081, 0xFFFF, 0x2345}));
}

TEST_F(RegisterTest, TransfersStepOneAddressThatWrapsAtTheEndOfSoundRam) {
    // All ones until the host writes the address: the access lands on the last
    // halfword and stepping continues at the start.
    spu->WriteTransfer(0x0102);
    spu->WriteTransfer(0x0304);
    EXPECT_EQ(Bytes(0x7FFFE, 2), (std::vector<uint8_t>{0x02, 0x01}));
    EXPECT_EQ(Bytes(0, 2), (std::vector<uint8_t>{0x04, 0x03}));
    // Every path moves the same address: the data register, one word, a block.
    Write(0x1F801DA6, 0xFFFF);  // 0x7FFF8
    spu->WriteTransfer(0xAAAA);
    Write(0x1F801DA8, 0xBBBB);
    const uint16_t words[4] = {0x1122, 0x3344, 0x5566, 0x7788};
    spu->WriteTransferBlock(words, 4);
    EXPECT_EQ(Bytes(0x7FFF8, 8), (std::vector<uint8_t>{0xAA, 0xAA, 0xBB, 0xBB, 0x22, 0x11, 0x44, 0x33}));
    EXPECT_EQ(Bytes(0, 6), (std::vector<uint8_t>{0x66, 0x55, 0x88, 0x77, 0, 0}));
    spu->transferAddress = 0x7FFFB;  // bit 0 is ignored
    uint16_t back[2] = {};
    spu->ReadTransferBlock(back, 2);
    EXPECT_EQ(std::vector<uint16_t>(back, back + 2), (std::vector<uint16_t>{0xBBBB, 0x1122}));
    EXPECT_EQ(Read(0x1F801DA8), 0x3344);
    EXPECT_EQ(spu->ReadTransfer(), 0x5566);
    EXPECT_EQ(spu->transferAddress, 2u);
    // Counts below 1 touch neither the words nor sound RAM nor the address.
    spu->transferAddress = 0x100;
    uint16_t guard[2] = {0x1234, 0x5678};
    spu->ReadTransferBlock(guard, 0);
    spu->ReadTransferBlock(guard, -5);
    spu->WriteTransferBlock(guard, -1);
    EXPECT_EQ(std::vector<uint16_t>(guard, guard + 2), (std::vector<uint16_t>{0x1234, 0x5678}));
    EXPECT_EQ(spu->transferAddress, 0x100u);
    EXPECT_EQ(Bytes(0x100, 2), (std::vector<uint8_t>{0, 0}));
}

}  // namespace
}  // namespace zarn
