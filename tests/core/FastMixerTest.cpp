// The fast mixer against MixFrame: random programs run through every mixer
// this processor has, in lockstep, and after every render call the frames and
// the whole SPU state must be the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/SpuCore.h"
#include "sound/VoiceSpan.h"
#include "support/TestSettings.h"
#include "voice/Envelope.h"
#include "voice/NoiseRandom.h"
#include "xa/XaDecodeBlock.h"

namespace zarn {
namespace {

// Every field of the state a render can change, flattened; `names` is
// filled only to report a difference.
void Flatten(const SpuCore& spu, std::vector<int64_t>& values, std::vector<std::string>* names) {
    values.clear();
    const auto put = [&](int64_t value, auto&&... name) {
        values.push_back(value);
        if (names) names->push_back((std::string() + ... + name));
    };
#define FIELD(x) \
    { #x, &SpuVoice::x }
    static const std::pair<const char*, int32_t SpuVoice::*> kFields[] = {
        FIELD(irqAddress),     FIELD(sweepModeL),     FIELD(sweepModeR),      FIELD(fixedVolumeL),
        FIELD(fixedVolumeR),   FIELD(sweepStepL),     FIELD(sweepStepR),      FIELD(sweepDecreaseL),
        FIELD(sweepDecreaseR), FIELD(pitch),          FIELD(startAddress),    FIELD(attackRate),
        FIELD(decayRate),      FIELD(sustainLevel),   FIELD(sustainDecrease), FIELD(sustainRate),
        FIELD(releaseRate),    FIELD(envelopeVolume), FIELD(repeatAddress),   FIELD(pitchModulation),
        FIELD(noiseEnabled),   FIELD(reverbEnabled),  FIELD(active),          FIELD(envelopePhase),
        FIELD(pitchCounter),   FIELD(blockAddress),   FIELD(currentVolumeL),  FIELD(currentVolumeR),
        FIELD(envelopeLevel),  FIELD(envelopeStep),   FIELD(lastOutput),      FIELD(noiseCounter),
        FIELD(noiseValue),     FIELD(noiseRate),      FIELD(noiseTick),       FIELD(history1),
        FIELD(history2)};
#undef FIELD
    const auto number = [&](int i) { return names ? std::to_string(i) : std::string(); };
    for (int n = 0; n < kVoiceCount; ++n) {
        const SpuVoice& voice = spu.standard.voices[n];
        const std::string prefix = names ? "voice " + std::to_string(n) + " " : "";
        for (const auto& [name, field] : kFields) put(voice.*field, prefix, name);
        put(voice.needDecode, prefix, "needDecode");
        for (int i = 0; i <= SpuVoice::kBlockSamples; ++i) put(voice.samples[i], prefix, "samples ", number(i));
    }
    const MixerState& m = spu.standard.mixer;
    for (const auto& [name, value] : {std::pair{"dryL", m.dryL},
                                      {"dryR", m.dryR},
                                      {"reverbSendL", m.reverbSendL},
                                      {"reverbSendR", m.reverbSendR},
                                      {"reverbCursor", m.reverbCursor},
                                      {"autoGain", spu.standard.autoGain},
                                      {"autoGainPeak", spu.standard.autoGainPeak},
                                      {"autoGainCount", spu.standard.autoGainCount},
                                      {"xa.readIndex", spu.xa.readIndex}})
        put(value, name);
    for (int i = 0; i < MixerState::kReverbEntries; ++i) put(m.reverbLine[i], "reverbLine ", number(i));
    for (int i = 0; i < kRegisterCount; ++i) put(spu.registerImage[i], "registerImage ", number(i));
}

// One core per mixer, driven alike. Each core's interrupt function counts
// its calls and, by a sequence of its own, keys voices on or off.
class Lockstep {
public:
    struct Irq {
        SpuCore* spu;
        std::mt19937 choices;
        int calls = 0;
    };

    Lockstep(test::TestSettings& settings, uint32_t seed) {
        for (const MixPath path : {MixPath::kReference, MixPath::kSse41, MixPath::kAvx2}) {
            if (!MixPathSupported(path)) continue;
            cores.push_back(std::make_unique<SpuCore>(settings));
            cores.back()->standard.mixPath = path;
            irqs.push_back(std::make_unique<Irq>(Irq{cores.back().get(), std::mt19937(seed)}));
            cores.back()->SetIrqHandler(OnIrq, irqs.back().get());
        }
    }
    void Write(uint32_t address, uint32_t value) {
        for (auto& spu : cores) spu->DecodeRegisterWrite(address, value);
    }
    void Render(uint32_t frames, const std::string& where) {
        const uint32_t random = NoiseRandomState();
        std::vector<int16_t> expected, out;
        std::vector<int64_t> state, got;
        for (size_t i = 0; i < cores.size(); ++i) {
            SetNoiseRandomState(random);
            (i == 0 ? expected : out).assign(2 * frames, 0x5A5A);
            cores[i]->Render((i == 0 ? expected : out).data(), frames);
            Flatten(*cores[i], got, nullptr);
            got.push_back(NoiseRandomState());
            got.push_back(irqs[i]->calls);
            if (i == 0) {
                state = got;
                continue;
            }
            const auto differ = std::mismatch(out.begin(), out.end(), expected.begin());
            ASSERT_TRUE(differ.first == out.end())
                << where << ", path " << i << ": sample " << differ.first - out.begin() << " of " << out.size()
                << " is " << *differ.first << ", not " << *differ.second;
            if (got != state) {
                std::vector<std::string> names;
                Flatten(*cores[i], got, &names);
                for (size_t k = 0; k < names.size(); ++k)
                    ASSERT_EQ(got[k], state[k]) << where << ", path " << i << ": " << names[k];
                FAIL() << where << ", path " << i << ": random state or interrupt calls differ";
            }
        }
    }

    std::vector<std::unique_ptr<SpuCore>> cores;
    std::vector<std::unique_ptr<Irq>> irqs;

private:
    static void OnIrq(void* context) {
        Irq& irq = *static_cast<Irq*>(context);
        ++irq.calls;
        const uint32_t choice = irq.choices();
        const uint32_t voices = 1u << (choice >> 8) % 24;
        if (choice % 4 == 0)
            irq.spu->DecodeRegisterWrite(voices < 0x10000 ? 0x1F801D88 : 0x1F801D8A,
                                         voices >> (voices < 0x10000 ? 0 : 16));
        if (choice % 4 == 1)
            irq.spu->DecodeRegisterWrite(voices < 0x10000 ? 0x1F801D8C : 0x1F801D8E,
                                         voices >> (voices < 0x10000 ? 0 : 16));
    }
};

TEST(FastMixerTest, RandomProgramsMixAlikeOnEveryPath) {
    test::TestSettings settings;
    settings.Load();
    FastMixer::Counters spans;
    auto xa = std::make_unique<XaDecodeBlock>();
    constexpr uint32_t kBlocks = 2048;  // 32 KiB of sound at the start of RAM
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        const auto pick = [&](uint32_t n) { return rng() % n; };
        settings.EnableNoiseAndFM = pick(4) != 0;
        settings.EnableReverb = pick(2);
        settings.EnableAutoGain = pick(2);
        settings.EnableSpuIrq = pick(5) != 0;
        settings.ReverbVolume = static_cast<int32_t>(pick(160));
        Lockstep spus(settings, seed);

        // Blocks of every header and every flags byte, mostly chains that run on or loop.
        static const uint8_t kFlags[] = {0, 0, 0, 0, 2, 2, 2, 2, 2, 2, 4, 5, 6, 6, 3, 3, 1, 7, 8, 0x7F, 0x80, 0xFF};
        for (uint32_t b = 0; b < kBlocks; ++b) {
            uint8_t* block = spus.cores[0]->soundRam + 16 * b;
            for (int i = 0; i < 16; ++i) block[i] = static_cast<uint8_t>(rng());
            block[0] = static_cast<uint8_t>(pick(20) == 0 ? block[0] : (pick(5) << 4 | (8 + pick(8))));
            block[1] = kFlags[pick(pick(8) == 0 ? sizeof kFlags : 16)];
        }
        for (size_t i = 1; i < spus.cores.size(); ++i)
            std::copy_n(spus.cores[0]->soundRam, kRamBytes, spus.cores[i]->soundRam);

        const auto unit = [&] { return pick(50) == 0 ? 0xFFFFu : 2 * pick(kBlocks); };
        // Volumes fixed (often at the extremes, so that a sweep from there soon clamps) or sweeping.
        const auto volume = [&](uint32_t address) {
            const uint32_t fixed = pick(3) == 0 ? 0x3FFF + pick(2) : pick(0x8000);
            spus.Write(address, pick(3) == 0 ? 0x8000 | pick(2) << 13 | pick(2) << 12 | pick(0x80) : fixed);
        };
        const auto program = [&](int n) {
            const uint32_t voice = 0x1F801C00 + 16 * n;
            volume(voice + 0x0);
            volume(voice + 0x2);
            spus.Write(voice + 0x4, pick(10) == 0 ? 1 + pick(0xFFFF) : 1 + pick(0x3FFF));
            spus.Write(voice + 0x6, unit());
            spus.Write(voice + 0x8, pick(4) == 0 ? pick(0x10000) : pick(24) << 8 | pick(0x100));
            spus.Write(voice + 0xA, pick(0x10000));
            spus.Write(voice + 0xE, unit());
        };
        for (int n = 0; n < kVoiceCount; ++n) program(n);
        for (const uint32_t address : {0x1F801D80u, 0x1F801D82u}) spus.Write(address, 0x2000 + pick(0x2000));
        for (const uint32_t address : {0x1F801D84u, 0x1F801D86u, 0x1F801DB0u, 0x1F801DB2u})
            spus.Write(address, pick(0x8000));
        spus.Write(0x1F801DAA, pick(64) << 8);
        spus.Write(0x1F801D88, pick(0x10000));
        spus.Write(0x1F801D8A, pick(0x100));

        for (int call = 0; call < 30; ++call) {
            // Between calls, what a game does: notes, pitches, envelopes, bits, an interrupt address, CD audio.
            switch (pick(8)) {
            case 0: program(static_cast<int>(pick(24))); [[fallthrough]];
            case 1: spus.Write(0x1F801D88 + 2 * pick(2), pick(0x10000)); break;
            case 2: spus.Write(0x1F801D8C + 2 * pick(2), pick(0x10000)); break;
            case 3: spus.Write(0x1F801D90 + 2 * pick(6), pick(0x10000)); break;
            case 4:
                spus.Write(0x1F801C0C + 16 * pick(24), pick(0x8000));
                volume(0x1F801C00 + 16 * pick(24) + 2 * pick(2));
                break;
            case 5: {
                const SpuVoice& voice = spus.cores[0]->standard.voices[pick(24)];  // a block that voice plays next
                spus.Write(0x1F801DA4, voice.blockAddress + pick(6));
                break;
            }
            case 6: {
                *xa = {};
                std::tie(xa->frequency, xa->stereo, xa->sampleCount) = std::tuple(18900 + 6300 * pick(5), pick(2), 500);
                for (int16_t& sample : xa->samples) sample = static_cast<int16_t>(rng());
                const int64_t cdFrames = pick(800);
                for (auto& spu : spus.cores) {
                    spu->xa.QueueBlock(*xa);
                    spu->cdda.QueuePcm(xa->samples + 1000, cdFrames);
                }
                break;
            }
            default:
                spus.Write(0x1F801D9C + 2 * pick(2), pick(0x10000) | pick(0x10000));
                for (auto& spu : spus.cores)
                    spu->standard.mixer.dryR = spu->standard.mixer.reverbSendL = 77;  // sums a frame starts from
                break;
            }
            const uint32_t frames = pick(4) == 0 ? 1 + pick(8) : pick(5) == 0 ? 735 : 1 + pick(600);
            spus.Render(frames, "seed " + std::to_string(seed) + ", call " + std::to_string(call));
            if (HasFatalFailure()) return;
        }
        for (size_t i = 1; i < spus.cores.size(); ++i) {
            const FastMixer::Counters& c = spus.cores[i]->standard.fastMixer.counters;
            spans.spanFrames += c.spanFrames;
            spans.exactFrames += c.exactFrames;
            spans.remixes += c.remixes;
        }
    }
    // The programs reach every way the fast mixer has: spans, frames it
    // leaves to MixFrame (interrupts, short calls) and spans mixed again.
    if (MixPathSupported(MixPath::kSse41)) {
        EXPECT_GT(spans.spanFrames, 4 * spans.exactFrames);
        EXPECT_GT(spans.exactFrames, 0u);
        EXPECT_GT(spans.remixes, 0u);
    }
}

// The envelope of a span against EnvelopeStep frame by frame, with levels
// placed on and next to every bound a phase can meet, where a closed form
// would slip by one frame.
TEST(FastMixerTest, EnvelopeSpansStepFrameByFrame) {
    std::mt19937 rng(5);
    const auto pick = [&](uint32_t n) { return static_cast<int32_t>(rng() % n); };
    for (const MixPath path : {MixPath::kSse41, MixPath::kAvx2}) {
        const SpanKernels* kernels = KernelsFor(path);
        if (kernels == nullptr) continue;
        for (int round = 0; round < 20000; ++round) {
            SpuVoice fast;
            std::tie(fast.attackRate, fast.decayRate, fast.sustainLevel, fast.sustainRate, fast.sustainDecrease,
                     fast.releaseRate, fast.envelopePhase) =
                std::tuple(pick(128), pick(16), pick(16), pick(3) == 0 ? 127 : pick(128), pick(2), pick(32),
                           1 + pick(4));
            fast.envelopeStep = fast.PhaseStep();
            const int32_t bounds[] = {SpuVoice::kFullScale, fast.sustainLevel * 0x7FFFF - 1, 0, 256};
            const int32_t bound = bounds[pick(4)];
            fast.envelopeLevel =
                pick(2) == 0 ? pick(SpuVoice::kFullScale) - 1 : bound - (1 + pick(4)) * fast.envelopeStep + pick(3) - 1;
            const int32_t frames = 1 + pick(kSpanFrames);
            const int32_t endFrame = pick(2) == 0 ? INT32_MAX : pick(frames + 1);
            SpuVoice reference = fast;
            int32_t volume[kSpanFrames + kVectorRoom];
            const int32_t sounds = SoundingFrames(fast, frames, endFrame, volume, *kernels);
            int32_t frame = 0;
            for (; frame < frames && reference.envelopePhase != kOff; ++frame) {
                if (frame == endFrame) reference.envelopePhase = kOff;
                EnvelopeStep(reference);
                ASSERT_EQ(volume[frame], reference.envelopeVolume) << round << " frame " << frame;
            }
            ASSERT_EQ(sounds, frame) << round;
            ASSERT_EQ((std::tuple(fast.envelopeLevel, fast.envelopeVolume, fast.envelopeStep, fast.envelopePhase)),
                      (std::tuple(reference.envelopeLevel, reference.envelopeVolume, reference.envelopeStep,
                                  reference.envelopePhase)))
                << round;
        }
    }
}

}  // namespace
}  // namespace zarn
