// The standard sound model: the live state that makes sound out of the SPU's
// registers and sound RAM, and the operations on it. Its 24 voices, the
// output stage (MixerState), the automatic gain, the decoded control, status
// and IRQ-address registers, and the mixers that run it: MixFrame frame by
// frame, or the fast mixer in spans (mixPath).
//
// What it shares it holds by reference: the core's sound RAM (read only) and
// register image, the CD-XA ring, the live settings record, which it reads at
// every use, and the interrupt line, through which a voice that plays out the
// IRQ block raises the host interrupt. Its user (SpuCore) holds the SPU lock
// for every call.
#pragma once

#include <cstdint>

#include "sound/FastMixer.h"
#include "sound/MixerState.h"
#include "sound/SpanKernels.h"
#include "voice/IrqLine.h"
#include "voice/SpuConstants.h"
#include "voice/SpuVoice.h"

namespace zarn {

class DriverSettings;
class XaRing;

class StandardModel {
public:
    // Everything passed in must outlive the model.
    // `xa` holds CD-XA audio, `cdda` CD audio tracks; both are mixed, XA first.
    StandardModel(const uint8_t* soundRam, uint16_t* registerImage, XaRing& xa, XaRing& cdda,
                  const DriverSettings& settings, const IrqLine& irq);
    virtual ~StandardModel() = default;
    StandardModel(const StandardModel&) = delete;
    StandardModel& operator=(const StandardModel&) = delete;

    // Registers (sound/StandardModel.cpp). A write of `value` (16 bits) at an
    // even SPU register address after the core stored it in the image; the
    // core keeps the transfer address and data registers to itself. A read of
    // any other SPU register.
    void DecodeRegisterWrite(uint32_t address, uint32_t value);
    uint16_t ReadRegister(uint32_t address) const;
    // Envelope volumes, repeat addresses and active bits into the image.
    void PublishVoiceStatus();
    // Every voice, the output stage, the automatic gain and the decoded
    // registers back to their construction values; the voices relinked.
    void Reset();

    // Sound (sound/Mixer.cpp): one output frame, left and right.
    void MixFrame(int16_t out[2]);
    // `frames` frames into `out` (interleaved) on the mixPath, without the
    // voice status. Every path gives the same frames and the same state.
    void Render(int16_t* out, uint32_t frames);

    // Registers kept decoded (the image holds them as written).
    uint16_t control = 0;     // last value written to 0x1F801DAA
    uint16_t status = 0;      // 0x1F801DAE: last value & 0xF800
    uint16_t irqAddress = 0;  // 0x1F801DA4, 8-byte units
    // The output stage, the automatic gain and the voices.
    MixerState mixer;
    int32_t autoGain = 32768;   // automatic gain factor; 32768 == 1.0
    int32_t autoGainPeak = 0;   // highest sample of the current window
    int32_t autoGainCount = 0;  // frames in the current window
    SpuVoice voices[kVoiceCount];

    // The mixer Render runs: the fastest this processor has, unless a test or
    // a benchmark picks another. A path the processor lacks mixes as
    // kReference.
    MixPath mixPath = BestMixPath();
    FastMixer fastMixer;

private:
    friend class FastMixer;
    void LinkVoices();
    void FinishFrame(int32_t dryL, int32_t dryR, int32_t sendL, int32_t sendR, int16_t out[2]);
    void AutoGain(int32_t& dryL, int32_t& dryR);
    void AutoGainFrames(int32_t* dryL, int32_t* dryR, int32_t frames);

    const uint8_t* ram_;
    uint16_t* image_;
    XaRing& xa_;
    XaRing& cdda_;
    const DriverSettings* settings_;
    const IrqLine* irq_;
};

}  // namespace zarn
