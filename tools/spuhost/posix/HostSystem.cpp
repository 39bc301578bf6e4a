#include "spuhost/HostSystem.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "spuhost/ToolError.h"

namespace spuhost {

LibraryHandle LoadLibraryAt(const std::string& path, std::string& error) {
    // A path, never a name for the loader to search for.
    const std::string absolute = std::filesystem::absolute(path).string();
    void* library = dlopen(absolute.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) error = dlerror();
    return library;
}

void* FindExport(LibraryHandle library, const char* name) { return dlsym(library, name); }

void UnloadLibrary(LibraryHandle library) { dlclose(library); }

std::string DefaultPluginPath() {
    std::error_code failed;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failed);
    return (failed ? std::filesystem::path("libspuZarn.so") : self.parent_path() / "libspuZarn.so").string();
}

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void* HostWindow() { return nullptr; }

PrivateSettingsStore::PrivateSettingsStore() {
    char pattern[] = "/tmp/spuhost-settings-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw ToolError("cannot make a temporary folder for the settings");
    place_ = pattern;
    if (const char* previous = std::getenv("XDG_CONFIG_HOME")) {
        previous_ = previous;
        hadPrevious_ = true;
    }
    setenv("XDG_CONFIG_HOME", place_.c_str(), 1);
}

PrivateSettingsStore::~PrivateSettingsStore() {
    if (hadPrevious_) {
        setenv("XDG_CONFIG_HOME", previous_.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
    std::error_code ignored;
    std::filesystem::remove_all(place_, ignored);
}

}  // namespace spuhost
