// The plugin's process-wide objects and the work behind each entry point.
// SPUinit creates the lock and the plugin state: the settings record, the SPU
// core, the sound output, and the threads with their jobs; SPUshutdown
// destroys them. While there is no core (before SPUinit, or when it could not
// create its objects) the entry points that need one change nothing: reads
// give 0, the host's render and DMA-read buffers get zeros, and a save-state
// save or load returns 0.
#pragma once

#include <cstdint>

#include "plugin/PluginApi.h"

namespace zarn {

class DriverSettings;
class SoundOutput;
class SpuCore;
class SpuRecorder;

namespace plugin {

constexpr const char* kLibraryName = "Zarn's SPU Audio Driver";

// The library's resource instance, recorded by DllMain.
void SetModuleInstance(void* instance);

// Lifecycle; each returns 0.
int32_t Init();
int32_t Shutdown();
int32_t Open(void* window);
int32_t Close();

// The configure dialog, on a settings record of its own that it loads, and
// saves when the user ends it with OK; the plugin's record, if any, is left
// alone. Returns 0. Without a GUI (Linux) no dialog opens.
int32_t Configure();
// The About box (Linux: its text on standard error).
void About();

// Registers, transfers, callbacks, XA, save states, render (all under SpuLock).
void WriteRegister(uint32_t address, uint32_t value);
uint16_t ReadRegister(uint32_t address);
void WriteDma(uint16_t value);
uint16_t ReadDma();
void WriteDmaBlock(const uint16_t* words, int32_t count);
void ReadDmaBlock(uint16_t* words, int32_t count);
void RegisterIrqCallback(SpuIrqFunction callback);
void RegisterCddaVolumeCallback(SpuCddaVolumeFunction callback);
void PlayAdpcmChannel(const XaDecodeBlock* block);
// A CD audio sector or any run of 44100 Hz 16-bit stereo frames, `bytes`
// long (a half frame at the end is left out); a null pointer, a negative or
// odd count are ignored. Paced like XA blocks under EnableXAWait.
void PlayCddaChannel(const int16_t* pcm, int32_t bytes);
int32_t Freeze(uint32_t mode, FreezeRecord* record);
void Render(int16_t* buffer, uint32_t bytes);

// The register recorder (under SpuLock). The log goes to "spuZarn.pss" in the
// current directory; a stop that cannot write it keeps the recording for a
// retry, and SPUshutdown writes a recording still running (or, when it
// cannot, keeps it for a stop after the next SPUinit).
void StartRecording();
void StopRecording();

// For tests, fuzz targets and the stress test only: the process-wide objects
// as they are now. A pointer is null where there is no object: before
// SPUinit, after SPUshutdown, or where SPUinit could not create it.
struct Objects {
    DriverSettings* settings;  // the live record
    SpuCore* core;
    SoundOutput* output;
    void* hostWindow;       // from SPUopen
    SpuRecorder* recorder;  // lives as long as the library
    bool soundThreadRunning;
    bool windowThreadRunning;
};
Objects Inspect();

}  // namespace plugin
}  // namespace zarn
