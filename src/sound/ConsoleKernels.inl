// The kernels of sound/ConsoleKernels.h as templates over an instruction set
// P, included by the file of each set after its target is switched on, beside
// sound/SpanKernels.inl (which lists P's 32-bit operations). The console
// kernels also take the vector as 16-bit lanes:
//   MulHigh16, MulLow16 (the high and low halves of the 32-bit products),
//   Sll16<n>, Srl16<n> (logical shifts), Or, Madd16 (pairs of products summed
//   into 32-bit lanes)
// and these loads and stores:
//   GatherQuads(base, indexes, half) (four consecutive 16-bit values from
//   base + index for P::kLanes / 2 of the 32-bit indexes, the first or the
//   second half of them, the k-th in the k-th 64 bits), PairSums(a, b) (lane k: the sum
//   of 32-bit lanes 2k and 2k + 1 of a followed by b), LoadWords16 (P::kLanes
//   16-bit values widened), StoreWords16 (P::kLanes values within 16 bits).
//
// Include inside an unnamed namespace: each set has its own instances.

template <class P>
typename P::V Clamp16Lanes(typename P::V v) {
    return P::Min(P::Max(v, P::Set1(-32768)), P::Set1(32767));
}

// (a x b) >> 15 of 16-bit lanes whose result fits 16 bits: the high half
// doubled, with the top bit of the low half below it.
template <class P>
typename P::V Mul15Lanes16(typename P::V a, typename P::V b) {
    return P::Or(P::template Sll16<1>(P::MulHigh16(a, b)), P::template Srl16<15>(P::MulLow16(a, b)));
}

// Clamp16(Mul15(a, b)) of 32-bit lanes.
template <class P>
typename P::V ScaleLanes(typename P::V a, typename P::V b) {
    return Clamp16Lanes<P>(P::template Sra<15>(P::MulLo(a, b)));
}

template <class P>
typename P::V LoadLevels(const TickLevels& levels, int32_t t) {
    return levels.perTick != nullptr ? P::LoadWords16(levels.perTick + t) : P::Set1(levels.level);
}

// The tick's work on one voice after its pitch, envelope and volume steps,
// P::kLanes ticks at a time: the sample (interpolated, or noise), its scaling
// by the envelope (the output) and by the volumes, and the sums.
template <class P, bool kCounts>
void MixVoiceTicks(const ConsoleVoiceFrames& f) {
    using V = typename P::V;
    constexpr int L = P::kLanes;
    const V ones = P::Set1(0x00010001);
    const int16_t* stream = f.stream;
    const int32_t* position = f.position;
    const int32_t start = f.start, step = f.step, frames = f.frames;
    const int16_t* weights = f.weights[0];
    const V first = P::Add(P::Set1(start), P::MulLo(P::Lanes(), P::Set1(step)));  // the counts of ticks 0..L-1
    const int16_t* noise = f.noise;
    const TickLevels envelope = f.envelope, volumeL = f.volumeL, volumeR = f.volumeR;
    int16_t* out = f.out;
    int32_t *dryL = f.dryL, *dryR = f.dryR, *wetL = f.wetL, *wetR = f.wetR;
    for (int32_t t = 0; t < frames; t += L) {
        V x;
        if (noise != nullptr) {
            x = P::LoadWords16(noise + t);
        } else {
            // Four products per tick, each floored on its own (every weight
            // is below 0x5A00, so each fits 16 bits), then summed.
            const V counts = kCounts ? P::Load(position + t) : P::Add(first, P::Set1(t * step));
            const V samples = P::template Sra<12>(counts);
            const V weight = P::Sll(P::And(P::template Sra<4>(counts), P::Set1(0xFF)), 2);
            const V low = Mul15Lanes16<P>(P::GatherQuads(stream, samples, 0), P::GatherQuads(weights, weight, 0));
            const V high = Mul15Lanes16<P>(P::GatherQuads(stream, samples, 1), P::GatherQuads(weights, weight, 1));
            x = P::PairSums(P::Madd16(low, ones), P::Madd16(high, ones));
        }
        const V output = ScaleLanes<P>(x, LoadLevels<P>(envelope, t));
        P::StoreWords16(out + t, output);
        if (dryL == nullptr) continue;
        const V left = ScaleLanes<P>(output, LoadLevels<P>(volumeL, t));
        const V right = ScaleLanes<P>(output, LoadLevels<P>(volumeR, t));
        P::Store(dryL + t, P::Add(P::Load(dryL + t), left));
        P::Store(dryR + t, P::Add(P::Load(dryR + t), right));
        if (wetL == nullptr) continue;
        P::Store(wetL + t, P::Add(P::Load(wetL + t), left));
        P::Store(wetR + t, P::Add(P::Load(wetR + t), right));
    }
}

// The tick's work on one voice after its pitch, envelope and volume steps,
// P::kLanes ticks at a time: the sample (interpolated, or noise), its scaling
// by the envelope (the output) and by the volumes, and the sums.
template <class P>
void MixConsoleVoice(const ConsoleVoiceFrames& f) {
    if (f.position != nullptr) {
        MixVoiceTicks<P, true>(f);
    } else {
        MixVoiceTicks<P, false>(f);
    }
}

// DecodeSamples for G vectors of lanes, one block each: sample
// Clamp16(raw + ((old x f0 + older x f1 + 32) >> 6)), where a signed nibble
// n gives raw = (n << 12) >> shift == (n x 2^(27 - shift)) >> 15 for the
// shifts 0..12 a block can have. The G chains side by side fill each other's
// waits.
template <class P, int G>
void DecodeConsoleRound(const typename P::V (*words)[4], const int32_t* f0, const int32_t* f1, const int32_t* scale,
                        int32_t* old, int32_t* older, int32_t (*out)[ConsoleVoice::kBlockSamples][P::kLanes]) {
    using V = typename P::V;
    constexpr int L = P::kLanes;
    V h1[G], h2[G];
    for (int g = 0; g < G; ++g) {
        h1[g] = P::Load(old + g * L);
        h2[g] = P::Load(older + g * L);
    }
    const V round = P::Set1(32);
#pragma GCC unroll 28
    for (int i = 0; i < ConsoleVoice::kBlockSamples; ++i) {
        // Sample i is in byte 2 + i / 2, low nibble first.
        const int byte = 2 + i / 2;
        const int bit = 8 * (byte % 4) + 4 * (i % 2);
#pragma GCC unroll 2
        for (int g = 0; g < G; ++g) {
            const V nibble = P::template Sra<28>(P::Sll(words[g][byte / 4], 28 - bit));
            const V raw = P::template Sra<15>(P::MulLo(nibble, P::Load(scale + g * L)));
            const V prediction = P::Add(P::MulLo(h1[g], P::Load(f0 + g * L)), P::MulLo(h2[g], P::Load(f1 + g * L)));
            h2[g] = h1[g];
            h1[g] = Clamp16Lanes<P>(P::Add(raw, P::template Sra<6>(P::Add(prediction, round))));
            P::Store(out[g][i], h1[g]);
        }
    }
    for (int g = 0; g < G; ++g) {
        P::Store(old + g * L, h1[g]);
        P::Store(older + g * L, h2[g]);
    }
}

// The jobs' blocks, P::kDecodeGroups vectors of lanes side by side: each lane
// runs one voice's chain through its blocks, and a lane whose voice is done
// takes the next job (the longest first).
template <class P>
void DecodeConsole(const uint8_t* ram, const ConsoleDecodeJob* jobs, int32_t count) {
    using V = typename P::V;
    constexpr int L = P::kLanes;
    constexpr int G = P::kDecodeGroups;
    constexpr int kSamples = ConsoleVoice::kBlockSamples;
    static const uint8_t kSilent[16] = {};
    const ConsoleDecodeJob* order[kVoiceCount];
    count = std::min<int32_t>(count, kVoiceCount);
    for (int32_t k = 0; k < count; ++k) {
        int32_t at = k;
        for (; at > 0 && order[at - 1]->count < jobs[k].count; --at) order[at] = order[at - 1];
        order[at] = &jobs[k];
    }
    const ConsoleDecodeJob* job[G * L];
    int32_t block[G * L], old[G * L], older[G * L], f0[G * L], f1[G * L], scale[G * L];
    int32_t out[G][kSamples][L];
    int32_t next = 0;
    const auto take = [&](int lane) {
        job[lane] = nullptr;
        while (job[lane] == nullptr && next < count) {
            if (order[next]->count > 0) job[lane] = order[next];
            ++next;
        }
        block[lane] = 0;
        if (job[lane] != nullptr) {
            old[lane] = job[lane]->out[-1];
            older[lane] = job[lane]->out[-2];
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
            data[lane] = BlockBytes(ram, job[lane]->units[block[lane]], wrapped[lane]);
            const AdpcmFilter filter = kAdpcmFilter[(data[lane][0] >> 4) & 7];
            f0[lane] = filter.f0;
            f1[lane] = filter.f1;
            scale[lane] = 1 << (27 - BlockShift(data[lane][0]));
        }
        if (groups == 0) return;
        V words[G][4];
        for (int g = 0; g < groups; ++g) P::LoadWords(data + g * L, words[g]);
        if (groups == 1) {
            DecodeConsoleRound<P, 1>(words, f0, f1, scale, old, older, out);
        } else {
            DecodeConsoleRound<P, G>(words, f0, f1, scale, old, older, out);
        }
        for (int g = 0; g < groups; ++g) {
            // Each lane's 28 samples into its stream, L at a time. A last
            // vector that runs past the block writes into the next block,
            // which the lane's next round writes again (the stream has room
            // after its last block).
#pragma GCC unroll 7
            for (int first = 0; first < kSamples; first += L) {
                V rows[L];
#pragma GCC unroll 8
                for (int r = 0; r < L; ++r) rows[r] = P::Load(out[g][std::min(first + r, kSamples - 1)]);
                P::Transpose(rows);
#pragma GCC unroll 8
                for (int l = 0; l < L; ++l) {
                    const ConsoleDecodeJob* lane = job[g * L + l];
                    if (lane != nullptr) P::StoreWords16(lane->out + block[g * L + l] * kSamples + first, rows[l]);
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
            std::tie(job[to], block[to], old[to], older[to]) =
                std::tuple(job[from], block[from], old[from], older[from]);
            job[from] = nullptr;
        }
    }
}

// The resampling filter, P::kLanes ticks at a time: one 32-bit sum of the
// products of the taps that are not 0, shifted once.
template <class P, int kShift>
void FilterConsole(const int16_t* newest, int32_t count, int16_t* out) {
    using V = typename P::V;
    for (int32_t t = 0; t < count; t += P::kLanes) {
        V sum = P::Set1(0);
        for (int k = 0; k < kReverbTaps; ++k) {
            if (H[k] != 0) sum = P::Add(sum, P::MulLo(P::LoadWords16(newest + t - k), P::Set1(H[k])));
        }
        P::StoreWords16(out + t, Clamp16Lanes<P>(P::template Sra<kShift>(sum)));
    }
}

template <class P>
constexpr ConsoleKernels ConsoleKernelsOf() {
    return {&DecodeConsole<P>, &MixConsoleVoice<P>, &FilterConsole<P, 15>, &FilterConsole<P, 14>};
}
