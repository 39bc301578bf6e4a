// Each fast mixer path against MixFrame: random programs in lockstep, the
// same frames and SPU state after every render call. A path this processor
// lacks is skipped, not passed.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/SpuCore.h"
#include "support/TestSettings.h"
#include "voice/NoiseRandom.h"
#include "xa/XaDecodeBlock.h"

namespace zarn {
namespace {

// Every field of the state a render can change: per voice the fields below,
// needDecode and the 29 samples, then the output stage, the reverb line, the
// register image and the noise generator.
constexpr int32_t SpuVoice::*kFields[] = {
    &SpuVoice::irqAddress,     &SpuVoice::sweepModeL,     &SpuVoice::sweepModeR,      &SpuVoice::fixedVolumeL,
    &SpuVoice::fixedVolumeR,   &SpuVoice::sweepStepL,     &SpuVoice::sweepStepR,      &SpuVoice::sweepDecreaseL,
    &SpuVoice::sweepDecreaseR, &SpuVoice::pitch,          &SpuVoice::startAddress,    &SpuVoice::attackRate,
    &SpuVoice::decayRate,      &SpuVoice::sustainLevel,   &SpuVoice::sustainDecrease, &SpuVoice::sustainRate,
    &SpuVoice::releaseRate,    &SpuVoice::envelopeVolume, &SpuVoice::repeatAddress,   &SpuVoice::pitchModulation,
    &SpuVoice::noiseEnabled,   &SpuVoice::reverbEnabled,  &SpuVoice::active,          &SpuVoice::envelopePhase,
    &SpuVoice::pitchCounter,   &SpuVoice::blockAddress,   &SpuVoice::currentVolumeL,  &SpuVoice::currentVolumeR,
    &SpuVoice::envelopeLevel,  &SpuVoice::envelopeStep,   &SpuVoice::lastOutput,      &SpuVoice::noiseCounter,
    &SpuVoice::noiseValue,     &SpuVoice::noiseRate,      &SpuVoice::noiseTick,       &SpuVoice::history1,
    &SpuVoice::history2};

// The frames a render put out, then the state.
std::vector<int64_t> Flatten(const SpuCore& spu, const std::vector<int16_t>& out) {
    std::vector<int64_t> values(out.begin(), out.end());
    for (const SpuVoice& voice : spu.standard.voices) {
        for (const auto field : kFields) values.push_back(voice.*field);
        values.push_back(voice.needDecode);
        values.insert(values.end(), std::begin(voice.samples), std::end(voice.samples));
    }
    const MixerState& m = spu.standard.mixer;
    values.insert(values.end(), {m.dryL, m.dryR, m.reverbSendL, m.reverbSendR, m.reverbCursor, spu.standard.autoGain,
                                 spu.standard.autoGainPeak, spu.standard.autoGainCount, spu.xa.readIndex});
    values.insert(values.end(), std::begin(m.reverbLine), std::end(m.reverbLine));
    values.insert(values.end(), std::begin(spu.registerImage), std::end(spu.registerImage));
    values.push_back(NoiseRandomState());
    return values;
}
class FastMixerTest : public ::testing::TestWithParam<MixPath> {
protected:
    void SetUp() override {
        if (!MixPathSupported(GetParam())) GTEST_SKIP() << "this processor has no such mixer path";
    }
};

// Two cores, the reference and the path under test, driven alike; each one's
// interrupt function counts and, by a sequence of its own, keys voices on or off.
struct Lockstep {
    struct Irq {
        SpuCore* spu;
        std::mt19937 choices;
        int calls = 0;
    };
    std::unique_ptr<SpuCore> cores[2];
    Irq irqs[2];

    Lockstep(test::TestSettings& settings, MixPath path, uint32_t seed) {
        for (int i = 0; i < 2; ++i) {
            cores[i] = std::make_unique<SpuCore>(settings);
            cores[i]->standard.mixPath = i == 0 ? MixPath::kReference : path;
            irqs[i] = {cores[i].get(), std::mt19937(seed)};
            cores[i]->SetIrqHandler(OnIrq, &irqs[i]);
        }
    }
    void Write(uint32_t address, uint32_t value) {
        for (auto& spu : cores) spu->DecodeRegisterWrite(address, value);
    }
    void Render(uint32_t frames, const std::string& where) {
        const uint32_t random = NoiseRandomState();
        std::vector<int64_t> state[2];
        for (int i = 0; i < 2; ++i) {
            SetNoiseRandomState(random);
            std::vector<int16_t> out(2 * frames, 0x5A5A);
            cores[i]->Render(out.data(), frames);
            state[i] = Flatten(*cores[i], out);
            state[i].push_back(irqs[i].calls);
        }
        const auto value = std::mismatch(state[1].begin(), state[1].end(), state[0].begin());
        ASSERT_TRUE(value.first == state[1].end())
            << where << ", " << 2 * frames << " samples: value " << value.first - state[1].begin() << " is "
            << *value.first << ", not " << *value.second;
    }
    static void OnIrq(void* context) {
        Irq& irq = *static_cast<Irq*>(context);
        ++irq.calls;
        const uint32_t choice = irq.choices();
        const uint32_t voices = 1u << (choice >> 8) % 24;
        const uint32_t word = voices < 0x10000 ? 0 : 2, bits = voices >> (voices < 0x10000 ? 0 : 16);
        if (choice % 4 == 0) irq.spu->DecodeRegisterWrite(0x1F801D88 + word, bits);
        if (choice % 4 == 1) irq.spu->DecodeRegisterWrite(0x1F801D8C + word, bits);
    }
};

TEST_P(FastMixerTest, RandomProgramsMixAlike) {
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
        Lockstep spus(settings, GetParam(), seed);

        // Blocks of every header and every flags byte, mostly chains that run on or loop.
        static const uint8_t kFlags[] = {0, 0, 0, 0, 2, 2, 2, 2, 2, 2, 4, 5, 6, 6, 3, 3, 1, 7, 8, 0x7F, 0x80, 0xFF};
        for (uint32_t b = 0; b < kBlocks; ++b) {
            uint8_t* block = spus.cores[0]->soundRam + 16 * b;
            for (int i = 0; i < 16; ++i) block[i] = static_cast<uint8_t>(rng());
            block[0] = static_cast<uint8_t>(pick(20) == 0 ? block[0] : (pick(5) << 4 | (8 + pick(8))));
            block[1] = kFlags[pick(pick(8) == 0 ? sizeof kFlags : 16)];
        }
        std::copy_n(spus.cores[0]->soundRam, kRamBytes, spus.cores[1]->soundRam);

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
        const FastMixer::Counters& c = spus.cores[1]->standard.fastMixer.counters;
        spans.spanFrames += c.spanFrames;
        spans.exactFrames += c.exactFrames;
        spans.remixes += c.remixes;
    }
    // The programs reach every way the fast mixer has: spans, frames it
    // leaves to MixFrame (interrupts, short calls) and spans mixed again.
    EXPECT_GT(spans.spanFrames, 4 * spans.exactFrames);
    EXPECT_GT(spans.exactFrames, 0u);
    EXPECT_GT(spans.remixes, 0u);
}

INSTANTIATE_TEST_SUITE_P(Paths, FastMixerTest, ::testing::Values(MixPath::kSse41, MixPath::kAvx2),
                         [](const auto& path) { return path.param == MixPath::kSse41 ? "Sse41" : "Avx2"; });

}  // namespace
}  // namespace zarn
