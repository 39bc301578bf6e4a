// The console model at speed: the same frames and the same state as
// RenderReference (ConsoleTick tick by tick, then T9), computed in spans of up
// to 512 ticks voice by voice.
//
// Between two calls of the host's interrupt function nothing but the tick
// changes the register image, so over a span every register stands still.
// Within a span the ticks meet in few ways, and each keeps its order when the
// span is worked voice by voice, in ascending voice order, before the output
// stage runs tick by tick:
//   - a pitch-modulated voice reads the previous voice's output of the same
//     tick: the previous voice has been mixed over the whole span already;
//   - the noise generator steps once per tick whatever the voices do: its
//     samples are drawn for the span first;
//   - sound RAM changes only through the capture writes (the first 4 KiB) and
//     the reverb's writes (SPUCNT bit 7), both in the output stage: a voice
//     that would decode a block, or read a block's flags, in bytes the span
//     writes, after its first tick, ends the span before that tick (the next
//     span starts with the write made);
//   - while the interrupt is armed (SPUCNT bits 15 and 6, the flag clear), a
//     touch of the IRQ address raises it: the span ends with the first tick
//     that touches it, found ahead for the capture writes and the reverb's
//     accesses (closed form, a scan) and from each voice's blocks. After that
//     tick the host is called (T9) and everything is planned afresh, as the
//     host may have changed anything.
// Each voice's ticks then come from its blocks (sound/ConsoleVoiceSpan.h),
// its envelope and volumes in runs (sound/ConsoleEnvelopeSpan.h) and the
// vector kernels (sound/ConsoleKernels.h), which also decode the blocks of all
// voices with a steady pitch side by side; a voice whose envelope stays at 0
// over the span gives outputs of 0 without them. The output stage gives what
// ConsoleTick's steps T3-T8 give (CD input, capture, the reverb of
// sound/ConsoleReverbSpan.h, the main volume): the reverb's network runs tick
// by tick, after each tick's capture writes where the work area reaches into
// the capture areas; its filters, and the rest, run over the whole span.
//
// Planning a span: the voices with a steady pitch are followed first, which
// settles its length but for the modulated voices. A modulated voice that
// ends it earlier (by a touch or a write it would read) leaves the voices
// mixed before it longer than the span: their state is taken at the span's
// end from their blocks, and their envelopes and volumes are run again to it
// (a cut). A span planned shorter than 16 ticks goes to ConsoleTick for those
// ticks; so does one tick while the reverb's buffer address lies outside its
// work area, or an interrupt is owed from before the call.
#pragma once

#include <cstdint>

#include "sound/ConsoleKernels.h"
#include "sound/ConsoleReverbSpan.h"
#include "sound/ConsoleVoiceSpan.h"
#include "sound/SpanKernels.h"
#include "voice/ConsoleBus.h"
#include "voice/IrqLine.h"

namespace zarn {

struct CdInput;

namespace console {

class ConsoleFastMixer {
public:
    ConsoleFastMixer();

    // `frames` ticks into `out` (interleaved), each raised interrupt followed
    // by `irq` as RenderReference calls it (the caller's handler decides
    // whether the host hears of it): the same frames, state, sound RAM, XA
    // ring and calls. The host may render from inside the call. The caller
    // holds the SPU lock; no voice status is published.
    void Render(const ConsoleBus& bus, CdInput& cd, int16_t* out, uint32_t frames, const IrqLine& irq);

    // The kernels it mixes with; kReference, and a path this processor lacks,
    // run RenderReference.
    MixPath path = BestMixPath();

    // How the ticks were mixed, for tests and benchmarks.
    struct Counters {
        uint64_t spanTicks = 0;  // ticks mixed in spans
        uint64_t spans = 0;
        uint64_t referenceTicks = 0;  // ticks left to ConsoleTick
        uint64_t cuts = 0;            // spans a modulated voice ended earlier than planned
    } counters;

private:
    static constexpr int32_t kShortSpan = 16;
    static constexpr int32_t kTicks = kSpanTicks + kTickRoom;

    int32_t MixSpan(const ConsoleBus& bus, CdInput& cd, int16_t* out, int32_t ticks);
    int32_t Plan(const ConsoleBus& bus, int32_t ticks, int32_t& touch);
    void DecodeAhead(const ConsoleBus& bus, int32_t ticks);
    void MixVoice(const ConsoleBus& bus, int v, int32_t& ticks, int32_t& touch);
    void FinishVoices(const ConsoleBus& bus, int32_t ticks);
    void OutputTicks(const ConsoleBus& bus, CdInput& cd, int16_t* out, int32_t ticks);
    void StartStream(int v);

    const ConsoleKernels* kernels_ = nullptr;
    int32_t fallback_ = 0;  // ticks for ConsoleTick after a span planned short
    int16_t weights_[256][4];
    ReverbSpan reverb_;
    SpanGuard guard_;
    // Per voice: its state at the span's start, its state after the ticks it
    // was mixed for (envelope and volumes), the ticks, its blocks, counts,
    // samples and outputs.
    ConsoleVoice start_[kVoiceCount];
    ConsoleVoice mixed_[kVoiceCount];
    int32_t mixedTicks_[kVoiceCount] = {};
    bool modulated_[kVoiceCount] = {};
    int32_t step_[kVoiceCount] = {};
    VoiceChain chains_[kVoiceCount];
    int32_t positions_[kVoiceCount][kTicks + 1] = {};
    int16_t streams_[kVoiceCount][kStreamSamples] = {};
    int16_t outs_[kVoiceCount][kTicks] = {};
    uint16_t units_[kVoiceCount][kSpanBlocks] = {};
    ConsoleDecodeJob jobs_[kVoiceCount] = {};
    // Per tick of the span.
    int16_t noise_[kTicks] = {};
    int32_t noiseTimer_[kTicks] = {};
    int16_t envelope_[kTicks] = {}, volumeL_[kTicks] = {}, volumeR_[kTicks] = {};
    int16_t mainL_[kTicks] = {}, mainR_[kTicks] = {};
    int16_t cdL_[kTicks] = {}, cdR_[kTicks] = {};
    int16_t rvL_[kTicks] = {}, rvR_[kTicks] = {};
    int32_t dryL_[kTicks] = {}, dryR_[kTicks] = {}, wetL_[kTicks] = {}, wetR_[kTicks] = {};
    int32_t mutes_[kSpanBlocks] = {};
};

}  // namespace console
}  // namespace zarn
