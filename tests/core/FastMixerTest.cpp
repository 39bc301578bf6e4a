// Each model's fast mixer against its reference (MixFrame, RenderReference):
// random programs drive a core per mixer path, in lockstep, through the
// core's register decoding, transfers and interrupt calls; after every
// render call the frames, the model's whole state, sound RAM and the host's
// interrupt calls (how many, in the console model in which tick, what the
// host did in them) must be the same. In the console model a core loaded
// from the reference's extended save state at a random call joins in and
// must go on alike, to the same record. Without a fast path: skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/SpuCore.h"
#include "state/FreezeExtension.h"
#include "support/TestSettings.h"
#include "voice/NoiseRandom.h"
#include "xa/XaDecodeBlock.h"

namespace zarn {
namespace {

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

// Every value a render can change: per voice its fields and samples, the
// model's output stage, the frames queued for the CD input, the transfer
// address and the image.
std::vector<int64_t> Flatten(const SpuCore& spu) {
    std::vector<int64_t> v;
    if (spu.model == kStandard) {
        for (const SpuVoice& voice : spu.standard.voices) {
            for (const auto field : kFields) v.push_back(voice.*field);
            v.push_back(voice.needDecode);
            v.insert(v.end(), std::begin(voice.samples), std::end(voice.samples));
        }
        const MixerState& m = spu.standard.mixer;
        v.insert(v.end(), {m.dryL, m.dryR, m.reverbSendL, m.reverbSendR, m.reverbCursor, spu.standard.autoGain,
                           spu.standard.autoGainPeak, spu.standard.autoGainCount, NoiseRandomState()});
        v.insert(v.end(), std::begin(m.reverbLine), std::end(m.reverbLine));
    } else {
        const ConsoleState& s = spu.console;
        for (const ConsoleVoice& c : s.voices) {
            v.insert(v.end(), {c.pitchCounter, c.blockAddress, c.repeatAddress, c.envelopePhase, c.envelopeLevel,
                               c.envelopeCounter, c.needDecode, c.volumeLevelL, c.volumeLevelR, c.volumeCounterL,
                               c.volumeCounterR});
            v.insert(v.end(), std::begin(c.samples), std::end(c.samples));
        }
        v.insert(v.end(), {s.endx, s.irqFlag, s.irqCallPending, s.noiseLevel, s.noiseTimer, s.capturePos,
                           s.reverbParity, s.reverbAddress, s.firPos, s.mainLevelL, s.mainLevelR, s.mainCounterL,
                           s.mainCounterR, s.zigPos, s.zigSixStep});
        for (const int16_t* ring : {s.reverbInL, s.reverbInR, s.reverbOutL, s.reverbOutR})
            v.insert(v.end(), ring, ring + 64);
    }
    v.insert(v.end(), {spu.xa.QueuedSamples(), spu.cdda.QueuedSamples(), spu.transferAddress});
    v.insert(v.end(), std::begin(spu.registerImage), std::end(spu.registerImage));
    return v;
}

// A core on one path. Its interrupt function logs the tick (the console's
// capture position) and by a sequence of its own keys a voice on or off,
// writes a pitch, acknowledges or re-arms, in the console model transfers or renders.
struct Host {
    std::unique_ptr<SpuCore> spu;
    std::mt19937 choices;
    std::vector<int64_t> log;
    int depth = 0;

    static void Interrupt(void* context) {
        Host& h = *static_cast<Host*>(context);
        SpuCore& spu = *h.spu;
        h.log.push_back(spu.console.capturePos);
        const uint32_t r = h.choices(), voice = (r >> 8) % 24;
        const uint16_t control = spu.registerImage[reg::ImageIndex(reg::kControl)];
        switch (r % 8) {
        case 0:
        case 1: spu.DecodeRegisterWrite((r % 2 ? reg::kKeyOff : reg::kKeyOn) + voice / 16 * 2, 1u << voice % 16); break;
        case 2: spu.DecodeRegisterWrite(reg::Voice(static_cast<int>(voice), reg::kPitch), r >> 16); break;
        case 3:
            spu.DecodeRegisterWrite(reg::kControl, control & ~0x40);
            if (r & 0x100)
                spu.DecodeRegisterWrite(reg::kControl, control);  // re-armed: a voice on the address raises it again
            break;
        case 4:
            if (spu.model == kConsole) {
                const uint16_t words[] = {static_cast<uint16_t>(r), static_cast<uint16_t>(r >> 16), 0x0703};
                spu.DecodeRegisterWrite(reg::kTransferAddress, spu.ReadRegister(reg::kIrqAddress) - (r >> 9) % 2);
                spu.WriteTransferBlock(words, 3);
            }
            break;
        case 5:
            if (spu.model == kConsole && h.depth < 2) {
                ++h.depth;
                std::vector<int16_t> frames(2 * (1 + (r >> 8) % 40));
                spu.Render(frames.data(), static_cast<uint32_t>(frames.size() / 2));
                h.log.insert(h.log.end(), frames.begin(), frames.end());
                --h.depth;
            }
            break;
        default: break;  // the flag stays up
        }
    }
};

class FastMixerTest : public ::testing::TestWithParam<SoundModel> {};

TEST_P(FastMixerTest, RandomProgramsMixAlikeOnEveryPath) {
    const bool console = GetParam() == kConsole;
    test::TestSettings settings;
    uint64_t span = 0, exact = 0, redone = 0;  // frames in spans, left to the reference, spans cut or mixed again
    auto xa = std::make_unique<XaDecodeBlock>();
    for (uint32_t seed = 1; seed <= (console ? 16u : 40u); ++seed) {
        std::mt19937 rng(seed);
        const auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
        settings.EnableNoiseAndFM = pick(4) != 0;
        settings.EnableReverb = pick(2);
        settings.EnableAutoGain = pick(2);
        settings.EnableSpuIrq = pick(5) != 0;
        settings.ReverbVolume = static_cast<int32_t>(pick(160));
        std::vector<std::unique_ptr<Host>> hosts;
        for (const MixPath path : {MixPath::kReference, MixPath::kSse41, MixPath::kAvx2}) {
            if (!MixPathSupported(path)) continue;
            hosts.push_back(std::make_unique<Host>(Host{std::make_unique<SpuCore>(settings, GetParam()), {}, {}, 0}));
            Host& h = *hosts.back();
            h.choices.seed(seed);
            h.spu->SetIrqHandler(Host::Interrupt, &h);
            h.spu->standard.mixPath = h.spu->consoleMixer.path = path;
        }
        if (hosts.size() < 2) GTEST_SKIP() << "no fast path on this processor";
        const auto write = [&](uint32_t address, uint32_t value) {
            for (auto& h : hosts) h->spu->DecodeRegisterWrite(address, value);
        };

        // Blocks of every header and flags byte: chains that run on, loop,
        // stop; in the capture area, in the middle, and up to the end of RAM.
        static const uint8_t kFlags[] = {0, 0, 0, 2, 2, 2, 2, 6, 3, 3, 4, 5, 1, 7, 8, 0x7F, 0x80, 0xFB, 0xFF};
        for (uint32_t at = 0; at < kRamBytes; at += 16) {
            if (at == 0x11000) at = 0x78000;
            uint8_t* block = hosts[0]->spu->soundRam + at;
            for (int i = 0; i < 16; ++i) block[i] = static_cast<uint8_t>(rng());
            if (!console && pick(20) != 0) block[0] = static_cast<uint8_t>(pick(5) << 4 | (8 + pick(8)));
            block[1] = kFlags[pick(pick(4) == 0 ? std::size(kFlags) : 10)];
        }
        for (auto& h : hosts) std::copy_n(hosts[0]->spu->soundRam, kRamBytes, h->spu->soundRam);

        const uint32_t base = pick(4) == 0 ? 0xF000 + pick(0x1000) : pick(8) == 0 ? pick(0x10000) : 0xFB28;
        const auto unit = [&] {
            switch (pick(12)) {
            case 0: return pick(0x200);                  // the capture area
            case 1: return base + pick(0x10000 - base);  // the reverb's work area
            case 2: return 0xFFFE + pick(2);             // wrapping at the end
            default: return 0x200 + 2 * pick(0x1000);    // the middle
            }
        };
        // Volumes fixed (often at the extremes, so that a sweep from there soon clamps) or sweeping.
        const auto volume = [&](uint32_t address) {
            const uint32_t fixed = pick(3) == 0 ? 0x3FFF + pick(2) : pick(0x8000);
            write(address, pick(3) == 0 ? 0x8000 | pick(0x8000) : fixed);
        };
        const auto program = [&](int n) {
            volume(reg::Voice(n, reg::kVolumeL));
            volume(reg::Voice(n, reg::kVolumeR));
            write(reg::Voice(n, reg::kPitch), pick(6) == 0 ? pick(0x10000) : pick(8) == 0 ? 0 : 1 + pick(0x3FFF));
            write(reg::Voice(n, reg::kStartAddress), unit());
            const uint32_t fast = console ? 0x7F00 | pick(0x8100) : pick(24) << 8 | pick(0x100);
            write(reg::Voice(n, reg::kEnvelope1), pick(4) == 0 ? fast : pick(0x10000));
            write(reg::Voice(n, reg::kEnvelope2), pick(4) == 0 ? 0x1FC0 | pick(0x10000) : pick(0x10000));
            write(reg::Voice(n, reg::kRepeatAddress), unit());
        };
        for (int n = 0; n < kVoiceCount; ++n) program(n);
        volume(reg::kMainVolumeL);
        volume(reg::kMainVolumeR);
        // The console's reverb: "Room" or anything, then its volumes and voices.
        static const uint16_t kRoom[32] = {0x007D, 0x005B, 0x6D80, 0x54B8, 0xBED0, 0x0000, 0x0000, 0xBA80,
                                           0x5800, 0x5300, 0x04D6, 0x0333, 0x03F0, 0x0227, 0x0374, 0x01EF,
                                           0x0334, 0x01B5, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
                                           0x0000, 0x0000, 0x01B4, 0x0136, 0x00B8, 0x005C, 0x8000, 0x8000};
        const bool room = pick(3) != 0;
        for (uint32_t k = 0; k < 32; ++k) write(0x1F801DC0 + 2 * k, room ? kRoom[k] : pick(0x10000));
        write(reg::kReverbBase, base);
        for (const uint32_t address : {reg::kReverbVolumeL, reg::kReverbVolumeR, reg::kCdVolumeL, reg::kCdVolumeR})
            write(address, pick(0x10000));
        for (const uint32_t address : {reg::kPitchModulation, reg::kNoise, reg::kReverb})
            for (const uint32_t word : {0u, 2u}) write(address + word, pick(3) == 0 ? pick(0x10000) : 0);
        const auto control = [&] {
            return (pick(10) ? 0x8000 : 0) | (pick(10) ? 0x4000 : 0) | pick(64) << 8 | pick(2) << 7 | pick(2) << 6 |
                   pick(2) << 2 | pick(2);
        };
        write(reg::kControl, control());
        write(reg::kTransferControl, pick(16));
        write(reg::kIrqAddress, unit());
        write(reg::kKeyOn, 0xFFFF);
        write(reg::kKeyOn + 2, 0xFF);

        const int split = console ? static_cast<int>(pick(30)) : -1;
        for (int call = 0; call < 30; ++call) {
            if (call == split) {
                // The CD audio queued so far comes along: the record has no place for it.
                std::vector<uint8_t> record(kExtendedFreezeSize);
                SaveExtendedFreeze(*hosts[0]->spu, record.data(), true);
                hosts.push_back(std::make_unique<Host>(
                    Host{std::make_unique<SpuCore>(settings, kConsole), hosts[0]->choices, hosts[0]->log, 0}));
                SpuCore& loaded = *hosts.back()->spu;
                loaded.SetIrqHandler(Host::Interrupt, hosts.back().get());
                loaded.consoleMixer.path = hosts[hosts.size() - 2]->spu->consoleMixer.path;
                LoadExtendedFreeze(loaded, record.data());
                const XaRing& cd = hosts[0]->spu->cdda;
                for (int32_t i = 0; i < cd.QueuedSamples(); i += 2)
                    loaded.cdda.Push(cd.buffer[(cd.readIndex + i) % cd.capacity],
                                     cd.buffer[(cd.readIndex + i + 1) % cd.capacity]);
            }
            // Between calls, what a game does: notes, envelopes, bits, interrupt addresses, XA and CD audio, SPUCNT.
            switch (pick(8)) {
            case 0: program(static_cast<int>(pick(24))); [[fallthrough]];
            case 1: write(reg::kKeyOn + 2 * pick(2), pick(0x10000)); break;
            case 2: write(reg::kKeyOff + 2 * pick(2), pick(0x10000)); break;
            case 3:
                write(reg::Voice(static_cast<int>(pick(24)), reg::kEnvelopeVolume), pick(0x10000));
                volume(reg::Voice(static_cast<int>(pick(24)), reg::kVolumeL + 2 * pick(2)));
                break;
            case 4: {
                // Where a voice plays next, a capture slot, the reverb's work area.
                const SpuCore& spu = *hosts[0]->spu;
                const uint32_t n = pick(24), next = console
                                                        ? spu.console.voices[n].blockAddress
                                                        : static_cast<uint32_t>(spu.standard.voices[n].blockAddress);
                const uint32_t places[] = {next + pick(8), pick(0x200), base + pick(0x10000 - base)};
                write(reg::kIrqAddress, places[pick(3)]);
                write(reg::kControl, spu.registerImage[reg::ImageIndex(reg::kControl)] | 0x8040);
                break;
            }
            case 5: {
                *xa = {};
                std::tie(xa->frequency, xa->stereo, xa->sampleCount) = std::tuple(18900 + 6300 * pick(5), pick(2), 400);
                for (int16_t& sample : xa->samples) sample = static_cast<int16_t>(rng());
                const int64_t cdFrames = pick(800);
                for (auto& h : hosts) {
                    h->spu->QueueXaBlock(*xa);
                    h->spu->cdda.QueuePcm(xa->samples + 1000, cdFrames);
                }
                break;
            }
            case 6: write(reg::kPitchModulation + 2 * pick(6), pick(0x10000)); break;
            default:
                if (console) {
                    write(reg::kControl, control());
                } else {
                    write(reg::kVoiceActivity + 2 * pick(2), pick(0x10000) | pick(0x10000));
                    for (auto& h : hosts)  // sums a frame starts from
                        h->spu->standard.mixer.dryR = h->spu->standard.mixer.reverbSendL = 77;
                }
                break;
            }
            const uint32_t frames = pick(4) == 0 ? 1 + pick(8) : pick(4) == 0 ? 735 : 1 + pick(1200);
            const std::string where = "seed " + std::to_string(seed) + ", call " + std::to_string(call);
            const uint32_t noise = NoiseRandomState();
            std::vector<int64_t> expected;
            for (size_t i = 0; i < hosts.size(); ++i) {
                Host& h = *hosts[i];
                SetNoiseRandomState(noise);
                std::vector<int16_t> out(2 * frames, 0x5A5A);
                h.spu->Render(out.data(), frames);
                std::vector<int64_t> got(out.begin(), out.end());
                got.insert(got.end(), h.log.begin(), h.log.end());
                const std::vector<int64_t> state = Flatten(*h.spu);
                got.insert(got.end(), state.begin(), state.end());
                if (i == 0) {
                    expected = got;
                    continue;
                }
                const auto value = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
                ASSERT_TRUE(value.first == got.end())
                    << where << ", path " << i << ": value " << value.first - got.begin() << " of " << got.size()
                    << " (" << 2 * frames << " samples, then the host's log of " << h.log.size() << ")";
                const auto byte = std::mismatch(h.spu->soundRam, h.spu->soundRam + kRamBytes, hosts[0]->spu->soundRam);
                ASSERT_TRUE(byte.first == h.spu->soundRam + kRamBytes)
                    << where << ", path " << i << ": sound RAM at " << byte.first - h.spu->soundRam;
            }
        }
        if (split >= 0) {
            std::vector<uint8_t> expected(kExtendedFreezeSize), loaded(kExtendedFreezeSize);
            SaveExtendedFreeze(*hosts[0]->spu, expected.data(), true);
            SaveExtendedFreeze(*hosts.back()->spu, loaded.data(), true);
            EXPECT_TRUE(loaded == expected) << "seed " << seed << ": the loaded core's record";
        }
        for (size_t i = 1; i < hosts.size(); ++i) {
            const auto& s = hosts[i]->spu->standard.fastMixer.counters;
            const auto& c = hosts[i]->spu->consoleMixer.counters;
            span += console ? c.spanTicks : s.spanFrames;
            exact += console ? c.referenceTicks : s.exactFrames;
            redone += console ? c.cuts : s.remixes;
        }
    }
    // The programs reach every way the fast mixer has: spans, frames it
    // leaves to the reference (interrupts close together, short calls) and
    // spans cut short or mixed again.
    EXPECT_GT(span, 4 * exact);
    EXPECT_GT(exact, 0u);
    EXPECT_GT(redone, 0u);
}

INSTANTIATE_TEST_SUITE_P(Models, FastMixerTest, ::testing::Values(kStandard, kConsole),
                         [](const auto& model) { return model.param == kConsole ? "Console" : "Standard"; });

}  // namespace
}  // namespace zarn
