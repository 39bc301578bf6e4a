#include "spuhost/DemoTune.h"

#include <algorithm>
#include <cstring>

#include "spuhost/Instruments.h"
#include "spuhost/Text.h"
#include "voice/RegisterMap.h"

namespace spuhost {

namespace reg = zarn::reg;

namespace {

constexpr double kFramesPerStep = kFrameRate * 60.0 / 120 / 4;  // a sixteenth note at 120 beats a minute
constexpr int kStepsPerBar = 16, kBars = 10;

// Voices.
constexpr int kKick = 0, kSnare = 1, kHat = 2, kBass = 3, kPluck = 4, kPlucks = 4, kLfo = 8, kLead = 9, kPad = 10;

// Envelope words: attack, decay and sustain level; sustain rate (127
// holds), falling sustain, release.
constexpr uint16_t Envelope1(int attack, int decay, int sustainLevel) {
    return static_cast<uint16_t>(attack << 8 | decay << 4 | sustainLevel);
}
constexpr uint16_t Envelope2(int release) { return static_cast<uint16_t>(127 << 6 | release); }
// A volume that sweeps by `step` a frame (bit 15 sweep, bit 13 falling).
constexpr uint16_t Sweep(int step, bool falling) {
    return static_cast<uint16_t>(0x8000 | (falling ? 0x2000 : 0) | step);
}
// The noise clock in bits 8-13 of the control register, the SPU on (bit 15).
constexpr uint16_t Control(int noiseClock) { return static_cast<uint16_t>(0x8000 | noiseClock << 8); }
// The console model's control bits besides: unmute (14), reverb writes (7),
// CD audio (0).
constexpr uint16_t kConsoleControl = 0x4000 | 0x0080 | 0x0001;

// The console's "Hall" reverb preset: registers 0x1F801DC0..0x1F801DFE in
// address order, and its work area of 0xADE0 bytes at the end of sound RAM.
constexpr uint16_t kHall[32] = {0x01A5, 0x0139, 0x6000, 0x5000, 0x4C00, 0xB800, 0xBC00, 0xC000, 0x6000, 0x5C00, 0x15BA,
                                0x11BB, 0x14C2, 0x10BD, 0x11BC, 0x0DC1, 0x11C0, 0x0DC3, 0x0DC0, 0x09C1, 0x0BC4, 0x07C1,
                                0x0A00, 0x06CD, 0x09C2, 0x05C1, 0x05C0, 0x041A, 0x0274, 0x013A, 0x8000, 0x8000};
constexpr uint32_t kHallBytes = 0xADE0, kReverbRegisters = 0x1F801DC0;
constexpr uint16_t kConsoleReturn = 0x4800;  // vLOUT and vROUT: 0.56

// Console sweep words (bit 15 sweep, bit 13 falling, bits 2-6 the rate's
// shift): +7 every 256 ticks swells over about two bars, -8 every 128 ticks
// falls away over one.
constexpr uint16_t kConsoleSwell = 0x8000 | 19 << 2, kConsoleFall = 0xA000 | 18 << 2;
// Console sustain words for the noise drums, which loop silence and are
// never keyed off: an exponential fall (bits 15 and 14) with shift 10 for the
// snare and 8 for the hats, so that each hit dies away.
constexpr uint16_t kConsoleSnareSustain = 0xC000 | 10 << 8, kConsoleHatSustain = 0xC000 | 8 << 8;

struct Chord {
    int bass;
    int pad[3];
};
constexpr Chord kAm{45, {57, 60, 64}}, kF{41, {57, 60, 65}}, kC{48, {55, 60, 64}}, kG{43, {55, 59, 62}};

// The chord of each half bar.
const Chord& ChordAt(int bar, int step) {
    static const Chord* const kBarsChords[kBars] = {&kAm, &kF, &kC, &kG, &kAm, &kF, &kC, &kG, &kF, &kAm};
    return bar == 8 && step >= 8 ? kG : *kBarsChords[bar];
}

struct LeadNote {
    int bar, step, note, length;  // length in steps
};
constexpr LeadNote kMelody[] = {
    {4, 0, 76, 6}, {4, 6, 74, 2}, {4, 8, 72, 4}, {4, 12, 71, 4}, {5, 0, 72, 8},  {5, 8, 69, 8},
    {6, 0, 67, 4}, {6, 4, 69, 4}, {6, 8, 72, 6}, {6, 14, 74, 2}, {7, 0, 71, 12}, {7, 12, 74, 4},
    {8, 0, 72, 4}, {8, 4, 69, 4}, {8, 8, 71, 4}, {8, 12, 74, 4}, {9, 0, 69, 12},
};

class Score {
public:
    explicit Score(std::vector<DemoEvent>& events) : events_(events) {}

    static uint64_t Frame(int bar, double step) {
        return static_cast<uint64_t>((bar * kStepsPerBar + step) * kFramesPerStep + 0.5);
    }
    void Write(uint64_t frame, uint32_t address, uint16_t value) {
        events_.push_back({frame, DemoEvent::Kind::Write, address, value});
    }
    void Voice(uint64_t frame, int voice, uint32_t reg, uint16_t value) { Write(frame, reg::Voice(voice, reg), value); }
    void Key(uint64_t frame, uint32_t keyRegister, int voice) {
        Write(frame, keyRegister + (voice >= 16 ? 2 : 0), static_cast<uint16_t>(1u << (voice % 16)));
    }
    // A note: its pitch and a key-on, and a key-off `length` steps later
    // (none for 0, when the sound ends by itself).
    void Note(int voice, int bar, double step, double length, uint16_t pitch) {
        Voice(Frame(bar, step), voice, reg::kPitch, pitch);
        Key(Frame(bar, step), reg::kKeyOn, voice);
        if (length > 0) Key(Frame(bar, step + length), reg::kKeyOff, voice);
    }

private:
    std::vector<DemoEvent>& events_;
};

}  // namespace

void DemoTune::FillXaBlock(int index, zarn::XaDecodeBlock& block) const {
    block.frequency = kXaRate;
    block.bitsPerSample = 4;  // as decoded from 4-bit XA sectors
    block.stereo = 1;
    block.sampleCount = kXaBlockFrames;
    std::memcpy(block.samples, &xa[static_cast<size_t>(index) * 2 * kXaBlockFrames], 4 * kXaBlockFrames);
}

DemoTune ComposeDemo(bool console) {
    DemoTune tune;
    const uint16_t control = console ? kConsoleControl : 0;
    const Instrument sine = MakeSine(14000), lfo = MakeSine(230), saw = MakeSaw(), pluck = MakePluck(),
                     kick = MakeKick(), silence = MakeSilence();
    // Sound RAM from byte 0x1000 on, one sound after the other.
    uint32_t next = 0x1000 / 8;
    const auto upload = [&](const Instrument& instrument) {
        tune.uploads.push_back({next, instrument.adpcm});
        next += static_cast<uint32_t>(instrument.adpcm.size() / 8);
        return tune.uploads.back().unit;
    };
    const uint32_t sineAt = upload(sine), lfoAt = upload(lfo), sawAt = upload(saw), pluckAt = upload(pluck),
                   kickAt = upload(kick), silenceAt = upload(silence);
    if (console) {  // the reverb's work area, cleared as a game clears it
        tune.uploads.push_back({(zarn::kRamBytes - kHallBytes) / 8, std::vector<uint8_t>(kHallBytes)});
    }

    Score score(tune.events);
    // The mix: volumes, reverb, noise and pitch modulation, the sounds of
    // each voice and their envelopes.
    for (const auto& [address, value] : {std::pair{reg::kMainVolumeL, 0x3800},
                                         {reg::kMainVolumeR, 0x3800},
                                         {reg::kReverbVolumeL, 0x2800},
                                         {reg::kReverbVolumeR, 0x2800},
                                         {reg::kCdVolumeL, 0x7000},
                                         {reg::kCdVolumeR, 0x7000},
                                         {reg::kControl, Control(58) | control},
                                         {reg::kNoise, 1 << kSnare | 1 << kHat},
                                         {reg::kReverb, 1 << kSnare | 0xF << kPluck | 1 << kLead | 7 << kPad},
                                         {reg::kPitchModulation, 1 << kLead},
                                         // An interrupt from the plucked string's hundredth block.
                                         {reg::kIrqAddress, static_cast<int>(pluckAt + 2 * 100)}}) {
        score.Write(0, address, static_cast<uint16_t>(value));
    }
    if (console) {
        score.Write(0, reg::kReverbBase, static_cast<uint16_t>((zarn::kRamBytes - kHallBytes) / 8));
        for (uint32_t i = 0; i < 32; ++i) score.Write(0, kReverbRegisters + 2 * i, kHall[i]);
        // The return louder than the standard model's echo, so that the hall is heard.
        score.Write(0, reg::kReverbVolumeL, kConsoleReturn);
        score.Write(0, reg::kReverbVolumeR, kConsoleReturn);
    }
    const uint16_t swell = console ? kConsoleSwell : Sweep(4, false), fall = console ? kConsoleFall : Sweep(8, true);
    struct VoiceSetup {
        int voice;
        uint32_t start;
        uint16_t left, right, envelope1, envelope2;
    };
    const VoiceSetup setups[] = {
        {kKick, kickAt, 0x2400, 0x2400, Envelope1(0, 0, 15), Envelope2(0)},
        {kSnare, silenceAt, 0x1C00, 0x2000, Envelope1(0, 2, 0), console ? kConsoleSnareSustain : Envelope2(0)},
        {kHat, silenceAt, 0x0C00, 0x0900, Envelope1(0, 0, 0), console ? kConsoleHatSustain : Envelope2(0)},
        {kBass, sawAt, 0x2800, 0x2800, Envelope1(8, 5, 10), Envelope2(8)},
        {kPluck + 0, pluckAt, 0x2000, 0x0E00, Envelope1(0, 0, 15), Envelope2(10)},
        {kPluck + 1, pluckAt, 0x0E00, 0x2000, Envelope1(0, 0, 15), Envelope2(10)},
        {kPluck + 2, pluckAt, 0x1C00, 0x1400, Envelope1(0, 0, 15), Envelope2(10)},
        {kPluck + 3, pluckAt, 0x1400, 0x1C00, Envelope1(0, 0, 15), Envelope2(10)},
        {kLfo, lfoAt, 0, 0, Envelope1(0, 0, 15), Envelope2(0)},  // silent: it only moves the lead's pitch
        {kLead, sineAt, 0x2400, 0x2400, Envelope1(20, 8, 11), Envelope2(12)},
        {kPad + 0, sineAt, swell, swell, Envelope1(60, 15, 15), Envelope2(14)},
        {kPad + 1, sineAt, swell, swell, Envelope1(60, 15, 15), Envelope2(14)},
        {kPad + 2, sineAt, swell, swell, Envelope1(60, 15, 15), Envelope2(14)},
    };
    for (const VoiceSetup& setup : setups) {
        score.Voice(0, setup.voice, reg::kStartAddress, static_cast<uint16_t>(setup.start));
        score.Voice(0, setup.voice, reg::kVolumeL, setup.left);
        score.Voice(0, setup.voice, reg::kVolumeR, setup.right);
        score.Voice(0, setup.voice, reg::kEnvelope1, setup.envelope1);
        score.Voice(0, setup.voice, reg::kEnvelope2, setup.envelope2);
        score.Voice(0, setup.voice, reg::kPitch, 0x1000);
    }

    // The pad: a sine chord that swells in over two bars on rising volume
    // sweeps, then holds (28 a frame for 176,400 frames: 2,756 << 10), and
    // falls away over the last bar; the pitches follow the chords.
    for (int p = 0; p < 3; ++p) {
        score.Note(kPad + p, 0, 0, 0, sine.PitchFor(NoteHz(kAm.pad[p])));
        score.Voice(Score::Frame(2, 0), kPad + p, reg::kVolumeL, 2756);
        score.Voice(Score::Frame(2, 0), kPad + p, reg::kVolumeR, 2756);
        for (int bar = 1; bar < kBars; ++bar) {
            for (const int step : {0, 8}) {
                const uint16_t pitch = sine.PitchFor(NoteHz(ChordAt(bar, step).pad[p]));
                score.Voice(Score::Frame(bar, step), kPad + p, reg::kPitch, pitch);
            }
        }
        score.Voice(Score::Frame(9, 0), kPad + p, reg::kVolumeL, fall);
        score.Voice(Score::Frame(9, 0), kPad + p, reg::kVolumeR, fall);
        score.Voice(Score::Frame(10, 0), kPad + p, reg::kVolumeL, 0);
        score.Voice(Score::Frame(10, 0), kPad + p, reg::kVolumeR, 0);
        score.Key(Score::Frame(10, 0), reg::kKeyOff, kPad + p);
    }

    // Bass from bar 1, drums, the plucked arpeggio from bar 2.
    static const int kBassLine[8] = {0, 0, 12, 0, 0, 0, 12, 7};
    static const int kArpeggio[16] = {0, 1, 2, 3, 2, 1, 0, 1, 0, 1, 2, 3, 2, 1, 2, 3};
    int nextPluck = 0;
    for (int bar = 1; bar < kBars - 1; ++bar) {
        for (int step = 0; step < kStepsPerBar; ++step) {
            const Chord& chord = ChordAt(bar, step);
            if (step % 2 == 0) {
                score.Note(kBass, bar, step, 1.5, saw.PitchFor(NoteHz(chord.bass + kBassLine[step / 2])));
            }
            if (step == 0 || step == 8 || (bar >= 2 && step == 10)) score.Note(kKick, bar, step, 0, 0x1000);
            if (bar < 2) continue;
            if (step % 2 == 0) score.Note(kHat, bar, step, 0, 0x1000);
            if (step == 4 || step == 12 || (bar == 8 && step > 12)) score.Note(kSnare, bar, step, 0, 0x1000);
            const int tone = kArpeggio[step];
            const int note = tone < 3 ? chord.pad[tone] : chord.pad[0] + 12;
            score.Note(kPluck + nextPluck, bar, step, 0, pluck.PitchFor(NoteHz(note)));
            nextPluck = (nextPluck + 1) % kPlucks;
        }
    }
    // A darker noise for the snare fill at the end of bar 8.
    score.Write(Score::Frame(8, 12), reg::kControl, Control(48) | control);
    score.Write(Score::Frame(9, 0), reg::kControl, Control(58) | control);

    // The lead from bar 4, with a 5.5 Hz vibrato from the silent voice below it.
    score.Note(kLfo, 4, 0, 0, lfo.PitchFor(5.5));
    for (const LeadNote& note : kMelody) {
        score.Note(kLead, note.bar, note.step, note.length - 0.25, sine.PitchFor(NoteHz(note.note)));
    }
    // The last chord.
    score.Note(kKick, 9, 0, 0, 0x1000);
    score.Note(kBass, 9, 0, 12, saw.PitchFor(NoteHz(kAm.bass)));
    score.Key(Score::Frame(9, 14), reg::kKeyOff, kLfo);
    tune.frames = Score::Frame(kBars, 8);  // a second for the echoes

    // The CD-XA strings, an octave below the pad, handed over block by block
    // two blocks ahead of the mixer (the ring holds about five).
    std::vector<PadChord> strings;
    const Chord* previous = nullptr;
    for (int half = 0; half < 2 * kBars; ++half) {
        const Chord& chord = ChordAt(half / 2, 8 * (half % 2));
        const double start = half * 1.0, end = start + 1.0;
        if (&chord == previous) {
            strings.back().end = end;
        } else {
            strings.push_back({start, end, {chord.pad[0] - 12, chord.pad[1] - 12, chord.pad[2] - 12}});
        }
        previous = &chord;
    }
    tune.xa = MakeXaPad(strings, static_cast<double>(tune.frames) / kFrameRate, DemoTune::kXaRate);
    constexpr size_t kBlockSamples = 2 * DemoTune::kXaBlockFrames;
    const size_t blocks = (tune.xa.size() + kBlockSamples - 1) / kBlockSamples;
    tune.xa.resize(blocks * kBlockSamples);
    constexpr uint64_t kBlockOutputFrames = 2352, kAhead = 2;  // 2,016 x 44,100 / 37,800
    for (uint64_t block = 0; block < blocks; ++block) {
        const uint64_t frame = block < kAhead ? 0 : (block - kAhead) * kBlockOutputFrames;
        tune.events.push_back({frame, DemoEvent::Kind::XaBlock, 0, static_cast<uint16_t>(block)});
    }
    std::stable_sort(tune.events.begin(), tune.events.end(),
                     [](const DemoEvent& a, const DemoEvent& b) { return a.frame < b.frame; });
    return tune;
}

}  // namespace spuhost
