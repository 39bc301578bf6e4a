// spuhost demo: the built-in tune played through the plugin, rendered into
// a WAV file with SPUrender or played live on the plugin's own sound thread.
#pragma once

#include <string>

namespace spuhost {

struct DemoOptions {
    std::string out = "demo.wav";
    bool live = false;
    std::string plugin;
};

// The plugin runs with the default settings and the reverb on, in a
// settings store of the demo's own, so the tune sounds (and renders) the
// same whatever the user has set; the user's settings are left alone.
void Demo(const DemoOptions& options);

}  // namespace spuhost
