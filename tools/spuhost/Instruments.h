// The demo's sounds, synthesised when it starts and encoded into ADPCM.
// Only + - * / on doubles and integer arithmetic are used (no library
// functions), so every build makes the same samples.
#pragma once

#include <cstdint>
#include <vector>

namespace spuhost {

struct Instrument {
    std::vector<uint8_t> adpcm;  // blocks for sound RAM
    double rootHz;               // the frequency heard at pitch 0x1000

    // The pitch register value that plays `hz` (0x1000 plays rootHz).
    uint16_t PitchFor(double hz) const;
};

// A MIDI note number's frequency (69 is A4, 440 Hz).
double NoteHz(int note);

Instrument MakeSine(int amplitude);  // a looped sine; quiet ones modulate pitch
Instrument MakeSaw();                // a looped, band-limited saw for the bass
Instrument MakePluck();              // a plucked string, played once
Instrument MakeKick();               // a bass drum, played once
Instrument MakeSilence();            // a looped silence for the noise voices

// The CD-XA backing: a soft string pad, stereo, at `rate` frames per
// second, interleaved left and right. Each chord sounds from `start` to
// `end` seconds, fading in and out.
struct PadChord {
    double start, end;
    std::vector<int> notes;
};
std::vector<int16_t> MakeXaPad(const std::vector<PadChord>& chords, double seconds, int rate);

}  // namespace spuhost
