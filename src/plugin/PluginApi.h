// The PSEmu Pro sound-plugin interface as this library exports it. Every
// export uses the calling convention of the host's plugin functions (stdcall
// on 32-bit Windows) and C linkage; every argument is one 32-bit integer or a
// pointer. Functions that return a 16-bit value return it zero-extended in a
// 32-bit result, which hosts that expect either width read correctly.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define ZARN_CALL __stdcall
#define ZARN_EXPORT
#else
#define ZARN_CALL
#define ZARN_EXPORT __attribute__((visibility("default")))
#endif

namespace zarn {
struct XaDecodeBlock;
struct FreezeRecord;
}  // namespace zarn

// Host functions the library calls back (the CD-volume one never).
typedef void(ZARN_CALL* SpuIrqFunction)(void);
typedef void(ZARN_CALL* SpuCddaVolumeFunction)(uint16_t left, uint16_t right);

extern "C" {
// Identification
ZARN_EXPORT const char* ZARN_CALL PSEgetLibName(void);
ZARN_EXPORT uint32_t ZARN_CALL PSEgetLibType(void);
ZARN_EXPORT uint32_t ZARN_CALL PSEgetLibVersion(void);

// Lifecycle
ZARN_EXPORT int32_t ZARN_CALL SPUinit(void);
ZARN_EXPORT int32_t ZARN_CALL SPUshutdown(void);
ZARN_EXPORT int32_t ZARN_CALL SPUopen(void* hostWindow);
ZARN_EXPORT int32_t ZARN_CALL SPUclose(void);
ZARN_EXPORT int32_t ZARN_CALL SPUtest(void);
ZARN_EXPORT int32_t ZARN_CALL SPUconfigure(void);
ZARN_EXPORT void ZARN_CALL SPUabout(void);

// Registers and sound RAM
ZARN_EXPORT void ZARN_CALL SPUwriteRegister(uint32_t address, uint32_t value);
ZARN_EXPORT uint32_t ZARN_CALL SPUreadRegister(uint32_t address);
ZARN_EXPORT void ZARN_CALL SPUwriteDMA(uint32_t value);
ZARN_EXPORT uint32_t ZARN_CALL SPUreadDMA(void);
ZARN_EXPORT void ZARN_CALL SPUwriteDMAMem(uint16_t* words, int32_t count);
ZARN_EXPORT void ZARN_CALL SPUreadDMAMem(uint16_t* words, int32_t count);

// Callbacks
ZARN_EXPORT void ZARN_CALL SPUregisterCallback(SpuIrqFunction callback);
ZARN_EXPORT void ZARN_CALL SPUregisterCDDAVolume(SpuCddaVolumeFunction callback);

// CD-XA, save states, host-driven render
ZARN_EXPORT void ZARN_CALL SPUplayADPCMchannel(zarn::XaDecodeBlock* block);
ZARN_EXPORT int32_t ZARN_CALL SPUfreeze(uint32_t mode, zarn::FreezeRecord* record);
ZARN_EXPORT void ZARN_CALL SPUrender(int16_t* buffer, uint32_t bytes);

// Legacy entry points that do nothing
ZARN_EXPORT uint32_t ZARN_CALL SPUgetOne(uint32_t);
ZARN_EXPORT void ZARN_CALL SPUputOne(uint32_t, uint32_t);
ZARN_EXPORT void ZARN_CALL SPUsetAddr(uint32_t, uint32_t);
ZARN_EXPORT void ZARN_CALL SPUsetPitch(uint32_t, uint32_t);
ZARN_EXPORT void ZARN_CALL SPUsetVolumeL(uint32_t, uint32_t);
ZARN_EXPORT void ZARN_CALL SPUsetVolumeR(uint32_t, uint32_t);
ZARN_EXPORT void ZARN_CALL SPUplaySample(uint32_t);
ZARN_EXPORT void ZARN_CALL SPUstartChannels1(uint32_t);
ZARN_EXPORT void ZARN_CALL SPUstartChannels2(uint32_t);
ZARN_EXPORT void ZARN_CALL SPUstopChannels1(uint32_t);
ZARN_EXPORT void ZARN_CALL SPUstopChannels2(uint32_t);
ZARN_EXPORT void ZARN_CALL SPUplaySector(void);
}
