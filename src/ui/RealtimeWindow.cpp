#include "ui/RealtimeWindow.h"

#include "platform/Platform.h"
#include "ui/Dialogs.h"
#include "ui/SettingsDialog.h"

namespace zarn {

uint32_t RealtimeWindowThread(void* argument) {
    const RealtimeWindowJob& job = *static_cast<const RealtimeWindowJob*>(argument);
    ui::RealtimeDialog dialog(*job.settings, *job.recorder);
    void* const window = ui::CreateRealtimeWindow(dialog, job.moduleInstance);
    // The stop flag is tested before the first poll too.
    while (job.stop->load(std::memory_order_relaxed) == 0) {
        ui::DispatchWindowMessages(window);
        platform::SleepMilliseconds(50);
    }
    ui::DestroyRealtimeWindow(window);
    return 0;
}

}  // namespace zarn
