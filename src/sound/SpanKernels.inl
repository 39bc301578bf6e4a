// The kernels of sound/SpanKernels.h as templates over an instruction set P,
// included by the file of each set after its target is switched on. P gives
// a vector V of P::kLanes signed 32-bit lanes and these operations, all
// wrapping and lane-wise:
//   Set1, Lanes (0, 1, 2, ...), Load, Store (both unaligned), First (lane 0)
//   Add, Sub, MulLo (low 32 bits of the product), And, Min, Max, Sra<n>,
//   Sll(v, n), PrefixSum (lane k: the sum of lanes 0..k)
//   MulShift<n> (the 64-bit product >> n, 0 < n < 32), MulHigh (>> 32)
//   Greater (all ones where a > b), Select(mask, a, b) (b where the mask is
//   set), AllBelow (every lane, taken unsigned, below n)
//   Permute (table[index], indexes below kLanes), Gather (base[index])
//   LoadWords (the four 32-bit words of kLanes 16-byte blocks: word k of
//   block l in lane l of words[k]), Transpose (kLanes vectors, in place),
//   StoreFirst (the first `count` lanes, 4 or kLanes)
//   LoadPairs, StorePairs (left and right of kLanes frames, interleaved in
//   memory), StoreFrames16 (the same as 16-bit samples; values within 16
//   bits)
// and kDecodeGroups, the vectors of lanes the decoder runs side by side.
//
// Include inside an unnamed namespace: each set has its own instances.

template <class P>
void FillPositions(int32_t* position, int32_t start, int32_t pitch, int32_t count) {
    using V = typename P::V;
    V at = P::Add(P::Set1(start), P::MulLo(P::Lanes(), P::Set1(pitch)));
    const V advance = P::Set1(pitch * P::kLanes);
    for (int32_t j = 0; j < count; j += P::kLanes) {
        P::Store(position + j, at);
        at = P::Add(at, advance);
    }
}

// modulatedPositions of sound/SpanKernels.h, P::kLanes frames at a time while
// no step goes backwards (then a step cannot stop at a block's start), the
// rule itself for the frames of a vector with a backward step.
template <class P>
void ModulatedPositions(int32_t start, int32_t pitch, const int32_t* modulator, int32_t frames, int32_t* position) {
    using V = typename P::V;
    constexpr int L = P::kLanes;
    const V bias = P::Set1(32768), scale = P::Set1(pitch), zero = P::Set1(0);
    position[0] = start;
    for (int32_t j = 0; j < frames; j += L) {
        const V step = P::template Sra<15>(P::MulLo(P::Add(P::Load(modulator + j), bias), scale));
        if (!P::AllBelow(P::Greater(zero, step), 1)) {
            int32_t steps[L];
            P::Store(steps, step);
            for (int k = 0; k < L; ++k) {
                // The start of the block read in frame j + k, after its block step.
                const int32_t base = position[j + k] / kBlockEnd * kBlockEnd;
                position[j + k + 1] = std::max(base, position[j + k] + steps[k]);
            }
            continue;
        }
        P::Store(position + j + 1, P::Add(P::Set1(position[j]), P::PrefixSum(step)));
    }
}

// envelopeVolume of a level: level >> 8, but 1 for the levels 1..255.
template <class P>
void FillEnvelope(int32_t* volume, int32_t level, int32_t step, int32_t count) {
    using V = typename P::V;
    V at = P::Add(P::Set1(level), P::MulLo(P::Add(P::Lanes(), P::Set1(1)), P::Set1(step)));
    const V advance = P::Set1(step * P::kLanes);
    const V zero = P::Set1(0);
    const V lowest = P::Set1(256);
    for (int32_t k = 0; k < count; k += P::kLanes) {
        const V faint = P::And(P::Greater(at, zero), P::Greater(lowest, at));  // all ones: add 1
        P::Store(volume + k, P::Sub(P::template Sra<8>(at), faint));
        at = P::Add(at, advance);
    }
}

// How a vector of frames reads its samples: the noise, or the stream
// around each frame's position, taken from one or two windows of kLanes
// consecutive samples, or gathered.
enum class Read { kNoise, kOneWindow, kTwoWindows, kGather, kWindowsOrGather };

// MixFrame's work on one voice after its envelope step (which the volume
// update before it joins): the sample, its scaling by envelope and volume,
// the sums. P::kLanes frames at a time; kSweep: a volume sweeps (otherwise
// both are fixed).
template <class P, Read kRead, bool kSweep>
int32_t MixFramesOf(const VoiceFrames& voice, const SpanSums& sums, int32_t* lastOutput) {
    using V = typename P::V;
    constexpr int L = P::kLanes;
    const int32_t frames = voice.frames;
    const bool reverb = voice.reverb;
    const V lanes = P::Lanes();
    const V one = P::Set1(1), lastLane = P::Set1(L - 1);
    const V fraction = P::Set1(0xFFF);
    const V most = P::Set1(SpuVoice::kMaxVolume);
    const V least = P::Set1(-SpuVoice::kMaxVolume);
    // currentVolume after frame j: the volume plus (j + 1) sweeps, clamped
    // (a steady sweep reaches its bound once and stays there).
    V volumeL = P::Add(P::Set1(voice.volumeL), P::MulLo(P::Add(lanes, one), P::Set1(voice.sweepL)));
    V volumeR = P::Add(P::Set1(voice.volumeR), P::MulLo(P::Add(lanes, one), P::Set1(voice.sweepR)));
    const V sweepL = P::Set1(voice.sweepL * L);
    const V sweepR = P::Set1(voice.sweepR * L);
    const V fixedL = P::Set1(voice.volumeL >> 10), fixedR = P::Set1(voice.volumeR >> 10);

    // The frames j .. j + L - 1; of a vector that is not whole, only those
    // up to `frames` add to the sums.
    const auto mix = [&](int32_t j, bool whole) __attribute__((always_inline)) {
        V sample;
        if constexpr (kRead == Read::kNoise) {
            sample = P::Load(voice.noise + j);
        } else {
            // samples[i] + ((samples[i + 1] - samples[i]) x fraction) >> 12
            const V position = P::Load(voice.position + j);
            const V index = P::template Sra<12>(position);
            const int32_t first = P::First(index);
            const V at = P::Sub(index, P::Set1(first));
            const V next = P::Add(at, one);
            // A varying pitch reads through the windows when its frames fall in them.
            const bool windows = kRead == Read::kOneWindow || kRead == Read::kTwoWindows ||
                                 (kRead == Read::kWindowsOrGather && P::AllBelow(at, 2 * L - 1));
            V s0, s1;
            if (windows) {
                const V window = P::Load(voice.stream + first);
                s0 = P::Permute(window, at);
                s1 = P::Permute(window, next);
                if constexpr (kRead != Read::kOneWindow) {
                    const V further = P::Load(voice.stream + first + L);
                    s0 = P::Select(P::Greater(at, lastLane), s0, P::Permute(further, at));
                    s1 = P::Select(P::Greater(next, lastLane), s1, P::Permute(further, next));
                }
            } else {
                s0 = P::Gather(voice.stream, index);
                s1 = P::Gather(voice.stream + 1, index);
            }
            sample = P::Add(s0, P::template Sra<12>(P::MulLo(P::Sub(s1, s0), P::And(position, fraction))));
        }
        const V output = P::template Sra<15>(P::MulLo(P::Load(voice.envelope + j), sample));
        V gainL = fixedL, gainR = fixedR;
        if constexpr (kSweep) {
            gainL = P::template Sra<10>(P::Min(P::Max(volumeL, least), most));
            gainR = P::template Sra<10>(P::Min(P::Max(volumeR, least), most));
            volumeL = P::Add(volumeL, sweepL);
            volumeR = P::Add(volumeR, sweepR);
        }
        V left = P::template Sra<14>(P::MulLo(gainL, output));
        V right = P::template Sra<14>(P::MulLo(gainR, output));
        if (!whole) {
            const V inside = P::Greater(P::Set1(frames - j), lanes);
            left = P::And(left, inside);
            right = P::And(right, inside);
        }
        P::Store(sums.dryL + j, P::Add(P::Load(sums.dryL + j), left));
        P::Store(sums.dryR + j, P::Add(P::Load(sums.dryR + j), right));
        if (reverb) {
            P::Store(sums.sendL + j, P::Add(P::Load(sums.sendL + j), left));
            P::Store(sums.sendR + j, P::Add(P::Load(sums.sendR + j), right));
        }
        return output;
    };
    const int32_t last = (frames - 1) / L * L;  // the last vector, whole or not
    for (int32_t j = 0; j < last; j += L) {
        const V output = mix(j, true);
        if (lastOutput != nullptr) P::Store(lastOutput + j, output);
    }
    int32_t outputs[L];
    P::Store(outputs, mix(last, frames - last == L));
    if (lastOutput != nullptr) std::copy_n(outputs, L, lastOutput + last);
    return outputs[frames - 1 - last];
}

template <class P, bool kSweep>
int32_t MixVoiceWith(const VoiceFrames& voice, const SpanSums& sums, int32_t* lastOutput) {
    constexpr int L = P::kLanes;
    // The furthest a vector's last frame reads past its first frame's sample.
    const int32_t reach = ((L - 1) * voice.pitch + 0xFFF) >> 12;
    if (voice.noise != nullptr) return MixFramesOf<P, Read::kNoise, kSweep>(voice, sums, lastOutput);
    if (voice.pitch < 0) return MixFramesOf<P, Read::kWindowsOrGather, kSweep>(voice, sums, lastOutput);
    if (reach < L - 1) return MixFramesOf<P, Read::kOneWindow, kSweep>(voice, sums, lastOutput);
    if (reach < 2 * L - 1) return MixFramesOf<P, Read::kTwoWindows, kSweep>(voice, sums, lastOutput);
    return MixFramesOf<P, Read::kGather, kSweep>(voice, sums, lastOutput);
}

template <class P>
int32_t MixVoice(const VoiceFrames& voice, const SpanSums& sums, int32_t* lastOutput) {
    if (voice.sweepL != 0 || voice.sweepR != 0) return MixVoiceWith<P, true>(voice, sums, lastOutput);
    return MixVoiceWith<P, false>(voice, sums, lastOutput);
}

// The filter chains of G vectors of lanes through one block each. A sample
// is s = raw + (p >> 6), where p = h1 x f0 + h2 x f1 is the prediction from
// the two samples before; the chain carries p itself, as
// p' = s x f0 + h1 x f1 = (p >> 6) x f0 + (raw x f0 + h1 x f1) (all modulo
// 2^32), so that a sample waits on a shift, a product and a sum only. The
// G vectors side by side fill that wait.
template <class P, int G>
void DecodeRound(const typename P::V (*words)[4], const int32_t* f0, const int32_t* f1, const int32_t* scale,
                 int32_t* history1, int32_t* history2, int32_t (*out)[SpuVoice::kBlockSamples][P::kLanes]) {
    using V = typename P::V;
    constexpr int L = P::kLanes;
    V h1[G], p[G];
    for (int g = 0; g < G; ++g) {
        h1[g] = P::Load(history1 + g * L);
        p[g] = P::Add(P::MulLo(h1[g], P::Load(f0 + g * L)), P::MulLo(P::Load(history2 + g * L), P::Load(f1 + g * L)));
    }
#pragma GCC unroll 28
    for (int i = 0; i < SpuVoice::kBlockSamples; ++i) {
        // Sample i is in byte 2 + i / 2, low nibble first.
        const int byte = 2 + i / 2;
        const int bit = 8 * (byte % 4) + 4 * (i % 2);
#pragma GCC unroll 2
        for (int g = 0; g < G; ++g) {
            const V c0 = P::Load(f0 + g * L);
            const V nibble = P::template Sra<28>(P::Sll(words[g][byte / 4], 28 - bit));
            const V raw = P::template Sra<15>(P::MulLo(nibble, P::Load(scale + g * L)));
            const V shifted = P::template Sra<6>(p[g]);
            const V rest = P::Add(P::MulLo(raw, c0), P::MulLo(h1[g], P::Load(f1 + g * L)));
            h1[g] = P::Add(raw, shifted);
            p[g] = P::Add(P::MulLo(shifted, c0), rest);
            P::Store(out[g][i], h1[g]);
        }
    }
    for (int g = 0; g < G; ++g) {
        P::Store(history1 + g * L, h1[g]);
        P::Store(history2 + g * L, P::Load(out[g][SpuVoice::kBlockSamples - 2]));
    }
}

// DecodeSamples for several voices at once: each lane runs one voice's filter
// chain through that voice's blocks, and a lane whose voice is done takes the
// next job. P::kDecodeGroups vectors of lanes run side by side while there
// is work for them: the longest jobs go first, and when no job is left the
// lanes of the last vectors move into the free lanes of the first.
template <class P>
void Decode(const uint8_t* ram, const DecodeJob* jobs, int32_t count) {
    using V = typename P::V;
    constexpr int L = P::kLanes;
    constexpr int G = P::kDecodeGroups;
    constexpr int kSamples = SpuVoice::kBlockSamples;
    static const uint8_t kSilent[16] = {};
    const DecodeJob* order[kMaxDecodeJobs];
    for (int32_t k = 0; k < count; ++k) {
        int32_t at = k;
        for (; at > 0 && order[at - 1]->count < jobs[k].count; --at) order[at] = order[at - 1];
        order[at] = &jobs[k];
    }
    const DecodeJob* job[G * L];
    int32_t block[G * L];
    int32_t history1[G * L], history2[G * L], f0[G * L], f1[G * L], scale[G * L];
    int32_t out[G][kSamples][L];
    int32_t next = 0;
    const auto take = [&](int lane) {
        job[lane] = next < count ? order[next++] : nullptr;
        block[lane] = 0;
        if (job[lane] != nullptr) {
            history1[lane] = job[lane]->history1;
            history2[lane] = job[lane]->history2;
        }
    };
    for (int lane = 0; lane < G * L; ++lane) take(lane);

    while (true) {
        const uint8_t* data[G * L];
        uint8_t wrapped[G * L][16];
        int groups = 0;  // vectors with work, from the first
        for (int lane = 0; lane < G * L; ++lane) {
            data[lane] = kSilent;
            f0[lane] = f1[lane] = scale[lane] = 0;
            if (job[lane] == nullptr) continue;
            groups = lane / L + 1;
            data[lane] = voice_detail::BlockData(ram, job[lane]->blocks[block[lane]], wrapped[lane]);
            const int32_t filter = voice_detail::FilterNumber(data[lane][0]);
            f0[lane] = kPrediction[filter][0];
            f1[lane] = kPrediction[filter][1];
            // A signed nibble n gives int16(n << 12) >> shift == (n x 2^(27 - shift)) >> 15.
            scale[lane] = 1 << (27 - (data[lane][0] & 0x0F));
        }
        if (groups == 0) return;
        V words[G][4];
        for (int g = 0; g < groups; ++g) P::LoadWords(data + g * L, words[g]);
        if (groups == 1) {
            DecodeRound<P, 1>(words, f0, f1, scale, history1, history2, out);
        } else {
            DecodeRound<P, G>(words, f0, f1, scale, history1, history2, out);
        }

        for (int g = 0; g < groups; ++g) {
            // Each lane's 28 samples into its voice's stream, L rows at a time.
#pragma GCC unroll 4
            for (int first = 0; first < kSamples; first += L) {
                V rows[L];
#pragma GCC unroll 8
                for (int r = 0; r < L; ++r) rows[r] = P::Load(out[g][std::min(first + r, kSamples - 1)]);
                P::Transpose(rows);
#pragma GCC unroll 8
                for (int l = 0; l < L; ++l) {
                    const int lane = g * L + l;
                    if (job[lane] != nullptr)
                        P::StoreFirst(job[lane]->out + block[lane] * kSamples + first, rows[l],
                                      std::min(L, kSamples - first));
                }
            }
        }
        for (int lane = 0; lane < G * L; ++lane) {
            if (job[lane] != nullptr && ++block[lane] == job[lane]->count) take(lane);
        }
        // No job left: the first vectors' free lanes take over the last vectors' work.
        for (int to = 0, from = G * L - 1; next == count && to < from; ++to) {
            if (job[to] != nullptr) continue;
            while (from > to && job[from] == nullptr) --from;
            if (from == to) break;
            std::tie(job[to], block[to], history1[to], history2[to]) =
                std::tuple(job[from], block[from], history1[from], history2[from]);
            job[from] = nullptr;
        }
    }
}

// Signed division by 100, truncating: (x x 2^37 / 100) >> 37, plus one for
// negative x (as compilers divide by a constant).
template <class P>
typename P::V Div100(typename P::V x) {
    return P::Sub(P::template Sra<5>(P::MulHigh(x, P::Set1(0x51EB851F))), P::template Sra<31>(x));
}

// MixFrame's output stage after XA, the main volume and the reverb,
// P::kLanes frames at a time. A last, partial vector goes through copies, so
// that nothing after the frames changes: the caller goes on with the next
// frames (from the reverb line's start) there.
template <class P>
void FinishFrames(const OutputFrames& f) {
    using V = typename P::V;
    constexpr int L = P::kLanes;
    const V mainL = P::Set1(f.mainVolumeL), mainR = P::Set1(f.mainVolumeR);
    const V returnL = P::Set1(f.reverbVolumeL), returnR = P::Set1(f.reverbVolumeR);
    const V percent = P::Set1(f.percent), feedback = P::Set1(192);
    for (int32_t j = 0; j < f.frames; j += L) {
        const int32_t count = std::min(L, f.frames - j);
        int32_t spare[4][2 * L] = {};
        const auto piece = [&](int32_t* at, int32_t entries, int32_t* copy) {
            return count == L ? at : std::copy_n(at, entries, copy) - entries;
        };
        int32_t* dryL = piece(f.dryL + j, count, spare[0]);
        int32_t* dryR = piece(f.dryR + j, count, spare[1]);
        V left = P::template MulShift<14>(P::Load(dryL), mainL);
        V right = P::template MulShift<14>(P::Load(dryR), mainR);
        if (f.line != nullptr) {
            int32_t* line = piece(f.line + 2 * j, 2 * count, spare[2]);
            V echoL, echoR;
            P::LoadPairs(line, echoL, echoR);
            // a = ((line x 192) >> 8) x percent / 100: 0.75 x ReverbVolume % of the delayed frame.
            const V a = Div100<P>(P::MulLo(P::template Sra<8>(P::MulLo(echoL, feedback)), percent));
            const V b = Div100<P>(P::MulLo(P::template Sra<8>(P::MulLo(echoR, feedback)), percent));
            P::StorePairs(line, P::Add(P::Load(f.sendL + j), a), P::Add(P::Load(f.sendR + j), b));
            if (count < L) std::copy_n(line, 2 * count, f.line + 2 * j);
            left = P::Add(left, P::template MulShift<14>(P::Add(P::template Sra<1>(b), a), returnL));
            right = P::Add(right, P::template MulShift<14>(P::Add(P::template Sra<1>(a), b), returnR));
        }
        P::Store(dryL, left);
        P::Store(dryR, right);
        if (count < L) {
            std::copy_n(dryL, count, f.dryL + j);
            std::copy_n(dryR, count, f.dryR + j);
        }
    }
}

template <class P>
void StoreFrames(const int32_t* left, const int32_t* right, int16_t* out, int32_t frames) {
    using V = typename P::V;
    constexpr int L = P::kLanes;
    const V most = P::Set1(32767), least = P::Set1(-32767);
    for (int32_t j = 0; j < frames; j += L) {
        const V l = P::Min(P::Max(P::Load(left + j), least), most);
        const V r = P::Min(P::Max(P::Load(right + j), least), most);
        if (frames - j >= L) {
            P::StoreFrames16(out + 2 * j, l, r);
        } else {
            int16_t spare[2 * L];
            P::StoreFrames16(spare, l, r);
            std::copy_n(spare, 2 * (frames - j), out + 2 * j);
        }
    }
}

template <class P>
constexpr SpanKernels KernelsOf() {
    return {&FillPositions<P>, &ModulatedPositions<P>, &FillEnvelope<P>, &Decode<P>,
            &MixVoice<P>,      &FinishFrames<P>,       &StoreFrames<P>};
}
