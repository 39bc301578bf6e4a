// Every entry point of the PSEmu Pro sound-plugin interface that the library
// exports, once: X(result, name, parameters). The declarations in
// PluginApi.h, the Windows .def file and the Linux version script (generated
// by the build), and the test programs' lists are all expanded from here.
// ZARN_EXPORT_LIST is the interface both builds export; ZARN_LINUX_EXPORT_LIST,
// written after it, what the Linux library exports besides.
#pragma once

#define ZARN_EXPORT_LIST(X)                                             \
    /* Identification */                                                \
    X(const char*, PSEgetLibName, (void))                               \
    X(uint32_t, PSEgetLibType, (void))                                  \
    X(uint32_t, PSEgetLibVersion, (void))                               \
    /* Lifecycle */                                                     \
    X(int32_t, SPUinit, (void))                                         \
    X(int32_t, SPUshutdown, (void))                                     \
    X(int32_t, SPUopen, (void* hostWindow))                             \
    X(int32_t, SPUclose, (void))                                        \
    X(int32_t, SPUtest, (void))                                         \
    X(int32_t, SPUconfigure, (void))                                    \
    X(void, SPUabout, (void))                                           \
    /* Registers and sound RAM */                                       \
    X(void, SPUwriteRegister, (uint32_t address, uint32_t value))       \
    X(uint32_t, SPUreadRegister, (uint32_t address))                    \
    X(void, SPUwriteDMA, (uint32_t value))                              \
    X(uint32_t, SPUreadDMA, (void))                                     \
    X(void, SPUwriteDMAMem, (uint16_t * words, int32_t count))          \
    X(void, SPUreadDMAMem, (uint16_t * words, int32_t count))           \
    /* Callbacks */                                                     \
    X(void, SPUregisterCallback, (SpuIrqFunction callback))             \
    X(void, SPUregisterCDDAVolume, (SpuCddaVolumeFunction callback))    \
    /* CD-XA, save states, host-driven render */                        \
    X(void, SPUplayADPCMchannel, (zarn::XaDecodeBlock * block))         \
    X(int32_t, SPUfreeze, (uint32_t mode, zarn::FreezeRecord * record)) \
    X(void, SPUrender, (int16_t * buffer, uint32_t bytes))              \
    /* Legacy entry points that do nothing */                           \
    X(uint32_t, SPUgetOne, (uint32_t))                                  \
    X(void, SPUputOne, (uint32_t, uint32_t))                            \
    X(void, SPUsetAddr, (uint32_t, uint32_t))                           \
    X(void, SPUsetPitch, (uint32_t, uint32_t))                          \
    X(void, SPUsetVolumeL, (uint32_t, uint32_t))                        \
    X(void, SPUsetVolumeR, (uint32_t, uint32_t))                        \
    X(void, SPUplaySample, (uint32_t))                                  \
    X(void, SPUstartChannels1, (uint32_t))                              \
    X(void, SPUstartChannels2, (uint32_t))                              \
    X(void, SPUstopChannels1, (uint32_t))                               \
    X(void, SPUstopChannels2, (uint32_t))                               \
    X(void, SPUplaySector, (void))

// Linux emulators (pcsxr) hand the sectors of CD audio tracks to the sound
// plugin as PCM through this, when the plugin has it.
#define ZARN_LINUX_EXPORT_LIST(X) X(void, SPUplayCDDAchannel, (int16_t * pcm, int32_t bytes))
