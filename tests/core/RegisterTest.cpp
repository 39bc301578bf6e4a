// Register writes and reads of the SPU core.
#include <gtest/gtest.h>

#include <memory>

#include "spu/SpuCore.h"
#include "support/TestSettings.h"

namespace zarn {
namespace {

constexpr uint32_t kBase = 0x1F801C00;
constexpr uint32_t Voice(int n, uint32_t k) { return kBase + 16 * n + k; }

class RegisterTest : public ::testing::Test {
protected:
    test::TestSettings settings;
    std::unique_ptr<SpuCore> spu = std::make_unique<SpuCore>(settings);
    void Write(uint32_t address, uint32_t value) { spu->DecodeRegisterWrite(address, value); }
    uint16_t Read(uint32_t address) { return spu->ReadRegister(address); }
    SpuVoice& voice(int n) { return spu->voices[n]; }
};

TEST_F(RegisterTest, FreshCoreIsSilentAndLinked) {
    for (const SpuVoice& v : spu->voices) {
        EXPECT_EQ(v.envelopePhase, kOff);
        EXPECT_EQ(v.active, 0);
        EXPECT_EQ(v.ram, spu->SoundRam());
        EXPECT_EQ(v.needDecode, 1);
    }
    EXPECT_EQ(voice(0).prevVoice, nullptr);
    EXPECT_EQ(voice(23).prevVoice, &voice(22));
    EXPECT_EQ(Read(0x1F801DA4), 0);
    EXPECT_EQ(spu->transferAddress, 0xFFFFFFFFu);
    EXPECT_EQ(Read(0x1F801DA6), 0xFFFF);
    EXPECT_EQ(spu->xa.capacity, 24576);  // XABufferSize 48
    EXPECT_EQ(spu->autoGain, 32768);
    EXPECT_EQ(spu->xa.volumeL, 0);
}

TEST_F(RegisterTest, VolumeConversionsSubtractTheLargestMagnitude) {
    Write(Voice(0, 0), 0x7FFF);
    EXPECT_EQ(voice(0).fixedVolumeL, 0);
    Write(Voice(0, 0), 0x4000);
    EXPECT_EQ(voice(0).fixedVolumeL, -16383);
    Write(Voice(0, 0), 0x3FFF);
    EXPECT_EQ(voice(0).fixedVolumeL, 16383);
    EXPECT_EQ(voice(0).sweepModeL, 0);

    // Sweep mode: step 5 - 127 with the sign in bit 12; the fixed volume stays.
    Write(Voice(0, 0), 0x9005);
    EXPECT_EQ(voice(0).sweepModeL, 1);
    EXPECT_EQ(voice(0).sweepStepL, -122);
    EXPECT_EQ(voice(0).sweepDecreaseL, 0);
    EXPECT_EQ(voice(0).fixedVolumeL, 16383);
    Write(Voice(0, 0), 0xE07F);  // decreasing, bit 14 without effect
    EXPECT_EQ(voice(0).sweepStepL, 127);
    EXPECT_EQ(voice(0).sweepDecreaseL, 1);

    // The right side has its own fields.
    Write(Voice(5, 2), 0x4001);
    EXPECT_EQ(voice(5).fixedVolumeR, -16382);
    EXPECT_EQ(voice(5).fixedVolumeL, 0);
    Write(Voice(5, 2), 0xA07F);
    EXPECT_EQ(voice(5).sweepStepR, 127);
    EXPECT_EQ(voice(5).sweepDecreaseR, 1);
    EXPECT_EQ(voice(5).fixedVolumeR, -16382);

    Write(0x1F801D80, 0xC000);  // bit 15 not examined
    EXPECT_EQ(spu->mixer.mainVolumeL, -16383);
    Write(0x1F801D82, 0x2000);
    EXPECT_EQ(spu->mixer.mainVolumeR, 8192);
    Write(0x1F801D84, 0x8000);
    EXPECT_EQ(spu->mixer.reverbVolumeL, -32767);
    Write(0x1F801D84, 0xFFFF);
    EXPECT_EQ(spu->mixer.reverbVolumeL, 0);
    Write(0x1F801D86, 0x7FFF);
    EXPECT_EQ(spu->mixer.reverbVolumeR, 32767);
    Write(0x1F801DB0, 0x8001);
    EXPECT_EQ(spu->xa.volumeL, -32766);
    Write(0x1F801DB2, 0x7FFF);
    EXPECT_EQ(spu->xa.volumeR, 32767);
}

TEST_F(RegisterTest, VoiceFieldsAndImage) {
    Write(Voice(23, 4), 0xFFFF);
    Write(Voice(23, 6), 0x1234);
    Write(Voice(23, 8), 0xFFFF);  // attack 127, decay 15, sustain level 15
    Write(Voice(23, 0xA), 0xFFFF);
    Write(Voice(23, 0xE), 0x0BCD);
    EXPECT_EQ(voice(23).pitch, 0xFFFF);
    EXPECT_EQ(voice(23).startAddress, 0x1234);
    EXPECT_EQ(voice(23).attackRate, 127);
    EXPECT_EQ(voice(23).decayRate, 15);
    EXPECT_EQ(voice(23).sustainLevel, 15);
    EXPECT_EQ(voice(23).sustainDecrease, 1);
    EXPECT_EQ(voice(23).sustainRate, 127);
    EXPECT_EQ(voice(23).releaseRate, 31);
    EXPECT_EQ(voice(23).repeatAddress, 0x0BCD);
    EXPECT_EQ(voice(22).pitch, 0);
    EXPECT_EQ(Read(Voice(23, 4)), 0xFFFF);
    EXPECT_EQ(spu->registerImage[(0xD7E - 0xC00) / 2], 0x0BCD);

    // Only the low 16 bits of a value and the low 12 bits of an address count.
    Write(0x00000C04, 0x12345678);
    EXPECT_EQ(voice(0).pitch, 0x5678);
    EXPECT_EQ(Read(0x1F801C04), 0x5678);

    // Envelope volume: level and volume at once, phase unchanged.
    Write(Voice(2, 0xC), 0xC000);
    EXPECT_EQ(voice(2).envelopeVolume, 16384);
    EXPECT_EQ(voice(2).envelopeLevel, 4194304);
    EXPECT_EQ(voice(2).envelopePhase, kOff);
}

TEST_F(RegisterTest, OddAndUnknownAddressesOnlyStoreTheImage) {
    Write(0x1F801C01, 0xABCD);
    EXPECT_EQ(Read(0x1F801C00), 0xABCD);
    EXPECT_EQ(Read(0x1F801C01), 0xABCD);
    EXPECT_EQ(voice(0).fixedVolumeL, 0);
    EXPECT_EQ(voice(0).sweepModeL, 0);

    Write(0x1F801DA5, 0x0101);  // odd neighbour of the IRQ address
    EXPECT_EQ(spu->irqAddress, 0);
    EXPECT_EQ(Read(0x1F801DA5), 0x0101);
    EXPECT_EQ(Read(0x1F801DA4), 0);

    Write(0x1F801DC0, 0x5555);
    Write(0x1F801FFE, 0x6666);
    EXPECT_EQ(Read(0x1F801DC0), 0x5555);
    EXPECT_EQ(Read(0x1F801FFE), 0x6666);

    // Below 0xC00 is not an SPU register: nothing changes, reads give 0.
    const std::unique_ptr<SpuCore> before = std::make_unique<SpuCore>(settings);
    std::copy(std::begin(spu->registerImage), std::end(spu->registerImage), before->registerImage);
    for (uint32_t address : {0x1F801000u, 0x1F801BFEu, 0x00000000u, 0xFFFFFBFFu}) {
        Write(address, 0xFFFF);
        EXPECT_EQ(Read(address), 0);
    }
    EXPECT_TRUE(std::equal(std::begin(spu->registerImage), std::end(spu->registerImage), before->registerImage));
}

TEST_F(RegisterTest, GlobalRegistersReadTheirLiveValues) {
    Write(0x1F801DAE, 0xFFFF);
    EXPECT_EQ(Read(0x1F801DAE), 0xF800);
    EXPECT_EQ(spu->status, 0xF800);

    Write(0x1F801DAA, 0x3F00);
    EXPECT_EQ(Read(0x1F801DAA), 0x3F00);
    for (const SpuVoice& v : spu->voices) EXPECT_EQ(v.noiseRate, 32768);
    const std::pair<uint32_t, int32_t> rates[] = {{0, 0}, {7, 1}, {15, 32}, {31, 1024}, {63, 32768}};
    for (const auto& [clock, rate] : rates) {
        Write(0x1F801DAA, 0xC0FF | (clock << 8));  // other bits have no effect
        EXPECT_EQ(voice(9).noiseRate, rate) << "noise clock " << clock;
    }

    Write(0x1F801DA4, 0x1FFFF);
    EXPECT_EQ(Read(0x1F801DA4), 0xFFFF);
    for (const SpuVoice& v : spu->voices) EXPECT_EQ(v.irqAddress, 0xFFFF);

    Write(0x1F801DA6, 0x1000);
    EXPECT_EQ(spu->transferAddress, 0x8000u);
    EXPECT_EQ(Read(0x1F801DA6), 0x1000);
}

TEST_F(RegisterTest, KeyOnStartsAVoiceAndPublishes) {
    SpuVoice& v = voice(3);
    v.startAddress = 0x200;
    v.envelopeLevel = 12345;
    v.history1 = 77;
    v.samples[5] = 99;
    v.repeatAddress = 0x44;
    Write(0x1F801D88, 1u << 3);
    EXPECT_EQ(v.active, 1);
    EXPECT_EQ(v.needDecode, 1);
    EXPECT_EQ(v.envelopePhase, kAttack);
    EXPECT_EQ(v.blockAddress, 0x200);
    EXPECT_EQ(v.pitchCounter, 0x1000);
    EXPECT_EQ(v.envelopeStep, 4194303);  // attack rate 0
    EXPECT_EQ(v.envelopeVolume, 1);      // reads non-zero at once
    EXPECT_EQ(Read(Voice(3, 0xC)), 1);
    EXPECT_EQ(Read(Voice(3, 0xE)), 0x44);
    EXPECT_EQ(Read(0x1F801D9C), 1u << 3);
    // Nothing else is reset.
    EXPECT_EQ(v.envelopeLevel, 12345);
    EXPECT_EQ(v.history1, 77);
    EXPECT_EQ(v.samples[5], 99);

    Write(Voice(20, 8), 127 << 8);
    Write(0x1F801D8A, 0xFF10);  // voice 20; bits 8-15 ignored
    EXPECT_EQ(voice(20).envelopeStep, 130);
    EXPECT_EQ(Read(0x1F801D9E), 1u << 4);
    EXPECT_EQ(voice(21).active, 0);

    // A key-on word without bits still publishes.
    voice(7).active = 1;
    voice(7).envelopeVolume = 0x1234;
    Write(0x1F801D88, 0);
    EXPECT_EQ(Read(0x1F801D9C), (1u << 3) | (1u << 7));
    EXPECT_EQ(Read(Voice(7, 0xC)), 0x1234);
}

TEST_F(RegisterTest, KeyOffReleasesSoundingVoicesOnly) {
    voice(1).releaseRate = 10;
    voice(1).envelopePhase = kSustain;
    voice(2).envelopePhase = kOff;
    voice(2).envelopeStep = 555;
    voice(17).envelopePhase = kAttack;
    Write(0x1F801D8C, 0b110);
    Write(0x1F801D8E, 0b10);
    EXPECT_EQ(voice(1).envelopePhase, kRelease);
    EXPECT_EQ(voice(1).envelopeStep, -1575);
    EXPECT_EQ(voice(2).envelopePhase, kOff);
    EXPECT_EQ(voice(2).envelopeStep, 555);
    EXPECT_EQ(voice(17).envelopePhase, kRelease);
    EXPECT_EQ(voice(17).envelopeStep, -2097151);
}

TEST_F(RegisterTest, EnvelopeWordsRederiveTheStepOfTheCurrentPhase) {
    SpuVoice& v = voice(0);
    v.envelopePhase = kSustain;
    Write(Voice(0, 0xA), (10 << 6));  // rising, rate 10
    EXPECT_EQ(v.envelopeStep, 12595);
    Write(Voice(0, 0xA), 0x4000 | (10 << 6));
    EXPECT_EQ(v.envelopeStep, -12595);
    Write(Voice(0, 0xA), 127 << 6);
    EXPECT_EQ(v.envelopeStep, 0);
    v.envelopePhase = kDecay;
    Write(Voice(0, 8), 0x00F0);  // decay rate 15
    EXPECT_EQ(v.envelopeStep, -127);
    v.envelopePhase = kOff;
    Write(Voice(0, 8), 0x0000);
    EXPECT_EQ(v.envelopeStep, 0);
    // Bits without effect: 15 of word 1; 15, 13 and 5 of word 2.
    Write(Voice(0, 8), 0x8000);
    EXPECT_EQ(v.attackRate, 0);
    Write(Voice(0, 0xA), 0xA020);
    EXPECT_EQ(v.sustainDecrease, 0);
    EXPECT_EQ(v.sustainRate, 0);
    EXPECT_EQ(v.releaseRate, 0);
}

TEST_F(RegisterTest, StepFormulas) {
    SpuVoice v;
    const std::pair<int, int32_t> attack[] = {{0, 4194303}, {32, 2047}, {127, 130}};
    for (auto [rate, step] : attack) {
        v.attackRate = rate;
        EXPECT_EQ(v.AttackStep(), step);
    }
    v.decayRate = 0;
    EXPECT_EQ(v.DecayStep(), -2047);
    v.decayRate = 15;
    EXPECT_EQ(v.DecayStep(), -127);
    const std::pair<int, int32_t> sustain[] = {{0, 4194303}, {10, 12595}, {126, 8}, {127, 0}};
    for (auto [rate, step] : sustain) {
        v.sustainRate = rate;
        v.sustainDecrease = 0;
        EXPECT_EQ(v.SustainStep(), step);
        v.sustainDecrease = 1;
        EXPECT_EQ(v.SustainStep(), -step);
    }
    const std::pair<int, int32_t> release[] = {{0, -2097151}, {10, -1575}, {31, -63}};
    for (auto [rate, step] : release) {
        v.releaseRate = rate;
        EXPECT_EQ(v.ReleaseStep(), step);
    }
}

TEST_F(RegisterTest, PerVoiceBitRegisters) {
    Write(0x1F801D90, 0xA5A5);
    Write(0x1F801D92, 0xFF81);  // bits 8-15 ignored
    Write(0x1F801D94, 0x0003);
    Write(0x1F801D96, 0x0080);
    Write(0x1F801D98, 0x8000);
    Write(0x1F801D9A, 0x0001);
    for (int n = 0; n < 16; ++n) EXPECT_EQ(voice(n).pitchModulation, (0xA5A5 >> n) & 1) << n;
    for (int n = 16; n < 24; ++n) EXPECT_EQ(voice(n).pitchModulation, (0x81 >> (n - 16)) & 1) << n;
    EXPECT_EQ(voice(1).noiseEnabled, 1);
    EXPECT_EQ(voice(2).noiseEnabled, 0);
    EXPECT_EQ(voice(23).noiseEnabled, 1);
    EXPECT_EQ(voice(15).reverbEnabled, 1);
    EXPECT_EQ(voice(16).reverbEnabled, 1);
    // Clear bits clear the flags again.
    Write(0x1F801D90, 0);
    EXPECT_EQ(voice(0).pitchModulation, 0);
}

TEST_F(RegisterTest, VoiceActivityWordStopsButNeverStarts) {
    for (int n : {0, 5, 15, 16, 23}) {
        voice(n).envelopePhase = kSustain;
        voice(n).active = 1;
    }
    Write(0x1F801D9C, 0x0020);  // voice 5 keeps sounding
    EXPECT_EQ(voice(0).envelopePhase, kOff);
    EXPECT_EQ(voice(0).active, 0);
    EXPECT_EQ(voice(5).envelopePhase, kSustain);
    EXPECT_EQ(voice(15).envelopePhase, kOff);
    EXPECT_EQ(voice(16).envelopePhase, kSustain);
    Write(0x1F801D9E, 0x0000);
    EXPECT_EQ(voice(16).envelopePhase, kOff);
    EXPECT_EQ(voice(23).envelopePhase, kOff);

    Write(0x1F801D9C, 0xFFFF);
    EXPECT_EQ(voice(0).envelopePhase, kOff);
    EXPECT_EQ(voice(0).active, 1);
}

TEST_F(RegisterTest, PublishVoiceStatusRebuildsBothActivityWords) {
    spu->registerImage[(0xD9C - 0xC00) / 2] = 0xFFFF;
    spu->registerImage[(0xD9E - 0xC00) / 2] = 0xFFFF;
    voice(0).active = 1;
    voice(16).active = 1;
    voice(23).active = 1;
    voice(23).envelopeVolume = -1;  // sustain level 0 ends the decay at -1
    voice(23).repeatAddress = 0x12345;
    spu->PublishVoiceStatus();
    EXPECT_EQ(Read(0x1F801D9C), 0x0001);
    EXPECT_EQ(Read(0x1F801D9E), 0x0081);
    EXPECT_EQ(Read(Voice(23, 0xC)), 0xFFFF);
    EXPECT_EQ(Read(Voice(23, 0xE)), 0x2345);
}

}  // namespace
}  // namespace zarn
