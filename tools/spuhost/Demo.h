// spuhost demo: the built-in tune played through the plugin, rendered into
// a WAV file with SPUrender or played live on the plugin's own sound thread.
#pragma once

#include <string>

namespace spuhost {

struct DemoOptions {
    std::string out;  // empty: demo.wav, or demo-console.wav for the console model
    bool live = false;
    bool console = false;  // the console sound model and the tune written for it
    std::string plugin;
};

// The plugin runs with the default settings and the reverb on (and with
// `console`, ConsoleAccurate 1), in a settings store of the demo's own, so
// the tune sounds (and renders) the same whatever the user has set; the
// user's settings are left alone.
void Demo(const DemoOptions& options);

}  // namespace spuhost
