// The PSEmu Pro sound-plugin interface as this library exports it. Every
// export uses the calling convention of the host's plugin functions (stdcall
// on 32-bit Windows) and C linkage; every argument is one 32-bit integer or a
// pointer. Functions that return a 16-bit value return it zero-extended in a
// 32-bit result, which hosts that expect either width read correctly.
#pragma once

#include <cstdint>

#include "plugin/ExportList.h"

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
#define ZARN_DECLARE_EXPORT(result, name, parameters) ZARN_EXPORT result ZARN_CALL name parameters;
ZARN_EXPORT_LIST(ZARN_DECLARE_EXPORT)
#if !defined(_WIN32)
ZARN_LINUX_EXPORT_LIST(ZARN_DECLARE_EXPORT)
#endif
#undef ZARN_DECLARE_EXPORT
}
