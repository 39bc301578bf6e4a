// The linear ADSR envelope, frame by frame.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "voice/Envelope.h"

namespace zarn {
namespace {

// Key on (+1) or off (-1), run `frames` frames, then compare.
struct Step {
    int key, frames;
    int32_t level, volume;
    EnvelopePhase phase;
};

// Rates and sustain level, and the start: `level` in `phase` with that phase's step.
struct Trace {
    const char* name;
    int32_t attack, decay, sustainLevel, sustainRate, sustainDecrease, release, level;
    EnvelopePhase phase;
    std::vector<Step> steps;
};

TEST(EnvelopeTest, PhasesStepByTheirRates) {
    const Trace traces[] = {
        {"attack, decay to sustain level 8, held",
         0,
         0,
         8,
         127,
         0,
         0,
         0,
         kAttack,
         {{0, 1, 4194303, 16383, kAttack},
          {0, 1, 8388606, 32767, kAttack},
          {0, 1, 6710884, 26214, kDecay},
          {0, 1229, 4195121, 16387, kDecay},
          {0, 1, 4194295, 16383, kSustain},
          {0, 5, 4194295, 16383, kSustain}}},
        {"full scale exactly; sustain level 15 above the decay start",
         0,
         15,
         15,
         127,
         0,
         0,
         4194304,
         kAttack,
         {{0, 1, 6710884, 26214, kDecay}, {0, 1, 7864304, 30719, kSustain}}},
        {"sustain level 0, held", 0, 0, 0, 127, 0, 0, 2046, kDecay, {{0, 1, -1, -1, kSustain}, {0, 1, 0, 0, kOff}}},
        {"sustain level 0, falling", 0, 0, 0, 0, 1, 0, 2000, kDecay, {{0, 1, -1, -1, kSustain}, {0, 1, 0, 0, kOff}}},
        {"sustain level 0, rising",
         0,
         0,
         0,
         0,
         0,
         0,
         2000,
         kDecay,
         {{0, 1, -1, -1, kSustain},
          {0, 1, 4194302, 16383, kSustain},
          {0, 1, 8388605, 32767, kSustain},
          {0, 1, 8388607, 32767, kSustain}}},
        {"falling sustain",
         0,
         0,
         1,
         0,
         1,
         0,
         8388606,
         kSustain,
         {{0, 1, 4194303, 16383, kSustain}, {0, 1, 0, 0, kOff}}},
        {"release from the attack",
         127,
         0,
         8,
         127,
         0,
         0,
         2097021,
         kAttack,
         {{0, 1, 2097151, 8191, kAttack}, {-1, 1, 0, 0, kOff}}},
        {"key-on while releasing",
         0,
         0,
         8,
         127,
         0,
         31,
         3000000,
         kAttack,
         {{-1, 1, 2999937, 11718, kRelease}, {+1, 1, 7194240, 28102, kAttack}}},
        {"off forces level 0", 0, 0, 8, 0, 0, 0, 5000, kOff, {{0, 1, 0, 0, kOff}}},
        {"levels 1..255 read volume 1 to the end",
         0,
         0,
         8,
         127,
         0,
         31,
         505,
         kRelease,
         {{0, 4, 253, 1, kRelease}, {0, 4, 1, 1, kRelease}, {0, 1, 0, 0, kOff}}},
    };
    for (const Trace& t : traces) {
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
            EXPECT_EQ(v.envelopeLevel, s.level) << "after frame " << frame;
            EXPECT_EQ(v.envelopeVolume, s.volume) << "after frame " << frame;
            EXPECT_EQ(v.envelopePhase, s.phase) << "after frame " << frame;
        }
    }
}

}  // namespace
}  // namespace zarn
