// spuhost settings: the ten stored settings of the plugin, shown or changed
// in the plugin's own store (the registry key, or the REGEDIT4 file off
// Windows), under the rules and messages of the configure dialog.
#pragma once

#include <string>
#include <vector>

namespace spuhost {

// With no assignments, shows the settings and where they are stored. With
// NAME=VALUE assignments, checks every one; saves them all when all pass,
// otherwise reports each refused one and saves none (a ToolError).
void Settings(const std::vector<std::string>& assignments);

}  // namespace spuhost
