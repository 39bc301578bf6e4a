#include "sound/ConsoleEnvelopeSpan.h"

#include <algorithm>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zarn::console {

namespace {

constexpr int32_t kStepAt = 0x8000;     // the counter value that makes a step
constexpr int32_t kSlowAbove = 0x6000;  // an exponential rise slows down above this level

// What ends a run of one phase early: Attack ends at full level, Decay below
// the sustain level.
struct PhaseEnd {
    enum Kind { kNone, kFull, kBelow } kind;
    int32_t threshold;
    bool Met(int32_t level) const { return kind == kFull ? level >= 0x7FFF : kind == kBelow && level < threshold; }
};

// The levels of a span's ticks, kept as runs: a run goes out only once the
// level changes, so that a level that stands still over the whole span
// writes nothing.
class Levels {
public:
    explicit Levels(int16_t* out) : out_(out) {}
    // Ticks [from, to) at `level`, following the ticks put before.
    void Put(int32_t from, int32_t to, int32_t level) {
        if (from >= to) return;
        if (level != level_ && runTo_ > 0) {
            Flush();
            changed_ = true;
            runFrom_ = from;
        }
        level_ = level;
        runTo_ = to;
    }
    // True, writing nothing, when every tick had the same level.
    bool Finish(int16_t& constant) {
        constant = static_cast<int16_t>(level_);
        if (!changed_) return true;
        Flush();
        return false;
    }

private:
    void Flush() {
        if (out_ == nullptr) return;
        if (runTo_ - runFrom_ > 8) {
            FillLevels(out_ + runFrom_, runTo_ - runFrom_, static_cast<int16_t>(level_));
        } else {
            for (int32_t t = runFrom_; t < runTo_; ++t) out_[t] = static_cast<int16_t>(level_);
        }
    }

    int16_t* out_;
    int32_t runFrom_ = 0, runTo_ = 0, level_ = 0;
    bool changed_ = false;
};

// The steps a rate that moves by `step` every tick takes from `level` before
// one of them could clamp, meet `end` or cross into the slow part of an
// exponential rise (each of which changes what a step does).
int32_t LinearSteps(const EnvRate& rate, int32_t level, int32_t step, const PhaseEnd& end) {
    if (step == 0) return 0;
    int32_t room;  // how far the level may go in the step's direction
    if (step > 0) {
        const int32_t high = rate.dec ? 0 : end.kind == PhaseEnd::kFull ? 0x7FFE : 0x7FFF;
        room = high - level;
    } else {
        const int32_t low = rate.dec && !rate.neg ? 0 : -0x8000;
        room = level - low;
    }
    int32_t steps = room < 0 ? 0 : room / std::abs(step);
    if (rate.exp && !rate.dec) {
        // Every step starts on the same side of 0x6000 as the first.
        if (level <= kSlowAbove && step > 0) steps = std::min(steps, (kSlowAbove - level) / step + 1);
        if (level > kSlowAbove && step < 0) steps = std::min(steps, (level - kSlowAbove - 1) / -step + 1);
    }
    return steps;
}

// Ticks [t, end) of EnvStep at `rate`, each tick's level into `out`. Returns
// the tick after the first one whose level meets `phaseEnd` (`met` set), or
// `end`.
int32_t Advance(int32_t& level, int32_t& counter, const EnvRate& rate, const PhaseEnd& phaseEnd, Levels& out, int32_t t,
                int32_t end, bool& met) {
    met = false;
    while (t < end) {
        const EnvMove move = EnvMoveAt(rate, level);
        if (move.inc == 0) {  // a frozen rate never steps
            met = phaseEnd.Met(level);
            const int32_t last = met ? t + 1 : end;
            out.Put(t, last, level);
            return last;
        }
        // The increment is a power of two.
        const int shift = std::countr_zero(static_cast<uint32_t>(move.inc));
        const int32_t wait = (kStepAt - counter + move.inc - 1) >> shift;  // ticks to the next step, 1 or more
        if (wait > 1 && phaseEnd.Met(level)) {  // met already, without a step (a written level)
            out.Put(t, t + 1, level);
            counter += move.inc;
            met = true;
            return t + 1;
        }
        if (wait > end - t) {  // no step before the end
            out.Put(t, end, level);
            counter += (end - t) * move.inc;
            return end;
        }
        if (!(rate.exp && rate.dec)) {
            // Steps of the same size every `period` ticks from the counter's
            // restart on: a staircase, up to the first step that could
            // change the rate's work or the end.
            const int32_t period = kStepAt >> shift, first = t + wait - 1;
            const int32_t fit = (end - 1 - first) / period + 1;
            const int32_t steps = std::min(fit, LinearSteps(rate, level, move.step, phaseEnd));
            if (steps > 1) {
                out.Put(t, first, level);
                for (int32_t k = 1; k <= steps; ++k) {
                    const int32_t at = first + (k - 1) * period;
                    out.Put(at, k < steps ? at + period : at + 1, level + k * move.step);
                }
                level += steps * move.step;
                counter = 0;
                t = first + (steps - 1) * period + 1;
                continue;
            }
        }
        out.Put(t, t + wait - 1, level);
        t += wait - 1;
        counter = 0;
        const int32_t next = EnvClamp(rate, level + move.step);
        out.Put(t, t + 1, next);
        ++t;
        if (phaseEnd.Met(next)) {
            level = next;
            met = true;
            return t;
        }
        if (next == level) {
            // A step that leaves the level where it is: so does every later
            // one. The counter goes on climbing and falling back to 0.
            const int32_t period = (kStepAt + move.inc - 1) >> shift;
            out.Put(t, end, level);
            counter = ((end - t) % period) * move.inc;
            return end;
        }
        level = next;
    }
    return end;
}

}  // namespace

bool EnvelopeSpan(ConsoleVoice& voice, uint32_t adsr1, uint32_t adsr2, const EnvelopeEvents& events, int32_t ticks,
                  int16_t* level, int16_t& constant) {
    Levels levels(level);
    int32_t m = 0;  // the next mute
    const auto muteAt = [&](int32_t t) { return m < events.muteCount && events.mutes[m] == t; };
    if (events.disabled) {
        // Every tick: Release at level 0, then one release step, which keeps
        // the level at 0 and leaves the counter where one step from 0 does.
        voice.envelopePhase = kConsoleRelease;
        voice.envelopeLevel = 0;
        voice.envelopeCounter = 0;
        EnvStep(voice.envelopeLevel, voice.envelopeCounter, PhaseRate(adsr1, adsr2, kConsoleRelease));
        levels.Put(0, ticks, voice.envelopeLevel);
        while (m < events.muteCount && events.mutes[m] < ticks - 1) ++m;
        if (muteAt(ticks - 1)) voice.envelopeCounter = 0;
        return levels.Finish(constant);
    }
    int32_t envelope = voice.envelopeLevel, counter = voice.envelopeCounter;
    int phase = voice.envelopePhase;
    for (int32_t t = 0; t < ticks;) {
        const int32_t end = m < events.muteCount && events.mutes[m] < ticks ? events.mutes[m] + 1 : ticks;
        const PhaseEnd phaseEnd = {phase == kConsoleAttack  ? PhaseEnd::kFull
                                   : phase == kConsoleDecay ? PhaseEnd::kBelow
                                                            : PhaseEnd::kNone,
                                   SustainThreshold(adsr1)};
        bool met;
        t = Advance(envelope, counter, PhaseRate(adsr1, adsr2, phase), phaseEnd, levels, t, end, met);
        if (met) {  // Attack -> Decay, Decay -> Sustain
            ++phase;
            counter = 0;
        }
        if (muteAt(t - 1)) {
            phase = kConsoleRelease;
            envelope = 0;
            counter = 0;
            ++m;
        }
    }
    voice.envelopePhase = static_cast<uint8_t>(phase);
    voice.envelopeLevel = static_cast<int16_t>(envelope);
    voice.envelopeCounter = static_cast<uint16_t>(counter);
    return levels.Finish(constant);
}

bool VolumeSpan(uint16_t word, int16_t& level, uint16_t& counter, int32_t ticks, int16_t* levels, int16_t& constant) {
    if ((word & 0x8000) == 0) {
        level = FixedVolume(word);
        counter = 0;
        constant = level;
        return true;
    }
    Levels out(levels);
    int32_t l = level, c = counter;
    bool met;
    Advance(l, c, SweepRate(word), {PhaseEnd::kNone, 0}, out, 0, ticks, met);
    level = static_cast<int16_t>(l);
    counter = static_cast<uint16_t>(c);
    return out.Finish(constant);
}

void FillLevels(int16_t* out, int32_t count, int16_t level) {
    int32_t k = 0;
#if defined(__SSE2__)
    const __m128i levels = _mm_set1_epi16(level);
    for (; k + 8 <= count; k += 8) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), levels);
#endif
    for (; k < count; ++k) out[k] = level;
}

}  // namespace zarn::console
