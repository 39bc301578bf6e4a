// Scenes for the mixer benchmarks, shared by the Google Benchmark program
// (MixBench.cpp) and the plain timing program for Windows (MixTiming.cpp).
// Each scene is driven as a 60 Hz host drives the plugin: one render call of
// 735 frames per tick, with register writes between calls.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <memory>
#include <numbers>
#include <vector>

#include "core/SpuCore.h"
#include "spuhost/AdpcmEncoder.h"
#include "support/Adpcm.h"
#include "support/TestSettings.h"
#include "xa/XaDecodeBlock.h"

namespace zarn::bench {

enum class SceneKind {
    kMusic,          // 24 voices playing notes: one noise voice, two modulated, reverb, XA
    kMusicPasses,    // the music in the sound thread's 1 ms passes: 44 frames per render call
    kInterrupts,     // the music, and a streaming voice whose loop raises an interrupt every 112 frames
    kStorm,          // 24 voices on one loop that holds the interrupt block: an interrupt every 6 frames
    kVariedPitch,    // 24 voices held at pitches from 0.25 to 4, nothing else
    kBusy,           // 24 voices, four with noise, eight modulated, sweeps, reverb, XA, automatic gain
    kIdle,           // nothing sounds
    kConsole,        // the music in the console model: "Room" reverb writing its work area, CD audio at 37,800 Hz
    kConsolePasses,  // the same in the sound thread's 1 ms passes
};
constexpr SceneKind kSceneKinds[] = {SceneKind::kMusic, SceneKind::kMusicPasses, SceneKind::kInterrupts,
                                     SceneKind::kStorm, SceneKind::kVariedPitch, SceneKind::kBusy,
                                     SceneKind::kIdle,  SceneKind::kConsole,     SceneKind::kConsolePasses};
inline const char* SceneName(SceneKind kind) {
    constexpr const char* kNames[] = {"music", "music_1ms", "interrupts", "storm",      "varied_pitch",
                                      "busy",  "idle",      "console",    "console_1ms"};
    static_assert(std::size(kNames) == std::size(kSceneKinds));
    return kNames[static_cast<int>(kind)];
}

// How a scene's frames were mixed: in spans, or left to the per-frame
// reference (MixFrame, ConsoleTick).
struct MixShare {
    uint64_t spanFrames = 0;
    uint64_t exactFrames = 0;
    uint64_t spans = 0;
};

class Scene {
public:
    static constexpr uint32_t kFramesPerCall = 735;

    Scene(SceneKind kind, MixPath path) : kind_(kind) {
        settings_.Load();
        settings_.EnableReverb =
            kind != SceneKind::kVariedPitch && kind != SceneKind::kStorm && kind != SceneKind::kIdle;
        settings_.EnableAutoGain = kind == SceneKind::kBusy;
        console_ = kind == SceneKind::kConsole || kind == SceneKind::kConsolePasses;
        spu_ = std::make_unique<SpuCore>(settings_, console_ ? kConsole : kStandard);
        spu_->standard.mixPath = spu_->consoleMixer.path = path;
        spu_->SetIrqHandler([](void* count) { ++*static_cast<uint64_t*>(count); }, &interrupts);
        if (console_) BuildConsoleReverb();
        Write(0x1F801DA4, 0xF000);  // an interrupt address no voice plays, as most games leave it
        if (kind == SceneKind::kIdle) return;
        if (kind == SceneKind::kBusy) {
            BuildBusy();
        } else if (kind == SceneKind::kVariedPitch) {
            BuildVariedPitch();
        } else if (kind == SceneKind::kStorm) {
            BuildStorm();
        } else {
            BuildMusic(kind == SceneKind::kInterrupts);
        }
        if (settings_.EnableReverb) {
            *xa_ = {};
            xa_->frequency = 37800;
            xa_->stereo = 1;
            xa_->sampleCount = 4032;
            for (int i = 0; i < 8064; ++i) xa_->samples[i] = static_cast<int16_t>((i * 37) % 20000 - 10000);
            Write(0x1F801DB0, 0x3000);
            Write(0x1F801DB2, 0x3000);
        }
    }

    // One host tick: the music moves on, XA is topped up, 735 frames are
    // rendered (in one call, or in the sound thread's passes).
    void RenderCall() {
        if (kind_ == SceneKind::kMusic || kind_ == SceneKind::kMusicPasses || kind_ == SceneKind::kInterrupts ||
            console_)
            PlayNotes();
        if (settings_.EnableReverb && spu_->xa.QueuedSamples() < 2 * static_cast<int32_t>(kFramesPerCall) * 2)
            spu_->QueueXaBlock(*xa_);
        const uint32_t pass =
            kind_ == SceneKind::kMusicPasses || kind_ == SceneKind::kConsolePasses ? 44 : kFramesPerCall;
        for (uint32_t done = 0; done < kFramesPerCall; done += pass) {
            spu_->Render(out_.data() + 2 * done, std::min(pass, kFramesPerCall - done));
        }
    }

    MixShare Share() const {
        if (console_) {
            if (spu_->consoleMixer.path == MixPath::kReference) return {};
            const auto& c = spu_->consoleMixer.counters;
            return {c.spanTicks, c.referenceTicks, c.spans};
        }
        const FastMixer::Counters& c = spu_->standard.fastMixer.counters;
        return {c.spanFrames, c.exactFrames, c.spans};
    }
    uint64_t interrupts = 0;

private:
    void Write(uint32_t address, uint32_t value) { spu_->DecodeRegisterWrite(address, value); }
    uint32_t Next() { return random_ = random_ * 1664525u + 1013904223u; }
    void Voice(int n, uint32_t volumeL, uint32_t volumeR, uint32_t pitch, uint32_t start, uint32_t adsr1,
               uint32_t adsr2) {
        const uint32_t words[] = {volumeL, volumeR, pitch, start, adsr1, adsr2};
        for (uint32_t k = 0; k < 6; ++k) Write(0x1F801C00 + 16 * n + 2 * k, words[k]);
    }
    void KeyOn(uint32_t mask) {
        Write(0x1F801D88, mask & 0xFFFF);
        Write(0x1F801D8A, mask >> 16);
    }
    void KeyOff(uint32_t mask) {
        Write(0x1F801D8C, mask & 0xFFFF);
        Write(0x1F801D8E, mask >> 16);
    }
    // A looping instrument of `blocks` blocks at `unit`: a sine with a few harmonics.
    void Instrument(uint32_t unit, int blocks, int periods, double amplitude) {
        std::vector<int16_t> samples(static_cast<size_t>(blocks) * spuhost::kAdpcmBlockSamples);
        for (size_t i = 0; i < samples.size(); ++i) {
            const double turns = static_cast<double>(i) * periods / samples.size();
            samples[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * turns) +
                                                          amplitude / 3 * std::sin(6 * std::numbers::pi * turns)));
        }
        const std::vector<uint8_t> bytes = spuhost::EncodeAdpcmLoop(samples);
        std::copy(bytes.begin(), bytes.end(), spu_->soundRam + unit * 8);
    }

    static constexpr uint32_t kInstrument = 0x1000;  // eight instruments, 0x100 units apart
    static constexpr uint32_t kStream = 0x2000;      // the streaming voice's loop: four blocks
    static constexpr int kStreamVoice = 0;

    void BuildMusic(bool interrupts) {
        for (int i = 0; i < 8; ++i) Instrument(kInstrument + 0x100 * i, 8 + 4 * i, 2 + i, 9000);
        for (int n = 0; n < kVoiceCount; ++n) {
            const uint32_t pan = 0x1000 + 0x0100 * (n % 16);
            Voice(n, pan, 0x2000 - pan / 2, 0x1000, kInstrument + 0x100 * (n % 8), 0x1A4A | (n % 4) << 4,
                  0x0000 | 100 << 6 | (10 + n % 8));
        }
        Write(0x1F801D80, 0x3FFF);
        Write(0x1F801D82, 0x3FFF);
        Write(0x1F801D84, 0x2000);
        Write(0x1F801D86, 0x2000);
        Write(0x1F801D98, 0xFF00);
        Write(0x1F801D9A, 0x00FF);
        // Noise clock 52; the console model also needs the SPU on and unmuted,
        // and here lets the reverb write and takes CD audio in.
        Write(0x1F801DAA, console_ ? 0xC000 | 0x3400 | 0x0080 | 0x0001 : 0x3400);
        Write(0x1F801D94, 0x0000);
        Write(0x1F801D96, 0x0080);  // voice 23: noise (a drum)
        Write(0x1F801D90, 1 << 9);  // voice 9 modulated by voice 8
        Write(0x1F801D92, 1 << 1);  // voice 17 by voice 16
        Voice(23, 0x2800, 0x2800, 0x1000, kInstrument, 0x00F0, 0x0000 | 127 << 6 | 6);
        if (interrupts) {
            Instrument(kStream, 4, 1, 6000);
            Voice(kStreamVoice, 0x3000, 0x3000, 0x1000, kStream, 0x000F, 127 << 6);
            Write(0x1F801DA4, kStream + 4);  // the loop's third block: every 112 frames
        }
        KeyOn(0xFFFFFF);
    }

    // The console reverb: the "Room" preset at its documented base.
    void BuildConsoleReverb() {
        static const uint16_t kRoom[32] = {0x007D, 0x005B, 0x6D80, 0x54B8, 0xBED0, 0x0000, 0x0000, 0xBA80,
                                           0x5800, 0x5300, 0x04D6, 0x0333, 0x03F0, 0x0227, 0x0374, 0x01EF,
                                           0x0334, 0x01B5, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
                                           0x0000, 0x0000, 0x01B4, 0x0136, 0x00B8, 0x005C, 0x8000, 0x8000};
        for (uint32_t k = 0; k < 32; ++k) Write(0x1F801DC0 + 2 * k, kRoom[k]);
        Write(0x1F801DA2, 0xFB28);
    }

    // Every tick a few voices release and a few start new notes; the drum
    // hits every fourth tick.
    void PlayNotes() {
        static constexpr uint32_t kScale[] = {0x0800, 0x0900, 0x0A14, 0x0AAB, 0x0C00, 0x0D74,
                                              0x0F1A, 0x1000, 0x1200, 0x1428, 0x1556, 0x1800};
        uint32_t off = 0, on = 0;
        for (int i = 0; i < 4; ++i) {
            const int n = 1 + static_cast<int>(Next() >> 8) % 22;  // voices 1..22
            if (Next() & 0x100) {
                off |= 1u << n;
            } else {
                Write(0x1F801C04 + 16 * n, kScale[(Next() >> 8) % 12]);
                on |= 1u << n;
            }
        }
        if (++tick_ % 4 == 0) on |= 1u << 23;
        if (kind_ == SceneKind::kInterrupts) on &= ~(1u << kStreamVoice);
        KeyOff(off & ~on);
        KeyOn(on);
    }

    // As the live load test plays: one looping tone of 8 blocks, voice n at
    // pitch 1 + n / 24, the interrupt address on the tone's fifth block.
    void BuildStorm() {
        Instrument(kInstrument, 8, 4, 9000);
        for (int n = 0; n < kVoiceCount; ++n)
            Voice(n, 0x0200, 0x0200, 0x1000 + 0x1000 * n / 24, kInstrument, 0x000F, 127 << 6);
        Write(0x1F801D80, 0x3FFF);
        Write(0x1F801D82, 0x3FFF);
        Write(0x1F801DA4, kInstrument + 2 * 4);
        KeyOn(0xFFFFFF);
    }

    void BuildVariedPitch() {
        for (int i = 0; i < 8; ++i) Instrument(kInstrument + 0x100 * i, 8 + 4 * i, 2 + i, 9000);
        uint32_t pitch = 0x0400;  // 0.25, then x 1.0986 per voice: 4.0 at voice 23 (0x3FFF at most)
        for (int n = 0; n < kVoiceCount; ++n) {
            Voice(n, n % 3 ? 0x2000 : 0x8000 | 0x10, 0x1800, std::min<uint32_t>(pitch, 0x3FFF),
                  kInstrument + 0x100 * (n % 8), 0x000F, 127 << 6);
            pitch = pitch * 11249 / 10240;
        }
        Write(0x1F801D80, 0x3FFF);
        Write(0x1F801D82, 0x3FFF);
        KeyOn(0xFFFFFF);
    }

    // Looping chains of four blocks with every filter, pitches from 0x0800
    // to 0x3E00, sweeping volumes; voices 4-7 play noise and 8-15 are
    // pitch-modulated.
    void BuildBusy() {
        for (int n = 0; n < kVoiceCount; ++n) {
            const uint32_t unit = 0x100 + 8 * n;
            for (int b = 0; b < 4; ++b) {
                std::array<uint8_t, 28> nibbles{};
                for (int i = 0; i < 28; ++i) nibbles[i] = static_cast<uint8_t>((i * (n + 3) + b) & 0xF);
                const uint8_t flags = b == 0 ? 6 : b == 3 ? 3 : 2;
                test::WriteBlock(*spu_, unit + 2 * b, static_cast<uint8_t>(((n + b) % 5) << 4 | (4 + b)), flags,
                                 nibbles);
            }
            Voice(n, n % 2 ? 0x8000 | 0x0010 : 0x2000, n % 3 ? 0xA000 | 0x0008 : 0x1800, 0x0800 + 0x0180 * n, unit,
                  0x0A3F, 0x0000 | 126 << 6 | 5);
        }
        Write(0x1F801D80, 0x3FFF);
        Write(0x1F801D82, 0x3FFF);
        Write(0x1F801D84, 0x2000);
        Write(0x1F801D86, 0x2000);
        Write(0x1F801DAA, 0x2000);  // noise clock 32
        Write(0x1F801D94, 0x00F0);
        Write(0x1F801D90, 0xFF00);
        Write(0x1F801D98, 0xFFFF);
        Write(0x1F801D9A, 0x00FF);
        KeyOn(0xFFFFFF);
    }

    SceneKind kind_;
    test::TestSettings settings_;
    std::unique_ptr<SpuCore> spu_;
    bool console_;  // the console model, for kConsole and kConsolePasses
    std::unique_ptr<XaDecodeBlock> xa_ = std::make_unique<XaDecodeBlock>();
    std::vector<int16_t> out_ = std::vector<int16_t>(2 * kFramesPerCall);
    uint32_t random_ = 12345;
    uint32_t tick_ = 0;
};

}  // namespace zarn::bench
