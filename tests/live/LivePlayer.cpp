// live_player: plays a looping tone through the real plugin in real time, as
// a host does, and reports what the plugin did on its own sound thread.
//
// It loads the plugin (spuZarn.dll with LoadLibrary on Windows, libspuZarn.so
// with dlopen elsewhere) and finds every function by its exported name,
// writes the settings, uploads an ADPCM tone, opens the plugin, keys voices
// on, samples the voice status while they play, keys them off and closes.
// Every interrupt callback is timestamped. Prints key=value lines, times in
// milliseconds; clock_keyon_ms is the raw monotonic clock itself
// (CLOCK_MONOTONIC_RAW, which Wine's performance counter also reads), for
// comparing with the capture pacer's times.
//
//   live_player [--buffer KIB] [--high-res 0|1] [--seconds S] [--voices N] [--cycle 0|1]
//
// --cycle 1 closes the plugin halfway and opens it again: the voices must go on.
#include "spuhost/AdpcmEncoder.h"
#include "store/RegistryKey.h"
#include "store/RegistrySettings.h"
#include "voice/RegisterMap.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#define CALLBACK
#endif

namespace {

using Settings = std::vector<std::pair<const char*, uint32_t>>;

// ---------------------------------------------------------------- platform

#if defined(_WIN32)
using Library = HMODULE;
using CpuClock = DWORD;  // a thread id: CpuMs reads that thread's CPU time

double ClockMs() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return now.QuadPart * 1000.0 / frequency.QuadPart;
}
void SleepMs(int ms) { Sleep(ms); }

Library LoadPlugin() { return LoadLibraryA("spuZarn.dll"); }
void* Lookup(Library library, const char* name) { return reinterpret_cast<void*>(GetProcAddress(library, name)); }
void UnloadPlugin(Library library) { FreeLibrary(library); }

CpuClock ThisThreadCpuClock() { return GetCurrentThreadId(); }
double Ms(const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e4; }
double CpuMs(CpuClock id) {
    const HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, id);
    FILETIME created, exited, kernel, user;
    const bool ok = thread != nullptr && GetThreadTimes(thread, &created, &exited, &kernel, &user);
    if (thread != nullptr) CloseHandle(thread);
    return ok ? Ms(kernel) + Ms(user) : -1;
}
double ProcessCpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return Ms(kernel) + Ms(user);
}

// The plugin's registry key, as its settings dialog would leave it. Under
// Wine also Wine's ALSA driver, in the prefix's registry (scripts/wine-run
// overrides WINEDLLOVERRIDES), so that a desktop's PulseAudio cannot take
// its place.
bool Configure(const Settings& settings) {
    const auto set = [](const char* key, const char* name, DWORD type, const void* data, DWORD size) {
        return RegSetKeyValueA(HKEY_CURRENT_USER, key, name, type, data, size) == ERROR_SUCCESS;
    };
    bool ok = true;
    for (const auto& [name, value] : settings) {
        ok = set(zarn::RegistrySettings::kKeyPath, name, REG_DWORD, &value, 4) && ok;
    }
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr) {
        ok = set("Software\\Wine\\Drivers", "Audio", REG_SZ, "alsa", 5) && ok;
    }
    return ok;
}
void Cleanup() {}

// A small window of the player's own, as a host hands its main window to
// SPUopen; without a display (no X server under Wine) the desktop window.
void* HostWindow() {
    const HWND window =
        CreateWindowExA(WS_EX_NOACTIVATE, "STATIC", "spuZarn live player", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                        CW_USEDEFAULT, CW_USEDEFAULT, 320, 120, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    std::printf("window=%s\n", window != nullptr ? "own" : "desktop");
    return window != nullptr ? window : GetDesktopWindow();
}
void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

#else
using Library = void*;
using CpuClock = clockid_t;

double Ms(clockid_t clock) {
    timespec t{};
    if (clock_gettime(clock, &t) != 0) return -1;
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}
// The raw monotonic clock: Wine's performance counter reads the same one, so
// the capture pacer's times compare with either player's.
double ClockMs() { return Ms(CLOCK_MONOTONIC_RAW); }
double CpuMs(CpuClock clock) { return Ms(clock); }
double ProcessCpuMs() { return Ms(CLOCK_PROCESS_CPUTIME_ID); }
void SleepMs(int ms) { usleep(ms * 1000); }

Library LoadPlugin() {
    Library library = dlopen(SPUZARN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) std::fprintf(stderr, "live_player: %s\n", dlerror());
    return library;
}
void* Lookup(Library library, const char* name) { return dlsym(library, name); }
void UnloadPlugin(Library library) { dlclose(library); }

CpuClock ThisThreadCpuClock() {
    clockid_t clock = CLOCK_PROCESS_CPUTIME_ID;
    pthread_getcpuclockid(pthread_self(), &clock);
    return clock;
}
// The REGEDIT4 file that stands in for the registry, in a private
// XDG_CONFIG_HOME so that the user's own settings are left alone.
std::filesystem::path configHome;
bool Configure(const Settings& settings) {
    char pattern[] = "/tmp/live_player.XXXXXX";
    if (mkdtemp(pattern) == nullptr) return false;
    configHome = pattern;
    setenv("XDG_CONFIG_HOME", pattern, 1);
    const std::filesystem::path store = configHome / zarn::RegistryKey::kStoreFile;
    std::filesystem::create_directories(store.parent_path());
    std::FILE* file = std::fopen(store.c_str(), "w");
    if (file == nullptr) return false;
    std::fprintf(file, "REGEDIT4\n\n[HKEY_CURRENT_USER\\%s]\n", zarn::RegistrySettings::kKeyPath);
    for (const auto& [name, value] : settings) std::fprintf(file, "\"%s\"=dword:%08x\n", name, value);
    return std::fclose(file) == 0;
}
void Cleanup() { std::filesystem::remove_all(configHome); }

void* HostWindow() { return nullptr; }
void PumpMessages() {}
#endif

// ---------------------------------------------------------------- plugin

struct Exports {
    int32_t(CALLBACK* init)();
    int32_t(CALLBACK* shutdown)();
    int32_t(CALLBACK* open)(void*);
    int32_t(CALLBACK* close)();
    void(CALLBACK* writeRegister)(uint32_t, uint32_t);
    uint32_t(CALLBACK* readRegister)(uint32_t);
    void(CALLBACK* writeDmaMem)(uint16_t*, int32_t);
    void(CALLBACK* registerCallback)(void(CALLBACK*)());
} spu;

template <typename Function>
bool Find(Library library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(Lookup(library, name));
    if (function == nullptr) std::fprintf(stderr, "live_player: no export %s\n", name);
    return function != nullptr;
}

using namespace zarn::reg;

void Write(uint32_t address, uint32_t value) { spu.writeRegister(address, value); }
uint32_t Read(uint32_t address) { return spu.readRegister(address) & 0xFFFF; }
void WriteVoiceBits(uint32_t address, uint32_t bits) {
    Write(address, bits & 0xFFFF);
    Write(address + 2, bits >> 16);
}
uint32_t VoiceBits() { return Read(kVoiceActivity) | Read(kVoiceActivity + 2) << 16; }

// The tone: 8 blocks holding 4 periods of a sine, looping; at pitch 0x1000
// (44100 samples/s) that is 787.5 Hz, one pass 224 samples. The interrupt
// address lies in the fifth block. Voice 0 plays that copy; the others play a
// second copy, so that only voice 0 raises the interrupt, as in a game's mix.
constexpr uint32_t kToneUnit = 0x200;  // 8-byte units: byte 0x1000 of sound RAM
constexpr uint32_t kOtherToneUnit = 0x240;
constexpr int kToneBlocks = 8, kTonePeriods = 4;
constexpr uint32_t kIrqUnit = kToneUnit + 2 * 4;

// Voice n of N plays at pitch 0x1000 (1 + n / N): many voices spread over an
// octave, as in a game's mix, and the mixer interpolates between samples.
uint32_t PitchOf(int voice, int voices) { return static_cast<uint32_t>(0x1000 * (1.0 + double(voice) / voices)); }

// ---------------------------------------------------------------- interrupts

constexpr size_t kMaxIrqs = 1 << 21;
std::vector<double> irqTimes(kMaxIrqs);
std::atomic<size_t> irqCount{0};
std::atomic<CpuClock> soundThread{};  // the thread that called the latest interrupt

void CALLBACK OnIrq() {
    const size_t n = irqCount.fetch_add(1);
    if (n < kMaxIrqs) irqTimes[n] = ClockMs();
    soundThread = ThisThreadCpuClock();
}

struct Irqs {
    double count = 0, first = -1, last = -1;
    double Rate() const { return count > 1 ? (count - 1) * 1000 / (last - first) : 0; }
};

// The interrupts between two moments (ms on ClockMs).
Irqs IrqsBetween(double from, double to) {
    Irqs irqs;
    for (size_t i = 0; i < std::min(irqCount.load(), kMaxIrqs); ++i) {
        if (irqTimes[i] < from || irqTimes[i] > to) continue;
        if (irqs.count++ == 0) irqs.first = irqTimes[i];
        irqs.last = irqTimes[i];
    }
    return irqs;
}

// ---------------------------------------------------------------- the run

void Report(const std::string& key, double value) { std::printf("%s=%.10g\n", key.c_str(), value); }

struct Status {
    int samples = 0, allOn = 0;
    uint32_t envelope = 0;  // voice 0's, at the last sample
};

// Waits until `until`, sampling the voice status every 5 ms once `keyed`
// voices have been keyed on.
void Play(double until, uint32_t keyed, Status& status) {
    while (ClockMs() < until) {
        PumpMessages();
        if (keyed != 0) {
            ++status.samples;
            if ((VoiceBits() & keyed) == keyed) ++status.allOn;
            status.envelope = Read(Voice(0, kEnvelopeVolume));
        }
        SleepMs(5);
    }
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t bufferKib = 8, highResolution = 1;
    double seconds = 2;
    int voices = 1;
    bool cycle = false;
    bool good = argc % 2 == 1;  // options, each with its value
    for (int i = 1; good && i < argc; i += 2) {
        const std::string option = argv[i];
        const double value = std::atof(argv[i + 1]);
        if (option == "--buffer")
            bufferKib = static_cast<uint32_t>(value);
        else if (option == "--high-res")
            highResolution = static_cast<uint32_t>(value);
        else if (option == "--seconds")
            seconds = value;
        else if (option == "--voices")
            voices = std::clamp(static_cast<int>(value), 1, 24);
        else if (option == "--cycle")
            cycle = value != 0;
        else
            good = false;
    }
    if (!good) {
        std::fprintf(stderr,
                     "usage: live_player [--buffer KIB] [--high-res 0|1] [--seconds S] [--voices N]"
                     " [--cycle 0|1]\n");
        return 2;
    }
#if !defined(_WIN32)
    // A capture reader that went away shows as a write error in the plugin,
    // not as a player killed by SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
#endif
    if (!Configure({{"SoundBufferSize", bufferKib},
                    {"HighResolutionMode", highResolution},
                    {"EnableSpuIrq", 1},
                    {"ShowRealtimeConfigWindow", 0},
                    {"EnableReverb", 0}})) {
        std::fprintf(stderr, "live_player: cannot write the settings\n");
        return 1;
    }
    std::printf("sound_buffer_kib=%u\nhigh_resolution=%u\nvoices=%d\nseconds=%g\n", bufferKib, highResolution, voices,
                seconds);

    const Library library = LoadPlugin();
    if (library == nullptr ||
        !(Find(library, "SPUinit", spu.init) && Find(library, "SPUshutdown", spu.shutdown) &&
          Find(library, "SPUopen", spu.open) && Find(library, "SPUclose", spu.close) &&
          Find(library, "SPUwriteRegister", spu.writeRegister) && Find(library, "SPUreadRegister", spu.readRegister) &&
          Find(library, "SPUwriteDMAMem", spu.writeDmaMem) &&
          Find(library, "SPUregisterCallback", spu.registerCallback))) {
        std::fprintf(stderr, "live_player: cannot load the plugin\n");
        return 1;
    }
    Report("init", spu.init());
    spu.registerCallback(OnIrq);

    // The tone goes in through the transfer registers, as a host's DMA.
    std::vector<int16_t> sine(kToneBlocks * spuhost::kAdpcmBlockSamples);
    for (size_t i = 0; i < sine.size(); ++i) {
        const double phase = 2 * std::numbers::pi * kTonePeriods * i / sine.size();
        sine[i] = static_cast<int16_t>(std::lround(16000 * std::sin(phase)));
    }
    const std::vector<uint8_t> tone = spuhost::EncodeAdpcmLoop(sine);
    std::vector<uint16_t> words(tone.size() / 2);
    for (size_t i = 0; i < words.size(); ++i) words[i] = static_cast<uint16_t>(tone[2 * i] | tone[2 * i + 1] << 8);
    for (const uint32_t unit : {kToneUnit, kOtherToneUnit}) {
        Write(kTransferAddress, unit);
        spu.writeDmaMem(words.data(), static_cast<int32_t>(words.size()));
    }

    // Volumes, pitch, start and loop address; attack and decay at once, then
    // the envelope holds at sustain level 15.
    for (int v = 0; v < voices; ++v) {
        const uint32_t volume = 0x3FFF / voices;
        const uint32_t unit = v == 0 ? kToneUnit : kOtherToneUnit;
        for (const auto& [offset, value] : {std::pair{0x0u, volume},
                                            {0x2u, volume},
                                            {0x4u, PitchOf(v, voices)},
                                            {0x6u, unit},
                                            {0x8u, 0x000Fu},
                                            {0xAu, 127u << 6},
                                            {0xEu, unit}}) {
            Write(Voice(v, offset), value);
        }
    }
    const double expectedIrqHz = 44100.0 * PitchOf(0, voices) / 0x1000 / (kToneBlocks * spuhost::kAdpcmBlockSamples);
    Write(kMainVolumeL, 0x3FFF);
    Write(kMainVolumeR, 0x3FFF);
    Write(kIrqAddress, kIrqUnit);
    const uint32_t keyed = (1u << voices) - 1;

    void* const window = HostWindow();
    double open = ClockMs(), processCpuFrom = ProcessCpuMs();  // at the latest SPUopen
    Report("open", spu.open(window));
    Status status;
    Play(open + 300, 0, status);
    Report("voice_bits_before_keyon", VoiceBits());
    const double keyOn = ClockMs();
    WriteVoiceBits(kKeyOn, keyed);

    double close = 0;
    if (cycle) {
        Play(keyOn + seconds * 500, keyed, status);
        close = ClockMs();
        Report("close_first", spu.close());
        const double closed = ClockMs();
        SleepMs(200);
        open = ClockMs();
        processCpuFrom = ProcessCpuMs();
        Report("irq_while_closed", IrqsBetween(closed, open).count);
        Report("open_again", spu.open(window));
        Report("voice_bits_after_reopen", VoiceBits());
    }
    Play(keyOn + seconds * 1000, keyed, status);

    // CPU figures since the latest SPUopen, which started the sound thread.
    const double wall = ClockMs() - open;
    const CpuClock thread = soundThread;
    const double threadCpu = thread != CpuClock{} ? CpuMs(thread) : -1;
    Report("sound_thread_cpu_percent", threadCpu < 0 ? -1 : 100 * threadCpu / wall);
    Report("process_cpu_percent", 100 * (ProcessCpuMs() - processCpuFrom) / wall);

    // Key off: the release ends at once, and the mixer then clears the bits.
    const double keyOff = ClockMs();
    WriteVoiceBits(kKeyOff, keyed);
    double silent = -1;
    while (silent < 0 && ClockMs() < keyOff + 500) {
        PumpMessages();
        if ((VoiceBits() & keyed) == 0) silent = ClockMs() - keyOff;
        SleepMs(1);
    }
    Report("close", spu.close());
    const double closed = ClockMs();
    SleepMs(100);
    Report("irq_after_close", irqCount - IrqsBetween(0, closed).count);
    Report("shutdown", spu.shutdown());
    UnloadPlugin(library);
    Cleanup();

    std::printf("clock_keyon_ms=%.1f\nkeyoff_silent_ms=%.1f\nstatus_samples=%d\nstatus_all_on=%d\nenvelope_last=%u\n",
                keyOn, silent, status.samples, status.allOn, status.envelope);
    Report("irq_expected_hz", expectedIrqHz);
    Report("irq_before_keyon", IrqsBetween(0, keyOn).count);
    const Irqs run = IrqsBetween(keyOn, keyOff);
    Report("irq_rate_hz", run.Rate());
    Report("irq_first_after_keyon_ms", run.count > 0 ? run.first - keyOn : -1);
    Report("irq_last_before_keyoff_ms", run.count > 0 ? keyOff - run.last : -1);
    if (cycle) {
        // Opening again refills the whole buffer at once, a burst of
        // interrupts with the voice already sounding: the second run's rate
        // is taken once the buffer has been played through (176.4 bytes/ms).
        Report("run1_irq_rate_hz", IrqsBetween(keyOn, close).Rate());
        Report("run2_irq_rate_hz", IrqsBetween(open + bufferKib * 1024 / 176.4 + 150, keyOff).Rate());
    }
    return 0;
}
