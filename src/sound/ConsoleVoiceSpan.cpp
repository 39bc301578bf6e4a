#include "sound/ConsoleVoiceSpan.h"

#include <algorithm>

#include "sound/ConsoleMixer.h"
#include "voice/ConsoleVoice.h"

namespace zarn::console {

void SpanGuard::Reset(bool armed, uint16_t irqUnit, uint16_t capturePos) {
    armed_ = armed;
    irqUnit_ = irqUnit;
    capturePos_ = capturePos;
    writes_ = 0;
}

void SpanGuard::AddReverbWrites(int32_t base, int32_t size, const int32_t* starts, int count) {
    base_ = base;
    size_ = size;
    writes_ = std::min(count, kWrites);
    std::copy_n(starts, writes_, starts_);
}

bool SpanGuard::Captured(uint32_t from, uint32_t to, int32_t tick) const {
    if (from >= kCaptureBytes) return false;
    // The slot moves on by one every tick, in all four areas alike.
    for (uint32_t area = 0; area < kCaptureBytes && area < to; area += kCaptureArea) {
        const uint32_t first = std::max(from, area), last = std::min(to, area + kCaptureArea);
        if (first >= last) continue;
        // Slots lo..hi hold the bytes.
        const int32_t lo = static_cast<int32_t>(first - area) / 2, hi = static_cast<int32_t>(last - 1 - area) / 2;
        if (FirstCaptureTick(capturePos_, lo, hi) < tick) return true;
    }
    return false;
}

bool SpanGuard::Reverberated(uint32_t from, uint32_t to, int32_t tick) const {
    if (writes_ == 0 || static_cast<int32_t>(to) <= base_) return false;
    // In the area's own offsets; each write has covered at most tick + 2
    // bytes from its start by then.
    const int32_t first = std::max(static_cast<int32_t>(from), base_) - base_,
                  bytes = static_cast<int32_t>(to) - base_ - first;
    const int32_t reach = std::min(tick + 2, size_);
    for (int k = 0; k < writes_; ++k) {
        int32_t into = first - starts_[k];  // from the write's start to the bytes'
        if (into < 0) into += size_;
        int32_t back = starts_[k] - first;  // from the bytes' start to the write's
        if (back < 0) back += size_;
        if (into < reach || back < bytes) return true;
    }
    return false;
}

bool SpanGuard::Written(uint32_t address, uint32_t bytes, int32_t tick) const {
    if (tick <= 0) return false;  // a read in tick 0 sees everything written before the span
    const uint32_t a = address & kRamMask;
    if (a + bytes > kRamBytes) {
        return Written(a, kRamBytes - a, tick) || Written(0, a + bytes - kRamBytes, tick);
    }
    return Captured(a, a + bytes, tick) || Reverberated(a, a + bytes, tick);
}

int32_t VoiceChain::Walk(const uint8_t* ram, const ConsoleVoice& voice, const PitchCounts& pitch,
                         const SpanGuard& guard, int32_t limit, int32_t& touch) {
    blockCount = 0;
    uint16_t unit = voice.blockAddress, repeat = voice.repeatAddress;
    bool decode = voice.needDecode != 0;
    int32_t from = 0;
    for (int32_t j = 0;; ++j) {
        SpanBlock& block = blocks[blockCount++];
        block = {unit, 0, false, false, from, kNever};
        if (from >= limit) break;
        if (decode) {
            if (guard.Written(unit * 8u, 16, from)) {
                limit = from;
                break;
            }
            block.decoded = true;
            block.loopStart = (ram[BlockByte(unit, 1)] & kLoopStart) != 0;
            if (block.loopStart) repeat = unit;
        }
        if (guard.Touches(unit)) {
            touch = std::min(touch, from);
            limit = std::min(limit, from + 1);
        }

        // The tick whose advance reaches the next block's first count.
        const int32_t next = (j + 1) * static_cast<int32_t>(kCounterPerBlock);
        int32_t end;
        if (pitch.position != nullptr) {
            for (end = from; end < limit && pitch.position[end + 1] < next; ++end) {}
        } else {
            end = pitch.step == 0 ? kNever : (next - pitch.start + pitch.step - 1) / pitch.step - 1;
        }
        if (end >= limit) break;
        if (guard.Written(BlockByte(unit, 1), 1, end)) {
            limit = end;
            break;
        }
        block.end = end;
        block.flags = ram[BlockByte(unit, 1)];
        unit = (block.flags & kLoopEnd) ? repeat : static_cast<uint16_t>(unit + kBlockUnits);
        from = end + 1;
        decode = true;
    }
    return limit;
}

int32_t VoiceChain::Mutes(int32_t ticks, int32_t* mutes) const {
    int32_t count = 0;
    for (int32_t j = 0; j < blockCount && blocks[j].end < ticks; ++j) {
        if ((blocks[j].flags & (kLoopEnd | kLoopRepeat)) == kLoopEnd) mutes[count++] = blocks[j].end;
    }
    return count;
}

void VoiceChain::Finish(ConsoleVoice& voice, uint32_t& endx, int v, int32_t ticks, int32_t count,
                        const int16_t* stream) const {
    int32_t last = 0;  // the block decoded last
    while (last + 1 < blockCount && blocks[last + 1].from < ticks) ++last;
    for (int32_t j = 0; j <= last; ++j) {
        if (blocks[j].loopStart) voice.repeatAddress = blocks[j].unit;
        if (blocks[j].end < ticks && (blocks[j].flags & kLoopEnd)) endx |= 1u << v;
    }
    const bool ended = blocks[last].end < ticks;  // in the span's last tick: the next block waits
    voice.blockAddress = blocks[ended ? last + 1 : last].unit;
    voice.needDecode = ended ? 1 : 0;
    voice.pitchCounter = static_cast<uint32_t>(count) % kCounterPerBlock;
    std::copy_n(stream + last * ConsoleVoice::kBlockSamples, ConsoleVoice::kHistory + ConsoleVoice::kBlockSamples,
                voice.samples);
}

}  // namespace zarn::console
