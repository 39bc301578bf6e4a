// The real-time configuration window's thread: started by SPUopen one level
// below normal when ShowRealtimeConfigWindow is on, it shows the settings
// dialog modelessly, without taking the focus, at the screen's top-left
// corner, and polls its messages every 50 ms until SPUclose sets its stop
// flag. The window edits the plugin's live settings record, holding the SPU
// lock for every message, and never saves.
#pragma once

#include <atomic>
#include <cstdint>

namespace zarn {

class DriverSettings;

namespace ui {
class RecorderSwitch;
}

// What the window thread drives, handed to it by SPUopen; all of it
// outlives the thread.
struct RealtimeWindowJob {
    DriverSettings* settings;          // the plugin's live record
    ui::RecorderSwitch* recorder;      // behind the Record button
    void* moduleInstance;              // holds dialog template 101
    const std::atomic<uint8_t>* stop;  // set by SPUclose
};

// The thread procedure; `job` is a RealtimeWindowJob.
uint32_t RealtimeWindowThread(void* job);

}  // namespace zarn
