// The exported entry points: one-line forwarders into the plugin. Their names
// are listed once, in ExportList.h, from which the build makes the Windows
// .def file and the Linux version script.
#include "plugin/Plugin.h"
#include "plugin/Version.h"

using namespace zarn;

extern "C" {

const char* ZARN_CALL PSEgetLibName(void) { return plugin::kLibraryName; }
uint32_t ZARN_CALL PSEgetLibType(void) { return 4; }  // sound plugin
uint32_t ZARN_CALL PSEgetLibVersion(void) { return kLibVersion; }

int32_t ZARN_CALL SPUinit(void) { return plugin::Init(); }
int32_t ZARN_CALL SPUshutdown(void) { return plugin::Shutdown(); }
int32_t ZARN_CALL SPUopen(void* hostWindow) { return plugin::Open(hostWindow); }
int32_t ZARN_CALL SPUclose(void) { return plugin::Close(); }
int32_t ZARN_CALL SPUtest(void) { return 0; }
int32_t ZARN_CALL SPUconfigure(void) { return plugin::Configure(); }
void ZARN_CALL SPUabout(void) { plugin::About(); }

void ZARN_CALL SPUwriteRegister(uint32_t address, uint32_t value) { plugin::WriteRegister(address, value); }
uint32_t ZARN_CALL SPUreadRegister(uint32_t address) { return plugin::ReadRegister(address); }
void ZARN_CALL SPUwriteDMA(uint32_t value) { plugin::WriteDma(static_cast<uint16_t>(value)); }
uint32_t ZARN_CALL SPUreadDMA(void) { return plugin::ReadDma(); }
void ZARN_CALL SPUwriteDMAMem(uint16_t* words, int32_t count) { plugin::WriteDmaBlock(words, count); }
void ZARN_CALL SPUreadDMAMem(uint16_t* words, int32_t count) { plugin::ReadDmaBlock(words, count); }

void ZARN_CALL SPUregisterCallback(SpuIrqFunction callback) { plugin::RegisterIrqCallback(callback); }
void ZARN_CALL SPUregisterCDDAVolume(SpuCddaVolumeFunction callback) { plugin::RegisterCddaVolumeCallback(callback); }

void ZARN_CALL SPUplayADPCMchannel(XaDecodeBlock* block) { plugin::PlayAdpcmChannel(block); }
int32_t ZARN_CALL SPUfreeze(uint32_t mode, FreezeRecord* record) { return plugin::Freeze(mode, record); }
void ZARN_CALL SPUrender(int16_t* buffer, uint32_t bytes) { plugin::Render(buffer, bytes); }
#if !defined(_WIN32)
void ZARN_CALL SPUplayCDDAchannel(int16_t* pcm, int32_t bytes) { plugin::PlayCddaChannel(pcm, bytes); }
#endif

uint32_t ZARN_CALL SPUgetOne(uint32_t) { return 0; }
void ZARN_CALL SPUputOne(uint32_t, uint32_t) {}
void ZARN_CALL SPUsetAddr(uint32_t, uint32_t) {}
void ZARN_CALL SPUsetPitch(uint32_t, uint32_t) {}
void ZARN_CALL SPUsetVolumeL(uint32_t, uint32_t) {}
void ZARN_CALL SPUsetVolumeR(uint32_t, uint32_t) {}
void ZARN_CALL SPUplaySample(uint32_t) {}
void ZARN_CALL SPUstartChannels1(uint32_t) {}
void ZARN_CALL SPUstartChannels2(uint32_t) {}
void ZARN_CALL SPUstopChannels1(uint32_t) {}
void ZARN_CALL SPUstopChannels2(uint32_t) {}
void ZARN_CALL SPUplaySector(void) {}

}  // extern "C"
