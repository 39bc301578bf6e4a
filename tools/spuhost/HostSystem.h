// What the tool needs from the operating system, beside the standard
// library: posix/HostSystem.cpp (dlopen) and win32/HostSystem.cpp
// (LoadLibrary) implement it.
#pragma once

#include <string>

namespace spuhost {

// A dynamic library loaded by path. Load gives null and sets `error` when it
// cannot be loaded.
using LibraryHandle = void*;
LibraryHandle LoadLibraryAt(const std::string& path, std::string& error);
void* FindExport(LibraryHandle library, const char* name);
void UnloadLibrary(LibraryHandle library);

// The plugin a command loads when no --plugin is given: the one built
// beside this program (libspuZarn.so, or spuZarn.dll beside spuhost.exe).
std::string DefaultPluginPath();

// Whether standard error is a terminal (for the progress bar).
bool StderrIsTerminal();

// The window handed to SPUopen (null where there are no windows).
void* HostWindow();

// While one lives, the plugin keeps its settings in a store of this
// process's own, which starts empty, instead of the user's: a private
// REGEDIT4 file (XDG_CONFIG_HOME pointed at a temporary folder), or a
// private registry key standing in for HKEY_CURRENT_USER. The user's
// settings are not touched; the private store is removed at the end.
class PrivateSettingsStore {
public:
    PrivateSettingsStore();
    ~PrivateSettingsStore();
    PrivateSettingsStore(const PrivateSettingsStore&) = delete;
    PrivateSettingsStore& operator=(const PrivateSettingsStore&) = delete;

private:
    std::string place_;     // the temporary folder or key
    std::string previous_;  // the setting it replaces
    bool hadPrevious_ = false;
};

}  // namespace spuhost
