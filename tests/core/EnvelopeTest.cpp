// The linear ADSR envelope, frame by frame.
#include <gtest/gtest.h>

#include "sound/Envelope.h"

namespace zarn {
namespace {

SpuVoice Keyed(int attackRate, int decayRate, int sustainLevel, int sustainRate, int sustainDecrease,
               int releaseRate) {
    SpuVoice v;
    v.attackRate = attackRate;
    v.decayRate = decayRate;
    v.sustainLevel = sustainLevel;
    v.sustainRate = sustainRate;
    v.sustainDecrease = sustainDecrease;
    v.releaseRate = releaseRate;
    v.KeyOn();
    return v;
}

TEST(EnvelopeTest, AttackReachesFullScaleAndDecays) {
    SpuVoice v = Keyed(0, 0, 8, 127, 0, 0);
    EnvelopeStep(v);
    EXPECT_EQ(v.envelopeLevel, 4194303);
    EXPECT_EQ(v.envelopeVolume, 16383);
    EnvelopeStep(v);
    EXPECT_EQ(v.envelopeLevel, 8388606);
    EXPECT_EQ(v.envelopePhase, kAttack);
    EnvelopeStep(v);
    EXPECT_EQ(v.envelopeLevel, 6710884);
    EXPECT_EQ(v.envelopeVolume, 26214);
    EXPECT_EQ(v.envelopePhase, kDecay);
    EXPECT_EQ(v.envelopeStep, -2047);

    // To sustain level 8 (target 4194295) in 1230 frames, the last clipped.
    int frames = 0;
    while (v.envelopePhase == kDecay) {
        EnvelopeStep(v);
        ++frames;
    }
    EXPECT_EQ(frames, 1230);
    EXPECT_EQ(v.envelopeLevel, 4194295);
    EXPECT_EQ(v.envelopePhase, kSustain);
    EXPECT_EQ(v.envelopeStep, 0);  // rate 127 holds
    EnvelopeStep(v);
    EXPECT_EQ(v.envelopeLevel, 4194295);
}

TEST(EnvelopeTest, HighSustainLevelsEndTheDecayAtOnce) {
    SpuVoice v = Keyed(0, 15, 15, 127, 0, 0);
    v.envelopeLevel = 8388606;
    EnvelopeStep(v);  // full scale: decay begins at 6710884
    ASSERT_EQ(v.envelopePhase, kDecay);
    EnvelopeStep(v);  // already below 7864304: jumps up to it
    EXPECT_EQ(v.envelopeLevel, 7864304);
    EXPECT_EQ(v.envelopeVolume, 30719);
    EXPECT_EQ(v.envelopePhase, kSustain);
}

TEST(EnvelopeTest, SustainLevelZeroEndsAtMinusOne) {
    for (const int decrease : {0, 1}) {
        SpuVoice v = Keyed(0, 0, 0, 127, decrease, 0);
        v.envelopeLevel = 2000;
        v.envelopePhase = kDecay;
        v.envelopeStep = v.DecayStep();
        EnvelopeStep(v);
        EXPECT_EQ(v.envelopeLevel, -1);
        EXPECT_EQ(v.envelopeVolume, -1);  // published as 0xFFFF
        EXPECT_EQ(v.envelopePhase, kSustain);
        EnvelopeStep(v);  // held or falling: off at once
        EXPECT_EQ(v.envelopePhase, kOff);
        EXPECT_EQ(v.envelopeLevel, 0);
        EXPECT_EQ(v.envelopeVolume, 0);
    }
    // Rising: climbs from -1 and is held at full scale.
    SpuVoice v = Keyed(0, 0, 0, 0, 0, 0);
    v.envelopeLevel = -1;
    v.envelopePhase = kSustain;
    v.envelopeStep = v.SustainStep();
    EnvelopeStep(v);
    EXPECT_EQ(v.envelopeLevel, 4194302);
    EnvelopeStep(v);
    EnvelopeStep(v);
    EXPECT_EQ(v.envelopeLevel, 0x7FFFFF);
    EXPECT_EQ(v.envelopePhase, kSustain);
}

TEST(EnvelopeTest, FallingSustainTurnsTheVoiceOff) {
    SpuVoice v = Keyed(0, 0, 1, 0, 1, 0);
    v.envelopeLevel = 5000000;
    v.envelopePhase = kSustain;
    v.envelopeStep = v.SustainStep();  // -4194303
    EnvelopeStep(v);
    EXPECT_EQ(v.envelopeLevel, 805697);
    EnvelopeStep(v);
    EXPECT_EQ(v.envelopeLevel, 0);
    EXPECT_EQ(v.envelopePhase, kOff);
}

TEST(EnvelopeTest, ReleaseFromWhereverTheLevelIs) {
    SpuVoice v = Keyed(127, 0, 8, 127, 0, 0);
    for (int i = 0; i < 10; ++i) EnvelopeStep(v);
    EXPECT_EQ(v.envelopeLevel, 1300);
    v.KeyOff();
    EnvelopeStep(v);  // release rate 0: -2097151
    EXPECT_EQ(v.envelopeLevel, 0);
    EXPECT_EQ(v.envelopePhase, kOff);
    EXPECT_EQ(v.envelopeVolume, 0);

    // Key-on while releasing attacks from the current level.
    SpuVoice r = Keyed(0, 0, 8, 127, 0, 31);
    r.envelopeLevel = 3000000;
    r.KeyOff();
    EnvelopeStep(r);
    EXPECT_EQ(r.envelopeLevel, 3000000 - 63);
    r.KeyOn();
    EnvelopeStep(r);
    EXPECT_EQ(r.envelopeLevel, 3000000 - 63 + 4194303);
    EXPECT_EQ(r.envelopePhase, kAttack);
}

TEST(EnvelopeTest, SmallLevelsNeverReadSilent) {
    SpuVoice v;
    v.envelopePhase = kSustain;
    for (int32_t level : {1, 128, 255}) {
        v.envelopeLevel = level;
        EnvelopeStep(v);
        EXPECT_EQ(v.envelopeVolume, 1) << level;
    }
    v.envelopeLevel = 256;
    EnvelopeStep(v);
    EXPECT_EQ(v.envelopeVolume, 1);
    v.envelopeLevel = 512;
    EnvelopeStep(v);
    EXPECT_EQ(v.envelopeVolume, 2);
    // Off forces the level to 0.
    v.envelopePhase = kOff;
    v.envelopeStep = 777;
    EnvelopeStep(v);
    EXPECT_EQ(v.envelopeLevel, 0);
    EXPECT_EQ(v.envelopeVolume, 0);
}

}  // namespace
}  // namespace zarn
