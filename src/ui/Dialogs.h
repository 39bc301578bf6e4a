// The window system under the settings dialogs: ui/win32/Dialogs.cpp shows
// them, ui/posix/Dialogs.cpp stands in where there is no GUI (no dialog
// opens; the About text goes to standard error). Both dialogs register the
// up-down control class themselves, so they open in any host.
#pragma once

#include "ui/SettingsDialog.h"

namespace zarn::ui {

// Runs template 101 from `moduleInstance` modally, owned by the target
// record's OwnerWindow; returns 1 (OK), 2 (Cancel) or, when no dialog could
// be shown, -1. Fits RunModalDialog.
int RunConfigureDialog(ConfigureDialog& dialog, void* moduleInstance);

// The About box: kAboutText under `caption`, task-modal and topmost.
void ShowAbout(const char* caption);

// The real-time window: template 101 from `moduleInstance`, modeless,
// without an owner, shown without activation; null when it cannot be made.
// The dialog outlives the window.
void* CreateRealtimeWindow(RealtimeDialog& dialog, void* moduleInstance);
// Dispatches every message waiting for the window and its controls.
void DispatchWindowMessages(void* window);
void DestroyRealtimeWindow(void* window);

}  // namespace zarn::ui
