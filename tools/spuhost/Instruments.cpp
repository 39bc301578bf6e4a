#include "spuhost/Instruments.h"

#include <algorithm>

#include "spuhost/AdpcmEncoder.h"
#include "spuhost/Text.h"

namespace spuhost {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kRate = kFrameRate;

int64_t Round(double x) { return static_cast<int64_t>(x < 0 ? x - 0.5 : x + 0.5); }

// sin(2 pi turns), by its Taylor series on [-pi, pi].
double SinTurns(double turns) {
    const double x = 2 * kPi * (turns - static_cast<double>(Round(turns)));
    double term = x, sum = x;
    for (int n = 3; n <= 23; n += 2) {
        term *= -x * x / ((n - 1) * n);
        sum += term;
    }
    return sum;
}

// A soft saw: harmonics 1..count, each 1/k.
double SawTurns(double turns, int count) {
    double sum = 0;
    for (int k = 1; k <= count; ++k) sum += SinTurns(turns * k) / k;
    return sum;
}

// Scales to a peak of `peak` and rounds to 16 bits.
std::vector<int16_t> Normalised(const std::vector<double>& wave, double peak) {
    double largest = 1e-9;
    for (const double x : wave) largest = std::max(largest, x < 0 ? -x : x);
    std::vector<int16_t> out(wave.size());
    for (size_t i = 0; i < wave.size(); ++i) out[i] = static_cast<int16_t>(Round(wave[i] * peak / largest));
    return out;
}

// Loops of 32 blocks (896 samples).
constexpr int kLoopSamples = 32 * kAdpcmBlockSamples;

// A little linear-congruential noise in -1..1.
class Noise {
public:
    double Next() {
        state_ = state_ * 1103515245u + 12345u;
        return static_cast<double>((state_ >> 8) & 0xFFFF) / 32768.0 - 1.0;
    }

private:
    uint32_t state_ = 20240229;
};

// The ratios of the twelve semitones of an octave, 2^(i/12).
constexpr double kSemitones[12] = {1.0,
                                   1.0594630943592953,
                                   1.122462048309373,
                                   1.189207115002721,
                                   1.2599210498948732,
                                   1.3348398541700344,
                                   1.4142135623730951,
                                   1.4983070768766815,
                                   1.5874010519681994,
                                   1.681792830507429,
                                   1.7817974362806785,
                                   1.887748625363387};

}  // namespace

uint16_t Instrument::PitchFor(double hz) const {
    return static_cast<uint16_t>(std::clamp<int64_t>(Round(4096 * hz / rootHz), 1, 0xFFFF));
}

double NoteHz(int note) {
    const int fromA = note - 69 + 12 * 20;  // kept positive for the division
    double hz = 440 * kSemitones[fromA % 12];
    for (int octave = fromA / 12 - 20; octave > 0; --octave) hz *= 2;
    for (int octave = fromA / 12 - 20; octave < 0; ++octave) hz /= 2;
    return hz;
}

Instrument MakeSine(int amplitude) {
    constexpr int kPeriods = 8;
    std::vector<double> wave(kLoopSamples);
    for (int i = 0; i < kLoopSamples; ++i) wave[i] = SinTurns(static_cast<double>(kPeriods * i) / kLoopSamples);
    return {EncodeAdpcmLoop(Normalised(wave, amplitude)), static_cast<double>(kRate) * kPeriods / kLoopSamples};
}

Instrument MakeSaw() {
    constexpr int kPeriods = 2;
    std::vector<double> wave(kLoopSamples);
    for (int i = 0; i < kLoopSamples; ++i) {
        wave[i] = SawTurns(static_cast<double>(kPeriods * i) / kLoopSamples, 40);
    }
    return {EncodeAdpcmLoop(Normalised(wave, 12000)), static_cast<double>(kRate) * kPeriods / kLoopSamples};
}

// Karplus-Strong: a 200-sample delay line of noise, averaged and damped on
// every pass, then faded out at the end.
Instrument MakePluck() {
    constexpr int kDelay = 200, kLength = 945 * kAdpcmBlockSamples, kFade = 3000;
    Noise noise;
    std::vector<double> line(kDelay);
    double previous = 0;
    for (double& x : line) previous = x = 0.5 * (previous + noise.Next());  // a little darker than white
    std::vector<double> wave(kLength);
    for (int i = 0; i < kLength; ++i) {
        const double out = line[i % kDelay];
        line[i % kDelay] = 0.4985 * (out + line[(i + 1) % kDelay]);
        wave[i] = out * (i < kLength - kFade ? 1.0 : static_cast<double>(kLength - i) / kFade);
    }
    return {EncodeAdpcmOneShot(Normalised(wave, 15000)), static_cast<double>(kRate) / (kDelay + 0.5)};
}

// A sine falling from 155 Hz to 45 Hz under a short decay.
Instrument MakeKick() {
    constexpr int kLength = 13230;
    std::vector<double> wave(kLength);
    double phase = 0, sweep = 1, level = 1;
    for (int i = 0; i < kLength; ++i) {
        wave[i] = level * SinTurns(phase);
        phase += (45 + 110 * sweep) / kRate;
        sweep *= 1 - 1.0 / (0.035 * kRate);
        level *= 1 - 1.0 / (0.11 * kRate);
    }
    return {EncodeAdpcmOneShot(Normalised(wave, 22000)), 45};
}

Instrument MakeSilence() { return {EncodeAdpcmLoop(std::vector<int16_t>(2 * kAdpcmBlockSamples)), 1}; }

std::vector<int16_t> MakeXaPad(const std::vector<PadChord>& chords, double seconds, int rate) {
    constexpr double kFadeIn = 0.4, kFadeOut = 0.6, kDetune = 1.004;
    // One period of the soft saw, read with linear interpolation.
    constexpr int kTable = 2048;
    std::vector<double> table(kTable + 1);
    for (int i = 0; i <= kTable; ++i) table[i] = SawTurns(static_cast<double>(i) / kTable, 5);
    const auto wave = [&](double turns) {
        const double at = turns * kTable;
        const int i = static_cast<int>(at);
        return table[i] + (table[i + 1] - table[i]) * (at - i);
    };
    const size_t frames = static_cast<size_t>(seconds * rate);
    std::vector<double> left(frames), right(frames);
    for (const PadChord& chord : chords) {
        const size_t from = static_cast<size_t>(chord.start * rate);
        const size_t to = std::min(frames, static_cast<size_t>((chord.end + kFadeOut) * rate));
        for (const int note : chord.notes) {
            const double hz = NoteHz(note);
            double phaseL = 0, phaseR = 0.25;  // a quarter apart, for width
            for (size_t i = from; i < to; ++i) {
                const double t = static_cast<double>(i - from) / rate;
                const double fade =
                    std::min({1.0, t / kFadeIn, (chord.end + kFadeOut - static_cast<double>(i) / rate) / kFadeOut});
                left[i] += fade * wave(phaseL);
                right[i] += fade * wave(phaseR);
                phaseL += hz / kDetune / rate;
                phaseR += hz * kDetune / rate;
                phaseL -= static_cast<double>(static_cast<int64_t>(phaseL));
                phaseR -= static_cast<double>(static_cast<int64_t>(phaseR));
            }
        }
    }
    std::vector<double> both(2 * frames);
    for (size_t i = 0; i < frames; ++i) {
        both[2 * i] = left[i];
        both[2 * i + 1] = right[i];
    }
    return Normalised(both, 9000);
}

}  // namespace spuhost
