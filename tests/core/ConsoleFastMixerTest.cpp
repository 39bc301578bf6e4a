// The console model's fast mixer against RenderReference: random programs run
// through cores in the console model, one on each path this processor has,
// in lockstep (the core's register decoding, transfers and interrupt calls
// around each), and after every render call the frames, the whole state,
// sound RAM, the XA ring and the host's interrupt calls (how many, in which
// tick, and what the host did in them, renders included) must be the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/SpuCore.h"
#include "support/TestSettings.h"
#include "xa/XaDecodeBlock.h"

namespace zarn {
namespace {

// Every field of the console state, the register image, the XA ring's
// indexes, the transfer address and the host's log, flattened.
std::vector<int64_t> Flatten(const SpuCore& spu, const std::vector<int64_t>& log) {
    const ConsoleState& s = spu.console;
    std::vector<int64_t> v(log);
    for (const ConsoleVoice& c : s.voices) {
        v.insert(v.end(),
                 {c.pitchCounter, c.blockAddress, c.repeatAddress, c.envelopePhase, c.envelopeLevel, c.envelopeCounter,
                  c.needDecode, c.volumeLevelL, c.volumeLevelR, c.volumeCounterL, c.volumeCounterR});
        v.insert(v.end(), std::begin(c.samples), std::end(c.samples));
    }
    v.insert(v.end(), {s.endx, s.irqFlag, s.irqCallPending, s.noiseLevel, s.noiseTimer, s.capturePos, s.reverbParity,
                       s.reverbAddress, s.firPos, s.mainLevelL, s.mainLevelR, s.mainCounterL, s.mainCounterR, s.zigPos,
                       s.zigSixStep, spu.xa.readIndex, spu.xa.writeIndex, spu.transferAddress});
    for (const int16_t* ring : {s.reverbInL, s.reverbInR, s.reverbOutL, s.reverbOutR})
        v.insert(v.end(), ring, ring + 64);
    v.insert(v.end(), std::begin(spu.registerImage), std::end(spu.registerImage));
    return v;
}

// One core per path, driven alike. Each core's interrupt function logs the
// tick it is called in and, by a sequence of its own, acknowledges, re-arms,
// keys voices, writes registers, transfers or renders.
struct Host {
    test::TestSettings settings;
    std::unique_ptr<SpuCore> spu = std::make_unique<SpuCore>(settings, kConsole);
    std::mt19937 choices;
    std::vector<int64_t> log;
    int depth = 0;

    static void Interrupt(void* context) {
        Host& h = *static_cast<Host*>(context);
        SpuCore& spu = *h.spu;
        h.log.push_back(spu.console.capturePos);
        const uint32_t r = h.choices();
        const uint16_t control = spu.ReadRegister(reg::kControl);
        const uint16_t voices = static_cast<uint16_t>(1u << (r >> 8) % 16);
        switch (r % 8) {
        case 0: spu.DecodeRegisterWrite(reg::kControl, control & ~0x40); break;
        case 1:
            spu.DecodeRegisterWrite(reg::kControl, control & ~0x40);
            spu.DecodeRegisterWrite(reg::kControl, control);  // re-armed: a voice still on the address raises it again
            break;
        case 2: spu.DecodeRegisterWrite(r & 0x100 ? reg::kKeyOn : reg::kKeyOff, voices); break;
        case 3: spu.DecodeRegisterWrite(reg::Voice((r >> 4) % 24, reg::kPitch), static_cast<uint16_t>(r >> 12)); break;
        case 4: {
            const uint16_t words[] = {static_cast<uint16_t>(r), static_cast<uint16_t>(r >> 16), 0x0703};
            spu.DecodeRegisterWrite(reg::kTransferAddress, spu.ReadRegister(reg::kIrqAddress) - (r >> 9) % 2);
            spu.WriteTransferBlock(words, 3);
            break;
        }
        case 5:
            if (h.depth < 2) {
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

TEST(ConsoleFastMixerTest, RandomProgramsMixAlikeOnEveryPath) {
    console::ConsoleFastMixer::Counters totals;
    auto xa = std::make_unique<XaDecodeBlock>();
    for (uint32_t seed = 1; seed <= 16; ++seed) {
        std::vector<std::unique_ptr<Host>> hosts;
        for (const MixPath path : {MixPath::kReference, MixPath::kSse41, MixPath::kAvx2}) {
            if (!MixPathSupported(path)) continue;
            hosts.push_back(std::make_unique<Host>());
            Host& h = *hosts.back();
            h.choices.seed(seed);
            h.spu->SetIrqHandler(Host::Interrupt, &h);
            h.spu->consoleMixer.path = path;
        }
        std::mt19937 rng(seed);
        const auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
        const auto write = [&](uint32_t address, uint32_t value) {
            for (auto& h : hosts) h->spu->DecodeRegisterWrite(address, value);
        };

        // Blocks of every header and flags byte: chains that run on, loop,
        // stop; in the capture area, in the middle, and up to the end of RAM.
        static const uint8_t kFlags[] = {0, 0, 0, 2, 2, 2, 2, 6, 3, 3, 7, 1, 4, 5, 0xFB, 0xFF};
        for (uint32_t at = 0; at < kRamBytes; at += 16) {
            if (at == 0x11000) at = 0x78000;
            for (int i = 0; i < 16; ++i) hosts[0]->spu->soundRam[at + i] = static_cast<uint8_t>(rng());
            hosts[0]->spu->soundRam[at + 1] = kFlags[pick(pick(4) == 0 ? 16 : 10)];
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
        const auto volume = [&](uint32_t address) {
            const uint32_t fixed = pick(3) == 0 ? 0x3FFF + pick(2) : pick(0x8000);
            write(address, pick(3) == 0 ? 0x8000 | pick(0x8000) : fixed);
        };
        const auto program = [&](int n) {
            volume(reg::Voice(n, reg::kVolumeL));
            volume(reg::Voice(n, reg::kVolumeR));
            write(reg::Voice(n, reg::kPitch), pick(6) == 0 ? pick(0x10000) : pick(8) == 0 ? 0 : 1 + pick(0x3FFF));
            write(reg::Voice(n, reg::kStartAddress), unit());
            write(reg::Voice(n, reg::kEnvelope1), pick(4) == 0 ? 0x7F00 | pick(0x8100) : pick(0x10000));
            write(reg::Voice(n, reg::kEnvelope2), pick(4) == 0 ? 0x1FC0 | pick(0x10000) : pick(0x10000));
            write(reg::Voice(n, reg::kRepeatAddress), unit());
        };
        for (int n = 0; n < kVoiceCount; ++n) program(n);
        volume(reg::kMainVolumeL);
        volume(reg::kMainVolumeR);
        // The reverb: "Room" or anything, then its volumes and voices.
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

        for (int call = 0; call < 25; ++call) {
            // Between calls, what a game does: notes, envelopes, interrupt addresses, XA, SPUCNT.
            switch (pick(8)) {
            case 0: program(static_cast<int>(pick(24))); [[fallthrough]];
            case 1: write(reg::kKeyOn + 2 * pick(2), pick(0x10000)); break;
            case 2: write(reg::kKeyOff + 2 * pick(2), pick(0x10000)); break;
            case 3:
                write(reg::Voice(static_cast<int>(pick(24)), reg::kEnvelopeVolume), pick(0x10000));
                volume(reg::Voice(static_cast<int>(pick(24)), reg::kVolumeL + 2 * pick(2)));
                break;
            case 4: {
                // Where a voice plays soon, a capture slot, the reverb's work area.
                const uint32_t places[] = {hosts[0]->spu->console.voices[pick(24)].blockAddress + pick(8), pick(0x200),
                                           base + pick(0x10000 - base)};
                write(reg::kIrqAddress, places[pick(3)]);
                write(reg::kControl, hosts[0]->spu->ReadRegister(reg::kControl) | 0x8040);
                break;
            }
            case 5: {
                *xa = {};
                const int32_t rates[] = {37800, 18900, 44100};
                std::tie(xa->frequency, xa->stereo, xa->sampleCount) = std::tuple(rates[pick(3)], pick(2), 400);
                for (int16_t& sample : xa->samples) sample = static_cast<int16_t>(rng());
                for (auto& h : hosts) h->spu->QueueXaBlock(*xa);
                break;
            }
            case 6: write(reg::kControl, control()); break;
            default: write(reg::kPitchModulation + 2 * pick(6), pick(0x10000)); break;
            }
            const uint32_t frames = pick(4) == 0 ? 1 + pick(8) : pick(4) == 0 ? 735 : 1 + pick(1200);
            const std::string where = "seed " + std::to_string(seed) + ", call " + std::to_string(call);
            std::vector<int16_t> expected(2 * frames), out(2 * frames);
            std::vector<int64_t> state;
            for (size_t i = 0; i < hosts.size(); ++i) {
                Host& h = *hosts[i];
                h.spu->Render((i == 0 ? expected : out).data(), frames);
                const std::vector<int64_t> got = Flatten(*h.spu, h.log);
                if (i == 0) {
                    state = got;
                    continue;
                }
                const auto sample = std::mismatch(out.begin(), out.end(), expected.begin());
                ASSERT_TRUE(sample.first == out.end())
                    << where << ", path " << i << ": sample " << sample.first - out.begin() << " of " << out.size();
                const auto field = std::mismatch(got.begin(), got.end(), state.begin(), state.end());
                ASSERT_TRUE(field.first == got.end())
                    << where << ", path " << i << ": value " << field.first - got.begin() << " of " << got.size()
                    << " (the host's log has " << h.log.size() << ")";
                const auto byte = std::mismatch(h.spu->soundRam, h.spu->soundRam + kRamBytes, hosts[0]->spu->soundRam);
                ASSERT_TRUE(byte.first == h.spu->soundRam + kRamBytes)
                    << where << ", path " << i << ": sound RAM at " << byte.first - h.spu->soundRam;
            }
        }
        for (size_t i = 1; i < hosts.size(); ++i) {
            const console::ConsoleFastMixer::Counters& c = hosts[i]->spu->consoleMixer.counters;
            totals.spanTicks += c.spanTicks;
            totals.referenceTicks += c.referenceTicks;
            totals.cuts += c.cuts;
        }
    }
    // The programs reach every way the fast mixer has: spans, ticks it leaves
    // to ConsoleTick (interrupts close together, short calls) and cut spans.
    if (!MixPathSupported(MixPath::kSse41)) GTEST_SKIP() << "no fast path on this processor";
    EXPECT_GT(totals.spanTicks, 4 * totals.referenceTicks);
    EXPECT_GT(totals.referenceTicks, 0u);
    EXPECT_GT(totals.cuts, 0u);
}

}  // namespace
}  // namespace zarn
