// Register writes and reads of the SPU core.
#include <gtest/gtest.h>

#include <memory>

#include "spu/SpuCore.h"
#include "support/TestSettings.h"

namespace zarn {
namespace {

constexpr uint32_t Voice(int n, uint32_t k) { return 0x1F801C00 + 16 * n + k; }

class RegisterTest : public ::testing::Test {
protected:
    test::TestSettings settings;
    std::unique_ptr<SpuCore> spu = std::make_unique<SpuCore>(settings);
    void Write(uint32_t address, uint32_t value) { spu->DecodeRegisterWrite(address, value); }
    uint16_t Read(uint32_t address) { return spu->ReadRegister(address); }
    SpuVoice& voice(int n) { return spu->voices[n]; }
};

TEST_F(RegisterTest, FreshCore) {
    for (const SpuVoice& v : spu->voices) {
        EXPECT_EQ(v.envelopePhase, kOff);
        EXPECT_EQ(v.ram, spu->SoundRam());
    }
    EXPECT_EQ(voice(0).prevVoice, nullptr);
    EXPECT_EQ(voice(23).prevVoice, &voice(22));
    EXPECT_EQ(Read(0x1F801DA4), 0);
    EXPECT_EQ(Read(0x1F801DA6), 0xFFFF);  // no transfer address yet
    EXPECT_EQ(spu->xa.capacity, 24576);
    EXPECT_EQ(spu->autoGain, 32768);
}

TEST_F(RegisterTest, SignedFieldsSubtractTheLargestMagnitude) {
    struct Case {
        uint32_t address, value;
        const int32_t* field;
        int32_t expected;
    };
    const Case cases[] = {
        {Voice(0, 0), 0x7FFF, &voice(0).fixedVolumeL, 0},
        {Voice(0, 0), 0x4000, &voice(0).fixedVolumeL, -16383},
        {Voice(0, 0), 0x3FFF, &voice(0).fixedVolumeL, 16383},
        {Voice(5, 2), 0x4001, &voice(5).fixedVolumeR, -16382},
        {0x1F801D80, 0xC000, &spu->mixer.mainVolumeL, -16383},  // bit 15 not examined
        {0x1F801D82, 0x2000, &spu->mixer.mainVolumeR, 8192},
        {0x1F801D84, 0x8000, &spu->mixer.reverbVolumeL, -32767},
        {0x1F801D84, 0xFFFF, &spu->mixer.reverbVolumeL, 0},
        {0x1F801D86, 0x7FFF, &spu->mixer.reverbVolumeR, 32767},
        {0x1F801DB0, 0x8001, &spu->xa.volumeL, -32766},
        {0x1F801DB2, 0x7FFF, &spu->xa.volumeR, 32767},
    };
    for (const Case& c : cases) {
        Write(c.address, c.value);
        EXPECT_EQ(*c.field, c.expected) << std::hex << c.address << " " << c.value;
    }
    // Sweep mode: step 5 - 127 (sign in bit 12), direction in bit 13; the
    // fixed volume keeps its value.
    Write(Voice(0, 0), 0x9005);
    EXPECT_EQ(voice(0).sweepModeL, 1);
    EXPECT_EQ(voice(0).sweepStepL, -122);
    EXPECT_EQ(voice(0).sweepDecreaseL, 0);
    EXPECT_EQ(voice(0).fixedVolumeL, 16383);
    Write(Voice(5, 2), 0xE07F);  // bit 14 has no effect
    EXPECT_EQ(voice(5).sweepStepR, 127);
    EXPECT_EQ(voice(5).sweepDecreaseR, 1);
    EXPECT_EQ(voice(5).fixedVolumeL, 0);
}

TEST_F(RegisterTest, VoiceFieldsImageAndAddressing) {
    Write(Voice(23, 4), 0xFFFF);
    Write(Voice(23, 6), 0x1234);
    Write(Voice(23, 8), 0xFFFF);
    Write(Voice(23, 0xA), 0xFFFF);
    Write(Voice(23, 0xE), 0x0BCD);
    const SpuVoice& v = voice(23);
    EXPECT_EQ(v.pitch, 0xFFFF);
    EXPECT_EQ(v.startAddress, 0x1234);
    EXPECT_EQ(v.attackRate * 10000 + v.decayRate * 100 + v.sustainLevel, 1271515);
    EXPECT_EQ(v.sustainDecrease * 10000 + v.sustainRate * 100 + v.releaseRate, 22731);
    EXPECT_EQ(v.repeatAddress, 0x0BCD);
    EXPECT_EQ(voice(22).pitch, 0);
    Write(Voice(1, 8), 0x8000);  // bits without effect: 15 of word 1; 15, 13 and 5 of word 2
    Write(Voice(1, 0xA), 0xA020);
    EXPECT_EQ(voice(1).attackRate + voice(1).sustainDecrease + voice(1).sustainRate + voice(1).releaseRate, 0);

    // Only the low 12 bits of an address and the low 16 bits of a value count.
    Write(0x00000C04, 0x12345678);
    EXPECT_EQ(voice(0).pitch, 0x5678);
    EXPECT_EQ(Read(0x1F801C04), 0x5678);
    // Envelope volume: level and volume at once, phase unchanged.
    Write(Voice(2, 0xC), 0xC000);
    EXPECT_EQ(voice(2).envelopeVolume, 16384);
    EXPECT_EQ(voice(2).envelopeLevel, 4194304);
    EXPECT_EQ(voice(2).envelopePhase, kOff);

    // Odd addresses store into the even entry below and do nothing else.
    Write(0x1F801C01, 0xABCD);
    EXPECT_EQ(Read(0x1F801C00), 0xABCD);
    EXPECT_EQ(voice(0).fixedVolumeL, 0);
    Write(0x1F801DA5, 0x0101);
    EXPECT_EQ(spu->irqAddress, 0);
    EXPECT_EQ(Read(0x1F801DA5), 0x0101);
    Write(0x1F801FFE, 0x6666);
    EXPECT_EQ(Read(0x1F801FFE), 0x6666);

    // Below 0xC00 is not an SPU register: nothing changes, reads give 0.
    uint16_t before[SpuCore::kRegisterCount];
    std::copy(std::begin(spu->registerImage), std::end(spu->registerImage), before);
    for (uint32_t address : {0x1F801000u, 0x1F801BFEu, 0xFFFFFBFFu}) {
        Write(address, 0xFFFF);
        EXPECT_EQ(Read(address), 0);
    }
    EXPECT_TRUE(std::equal(std::begin(before), std::end(before), spu->registerImage));
}

TEST_F(RegisterTest, GlobalRegistersReadTheirLiveValues) {
    Write(0x1F801DAE, 0xFFFF);
    EXPECT_EQ(Read(0x1F801DAE), 0xF800);
    const std::pair<uint32_t, int32_t> rates[] = {{0, 0}, {7, 1}, {15, 32}, {31, 1024}, {63, 32768}};
    for (const auto& [clock, rate] : rates) {
        Write(0x1F801DAA, 0xC0FF | (clock << 8));  // only bits 8-13 count
        EXPECT_EQ(voice(9).noiseRate, rate) << clock;
    }
    EXPECT_EQ(Read(0x1F801DAA), 0xFFFF);
    Write(0x1F801DA4, 0x1FFFF);
    EXPECT_EQ(Read(0x1F801DA4), 0xFFFF);
    for (const SpuVoice& v : spu->voices) EXPECT_EQ(v.irqAddress, 0xFFFF);
    Write(0x1F801DA6, 0x1000);
    EXPECT_EQ(spu->transferAddress, 0x8000u);
    EXPECT_EQ(Read(0x1F801DA6), 0x1000);
}

TEST_F(RegisterTest, KeyOnRestartsPlaybackOnlyAndPublishes) {
    SpuVoice& v = voice(3);
    v.startAddress = 0x200;
    v.envelopeLevel = 12345;
    v.history1 = 77;
    v.repeatAddress = 0x44;
    Write(0x1F801D88, 1u << 3);
    EXPECT_EQ(v.active + v.needDecode, 2);
    EXPECT_EQ(v.envelopePhase, kAttack);
    EXPECT_EQ(v.blockAddress, 0x200);
    EXPECT_EQ(v.pitchCounter, 0x1000);
    EXPECT_EQ(v.envelopeStep, 4194303);  // attack rate 0
    EXPECT_EQ(Read(Voice(3, 0xC)), 1);   // reads non-zero at once
    EXPECT_EQ(Read(Voice(3, 0xE)), 0x44);
    EXPECT_EQ(Read(0x1F801D9C), 1u << 3);
    EXPECT_EQ(v.envelopeLevel, 12345);
    EXPECT_EQ(v.history1, 77);

    Write(Voice(20, 8), 127 << 8);
    Write(0x1F801D8A, 0xFF10);  // voice 20; bits 8-15 ignored
    EXPECT_EQ(voice(20).envelopeStep, 130);
    EXPECT_EQ(Read(0x1F801D9E), 1u << 4);

    voice(7).active = 1;  // a key-on word without bits still publishes
    Write(0x1F801D88, 0);
    EXPECT_EQ(Read(0x1F801D9C), (1u << 3) | (1u << 7));
}

TEST_F(RegisterTest, KeyOffAndRateChangesTakeTheStepOfThePhase) {
    voice(1).releaseRate = 10;
    voice(1).envelopePhase = kSustain;
    voice(2).envelopeStep = 555;  // Off: untouched
    voice(17).envelopePhase = kAttack;
    Write(0x1F801D8C, 0b110);
    Write(0x1F801D8E, 0b10);
    EXPECT_EQ(voice(1).envelopePhase, kRelease);
    EXPECT_EQ(voice(1).envelopeStep, -1575);
    EXPECT_EQ(voice(2).envelopePhase, kOff);
    EXPECT_EQ(voice(2).envelopeStep, 555);
    EXPECT_EQ(voice(17).envelopeStep, -2097151);

    SpuVoice& v = voice(0);
    struct Case {
        int32_t phase;
        uint32_t k, value;
        int32_t step;
    };
    const Case cases[] = {
        {kSustain, 0xA, 10 << 6, 12595}, {kSustain, 0xA, 0x4000 | 10 << 6, -12595},
        {kSustain, 0xA, 126 << 6, 8},    {kSustain, 0xA, 127 << 6, 0},
        {kDecay, 0x8, 0x00F0, -127},     {kDecay, 0x8, 0x0000, -2047},
        {kAttack, 0x8, 32 << 8, 2047},   {kRelease, 0xA, 31, -63},
        {kOff, 0x8, 0x7F00, 0},
    };
    for (const Case& c : cases) {
        v.envelopePhase = c.phase;
        Write(Voice(0, c.k), c.value);
        EXPECT_EQ(v.envelopeStep, c.step) << c.phase << " " << std::hex << c.value;
    }
}

TEST_F(RegisterTest, PerVoiceBitRegisters) {
    Write(0x1F801D90, 0xA5A5);
    Write(0x1F801D92, 0xFF81);  // bits 8-15 ignored
    Write(0x1F801D96, 0x0080);
    Write(0x1F801D98, 0x8000);
    Write(0x1F801D9A, 0x0001);
    for (int n = 0; n < 16; ++n) EXPECT_EQ(voice(n).pitchModulation, (0xA5A5 >> n) & 1) << n;
    for (int n = 16; n < 24; ++n) EXPECT_EQ(voice(n).pitchModulation, (0x81 >> (n - 16)) & 1) << n;
    EXPECT_EQ(voice(23).noiseEnabled + voice(15).reverbEnabled + voice(16).reverbEnabled, 3);
    Write(0x1F801D90, 0);
    EXPECT_EQ(voice(0).pitchModulation, 0);

    // Voice activity: a clear bit stops the voice at once, a set bit starts nothing.
    for (int n : {0, 5, 16, 23}) voice(n).envelopePhase = kSustain;
    Write(0x1F801D9C, 0x0020);
    Write(0x1F801D9E, 0x0001);
    EXPECT_EQ(voice(0).envelopePhase, kOff);
    EXPECT_EQ(voice(0).active, 0);
    EXPECT_EQ(voice(5).envelopePhase, kSustain);
    EXPECT_EQ(voice(16).envelopePhase, kSustain);
    EXPECT_EQ(voice(23).envelopePhase, kOff);
    Write(0x1F801D9C, 0xFFFF);
    EXPECT_EQ(voice(0).envelopePhase, kOff);
}

TEST_F(RegisterTest, PublishVoiceStatusRebuildsTheWords) {
    spu->registerImage[(0xD9C - 0xC00) / 2] = 0xFFFF;
    spu->registerImage[(0xD9E - 0xC00) / 2] = 0xFFFF;
    voice(0).active = voice(16).active = voice(23).active = 1;
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
