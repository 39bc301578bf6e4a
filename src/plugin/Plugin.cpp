#include "plugin/Plugin.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>

#include "core/SpuCore.h"
#include "output/MixerThread.h"
#include "output/SoundOutput.h"
#include "platform/Platform.h"
#include "platform/SpuLock.h"
#include "state/FreezeExtension.h"
#include "state/FreezeRecord.h"
#include "state/SpuRecorder.h"
#include "store/RegistrySettings.h"
#include "ui/Dialogs.h"
#include "ui/RealtimeWindow.h"
#include "xa/XaDecodeBlock.h"

namespace zarn::plugin {

namespace {

// What lives as long as the library, outside the plugin state: the resource
// instance that DllMain records, the host's functions (a host may register
// them before SPUinit, and they stay registered across SPUshutdown), and the
// recorder (a recording that SPUshutdown could not write stays for the stop
// after the next SPUinit), and the record size the last save-state size
// query reported (SPUinit starts it again at the base size): a save never
// writes past what the host was told. It is read and written whole, without
// the lock.
namespace library {
void* moduleInstance = nullptr;
SpuIrqFunction irqCallback = nullptr;
SpuCddaVolumeFunction cddaVolumeCallback = nullptr;
SpuRecorder recorder;  // guarded by SpuLock
std::atomic<uint32_t> announcedSize{FreezeRecord::kSize};
}  // namespace library

// The recorder behind the real-time window's Record button.
class ButtonRecorder : public ui::RecorderSwitch {
public:
    bool IsRecording() const override { return library::recorder.IsRecording(); }
    void StartRecording() override { plugin::StartRecording(); }
    void StopRecording() override { plugin::StopRecording(); }
};

// What SPUinit makes and SPUshutdown destroys. The settings record, the core
// and the output are all there, or none is (SPUinit could not create one).
// The threads' jobs hand each thread what it drives and its stop flag.
struct PluginState {
    std::unique_ptr<RegistrySettings> settings;
    std::unique_ptr<SoundOutput> output;
    std::unique_ptr<SpuCore> core;
    void* hostWindow = nullptr;  // from SPUopen
    std::atomic<uint8_t> soundStopRequested{0};
    std::atomic<uint8_t> windowStopRequested{0};
    platform::Thread soundThread;
    platform::Thread windowThread;
    MixerThreadJob soundJob{};
    RealtimeWindowJob windowJob{};
    ButtonRecorder buttonRecorder;

    // In this order: the core, the output, the settings record it reads.
    void DestroyObjects() {
        core.reset();
        output.reset();
        settings.reset();  // nothing is saved
    }
};

// Owns the state from SPUinit to SPUshutdown, and is itself never destroyed:
// a library unloaded without SPUshutdown leaves the objects to the sound
// thread that the host did not stop, as it lets go of that thread (~Thread).
union StateOwner {
    constexpr StateOwner() : state() {}
    ~StateOwner() {}
    std::unique_ptr<PluginState> state;
};
constinit StateOwner owner;
std::unique_ptr<PluginState>& state = owner.state;

SpuCore* Core() { return state != nullptr ? state->core.get() : nullptr; }

// How deep the calling thread is inside the host's interrupt function, which
// runs in the middle of a mixed frame.
thread_local int insideIrqCallback = 0;

// The core raises the interrupt through this; the host's function may be
// registered or replaced at any time.
void RaiseHostIrq(void*) {
    if (library::irqCallback == nullptr) return;
    ++insideIrqCallback;
    library::irqCallback();
    --insideIrqCallback;
}

// Threads: the real-time window (when the settings ask for it) then the sound
// thread; stopping waits for each without a time limit.
void StartPluginThreads(PluginState& plugin) {
    if (plugin.settings->ShowRealtimeConfigWindow != 0) {
        plugin.windowStopRequested.store(0);
        plugin.windowJob = {plugin.settings.get(), &plugin.buttonRecorder, library::moduleInstance,
                            &plugin.windowStopRequested};
        plugin.windowThread.Start(RealtimeWindowThread, &plugin.windowJob, platform::Thread::Priority::BelowNormal);
    }
    plugin.soundStopRequested.store(0);
    plugin.soundJob = {plugin.core.get(), plugin.settings.get(), plugin.output.get(), plugin.hostWindow,
                       &plugin.soundStopRequested};
    plugin.soundThread.Start(MixerThread, &plugin.soundJob, platform::Thread::Priority::AboveNormal);
}

void StopPluginThreads(PluginState& plugin) {
    if (plugin.soundThread.Started()) {
        plugin.soundStopRequested.store(1);
        plugin.soundThread.Join();
    }
    // Whatever the setting says by now: a window started by SPUopen is ended.
    if (plugin.windowThread.Started()) {
        plugin.windowStopRequested.store(1);
        plugin.windowThread.Join();
    }
}

}  // namespace

void SetModuleInstance(void* instance) { library::moduleInstance = instance; }

// A second SPUinit without SPUshutdown keeps the objects it has. When an
// object cannot be created, none is kept: the SPU entry points then read
// zeros, render silence and refuse save states. When not even the state can
// be made, SPUinit leaves the plugin as it was before.
int32_t Init() {
    library::announcedSize.store(FreezeRecord::kSize, std::memory_order_relaxed);
    if (state != nullptr) return 0;
    SpuLock::Initialise();
    std::unique_ptr<PluginState> made(new (std::nothrow) PluginState());
    if (made == nullptr) {
        SpuLock::Delete();
        return 0;
    }
    made->settings.reset(new (std::nothrow) RegistrySettings());
    if (made->settings != nullptr) {
        made->settings->Load();
        made->core.reset(new (std::nothrow)
                             SpuCore(*made->settings, SpuCore::ModelFor(made->settings->ConsoleAccurate)));
        if (made->core != nullptr) made->core->SetIrqHandler(RaiseHostIrq, nullptr);
    }
    made->output.reset(new (std::nothrow) SoundOutput(CreateSystemSoundDevice()));
    if (made->settings == nullptr || made->core == nullptr || made->output == nullptr) made->DestroyObjects();
    state = std::move(made);
    return 0;
}

// A run still open is closed first, and a recording still running is written.
int32_t Shutdown() {
    if (state == nullptr) return 0;
    StopPluginThreads(*state);
    StopRecording();
    state->DestroyObjects();
    state.reset();
    SpuLock::Delete();
    return 0;
}

// A second SPUopen without SPUclose keeps the running threads. Before the
// threads start, the stored sound model is read again (that value alone),
// and the core switches to it if it differs: a value saved while the host
// keeps the library loaded applies at the next emulation run.
int32_t Open(void* window) {
    if (Core() == nullptr || state->soundThread.Started() || state->windowThread.Started()) return 0;
    {
        SpuLockGuard lock;
        try {
            state->settings->ReloadConsoleAccurate();  // the settings file may allocate
        } catch (...) {}
        // Never in the middle of a mixed frame, from the interrupt function.
        if (insideIrqCallback == 0) state->core->SwitchModel(SpuCore::ModelFor(state->settings->ConsoleAccurate));
    }
    state->hostWindow = window;
    StartPluginThreads(*state);
    return 0;
}

int32_t Close() {
    if (state != nullptr) StopPluginThreads(*state);
    return 0;
}

int32_t Configure() {
    // Load and Save may allocate (the settings file off Windows).
    try {
        const std::unique_ptr<RegistrySettings> record(new (std::nothrow) RegistrySettings());
        if (record != nullptr) ui::ConfigureSettings(*record, ui::RunConfigureDialog, library::moduleInstance);
    } catch (...) {}
    return 0;
}

void About() { ui::ShowAbout(kLibraryName); }

void WriteRegister(uint32_t address, uint32_t value) {
    SpuCore* const core = Core();
    if (core == nullptr) return;
    SpuLockGuard lock;
    core->DecodeRegisterWrite(address, value);
    if (library::recorder.IsRecording()) library::recorder.Log(platform::TickCount(), address, value);
}

uint16_t ReadRegister(uint32_t address) {
    SpuCore* const core = Core();
    if (core == nullptr) return 0;
    SpuLockGuard lock;
    return core->ReadRegister(address);
}

void WriteDma(uint16_t value) {
    SpuCore* const core = Core();
    if (core == nullptr) return;
    SpuLockGuard lock;
    core->WriteTransfer(value);
}

uint16_t ReadDma() {
    SpuCore* const core = Core();
    if (core == nullptr) return 0;
    SpuLockGuard lock;
    return core->ReadTransfer();
}

void WriteDmaBlock(const uint16_t* words, int32_t count) {
    SpuCore* const core = Core();
    if (core == nullptr || words == nullptr) return;
    SpuLockGuard lock;
    core->WriteTransferBlock(words, count);
}

void ReadDmaBlock(uint16_t* words, int32_t count) {
    if (words == nullptr || count < 1) return;
    SpuCore* const core = Core();
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
    if (state == nullptr) {
        slot = callback;
        return;
    }
    SpuLockGuard lock;
    slot = callback;
}

void RegisterIrqCallback(SpuIrqFunction callback) { StoreCallback(library::irqCallback, callback); }

void RegisterCddaVolumeCallback(SpuCddaVolumeFunction callback) {
    StoreCallback(library::cddaVolumeCallback, callback);
}

namespace {

// With EnableXAWait the host is paced: the lock is let go while the mixer
// drains a CD ring far enough for a block, all of it, also when a save-state
// load called in holding it already. From inside the interrupt function the
// frame being mixed holds the lock, and the ring drains only on this very
// thread: there the block queues what fits without waiting.
template <typename Ready>
void WaitUntil(Ready ready) {
    if (state->settings->EnableXAWait == 0 || insideIrqCallback != 0) return;
    while (!ready()) {
        const int depth = SpuLock::LeaveAll();
        platform::SleepMilliseconds(1);
        SpuLock::Reenter(depth);
    }
}

}  // namespace

void PlayAdpcmChannel(const XaDecodeBlock* block) {
    SpuCore* const core = Core();
    if (core == nullptr || block == nullptr) return;
    SpuLockGuard lock;
    WaitUntil([&] { return core->xa.ReadyFor(*block); });
    core->QueueXaBlock(*block);
}

void PlayCddaChannel(const int16_t* pcm, int32_t bytes) {
    SpuCore* const core = Core();
    if (core == nullptr || pcm == nullptr || bytes < 0 || bytes % 2 != 0) return;
    SpuLockGuard lock;
    const int32_t frames = bytes / 4;
    WaitUntil([&] { return core->cdda.ReadyForPcm(frames); });
    core->cdda.QueuePcm(pcm, frames);
}

// Mode 0 loads, 1 saves, 2 answers the size query; any other mode saves
// without clearing the record first. In the console model the size query
// announces the extended record, and a save writes one only when that is the
// size the host was last told; a load takes an extended record whole, and
// anything else as a base record.
int32_t Freeze(uint32_t mode, FreezeRecord* record) {
    SpuCore* const core = Core();
    if (record == nullptr) return 0;
    uint8_t* const bytes = reinterpret_cast<uint8_t*>(record);
    if (mode == 2) {
        const bool extended = core != nullptr && core->Model() == kConsole;
        const uint32_t size = extended ? kExtendedFreezeSize : FreezeRecord::kSize;
        WriteFreezeHeader(bytes, size);
        library::announcedSize.store(size, std::memory_order_relaxed);
        return 1;
    }
    if (core == nullptr) return 0;  // no state to save or load into: the host must not keep the record
    SpuLockGuard lock;
    const bool console = core->model == kConsole;
    if (mode != 0) {
        if (console && library::announcedSize.load(std::memory_order_relaxed) == kExtendedFreezeSize) {
            SaveExtendedFreeze(*core, bytes, mode == 1);
        } else {
            SaveFreeze(*core, *record, mode == 1);
        }
        return 1;
    }
    if (console && IsExtendedFreeze(bytes)) {
        LoadExtendedFreeze(*core, bytes);
        return 1;
    }
    LoadFreeze(*core, *record);
    if (const XaDecodeBlock* xa = FreezeXaBlock(*record)) PlayAdpcmChannel(xa);
    return 1;
}

void StartRecording() {
    SpuCore* const core = Core();
    if (core == nullptr) return;
    SpuLockGuard lock;
    library::recorder.StartRecording(*core, platform::TickCount);
}

void StopRecording() {
    if (state == nullptr) return;
    class LogFile : public RecordingSink {
    public:
        bool Write(std::span<const Piece> pieces) override {
            return platform::WriteFileAtomically(register_log::kFileName, pieces);
        }
    } file;
    SpuLockGuard lock;
    if (library::recorder.IsRecording() && state->settings != nullptr)
        library::recorder.StopRecording(state->settings->TickParSecond, file);
}

// The caller's buffer holds `bytes` bytes; whole frames of 4 bytes are
// written, silence when there is no core.
void Render(int16_t* buffer, uint32_t bytes) {
    if (buffer == nullptr && bytes >= 4) return;
    SpuCore* const core = Core();
    if (core == nullptr) {
        std::fill_n(buffer, bytes / 4 * 2, int16_t{0});
        return;
    }
    SpuLockGuard lock;
    core->Render(buffer, bytes / 4);
}

Objects Inspect() {
    if (state == nullptr) return {nullptr, nullptr, nullptr, nullptr, &library::recorder, false, false};
    return {state->settings.get(),        state->core.get(),
            state->output.get(),          state->hostWindow,
            &library::recorder,           state->soundThread.Started(),
            state->windowThread.Started()};
}

}  // namespace zarn::plugin
