// The plugin interface's export names, as hosts look them up.
#pragma once

namespace zarn::test {

constexpr const char* kExportNames[] = {
    "PSEgetLibName", "PSEgetLibType", "PSEgetLibVersion", "SPUinit", "SPUshutdown", "SPUopen",
    "SPUclose", "SPUtest", "SPUconfigure", "SPUabout", "SPUwriteRegister", "SPUreadRegister",
    "SPUwriteDMA", "SPUreadDMA", "SPUwriteDMAMem", "SPUreadDMAMem", "SPUregisterCallback",
    "SPUregisterCDDAVolume", "SPUplayADPCMchannel", "SPUfreeze", "SPUrender", "SPUgetOne",
    "SPUputOne", "SPUsetAddr", "SPUsetPitch", "SPUsetVolumeL", "SPUsetVolumeR", "SPUplaySample",
    "SPUstartChannels1", "SPUstartChannels2", "SPUstopChannels1", "SPUstopChannels2", "SPUplaySector",
};

}  // namespace zarn::test
