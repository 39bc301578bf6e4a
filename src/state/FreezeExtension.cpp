#include "state/FreezeExtension.h"

#include <algorithm>
#include <cstring>

#include "core/SpuCore.h"
#include "voice/RegisterMap.h"

namespace zarn {

namespace {

constexpr char kTag[8] = {'C', 'O', 'N', 'S', 'O', 'L', 'E', 0};
constexpr uint32_t kExtensionVersion = 1;
constexpr uint32_t kVoicesAt = 712, kVoiceBytes = 88, kXaAt = kVoicesAt + kVoiceCount * kVoiceBytes;
static_assert(kXaAt == 2824 && kXaAt + 4 * kFreezeXaSlots == kFreezeExtensionSize);
static_assert(kExtendedFreezeSize == 766264);

// Field by field, little-endian, each at the cursor, which moves past it.
class Writer {
public:
    explicit Writer(uint8_t* at) : at_(at) {}
    void U8(uint32_t v) { *at_++ = static_cast<uint8_t>(v); }
    void U16(uint32_t v) {
        U8(v);
        U8(v >> 8);
    }
    void U32(uint32_t v) {
        U16(v);
        U16(v >> 16);
    }
    void I16s(const int16_t* values, int count) {
        for (int i = 0; i < count; ++i) U16(static_cast<uint16_t>(values[i]));
    }
    void Bytes(const char* bytes, int count) {
        for (int i = 0; i < count; ++i) U8(static_cast<uint8_t>(bytes[i]));
    }

private:
    uint8_t* at_;
};

class Reader {
public:
    explicit Reader(const uint8_t* at) : at_(at) {}
    uint32_t U8() { return *at_++; }
    uint32_t U16() {
        const uint32_t low = U8();
        return low | U8() << 8;
    }
    uint32_t U32() {
        const uint32_t low = U16();
        return low | U16() << 16;
    }
    int16_t I16() { return static_cast<int16_t>(U16()); }
    void I16s(int16_t* values, int count) {
        for (int i = 0; i < count; ++i) values[i] = I16();
    }
    void Skip(int count) { at_ += count; }

private:
    const uint8_t* at_;
};

void WriteVoice(Writer& w, const ConsoleVoice& voice) {
    w.U32(voice.pitchCounter);
    w.U16(voice.blockAddress);
    w.U16(voice.repeatAddress);
    w.U16(static_cast<uint16_t>(voice.envelopeLevel));
    w.U16(voice.envelopeCounter);
    w.U8(voice.envelopePhase);
    w.U8(voice.needDecode);
    w.U16(0);
    w.U16(static_cast<uint16_t>(voice.volumeLevelL));
    w.U16(static_cast<uint16_t>(voice.volumeLevelR));
    w.U16(voice.volumeCounterL);
    w.U16(voice.volumeCounterR);
    w.I16s(voice.samples, ConsoleVoice::kHistory + ConsoleVoice::kBlockSamples);
    w.U16(0);
}

void ReadVoice(Reader& r, ConsoleVoice& voice) {
    constexpr uint32_t kLastCounter = (ConsoleVoice::kBlockSamples << 12) - 1;  // 0x1BFFF
    voice.pitchCounter = std::min(r.U32(), kLastCounter);
    voice.blockAddress = static_cast<uint16_t>(r.U16());
    voice.repeatAddress = static_cast<uint16_t>(r.U16());
    voice.envelopeLevel = r.I16();
    voice.envelopeCounter = static_cast<uint16_t>(r.U16() & 0x7FFF);
    voice.envelopePhase = static_cast<uint8_t>(std::min<uint32_t>(r.U8(), kConsoleRelease));
    voice.needDecode = r.U8() != 0;
    r.Skip(2);
    voice.volumeLevelL = r.I16();
    voice.volumeLevelR = r.I16();
    voice.volumeCounterL = static_cast<uint16_t>(r.U16() & 0x7FFF);
    voice.volumeCounterR = static_cast<uint16_t>(r.U16() & 0x7FFF);
    r.I16s(voice.samples, ConsoleVoice::kHistory + ConsoleVoice::kBlockSamples);
    r.Skip(2);
}

// The queued XA frames, oldest first, at most kFreezeXaSlots of them.
uint32_t QueuedFrames(const XaRing& xa) { return std::min<uint32_t>(xa.QueuedSamples() / 2, kFreezeXaSlots); }

}  // namespace

void SaveExtendedFreeze(SpuCore& spu, uint8_t* record, bool clear) {
    if (clear) std::memset(record, 0, kExtendedFreezeSize);
    SaveFreeze(spu, *reinterpret_cast<FreezeRecord*>(record), false);
    WriteFreezeHeader(record, kExtendedFreezeSize);

    const ConsoleState& c = spu.console;
    Writer w(record + FreezeRecord::kSize);
    w.Bytes(kTag, sizeof kTag);
    w.U32(kExtensionVersion);
    w.U32(kFreezeExtensionSize);
    w.U32(c.endx);
    w.U32(static_cast<uint32_t>(c.noiseTimer));
    w.U16(c.noiseLevel);
    w.U16(c.capturePos);
    w.U8(c.irqFlag);
    w.U8(c.reverbParity);
    w.U8(c.firPos);
    w.U8(0);
    w.U32(c.reverbAddress);
    w.U32(spu.transferAddress);
    w.U16(static_cast<uint16_t>(c.mainLevelL));
    w.U16(static_cast<uint16_t>(c.mainLevelR));
    w.U16(c.mainCounterL);
    w.U16(c.mainCounterR);
    for (const int16_t* ring : {c.reverbInL, c.reverbInR, c.reverbOutL, c.reverbOutR}) {
        w.I16s(ring, ConsoleState::kFirTaps);
    }
    w.I16s(c.zigRingL, ConsoleState::kZigTaps);
    w.I16s(c.zigRingR, ConsoleState::kZigTaps);
    for (const int32_t value : {c.zigPos, c.zigSixStep, c.zigFrequency, c.zigChannels}) {
        w.U32(static_cast<uint32_t>(value));
    }
    const XaRing& xa = spu.xa;
    const uint32_t frames = QueuedFrames(xa);
    w.U32(frames);
    w.U32(0);
    for (const ConsoleVoice& voice : c.voices) WriteVoice(w, voice);
    for (uint32_t f = 0; f < kFreezeXaSlots; ++f) {
        const int64_t at = (xa.readIndex + 2 * int64_t{f}) % std::max(xa.capacity, 1);
        w.U16(f < frames ? static_cast<uint16_t>(xa.buffer[at]) : 0);
        w.U16(f < frames ? static_cast<uint16_t>(xa.buffer[at + 1]) : 0);
    }
}

bool IsExtendedFreeze(const uint8_t* record) {
    Reader size(record + offsetof(FreezeRecord, size));
    if (size.U32() != kExtendedFreezeSize) return false;
    Reader r(record + FreezeRecord::kSize);
    for (const char c : kTag) {
        if (r.U8() != static_cast<uint8_t>(c)) return false;
    }
    const uint32_t version = r.U32();
    return version == kExtensionVersion && r.U32() == kFreezeExtensionSize;
}

void LoadExtendedFreeze(SpuCore& spu, const uint8_t* record) {
    const FreezeRecord& base = *reinterpret_cast<const FreezeRecord*>(record);
    std::memcpy(spu.soundRam, base.soundRam, sizeof base.soundRam);
    std::memcpy(spu.registerImage, base.registers, sizeof base.registers);

    ConsoleState& c = spu.console;
    c = ConsoleState();
    Reader r(record + FreezeRecord::kSize + 16);  // past tag, version and size
    c.endx = r.U32() & 0xFFFFFF;
    const int32_t noiseTimer = static_cast<int32_t>(r.U32());
    c.noiseTimer = noiseTimer >= 0 && noiseTimer <= 0x1FFFF ? noiseTimer : 0;
    c.noiseLevel = static_cast<uint16_t>(r.U16());
    c.capturePos = static_cast<uint16_t>(r.U16() & (ConsoleState::kCaptureSlots - 1));
    c.irqFlag = r.U8() != 0;
    c.reverbParity = static_cast<uint8_t>(r.U8() & 1);
    c.firPos = static_cast<uint8_t>(r.U8() & (ConsoleState::kFirTaps - 1));
    r.Skip(1);
    const uint32_t base8 = spu.registerImage[reg::ImageIndex(reg::kReverbBase)] * 8u;
    c.reverbAddress = std::max(r.U32() & 0x7FFFE, base8);
    const uint32_t transfer = r.U32();
    spu.transferAddress = transfer == SpuCore::kNoTransferAddress ? transfer : transfer & kRamMask;
    c.mainLevelL = r.I16();
    c.mainLevelR = r.I16();
    c.mainCounterL = static_cast<uint16_t>(r.U16() & 0x7FFF);
    c.mainCounterR = static_cast<uint16_t>(r.U16() & 0x7FFF);
    for (int16_t* ring : {c.reverbInL, c.reverbInR, c.reverbOutL, c.reverbOutR}) r.I16s(ring, ConsoleState::kFirTaps);
    r.I16s(c.zigRingL, ConsoleState::kZigTaps);
    r.I16s(c.zigRingR, ConsoleState::kZigTaps);
    c.zigPos = static_cast<int32_t>(r.U32() & (ConsoleState::kZigTaps - 1));
    const int32_t sixStep = static_cast<int32_t>(r.U32());
    c.zigSixStep = sixStep >= 1 && sixStep <= ConsoleState::kZigSteps ? sixStep : ConsoleState::kZigSteps;
    c.zigFrequency = static_cast<int32_t>(r.U32());
    c.zigChannels = static_cast<int32_t>(r.U32());
    const uint32_t frames = std::min(r.U32(), kFreezeXaSlots);
    r.Skip(4);
    for (ConsoleVoice& voice : c.voices) ReadVoice(r, voice);

    XaRing& xa = spu.xa;
    if (!xa.TakeUpBufferSize()) xa.Empty();
    for (uint32_t f = 0; f < frames; ++f) {
        const int16_t left = r.I16();
        if (!xa.Push(left, r.I16())) break;  // the rest is dropped
    }
    spu.PublishVoiceStatus();
}

}  // namespace zarn
