// The settings record: every option the user can change, the wave format of
// the primary sound buffer, three engine switches that nothing stores, and
// the sound model, which is stored but shown by no dialog.
//
// Every part of the plugin reads the fields directly through the plugin-wide
// record. There are no accessors and no change notifications: a reader sees a
// change the next time it looks. Each field is one aligned 32-bit word; the
// only writers while a game runs hold the SPU lock.
#pragma once

#include <atomic>
#include <cstdint>

namespace zarn {

class DriverSettings {
public:
    static constexpr int kFieldCount = 16;
    static constexpr int kStoredCount = 10;

    DriverSettings();
    virtual ~DriverSettings() = default;

    // Persistence
    virtual void Load() = 0;  // defaults, then the stored values
    virtual void Save() = 0;  // the ten stored values

    // Puts the twelve named defaults into their fields; the three engine
    // switches and ConsoleAccurate are left alone (no dialog shows the model,
    // so no dialog button may change it unseen). The wave format's three alone:
    // SetWaveFormatDefaults.
    void SetDefaults();
    void SetWaveFormatDefaults();

    // Setters of the nine fields the dialogs edit: each stores its value as
    // it is, unchecked (the dialogs' OK validates, the real-time window does
    // not).
    void SetSoundBufferSize(int32_t value) { Store(SoundBufferSize, value); }
    void SetXABufferSize(int32_t value) { Store(XABufferSize, value); }
    void SetHighResolutionMode(int32_t value) { Store(HighResolutionMode, value); }
    void SetShowRealtimeConfigWindow(int32_t value) { Store(ShowRealtimeConfigWindow, value); }
    void SetEnableReverb(int32_t value) { Store(EnableReverb, value); }
    void SetEnableSpuIrq(int32_t value) { Store(EnableSpuIrq, value); }
    void SetXAVolume(int32_t value) { Store(XAVolume, value); }
    void SetReverbVolume(int32_t value) { Store(ReverbVolume, value); }
    void SetTickParSecond(int32_t value) { Store(TickParSecond, value); }

    // The sixteen value fields, in declaration order. Switches count as on
    // when non-zero.
    int32_t WaveFormatSampleRate;      // primary buffer rate, Hz (never stored)
    int32_t WaveFormatBytesPerSample;  // primary buffer bytes per sample (never stored)
    int32_t WaveFormatChannels;        // primary buffer channels (never stored)
    int32_t SoundBufferSize;           // stream buffer, KiB
    int32_t XABufferSize;              // XA ring, KiB (x 512 samples)
    int32_t HighResolutionMode;        // sound thread sleeps 1 ms instead of 5 ms
    int32_t EnableXAWait = 0;          // XA input waits for room in the ring
    int32_t ShowRealtimeConfigWindow;  // open the real-time window with each run
    int32_t EnableNoiseAndFM = 1;      // noise and pitch modulation take effect
    int32_t EnableReverb;              // mix the reverb
    int32_t EnableSpuIrq;              // raise the host interrupt at the IRQ block
    int32_t EnableAutoGain = 0;        // automatic output level
    int32_t XAVolume;                  // percent
    int32_t ReverbVolume;              // percent of the delayed signal fed back and returned
    int32_t TickParSecond;             // recording tempo; the log's tick rate is 10 x this
    int32_t ConsoleAccurate = 0;       // 1: the console sound model; 0 and any other value: the standard one

    // Registry value name of each field; the engine switches have none.
    // ConsoleAccurate's is the last.
    const char* ValueNames[kFieldCount];

    // The ten stored fields in the order they are read and written.
    struct StoredField {
        int index;  // into ValueNames
        int32_t DriverSettings::*field;
        int32_t defaultValue;
    };
    static const StoredField kStored[kStoredCount];

    // The window that owns the configure dialog (an HWND on Windows).
    void* OwnerWindow = nullptr;

    // Reads one field whole: the sound thread reads the wave format, the
    // buffer size and the sleep mode without the lock while the real-time
    // window may be changing them.
    static int32_t Live(const int32_t& field) {
        return std::atomic_ref<int32_t>(const_cast<int32_t&>(field)).load(std::memory_order_relaxed);
    }

protected:
    // Writes one field whole, for the readers of Live.
    static void Store(int32_t& field, int32_t value) {
        std::atomic_ref<int32_t>(field).store(value, std::memory_order_relaxed);
    }
};

}  // namespace zarn
