#include <windows.h>

#include "plugin/Plugin.h"

// Records the module handle, the library's resource instance, on every
// notification, and always reports success.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
    zarn::plugin::SetModuleInstance(instance);
    return TRUE;
}
