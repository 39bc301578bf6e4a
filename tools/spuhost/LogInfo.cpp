#include "spuhost/LogInfo.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "spuhost/Text.h"
#include "spuhost/Timeline.h"
#include "voice/RegisterMap.h"

namespace spuhost {

namespace reg = zarn::reg;

namespace {

// Which voice bits a write to one of the paired bit registers names:
// `first` is the register of voices 0-15.
uint32_t VoiceBits(uint32_t address, uint32_t first, uint16_t value) {
    if (reg::Offset(address) == reg::Offset(first)) return value;
    if (reg::Offset(address) == reg::Offset(first + 2)) return uint32_t{value & 0xFFu} << 16;
    return 0;
}

class NoteTracker {
public:
    explicit NoteTracker(const RegisterLogFile& log) {
        const auto word = [&](uint32_t address) { return log.registers[(reg::Offset(address) - 0xC00) / 2]; };
        const uint32_t active = word(reg::kVoiceActivity) | uint32_t{word(reg::kVoiceActivity + 2)} << 16;
        for (int v = 0; v < zarn::kVoiceCount; ++v) {
            pitch_[v] = word(reg::Voice(v, reg::kPitch));
            if ((active >> v) & 1) Begin(v, 0, false);
        }
    }

    void Write(uint32_t time, uint32_t address, uint16_t value, std::vector<std::vector<uint32_t>>& keyOns) {
        if ((address & 1) != 0 || reg::Offset(address) < 0xC00) return;  // no effect beyond the image
        const int voice = reg::VoiceOf(address);
        if (voice >= 0 && (address & 0xF) == reg::kPitch) {
            if (pitch_[voice] == value) return;
            pitch_[voice] = value;
            if (open_[voice] >= 0) Begin(voice, time, false);
            return;
        }
        const uint32_t on = VoiceBits(address, reg::kKeyOn, value);
        const uint32_t off = VoiceBits(address, reg::kKeyOff, value);
        // A clear bit in a voice-activity word stops its voice.
        const uint32_t stopped = VoiceBits(address, reg::kVoiceActivity, static_cast<uint16_t>(~value));
        for (int v = 0; v < zarn::kVoiceCount; ++v) {
            if ((on >> v) & 1) {
                Begin(v, time, true);
                keyOns[v].push_back(time);
            } else if (((off | stopped) >> v) & 1) {
                End(v, time);
            }
        }
    }

    std::vector<NoteSpan> Finish(uint32_t time) {
        for (int v = 0; v < zarn::kVoiceCount; ++v) End(v, time);
        std::stable_sort(notes_.begin(), notes_.end(),
                         [](const NoteSpan& a, const NoteSpan& b) { return a.start < b.start; });
        return std::move(notes_);
    }

private:
    void Begin(int voice, uint32_t time, bool keyedOn) {
        End(voice, time);
        open_[voice] = static_cast<int>(notes_.size());
        notes_.push_back({voice, time, time, pitch_[voice], keyedOn});
    }
    void End(int voice, uint32_t time) {
        if (open_[voice] < 0) return;
        notes_[static_cast<size_t>(open_[voice])].end = time;
        open_[voice] = -1;
    }

    uint16_t pitch_[zarn::kVoiceCount] = {};
    int open_[zarn::kVoiceCount] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    std::vector<NoteSpan> notes_;
};

}  // namespace

LogSummary Summarise(const RegisterLogFile& log) {
    LogSummary summary;
    summary.keyOns.resize(zarn::kVoiceCount);
    NoteTracker tracker(log);
    std::map<uint32_t, uint32_t> counts;
    for (const zarn::RegisterLogEntry& entry : log.entries) {
        tracker.Write(entry.time, entry.address, entry.value, summary.keyOns);
        ++counts[entry.address];
        summary.endTime = std::max(summary.endTime, entry.time);
    }
    summary.notes = tracker.Finish(summary.endTime);
    for (const auto& [address, writes] : counts) summary.registers.push_back({address, writes});
    std::stable_sort(summary.registers.begin(), summary.registers.end(),
                     [](const RegisterCount& a, const RegisterCount& b) { return a.writes > b.writes; });
    return summary;
}

std::string RegisterName(uint32_t address) {
    static const char* const kVoiceRegisters[] = {"volume left", "volume right", "pitch",           "start address",
                                                  "envelope 1",  "envelope 2",   "envelope volume", "repeat address"};
    static const std::map<uint32_t, const char*> kGlobal = {
        {reg::kMainVolumeL, "main volume left"},
        {reg::kMainVolumeR, "main volume right"},
        {reg::kReverbVolumeL, "reverb volume left"},
        {reg::kReverbVolumeR, "reverb volume right"},
        {reg::kKeyOn, "key on, voices 0-15"},
        {reg::kKeyOn + 2, "key on, voices 16-23"},
        {reg::kKeyOff, "key off, voices 0-15"},
        {reg::kKeyOff + 2, "key off, voices 16-23"},
        {reg::kPitchModulation, "pitch modulation, voices 0-15"},
        {reg::kPitchModulation + 2, "pitch modulation, voices 16-23"},
        {reg::kNoise, "noise, voices 0-15"},
        {reg::kNoise + 2, "noise, voices 16-23"},
        {reg::kReverb, "reverb, voices 0-15"},
        {reg::kReverb + 2, "reverb, voices 16-23"},
        {reg::kVoiceActivity, "voice activity, voices 0-15"},
        {reg::kVoiceActivity + 2, "voice activity, voices 16-23"},
        {reg::kIrqAddress, "IRQ address"},
        {reg::kTransferAddress, "transfer address"},
        {reg::kTransferData, "transfer data"},
        {reg::kControl, "control"},
        {reg::kStatus, "status"},
        {reg::kCdVolumeL, "CD volume left"},
        {reg::kCdVolumeR, "CD volume right"},
    };
    if (reg::Offset(address) < 0xC00) return "not an SPU register";
    if ((address & 1) != 0) return "odd address (no effect)";
    if (const int voice = reg::VoiceOf(address); voice >= 0) {
        return "voice " + std::to_string(voice) + " " + kVoiceRegisters[(address & 0xF) / 2];
    }
    const auto known = kGlobal.find(reg::Offset(address) | (reg::kFirst & ~0xFFFu));
    return known != kGlobal.end() ? known->second : "no effect beyond the register image";
}

void ShowInfo(const InfoOptions& options) { ShowInfo(ReadRegisterLog(options.log, true), options.timeline); }

void ShowInfo(const RegisterLogFile& log, const std::string& timeline) {
    const LogSummary summary = Summarise(log);
    const double rate = log.tickRate;
    std::printf("%s\n", log.path.c_str());
    std::printf("  size       %s bytes\n", Thousands(log.fileBytes).c_str());
    std::printf("  tick rate  %s ticks per second", Thousands(log.tickRate).c_str());
    if (log.tickRate % 10 == 0) std::printf(" (recording tempo %u)", log.tickRate / 10);
    std::printf("\n  entries    %s register writes\n", Thousands(log.entries.size()).c_str());
    std::printf("  duration   %s (to the last write)\n", Seconds(summary.endTime / rate).c_str());

    std::printf("voices keyed on (seconds from the start):\n");
    bool any = false;
    for (size_t v = 0; v < summary.keyOns.size(); ++v) {
        const std::vector<uint32_t>& times = summary.keyOns[v];
        if (times.empty()) continue;
        any = true;
        std::printf("  voice %2zu  %5zu x:", v, times.size());
        for (size_t i = 0; i < times.size() && i < 8; ++i) std::printf(" %.3f", times[i] / rate);
        if (times.size() > 8) std::printf(" ... %.3f", times.back() / rate);
        std::printf("\n");
    }
    if (!any) std::printf("  none\n");

    std::printf("busiest registers:\n");
    for (size_t i = 0; i < summary.registers.size() && i < 10; ++i) {
        const RegisterCount& count = summary.registers[i];
        std::printf("  0x%08X  %-32s %s\n", count.address, RegisterName(count.address).c_str(),
                    Thousands(count.writes).c_str());
    }
    if (summary.registers.empty()) std::printf("  none\n");

    if (!timeline.empty()) {
        WriteTimeline(timeline, log, summary);
        std::printf("timeline: %s\n", timeline.c_str());
    }
}

}  // namespace spuhost
