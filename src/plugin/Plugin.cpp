#include "plugin/Plugin.h"

#include <algorithm>
#include <memory>
#include <new>

#include "output/MixerThread.h"
#include "output/SoundOutput.h"
#include "platform/Platform.h"
#include "platform/SpuLock.h"
#include "settings/RegistrySettings.h"
#include "spu/SpuCore.h"
#include "state/FreezeRecord.h"
#include "state/SpuRecorder.h"
#include "ui/Dialogs.h"
#include "ui/RealtimeWindow.h"
#include "xa/XaDecodeBlock.h"

namespace zarn::plugin {

void* moduleInstance = nullptr;
DriverSettings* currentSettings = nullptr;
SpuCore* core = nullptr;
SoundOutput* output = nullptr;
void* hostWindow = nullptr;
std::atomic<uint8_t> soundStopRequested{0};
std::atomic<uint8_t> windowStopRequested{0};
SpuIrqFunction irqCallback = nullptr;
SpuCddaVolumeFunction cddaVolumeCallback = nullptr;
SpuRecorder recorder;

namespace {

bool initialised = false;
platform::Thread soundThread;
platform::Thread windowThread;
MixerThreadJob soundJob;
RealtimeWindowJob windowJob;

// The recorder behind the real-time window's Record button.
class ButtonRecorder : public ui::RecorderSwitch {
public:
    bool IsRecording() const override { return recorder.IsRecording(); }
    void StartRecording() override { plugin::StartRecording(); }
    void StopRecording() override { plugin::StopRecording(); }
} buttonRecorder;

// The core raises the interrupt through this; the host's function may be
// registered or replaced at any time.
// How deep the calling thread is inside the host's interrupt function, which
// runs in the middle of a mixed frame.
thread_local int insideIrqCallback = 0;

void RaiseHostIrq(void*) {
    if (irqCallback == nullptr) return;
    ++insideIrqCallback;
    irqCallback();
    --insideIrqCallback;
}

void DestroyObjects() {
    delete core;
    core = nullptr;
    delete output;
    output = nullptr;
    delete currentSettings;  // nothing is saved
    currentSettings = nullptr;
}

}  // namespace

// A second SPUinit without SPUshutdown keeps the objects it has. When an
// object cannot be created, none is kept: the SPU entry points then read
// zeros, render silence and refuse save states.
int32_t Init() {
    if (initialised) return 0;
    SpuLock::Initialise();
    initialised = true;
    currentSettings = new (std::nothrow) RegistrySettings();
    if (currentSettings != nullptr) {
        currentSettings->Load();
        core = new (std::nothrow) SpuCore(*currentSettings);
        if (core != nullptr) core->SetIrqHandler(RaiseHostIrq, nullptr);
    }
    output = new (std::nothrow) SoundOutput(CreateSystemSoundDevice());
    if (currentSettings == nullptr || core == nullptr || output == nullptr) DestroyObjects();
    return 0;
}

// A run still open is closed first, and a recording still running is written.
int32_t Shutdown() {
    if (!initialised) return 0;
    StopPluginThreads();
    StopRecording();
    DestroyObjects();
    SpuLock::Delete();
    initialised = false;
    return 0;
}

// A second SPUopen without SPUclose keeps the running threads.
int32_t Open(void* window) {
    if (core == nullptr || SoundThreadRunning() || WindowThreadRunning()) return 0;
    hostWindow = window;
    StartPluginThreads();
    return 0;
}

int32_t Close() {
    StopPluginThreads();
    return 0;
}

int32_t Configure() {
    // Load and Save may allocate (the settings file off Windows).
    try {
        const std::unique_ptr<RegistrySettings> record(new (std::nothrow) RegistrySettings());
        if (record != nullptr) ui::ConfigureSettings(*record, ui::RunConfigureDialog, moduleInstance);
    } catch (...) {}
    return 0;
}

void About() { ui::ShowAbout(kLibraryName); }

void StartPluginThreads() {
    if (currentSettings->ShowRealtimeConfigWindow != 0) {
        windowStopRequested.store(0);
        windowJob = {currentSettings, &buttonRecorder, moduleInstance, &windowStopRequested};
        windowThread.Start(RealtimeWindowThread, &windowJob, platform::Thread::Priority::BelowNormal);
    }
    soundStopRequested.store(0);
    soundJob = {core, currentSettings, output, hostWindow, &soundStopRequested};
    soundThread.Start(MixerThread, &soundJob, platform::Thread::Priority::AboveNormal);
}

void StopPluginThreads() {
    if (soundThread.Started()) {
        soundStopRequested.store(1);
        soundThread.Join();
    }
    // Whatever the setting says by now: a window started by SPUopen is ended.
    if (windowThread.Started()) {
        windowStopRequested.store(1);
        windowThread.Join();
    }
}

bool SoundThreadRunning() { return soundThread.Started(); }
bool WindowThreadRunning() { return windowThread.Started(); }

void WriteRegister(uint32_t address, uint32_t value) {
    if (core == nullptr) return;
    SpuLockGuard lock;
    core->DecodeRegisterWrite(address, value);
    if (recorder.IsRecording()) recorder.Log(platform::TickCount(), address, value);
}

uint16_t ReadRegister(uint32_t address) {
    if (core == nullptr) return 0;
    SpuLockGuard lock;
    return core->ReadRegister(address);
}

void WriteDma(uint16_t value) {
    if (core == nullptr) return;
    SpuLockGuard lock;
    core->WriteTransfer(value);
}

uint16_t ReadDma() {
    if (core == nullptr) return 0;
    SpuLockGuard lock;
    return core->ReadTransfer();
}

void WriteDmaBlock(const uint16_t* words, int32_t count) {
    if (core == nullptr || words == nullptr) return;
    SpuLockGuard lock;
    core->WriteTransferBlock(words, count);
}

void ReadDmaBlock(uint16_t* words, int32_t count) {
    if (words == nullptr || count < 1) return;
    if (core == nullptr) {
        std::fill_n(words, count, uint16_t{0});  // nothing to read: not the host's old words either
        return;
    }
    SpuLockGuard lock;
    core->ReadTransferBlock(words, count);
}

// Stored under the lock once it exists, so no mixing pass sees half a change.
template <typename Function>
void StoreCallback(Function& slot, Function callback) {
    if (!initialised) {
        slot = callback;
        return;
    }
    SpuLockGuard lock;
    slot = callback;
}

void RegisterIrqCallback(SpuIrqFunction callback) { StoreCallback(irqCallback, callback); }

void RegisterCddaVolumeCallback(SpuCddaVolumeFunction callback) { StoreCallback(cddaVolumeCallback, callback); }

namespace {

// With EnableXAWait the host is paced: the lock is let go while the mixer
// drains a CD ring far enough for a block, all of it, also when a save-state
// load called in holding it already. From inside the interrupt function the
// frame being mixed holds the lock, and the ring drains only on this very
// thread: there the block queues what fits without waiting.
template <typename Ready>
void WaitUntil(Ready ready) {
    if (currentSettings->EnableXAWait == 0 || insideIrqCallback != 0) return;
    while (!ready()) {
        const int depth = SpuLock::LeaveAll();
        platform::SleepMilliseconds(1);
        SpuLock::Reenter(depth);
    }
}

}  // namespace

void PlayAdpcmChannel(const XaDecodeBlock* block) {
    if (core == nullptr || block == nullptr) return;
    SpuLockGuard lock;
    WaitUntil([&] { return core->xa.ReadyFor(*block); });
    core->xa.QueueBlock(*block);
}

void PlayCddaChannel(const int16_t* pcm, int32_t bytes) {
    if (core == nullptr || pcm == nullptr || bytes < 0 || bytes % 2 != 0) return;
    SpuLockGuard lock;
    const int32_t frames = bytes / 4;
    WaitUntil([&] { return core->cdda.ReadyForPcm(frames); });
    core->cdda.QueuePcm(pcm, frames);
}

// Mode 0 loads, 1 saves, 2 answers the size query; any other mode saves
// without clearing the record first.
int32_t Freeze(uint32_t mode, FreezeRecord* record) {
    if (record == nullptr) return 0;
    if (mode == 2) {
        WriteFreezeHeader(reinterpret_cast<uint8_t*>(record));
        return 1;
    }
    if (core == nullptr) return 0;  // no state to save or load into: the host must not keep the record
    SpuLockGuard lock;
    if (mode != 0) {
        SaveFreeze(*core, *record, mode == 1);
        return 1;
    }
    LoadFreeze(*core, *record);
    if (const XaDecodeBlock* xa = FreezeXaBlock(*record)) PlayAdpcmChannel(xa);
    return 1;
}

void StartRecording() {
    if (core == nullptr) return;
    SpuLockGuard lock;
    recorder.StartRecording(*core, platform::TickCount);
}

void StopRecording() {
    if (!initialised) return;
    class LogFile : public RecordingSink {
    public:
        bool Write(std::span<const Piece> pieces) override {
            return platform::WriteFileAtomically(register_log::kFileName, pieces);
        }
    } file;
    SpuLockGuard lock;
    if (recorder.IsRecording() && currentSettings != nullptr)
        recorder.StopRecording(currentSettings->TickParSecond, file);
}

// The caller's buffer holds `bytes` bytes; whole frames of 4 bytes are
// written, silence when there is no core.
void Render(int16_t* buffer, uint32_t bytes) {
    if (buffer == nullptr && bytes >= 4) return;
    if (core == nullptr) {
        std::fill_n(buffer, bytes / 4 * 2, int16_t{0});
        return;
    }
    SpuLockGuard lock;
    core->Render(buffer, bytes / 4);
}

}  // namespace zarn::plugin
