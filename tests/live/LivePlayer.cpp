// live_player: plays a looping tone through the real plugin in real time, as
// a host does, and reports what the plugin did on its own sound thread.
//
// It loads the plugin by its exports only (spuZarn.dll with LoadLibrary on
// Windows, libspuZarn.so with dlopen elsewhere), writes the settings the run
// asks for, uploads an ADPCM tone, opens the plugin, keys voices on, samples
// the voice status while they play, keys them off and closes. Every
// interrupt callback is timestamped. Prints key=value lines: times are in
// milliseconds since the player started; clock_* values are the monotonic
// clock itself (CLOCK_MONOTONIC_RAW, which Wine's performance counter also
// reads), for comparing with the capture pacer.
//
//   live_player [--library PATH] [--buffer KIB] [--high-res 0|1] [--seconds S]
//               [--voices N] [--lead MS] [--cycle] [--wine-audio DRIVER]
//
// --cycle closes the plugin halfway and opens it again: the voices must go on.
// --wine-audio picks Wine's sound driver (in the Wine prefix) before the
// plugin starts, so a desktop's PulseAudio cannot take the place of ALSA.
#include "support/AdpcmEncoder.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#include <tlhelp32.h>
#else
#include <dirent.h>
#include <dlfcn.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#define CALLBACK
#endif

namespace {

using zarn::test::EncodeAdpcmLoop;
using zarn::test::SineSamples;

// ---------------------------------------------------------------- platform

#if defined(_WIN32)
using ThreadId = DWORD;
using Library = HMODULE;

double ClockMs() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart * 1000.0 / frequency;
}
void SleepMs(int ms) { Sleep(static_cast<DWORD>(ms)); }
ThreadId CurrentThread() { return GetCurrentThreadId(); }

std::vector<ThreadId> ListThreads() {
    std::vector<ThreadId> ids;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.push_back(entry.th32ThreadID);
    }
    CloseHandle(snapshot);
    return ids;
}

double FileTimeMs(const FILETIME& t) {
    return (static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e4;
}

double ThreadCpuMs(ThreadId id) {
    const HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (thread == nullptr) return -1;
    FILETIME created, exited, kernel, user;
    const bool ok = GetThreadTimes(thread, &created, &exited, &kernel, &user);
    CloseHandle(thread);
    return ok ? FileTimeMs(kernel) + FileTimeMs(user) : -1;
}

double ProcessCpuMs() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
    return FileTimeMs(kernel) + FileTimeMs(user);
}

Library LoadPlugin(const std::string& path) { return LoadLibraryA(path.c_str()); }
void* Lookup(Library library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(library, name));
}
void UnloadPlugin(Library library) { FreeLibrary(library); }

constexpr const char* kDefaultLibrary = "spuZarn.dll";
constexpr const char* kPlatform = "windows";

// The plugin's registry key, as its settings dialog would leave it.
bool WriteSettings(const std::vector<std::pair<const char*, uint32_t>>& values) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Vision Thing\\PSEmu Pro\\SPU\\spuZarn", 0, nullptr, 0,
                        KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    bool ok = true;
    for (const auto& [name, value] : values) {
        const DWORD data = value;
        ok = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data) ==
                 ERROR_SUCCESS && ok;
    }
    RegCloseKey(key);
    return ok;
}

// Under Wine: the version, and the sound driver Wine is to use from now on.
std::string WineVersion() {
    const auto get = reinterpret_cast<const char* (*)()>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")));
    return get != nullptr ? get() : "";
}
bool ChooseWineAudio(const std::string& driver) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Drivers", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool ok = RegSetValueExA(key, "Audio", 0, REG_SZ, reinterpret_cast<const BYTE*>(driver.c_str()),
                                   static_cast<DWORD>(driver.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

// A small window of the player's own, as a host hands its main window to
// SPUopen; without a display (no X server under Wine) the desktop window.
HWND window = nullptr;
const char* windowKind = "none";
void* HostWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "spuZarnLivePlayer";
    RegisterClassA(&windowClass);
    window = CreateWindowExA(0, windowClass.lpszClassName, "spuZarn live player", WS_OVERLAPPEDWINDOW,
                             CW_USEDEFAULT, CW_USEDEFAULT, 320, 120, nullptr, nullptr, windowClass.hInstance,
                             nullptr);
    if (window != nullptr) {
        ShowWindow(window, SW_SHOWNOACTIVATE);
        windowKind = "own";
        return window;
    }
    windowKind = "desktop";
    return GetDesktopWindow();
}
void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
void Cleanup() {
    if (window != nullptr) DestroyWindow(window);
}

#else
using ThreadId = pid_t;
using Library = void*;

// The raw monotonic clock: Wine's performance counter reads the same one, so
// the capture pacer's times compare with either player's.
double ClockMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}
void SleepMs(int ms) {
    timespec delay{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&delay, &delay) != 0) {
    }
}
ThreadId CurrentThread() { return static_cast<ThreadId>(syscall(SYS_gettid)); }

std::vector<ThreadId> ListThreads() {
    std::vector<ThreadId> ids;
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return ids;
    while (const dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] != '.') ids.push_back(static_cast<ThreadId>(std::atoi(entry->d_name)));
    }
    closedir(tasks);
    return ids;
}

// utime and stime, fields 14 and 15 of the task's stat line (the name in
// parentheses may hold spaces, so counting starts after it).
double ThreadCpuMs(ThreadId id) {
    std::ifstream stat("/proc/self/task/" + std::to_string(id) + "/stat");
    std::string line;
    if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) return -1;
    const char* p = line.c_str() + line.rfind(')') + 1;
    unsigned long long user = 0, system = 0;
    if (std::sscanf(p, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user, &system) != 2) return -1;
    return (user + system) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double ProcessCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

Library LoadPlugin(const std::string& path) {
    Library library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) std::fprintf(stderr, "live_player: %s\n", dlerror());
    return library;
}
void* Lookup(Library library, const char* name) { return dlsym(library, name); }
void UnloadPlugin(Library library) { dlclose(library); }

#ifdef SPUZARN_LIBRARY
constexpr const char* kDefaultLibrary = SPUZARN_LIBRARY;
#else
constexpr const char* kDefaultLibrary = "libspuZarn.so";
#endif
constexpr const char* kPlatform = "native";

// The REGEDIT4 file that stands in for the registry, in a private
// XDG_CONFIG_HOME so that the user's own settings are left alone.
std::filesystem::path configHome;
bool WriteSettings(const std::vector<std::pair<const char*, uint32_t>>& values) {
    char pattern[] = "/tmp/live_player.XXXXXX";
    if (mkdtemp(pattern) == nullptr) return false;
    configHome = pattern;
    setenv("XDG_CONFIG_HOME", pattern, 1);
    std::filesystem::create_directories(configHome / "spuZarn");
    std::ofstream file(configHome / "spuZarn" / "registry.reg");
    file << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Vision Thing\\PSEmu Pro\\SPU\\spuZarn]\n";
    for (const auto& [name, value] : values) {
        char line[96];
        std::snprintf(line, sizeof line, "\"%s\"=dword:%08x\n", name, value);
        file << line;
    }
    return static_cast<bool>(file.flush());
}
std::string WineVersion() { return ""; }
bool ChooseWineAudio(const std::string&) { return true; }
const char* windowKind = "none";
void* HostWindow() { return nullptr; }
void PumpMessages() {}
void Cleanup() {
    std::error_code ignored;
    if (!configHome.empty()) std::filesystem::remove_all(configHome, ignored);
}
#endif

// ---------------------------------------------------------------- plugin

struct Exports {
    int32_t(CALLBACK* SPUinit)();
    int32_t(CALLBACK* SPUshutdown)();
    int32_t(CALLBACK* SPUopen)(void*);
    int32_t(CALLBACK* SPUclose)();
    void(CALLBACK* SPUwriteRegister)(uint32_t, uint32_t);
    uint32_t(CALLBACK* SPUreadRegister)(uint32_t);
    void(CALLBACK* SPUwriteDMAMem)(uint16_t*, int32_t);
    void(CALLBACK* SPUregisterCallback)(void(CALLBACK*)());
};

template <typename Function>
bool Resolve(Library library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(Lookup(library, name));
    if (function == nullptr) std::fprintf(stderr, "live_player: no export %s\n", name);
    return function != nullptr;
}

Exports spu;
void Write(uint32_t address, uint32_t value) { spu.SPUwriteRegister(address, value); }
uint16_t Read(uint32_t address) { return static_cast<uint16_t>(spu.SPUreadRegister(address)); }

// Register map.
constexpr uint32_t kVoiceBase = 0x1F801C00;  // + 16 * voice
constexpr uint32_t kMainVolumeL = 0x1F801D80, kMainVolumeR = 0x1F801D82;
constexpr uint32_t kKeyOn = 0x1F801D88, kKeyOff = 0x1F801D8C;
constexpr uint32_t kVoiceStatus = 0x1F801D9C;  // voices 0-15; 0x1F801D9E voices 16-23
constexpr uint32_t kIrqAddress = 0x1F801DA4, kTransferAddress = 0x1F801DA6;
constexpr uint32_t kEnvelope = 0x0C;  // a voice's current envelope volume

// The tone: 8 blocks holding 4 periods of a sine, looping; at pitch 0x1000
// (44100 samples/s) that is 787.5 Hz, one pass 224 samples.
constexpr uint32_t kToneUnit = 0x200;  // 8-byte units: byte 0x1000 of sound RAM
constexpr int kToneBlocks = 8, kTonePeriods = 4;
constexpr int kToneSamples = kToneBlocks * zarn::test::kAdpcmBlockSamples;
constexpr uint32_t kIrqUnit = kToneUnit + 2 * 4;  // the fifth block
// Attack and decay at once, then the envelope holds at sustain level 15:
// 15 * 0x800 + 0x7FF.
constexpr uint16_t kSustainVolume = 30719;

// Voice n of N plays at pitch 0x1000 (1 + n / N): many voices spread over an
// octave, as in a game's mix, and the mixer interpolates between samples.
uint32_t PitchOf(int voice, int voices) { return static_cast<uint32_t>(0x1000 * (1.0 + double(voice) / voices)); }

// ---------------------------------------------------------------- interrupts

constexpr size_t kMaxIrqs = 1 << 21;
std::vector<double> irqTimes(kMaxIrqs);
std::atomic<size_t> irqCount{0};
std::atomic<ThreadId> irqThread{0};

void CALLBACK OnIrq() {
    const size_t n = irqCount.fetch_add(1, std::memory_order_relaxed);
    if (n < kMaxIrqs) irqTimes[n] = ClockMs();
    if (n == 0) irqThread.store(CurrentThread());
}

struct IrqStats {
    size_t count = 0;
    double first = -1, last = -1, rate = 0, longestGap = 0;
};

// The interrupts between two moments (ms on ClockMs).
IrqStats IrqsBetween(double from, double to) {
    IrqStats s;
    double previous = -1;
    const size_t n = std::min(irqCount.load(), kMaxIrqs);
    for (size_t i = 0; i < n; ++i) {
        const double t = irqTimes[i];
        if (t < from || t > to) continue;
        if (s.count++ == 0) s.first = t;
        if (previous >= 0) s.longestGap = std::max(s.longestGap, t - previous);
        previous = s.last = t;
    }
    if (s.count > 1 && s.last > s.first) s.rate = (s.count - 1) * 1000.0 / (s.last - s.first);
    return s;
}

// ---------------------------------------------------------------- the run

struct Options {
    std::string library = kDefaultLibrary;
    uint32_t bufferKib = 8;
    uint32_t highResolution = 1;
    double seconds = 2;
    int voices = 1;
    int leadMs = 300;
    bool cycle = false;
    std::string wineAudio;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--cycle") o.cycle = true;
        else if (!hasValue) return false;
        else if (a == "--library") o.library = argv[++i];
        else if (a == "--buffer") o.bufferKib = static_cast<uint32_t>(std::atoi(argv[++i]));
        else if (a == "--high-res") o.highResolution = static_cast<uint32_t>(std::atoi(argv[++i]));
        else if (a == "--seconds") o.seconds = std::atof(argv[++i]);
        else if (a == "--voices") o.voices = std::clamp(std::atoi(argv[++i]), 1, 24);
        else if (a == "--lead") o.leadMs = std::atoi(argv[++i]);
        else if (a == "--wine-audio") o.wineAudio = argv[++i];
        else return false;
    }
    return true;
}

double start = ClockMs();
void Report(const char* key, double value) { std::printf("%s=%.3f\n", key, value); }
void ReportTime(const char* key, double clock) { Report(key, clock < 0 ? -1 : clock - start); }
void ReportInt(const char* key, long long value) { std::printf("%s=%lld\n", key, value); }

struct Status {
    int samples = 0, allOn = 0;
    double firstRefresh = -1;  // first envelope value that only a mixing pass can have written
    double sustain = -1;       // first time voice 0 read the sustain volume
    uint16_t lastEnvelope = 0;
};

uint32_t VoiceBits() {
    return Read(kVoiceStatus) | static_cast<uint32_t>(Read(kVoiceStatus + 2)) << 16;
}

// Waits until `until`, sampling the voice status every 5 ms.
void Play(double until, uint32_t keyed, Status& status) {
    while (ClockMs() < until) {
        PumpMessages();
        const uint32_t bits = VoiceBits();
        const uint16_t envelope = Read(kVoiceBase + kEnvelope);
        const double now = ClockMs();
        ++status.samples;
        if ((bits & keyed) == keyed) ++status.allOn;
        if (status.firstRefresh < 0 && envelope > 1) status.firstRefresh = now;
        if (status.sustain < 0 && envelope == kSustainVolume) status.sustain = now;
        status.lastEnvelope = envelope;
        SleepMs(5);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: live_player [--library PATH] [--buffer KIB] [--high-res 0|1] [--seconds S]\n"
                     "                   [--voices N] [--lead MS] [--cycle] [--wine-audio DRIVER]\n");
        return 2;
    }
#if !defined(_WIN32)
    // A capture reader that went away shows as a write error in the plugin,
    // not as a player killed by SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
#endif
    std::printf("platform=%s\n", kPlatform);
    const std::string wine = WineVersion();
    if (!wine.empty()) std::printf("wine=%s\n", wine.c_str());
    if (!o.wineAudio.empty() && !wine.empty() && !ChooseWineAudio(o.wineAudio)) {
        std::fprintf(stderr, "live_player: cannot choose Wine's sound driver\n");
        return 1;
    }
    if (!WriteSettings({{"SoundBufferSize", o.bufferKib},
                        {"HighResolutionMode", o.highResolution},
                        {"EnableSpuIrq", 1},
                        {"ShowRealtimeConfigWindow", 0},
                        {"EnableReverb", 0}})) {
        std::fprintf(stderr, "live_player: cannot write the settings\n");
        return 1;
    }
    std::printf("library=%s\nsound_buffer_kib=%u\nhigh_resolution=%u\nvoices=%d\nseconds=%.3f\ncycle=%d\n",
                o.library.c_str(), o.bufferKib, o.highResolution, o.voices, o.seconds, o.cycle ? 1 : 0);

    const Library library = LoadPlugin(o.library);
    if (library == nullptr) {
        std::fprintf(stderr, "live_player: cannot load %s\n", o.library.c_str());
        return 1;
    }
    if (!(Resolve(library, "SPUinit", spu.SPUinit) && Resolve(library, "SPUshutdown", spu.SPUshutdown) &&
          Resolve(library, "SPUopen", spu.SPUopen) && Resolve(library, "SPUclose", spu.SPUclose) &&
          Resolve(library, "SPUwriteRegister", spu.SPUwriteRegister) &&
          Resolve(library, "SPUreadRegister", spu.SPUreadRegister) &&
          Resolve(library, "SPUwriteDMAMem", spu.SPUwriteDMAMem) &&
          Resolve(library, "SPUregisterCallback", spu.SPUregisterCallback))) {
        return 1;
    }
    ReportInt("init", spu.SPUinit());
    spu.SPUregisterCallback(OnIrq);

    std::vector<uint8_t> tone = EncodeAdpcmLoop(SineSamples(kToneBlocks, kTonePeriods, 16000));
    std::vector<uint16_t> words(tone.size() / 2);
    for (size_t i = 0; i < words.size(); ++i) words[i] = static_cast<uint16_t>(tone[2 * i] | tone[2 * i + 1] << 8);
    Write(kTransferAddress, kToneUnit);
    spu.SPUwriteDMAMem(words.data(), static_cast<int32_t>(words.size()));

    const uint32_t volume = 0x3FFF / o.voices;
    double expectedIrqRate = 0;
    for (int v = 0; v < o.voices; ++v) {
        const uint32_t base = kVoiceBase + 16 * v;
        for (const auto& [k, value] : {std::pair{0x0u, volume}, {0x2u, volume}, {0x4u, PitchOf(v, o.voices)},
                                       {0x6u, kToneUnit}, {0x8u, 0x000Fu}, {0xAu, 127u << 6}, {0xEu, kToneUnit}}) {
            Write(base + k, value);
        }
        expectedIrqRate += 44100.0 * PitchOf(v, o.voices) / 0x1000 / kToneSamples;
    }
    Write(kMainVolumeL, 0x3FFF);
    Write(kMainVolumeR, 0x3FFF);
    Write(kIrqAddress, kIrqUnit);
    const uint32_t keyed = o.voices == 24 ? 0xFFFFFF : (1u << o.voices) - 1;

    // Open: the sound thread is the one that appears now.
    void* const hostWindow = HostWindow();
    const std::vector<ThreadId> before = ListThreads();
    const double open1 = ClockMs();
    ReportInt("open", spu.SPUopen(hostWindow));
    const double opened1 = ClockMs();
    std::vector<ThreadId> fresh;
    for (const ThreadId id : ListThreads()) {
        if (std::find(before.begin(), before.end(), id) == before.end()) fresh.push_back(id);
    }
    std::printf("window=%s\n", windowKind);
    const double cpuFrom = ClockMs(), processFrom = ProcessCpuMs();
    std::vector<double> threadFrom;
    for (const ThreadId id : fresh) threadFrom.push_back(ThreadCpuMs(id));

    Status status;
    Play(opened1 + o.leadMs, 0, status);
    const uint32_t quietBefore = VoiceBits();
    const double keyOn = ClockMs();
    Write(kKeyOn, keyed & 0xFFFF);
    if (keyed >> 16) Write(kKeyOn + 2, keyed >> 16);
    const double playEnd = keyOn + o.seconds * 1000;

    // CPU figures over the first run, taken while its sound thread exists.
    double wall = 0, threadCpu = -1, processCpu = 0;
    ThreadId soundThread = 0;
    const auto measure = [&] {
        wall = ClockMs() - cpuFrom;
        processCpu = ProcessCpuMs() - processFrom;
        for (size_t i = 0; i < fresh.size(); ++i) {
            // The thread that calls the interrupt; failing that, the only new one.
            if (fresh[i] == irqThread.load() || (irqThread.load() == 0 && fresh.size() == 1)) {
                soundThread = fresh[i];
                threadCpu = ThreadCpuMs(fresh[i]) - threadFrom[i];
            }
        }
    };

    double close1 = -1, closed1 = -1, open2 = -1;
    uint32_t bitsWhileClosed = 0, bitsAfterReopen = 0;
    if (o.cycle) {
        Play(keyOn + o.seconds * 500, keyed, status);
        measure();
        close1 = ClockMs();
        ReportInt("close_first", spu.SPUclose());
        closed1 = ClockMs();
        SleepMs(200);
        bitsWhileClosed = VoiceBits();
        open2 = ClockMs();
        ReportInt("open_again", spu.SPUopen(hostWindow));
        bitsAfterReopen = VoiceBits();
    }
    Play(playEnd, keyed, status);
    if (!o.cycle) measure();

    // Key off: the release ends at once, and the mixer then clears the bits.
    const double keyOff = ClockMs();
    Write(kKeyOff, keyed & 0xFFFF);
    if (keyed >> 16) Write(kKeyOff + 2, keyed >> 16);
    double silent = -1;
    while (ClockMs() < keyOff + 500 && silent < 0) {
        PumpMessages();
        if ((VoiceBits() & keyed) == 0) silent = ClockMs();
        SleepMs(1);
    }
    const double close2 = ClockMs();
    ReportInt("close", spu.SPUclose());
    const double closed2 = ClockMs();
    SleepMs(100);
    const size_t irqsAfterClose = irqCount.load();
    ReportInt("shutdown", spu.SPUshutdown());
    Cleanup();

    ReportTime("t_open_ms", open1);
    Report("open_call_ms", opened1 - open1);
    ReportTime("t_keyon_ms", keyOn);
    std::printf("clock_open_ms=%.1f\nclock_keyon_ms=%.1f\n", open1, keyOn);
    ReportTime("t_keyoff_ms", keyOff);
    ReportTime("t_close_ms", close2);
    Report("close_call_ms", closed2 - close2);
    Report("irq_expected_hz", expectedIrqRate);
    ReportInt("irq_total", static_cast<long long>(irqsAfterClose));
    ReportInt("irq_after_close", static_cast<long long>(irqsAfterClose - IrqsBetween(0, closed2).count));
    ReportInt("irq_before_keyon", static_cast<long long>(IrqsBetween(0, keyOn).count));
    const auto reportRun = [&](const char* prefix, double from, double to) {
        const IrqStats s = IrqsBetween(from, to);
        const std::string p = prefix;
        ReportInt((p + "irq_count").c_str(), static_cast<long long>(s.count));
        ReportTime((p + "irq_first_ms").c_str(), s.first);
        ReportTime((p + "irq_last_ms").c_str(), s.last);
        Report((p + "irq_rate_hz").c_str(), s.rate);
        Report((p + "irq_longest_gap_ms").c_str(), s.longestGap);
    };
    reportRun("", keyOn, keyOff);
    const IrqStats firstIrq = IrqsBetween(keyOn, keyOff);
    Report("irq_first_after_keyon_ms", firstIrq.count > 0 ? firstIrq.first - keyOn : -1);
    if (o.cycle) {
        // Opening again refills the whole buffer at once, a burst of
        // interrupts with the voice already sounding: the second run's rate
        // is taken once the buffer has been played through.
        const double settle = o.bufferKib * 1024 / 176.4 + 150;
        Report("run2_settle_ms", settle);
        reportRun("run1_", keyOn, close1);
        reportRun("run2_", open2 + settle, keyOff);
        ReportInt("irq_while_closed", static_cast<long long>(IrqsBetween(closed1, open2).count));
        std::printf("voice_bits_while_closed=%u\nvoice_bits_after_reopen=%u\n", bitsWhileClosed,
                    bitsAfterReopen);
    }
    std::printf("voice_bits_before_keyon=%u\n", quietBefore);
    ReportInt("status_samples", status.samples);
    ReportInt("status_all_on", status.allOn);
    Report("envelope_refresh_ms", status.firstRefresh < 0 ? -1 : status.firstRefresh - keyOn);
    Report("envelope_sustain_ms", status.sustain < 0 ? -1 : status.sustain - keyOn);
    ReportInt("envelope_last", status.lastEnvelope);
    Report("keyoff_silent_ms", silent < 0 ? -1 : silent - keyOff);

    ReportInt("new_threads", static_cast<long long>(fresh.size()));
    ReportInt("sound_thread_id", soundThread);
    Report("wall_ms", wall);
    Report("sound_thread_cpu_ms", threadCpu);
    Report("sound_thread_cpu_percent", threadCpu < 0 ? -1 : 100 * threadCpu / wall);
    Report("process_cpu_percent", 100 * processCpu / wall);
    UnloadPlugin(library);
    return 0;
}
