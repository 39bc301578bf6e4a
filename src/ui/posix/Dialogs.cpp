// No GUI here: the settings live in the REGEDIT4 file, SPUconfigure shows
// nothing, the real-time window thread only waits for its stop flag.
#include "ui/Dialogs.h"

#include <cstdio>

namespace zarn::ui {

int RunConfigureDialog(ConfigureDialog&, void*) { return -1; }

void ShowAbout(const char*) {
    std::fputs(kAboutText, stderr);
    std::fputc('\n', stderr);
}

void* CreateRealtimeWindow(RealtimeDialog&, void*) { return nullptr; }
void DispatchWindowMessages(void*) {}
void DestroyRealtimeWindow(void*) {}

}  // namespace zarn::ui
